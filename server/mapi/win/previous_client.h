// The mail client that was the default before the provider was installed:
// found through the value setup recorded in
// HKLM\Software\Zobrik\Server\Previous (64-bit view), then that client's
// key under HKLM\Software\Clients\Mail in the provider's own registry view
// (DLLPathEx, else DLLPath, environment strings expanded), loaded, and
// checked not to be the provider itself or the MAPI stub that called it.
// The recorded value is read in the 64-bit view from both builds
// (KEY_WOW64_64KEY, "Registry Redirector"), the client's key in the
// provider's own view, where the stub of a program of its bitness finds
// mail clients ("Registry Keys Affected by WOW64": HKLM\Software is
// redirected), learn.microsoft.com/windows/win32/winprog64/.
#pragma once

#include <windows.h>

#include <string>

#include "include/win/owners.h"

namespace zobrik::mapi {

struct PreviousClient {
    UniqueModule module;  // empty: there is none usable, `problem` says why
    std::wstring name;    // its key name under Software\Clients\Mail
    std::string problem;
};

PreviousClient LoadPreviousClient();

// True while this thread hands a call to the previous client: a call that
// comes back into the provider on it is refused, not passed on again.
bool HandingOver() noexcept;

class HandOverMark {
public:
    HandOverMark() noexcept;
    ~HandOverMark();
    HandOverMark(const HandOverMark&) = delete;
    HandOverMark& operator=(const HandOverMark&) = delete;
};

}  // namespace zobrik::mapi
