// Test-side access to the Outlook stand-in (outlook_standin.dll): wraps its
// ZobrikOutlookStandIn_* exports, found with GetProcAddress in the module that
// COM loads for Outlook's class id. Record format: outlook_record_format.h.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "outlook_record_format.h"
#include "outlook_standin_exports.h"

namespace zobrik::standin {

class OutlookStandIn {
public:
    // The stand-in already loaded in this process
    // (GetModuleHandleW(L"outlook_standin")); otherwise an invalid object.
    static OutlookStandIn Find();
    // Loads the DLL registered for Outlook's class id (the very file that
    // CoCreateInstance will load) and keeps it loaded while this object or a
    // copy lives, so that it can be configured before the first creation.
    // Falls back to Find() when nothing is registered.
    static OutlookStandIn Load();

    OutlookStandIn();
    // Wraps `module` (borrowed) if it has the stand-in's exports.
    explicit OutlookStandIn(HMODULE module);

    // Every member is safe on an invalid object (does nothing, counts 0,
    // waits fail, no records).
    bool Valid() const;
    HMODULE Module() const;

    // Forgets records, counters, rules, accounts; options to their defaults.
    void Reset() const;

    // Appends an account; nullopt makes that get deliver a null BSTR. Without
    // `userName` the account's UserName is its display name.
    void AddAccount(const std::optional<std::wstring>& smtpAddress, const std::optional<std::wstring>& displayName,
                    const std::optional<std::wstring>& userName = std::nullopt) const;

    // The nth call (1-based, per member since Reset; 0 = every call) of
    // `member` ("Recipients.Add", "_MailItem.Send", ...) returns `hr`.
    void FailCall(const std::string& member, ULONG nth, HRESULT hr) const;
    // The same, and the call sets the thread's error info with `description`.
    void FailCallWithErrorInfo(const std::string& member, ULONG nth, HRESULT hr, const std::wstring& description) const;
    // The nth call of `member` returns S_OK with a null out object.
    void FailWithNull(const std::string& member, ULONG nth) const;
    // The nth class factory creation (1 = ConnectToOutlook's first) returns `hr`.
    void FailCreation(ULONG nth, HRESULT hr) const;
    // CreateItem delivers an object that is not a mail item.
    void SetCreateItemNotMail(bool notMail) const;

    // Display with a true modal flag blocks until ReleaseModal (or Reset).
    void SetModalBlocking(bool blocking) const;
    void ReleaseModal() const;
    ULONG BlockedCount() const;
    bool WaitForBlocked(ULONG count, std::chrono::milliseconds timeout) const;

    // Attachments.Add fails for an unreadable Source (default true).
    void SetAttachmentFileRequired(bool required) const;
    // record::kTraceQueryInterface | record::kTraceDestruction.
    void SetTrace(ULONG flags) const;

    ULONG CallCount() const;
    std::optional<std::string> Call(ULONG index) const;
    std::vector<std::string> Calls() const;
    bool WaitForCalls(ULONG count, std::chrono::milliseconds timeout) const;

    // Stand-in objects alive now, the sum of their reference counts, and
    // both as text: "item#1(2) recipient#3(1)".
    ULONG LiveObjects() const;
    ULONG OutstandingReferences() const;
    std::string LiveObjectList() const;

private:
    std::shared_ptr<void> loaded_;  // the module reference taken by Load()
    HMODULE module_ = nullptr;
    ZobrikOutlookStandIn_ResetFn reset_ = nullptr;
    ZobrikOutlookStandIn_AddAccountFn addAccount_ = nullptr;
    ZobrikOutlookStandIn_FailCallFn failCall_ = nullptr;
    ZobrikOutlookStandIn_FailWithNullFn failWithNull_ = nullptr;
    ZobrikOutlookStandIn_SetCreateItemNotMailFn setCreateItemNotMail_ = nullptr;
    ZobrikOutlookStandIn_SetModalBlockingFn setModalBlocking_ = nullptr;
    ZobrikOutlookStandIn_ReleaseModalFn releaseModal_ = nullptr;
    ZobrikOutlookStandIn_BlockedCountFn blockedCount_ = nullptr;
    ZobrikOutlookStandIn_WaitForBlockedFn waitForBlocked_ = nullptr;
    ZobrikOutlookStandIn_SetAttachmentFileRequiredFn setAttachmentFileRequired_ = nullptr;
    ZobrikOutlookStandIn_SetTraceFn setTrace_ = nullptr;
    ZobrikOutlookStandIn_CallCountFn callCount_ = nullptr;
    ZobrikOutlookStandIn_GetCallFn getCall_ = nullptr;
    ZobrikOutlookStandIn_WaitForCallsFn waitForCalls_ = nullptr;
    ZobrikOutlookStandIn_LiveObjectsFn liveObjects_ = nullptr;
    ZobrikOutlookStandIn_OutstandingReferencesFn outstandingReferences_ = nullptr;
    ZobrikOutlookStandIn_GetLiveObjectListFn getLiveObjectList_ = nullptr;
};

// The path registered for Outlook's class id (InprocServer32), if any.
std::optional<std::wstring> RegisteredOutlookServer();

// Builders for expected records.
// A text argument as recorded: Quoted(L"a\"b") == "\"a\\\"b\"".
std::string Quoted(std::wstring_view text);
// The file part of an Attachments.Add record for these bytes.
std::string FileBytesRecord(const std::vector<uint8_t>& bytes);
std::string FileBytesRecord(std::string_view bytes);

}  // namespace zobrik::standin
