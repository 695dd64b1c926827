// The self-test export: repeats the factory's start-up, connects to Outlook
// like the mail channel does and opens a prepared mail item in it.
#include <windows.h>

#include "debug_output.h"
#include "mail/outlook_connection.h"
#include "simple_mapi_binding.h"

namespace {

constexpr wchar_t kNotAvailableText[] = L"Outlook nicht verf\u00fcgbar";
constexpr wchar_t kCaption[] = L"Zobrik WTS Plugin";

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

void RunSelfTest() {
    zobrik::DebugOutput(L"VirtualChannelGetInstance\n");
    zobrik::BindSimpleMapi();

    ComApartment apartment;
    zobrik::ComPtr<IUnknown> application;
    if (zobrik::ConnectToOutlook(application) != S_OK) {
        MessageBoxW(nullptr, kNotAvailableText, kCaption, MB_OK);
        return;
    }
    // The prepared mail item is built once the Outlook interfaces exist.
}

}  // namespace

// Called by rundll32 as Run(hwnd, instance, command line, show); none of the
// arguments is used.
extern "C" int CALLBACK Run(HWND, HINSTANCE, LPSTR, int) {
    try {
        RunSelfTest();
    } catch (...) {
    }
    return 0;
}
