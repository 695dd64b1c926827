#include "outlook_connection.h"

#include <ole2.h>

namespace zobrik {

// {0006F03A-0000-0000-C000-000000000046}
const CLSID CLSID_OutlookApplication = {0x0006F03A, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {00063001-0000-0000-C000-000000000046}
const IID IID_OutlookApplication = {0x00063001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

constexpr DWORD kOutlookClassContext = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;

// Starts the server and puts it into the running state; failures here are
// not reported, the second creation decides.
void StartOutlook() noexcept {
    ComPtr<IUnknown> unknown;
    if (FAILED(CoCreateInstance(CLSID_OutlookApplication, nullptr, kOutlookClassContext, IID_IUnknown,
                                unknown.ReceiveVoid()))) {
        return;
    }
    if (FAILED(OleRun(unknown.Get()))) {
        return;
    }
    ComPtr<IUnknown> application;
    unknown->QueryInterface(IID_OutlookApplication, application.ReceiveVoid());
}

}  // namespace

HRESULT ConnectToOutlook(ComPtr<IUnknown>& application) noexcept {
    StartOutlook();
    return CoCreateInstance(CLSID_OutlookApplication, nullptr, kOutlookClassContext, IID_OutlookApplication,
                            application.ReceiveVoid());
}

}  // namespace zobrik
