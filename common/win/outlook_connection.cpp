#include "include/win/outlook_connection.h"

#include <ole2.h>

namespace zobrik {

namespace {

constexpr DWORD kOutlookClassContext = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;

// Starts the server and puts it into the running state; failures here are
// not reported, the second creation decides.
void StartOutlook() noexcept {
    ComPtr<IUnknown> unknown;
    if (FAILED(CoCreateInstance(outlook::CLSID_Application, nullptr, kOutlookClassContext, IID_IUnknown,
                                unknown.PutVoid()))) {
        return;
    }
    if (FAILED(OleRun(unknown.Get()))) {
        return;
    }
    ComPtr<outlook::_Application> application;
    unknown->QueryInterface(outlook::IID__Application, application.PutVoid());
}

}  // namespace

HRESULT ConnectToOutlook(ComPtr<outlook::_Application>& application) noexcept {
    StartOutlook();
    return CoCreateInstance(outlook::CLSID_Application, nullptr, kOutlookClassContext, outlook::IID__Application,
                            application.PutVoid());
}

}  // namespace zobrik
