// The control exports of the Outlook stand-in (declared in
// outlook_standin_exports.h). None lets an exception out.
#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <type_traits>

#include "outlook_standin_exports.h"
#include "standin_state.h"

namespace {

using zobrik::standin::State;

// Runs `body`; an exception gives `fallback` instead.
template <class Body, class Result>
Result Safely(Body body, Result fallback) noexcept {
    try {
        return body();
    } catch (...) {
        return fallback;
    }
}

std::optional<std::wstring> Text(const wchar_t* text) {
    if (!text) {
        return std::nullopt;
    }
    return std::wstring(text);
}

// Copies `text` with its NUL when `size` allows; returns the size needed.
ULONG CopyOut(const std::string& text, char* buffer, ULONG size) {
    const ULONG needed = static_cast<ULONG>(text.size() + 1);
    if (buffer && size >= needed) {
        std::memcpy(buffer, text.c_str(), needed);
    }
    return needed;
}

}  // namespace

extern "C" {

void WINAPI ZobrikOutlookStandIn_Reset() {
    Safely(
        [] {
            State::Instance().Reset();
            return 0;
        },
        0);
}

void WINAPI ZobrikOutlookStandIn_AddAccount(const wchar_t* smtpAddress, const wchar_t* displayName,
                                            const wchar_t* userName) {
    Safely(
        [&] {
            State::Instance().AddAccount({Text(smtpAddress), Text(displayName), Text(userName)});
            return 0;
        },
        0);
}

void WINAPI ZobrikOutlookStandIn_FailCall(const char* member, ULONG nth, HRESULT hr, const wchar_t* errorDescription) {
    if (!member) {
        return;
    }
    Safely(
        [&] {
            zobrik::standin::CallPlan plan;
            plan.kind = zobrik::standin::CallPlan::Kind::Result;
            plan.hr = hr;
            plan.errorDescription = Text(errorDescription);
            State::Instance().AddRule(member, nth, std::move(plan));
            return 0;
        },
        0);
}

void WINAPI ZobrikOutlookStandIn_FailWithNull(const char* member, ULONG nth) {
    if (!member) {
        return;
    }
    Safely(
        [&] {
            zobrik::standin::CallPlan plan;
            plan.kind = zobrik::standin::CallPlan::Kind::Null;
            State::Instance().AddRule(member, nth, std::move(plan));
            return 0;
        },
        0);
}

void WINAPI ZobrikOutlookStandIn_SetCreateItemNotMail(BOOL notMail) {
    State::Instance().SetCreateItemNotMail(notMail != FALSE);
}

void WINAPI ZobrikOutlookStandIn_SetModalBlocking(BOOL blocking) {
    State::Instance().SetModalBlocking(blocking != FALSE);
}

void WINAPI ZobrikOutlookStandIn_ReleaseModal() { State::Instance().ReleaseModal(); }

ULONG WINAPI ZobrikOutlookStandIn_BlockedCount() { return State::Instance().BlockedCount(); }

BOOL WINAPI ZobrikOutlookStandIn_WaitForBlocked(ULONG count, ULONG timeoutMs) {
    return Safely([&] { return State::Instance().WaitForBlocked(count, timeoutMs) ? TRUE : FALSE; }, FALSE);
}

void WINAPI ZobrikOutlookStandIn_SetAttachmentFileRequired(BOOL required) {
    State::Instance().SetAttachmentFileRequired(required != FALSE);
}

void WINAPI ZobrikOutlookStandIn_SetTrace(ULONG flags) { State::Instance().SetTrace(flags); }

ULONG WINAPI ZobrikOutlookStandIn_CallCount() { return State::Instance().RecordCount(); }

ULONG WINAPI ZobrikOutlookStandIn_GetCall(ULONG index, char* buffer, ULONG size) {
    return Safely(
        [&] {
            const std::optional<std::string> line = State::Instance().RecordAt(index);
            return line ? CopyOut(*line, buffer, size) : 0UL;
        },
        0UL);
}

BOOL WINAPI ZobrikOutlookStandIn_WaitForCalls(ULONG count, ULONG timeoutMs) {
    return Safely([&] { return State::Instance().WaitForRecords(count, timeoutMs) ? TRUE : FALSE; }, FALSE);
}

ULONG WINAPI ZobrikOutlookStandIn_LiveObjects() { return State::Instance().LiveObjects(); }

ULONG WINAPI ZobrikOutlookStandIn_OutstandingReferences() { return State::Instance().OutstandingReferences(); }

ULONG WINAPI ZobrikOutlookStandIn_GetLiveObjectList(char* buffer, ULONG size) {
    return Safely([&] { return CopyOut(State::Instance().LiveObjectList(), buffer, size); }, 0UL);
}

}  // extern "C"

// The exports must match the types that callers cast GetProcAddress to.
static_assert(std::is_same_v<decltype(&ZobrikOutlookStandIn_Reset), ZobrikOutlookStandIn_ResetFn>);
static_assert(std::is_same_v<decltype(&ZobrikOutlookStandIn_AddAccount), ZobrikOutlookStandIn_AddAccountFn>);
static_assert(std::is_same_v<decltype(&ZobrikOutlookStandIn_FailCall), ZobrikOutlookStandIn_FailCallFn>);
static_assert(std::is_same_v<decltype(&ZobrikOutlookStandIn_FailWithNull), ZobrikOutlookStandIn_FailWithNullFn>);
static_assert(
    std::is_same_v<decltype(&ZobrikOutlookStandIn_SetCreateItemNotMail), ZobrikOutlookStandIn_SetCreateItemNotMailFn>);
static_assert(
    std::is_same_v<decltype(&ZobrikOutlookStandIn_SetModalBlocking), ZobrikOutlookStandIn_SetModalBlockingFn>);
static_assert(std::is_same_v<decltype(&ZobrikOutlookStandIn_ReleaseModal), ZobrikOutlookStandIn_ReleaseModalFn>);
static_assert(std::is_same_v<decltype(&ZobrikOutlookStandIn_BlockedCount), ZobrikOutlookStandIn_BlockedCountFn>);
static_assert(std::is_same_v<decltype(&ZobrikOutlookStandIn_WaitForBlocked), ZobrikOutlookStandIn_WaitForBlockedFn>);
static_assert(std::is_same_v<decltype(&ZobrikOutlookStandIn_SetAttachmentFileRequired),
                             ZobrikOutlookStandIn_SetAttachmentFileRequiredFn>);
static_assert(std::is_same_v<decltype(&ZobrikOutlookStandIn_SetTrace), ZobrikOutlookStandIn_SetTraceFn>);
static_assert(std::is_same_v<decltype(&ZobrikOutlookStandIn_CallCount), ZobrikOutlookStandIn_CallCountFn>);
static_assert(std::is_same_v<decltype(&ZobrikOutlookStandIn_GetCall), ZobrikOutlookStandIn_GetCallFn>);
static_assert(std::is_same_v<decltype(&ZobrikOutlookStandIn_WaitForCalls), ZobrikOutlookStandIn_WaitForCallsFn>);
static_assert(std::is_same_v<decltype(&ZobrikOutlookStandIn_LiveObjects), ZobrikOutlookStandIn_LiveObjectsFn>);
static_assert(std::is_same_v<decltype(&ZobrikOutlookStandIn_OutstandingReferences),
                             ZobrikOutlookStandIn_OutstandingReferencesFn>);
static_assert(
    std::is_same_v<decltype(&ZobrikOutlookStandIn_GetLiveObjectList), ZobrikOutlookStandIn_GetLiveObjectListFn>);
