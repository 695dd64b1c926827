// Checks what CoCreateInstance gives for Outlook's class id in the current
// Wine prefix, as the plug-in asks for it (class context 5, _Application).
// usage: outlook_prefix_check <expected HRESULT, e.g. 0 or 0x80040154>
#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <cstdlib>

#include "include/win/outlook_interfaces.h"

namespace {

// Initialises COM (single-threaded apartment) for the lifetime of the object.
class ComApartment {
public:
    ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }

private:
    HRESULT result_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: outlook_prefix_check <expected HRESULT>\n");
        return 2;
    }
    const auto expected = static_cast<HRESULT>(std::strtoul(argv[1], nullptr, 0));
    HRESULT hr = E_UNEXPECTED;
    {
        ComApartment apartment;
        IUnknown* application = nullptr;
        hr = CoCreateInstance(zobrik::outlook::CLSID_Application, nullptr,
                              static_cast<DWORD>(CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER),
                              zobrik::outlook::IID__Application, reinterpret_cast<void**>(&application));
        if (application) {
            application->Release();
        }
    }
    std::printf("CoCreateInstance(Outlook.Application, 5, _Application) = 0x%08lX, expected 0x%08lX\n",
                static_cast<unsigned long>(hr), static_cast<unsigned long>(expected));
    return hr == expected ? 0 : 1;
}
