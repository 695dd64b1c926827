#include "exec_confirmation.h"

#include <windows.h>

#include <mutex>
#include <optional>

#include "exec/exec_admin_policy.h"
#include "exec/exec_confirmation_text.h"
#include "include/win/owners.h"

namespace zobrik {

namespace {

constexpr wchar_t kCaption[] = L"Zobrik WTS Plugin";
constexpr UINT_PTR kAnswerTimer = 1;

// The one box that is open; boxes are shown one at a time.
struct OpenBox {
    HWND window = nullptr;
    UINT milliseconds = 0;
    bool timedOut = false;
};
OpenBox g_box;

void CALLBACK EndWithoutAnswer(HWND window, UINT, UINT_PTR timer, DWORD) {
    KillTimer(window, timer);
    g_box.timedOut = true;
    EndDialog(window, IDNO);
}

// Sees the box being activated: names its buttons and starts the clock.
LRESULT CALLBACK WatchBox(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && !g_box.window) {
        HWND window = reinterpret_cast<HWND>(wParam);
        wchar_t className[16] = {};
        GetClassNameW(window, className, 16);
        if (lstrcmpW(className, L"#32770") == 0) {
            g_box.window = window;
            SetDlgItemTextW(window, IDYES, L"&Open");
            SetDlgItemTextW(window, IDNO, L"&Don't open");
            SetTimer(window, kAnswerTimer, g_box.milliseconds, EndWithoutAnswer);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

Confirmation AskToOpen(const std::wstring& text, uint32_t seconds) noexcept {
    try {
        if (text.size() > kLongestConfirmedText) {
            return Confirmation::NotShown;
        }
        const std::wstring question = ConfirmationMessage(text, seconds, PlatformDomainToAscii());
        static SlimLock oneBoxAtATime;
        std::lock_guard lock(oneBoxAtATime);
        g_box = OpenBox{nullptr, UINT(seconds) * 1000, false};
        UniqueHook hook(SetWindowsHookExW(WH_CBT, WatchBox, nullptr, GetCurrentThreadId()));
        if (!hook) {
            return Confirmation::NotShown;  // without it the box could wait for ever
        }
        const int answer = MessageBoxW(nullptr, question.c_str(), kCaption,
                                       MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2 | MB_SETFOREGROUND | MB_TOPMOST);
        g_box.window = nullptr;
        if (answer == IDYES && !g_box.timedOut) {
            return Confirmation::Open;
        }
        if (answer == IDNO) {
            return g_box.timedOut ? Confirmation::NoAnswer : Confirmation::DontOpen;
        }
        return Confirmation::NotShown;
    } catch (...) {
        return Confirmation::NotShown;
    }
}

}  // namespace zobrik
