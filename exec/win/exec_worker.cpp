#include "exec_worker.h"

#include <windows.h>

#include <shellapi.h>

#include "exec/exec_policy.h"
#include "exec/exec_reply.h"
#include "exec_confirmation.h"
#include "exec_refusal.h"
#include "include/debug_output.h"
#include "include/event_log.h"

namespace zobrik {

namespace {

// Writes "exec refused: <reason>" on the debugger and the event to the log.
void Refuse(const std::wstring& reason, std::string_view text) noexcept {
    try {
        DebugEvent((L"exec refused: " + reason).c_str(), DebugLevel::Info);
        ReportExecRefused(reason, ExecTextForEvent(text));
    } catch (...) {
        DebugEvent(L"exec refused", DebugLevel::Info);
    }
}

// Whether the user lets the text be opened; says why not.
bool UserConfirms(std::string_view text, const AdminPolicy& policy) {
    const auto wide = ExecTextAsWide(text);
    const Confirmation answer = wide ? AskToOpen(*wide, policy.execConfirmSeconds) : Confirmation::NotShown;
    switch (answer) {
        case Confirmation::Open:
            return true;
        case Confirmation::DontOpen:
            Refuse(L"the user chose not to open it (policy ExecConfirm)", text);
            return false;
        case Confirmation::NoAnswer:
            Refuse(L"the user did not answer in time (policy ExecConfirm)", text);
            return false;
        case Confirmation::NotShown:
            break;
    }
    Refuse(L"the confirmation could not be shown (policy ExecConfirm)", text);
    return false;
}

// The event for a shell that did not open the text (its reply is
// "failed"): the shell's error code with the text.
void ReportShellFailure(intptr_t shellResult, std::string_view text) noexcept {
    try {
        const std::wstring error =
            L"ShellExecute returned " + std::to_wstring(shellResult) + L" for " + ExecTextForEvent(text);
        ReportHandOverFailed(L"the shell", error);
    } catch (...) {
        // Out of memory: the reply says the text was not opened.
    }
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
            Refuse(*refusal, text);
        } else if (!policy.execConfirm || UserConfirms(text, policy)) {
            const intptr_t shellResult = reinterpret_cast<intptr_t>(OpenWithTheShell(text));
            reply = &ExecReplyFor(shellResult);
            if (*reply != kExecReplyOkay) ReportShellFailure(shellResult, text);
        }
    } catch (...) {
        // Only the checks throw (out of memory): the shell was not called.
        DebugEvent(L"exec refused: text could not be checked", DebugLevel::Warning);
    }
    return *reply;
}

}  // namespace zobrik
