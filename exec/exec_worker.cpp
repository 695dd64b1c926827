#include "exec_worker.h"

#include <windows.h>

#include <shellapi.h>

#include "exec_confirmation_win.h"
#include "exec_policy.h"
#include "exec_policy_win.h"
#include "exec_reply.h"
#include "include/debug_output.h"

namespace zobrik {

namespace {

// Whether the user lets the text be opened; says why not on the debugger.
bool UserConfirms(std::string_view text, const AdminPolicy& policy) {
    const auto wide = ExecTextAsWide(text);
    const Confirmation answer = wide ? AskToOpen(*wide, policy.execConfirmSeconds) : Confirmation::NotShown;
    switch (answer) {
        case Confirmation::Open:
            return true;
        case Confirmation::DontOpen:
            DebugEvent(L"exec refused: the user chose not to open it (policy ExecConfirm)");
            return false;
        case Confirmation::NoAnswer:
            DebugEvent(L"exec refused: the user did not answer in time (policy ExecConfirm)");
            return false;
        case Confirmation::NotShown:
            break;
    }
    DebugEvent(L"exec refused: the confirmation could not be shown (policy ExecConfirm)");
    return false;
}

// "open" with the shell: a UTF-8 text as the UTF-16 it stands for, any other
// text as it came, in the ANSI code page.
HINSTANCE OpenWithTheShell(std::string_view text) {
    if (IsUtf8ExecText(text)) {
        const auto wide = ExecTextAsWide(text);
        return wide ? ShellExecuteW(nullptr, L"open", wide->c_str(), nullptr, nullptr, SW_SHOWNORMAL)
                    : reinterpret_cast<HINSTANCE>(SE_ERR_FNF);
    }
    const std::string narrow(text);
    return ShellExecuteA(nullptr, "open", narrow.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace

const ExecReply& ServeExecRequest(const std::string& request, const AdminPolicy& policy) noexcept {
    const ExecReply* reply = &kExecReplyFailed;
    try {
        const std::string_view text = ExecText(request);
        if (auto refusal = ExecRefusal(text, policy)) {
            DebugEvent((L"exec refused: " + *refusal).c_str());
        } else if (!policy.execConfirm || UserConfirms(text, policy)) {
            reply = &ExecReplyFor(reinterpret_cast<intptr_t>(OpenWithTheShell(text)));
        }
    } catch (...) {
        // Only the checks throw (out of memory): the shell was not called.
        DebugEvent(L"exec refused: text could not be checked");
    }
    return *reply;
}

}  // namespace zobrik
