#include "outlook_handover.h"

#include <ole2.h>

#include "outlook_connection.h"

namespace zobrik {

namespace {

// COM for the duration of one hand-over, on the worker's thread.
class ComApartment {
public:
    ComApartment() noexcept : result_(CoInitialize(nullptr)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT result_;
};

}  // namespace

HRESULT HandOverToOutlook(const MailRequest&) noexcept {
    ComApartment apartment;
    try {
        ComPtr<IUnknown> application;
        if (ConnectToOutlook(application) != S_OK) {
            throw "Outlook not available";
        }
        // Building the item through Outlook's interfaces comes with them.
        return E_FAIL;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace zobrik
