#include "outlook_standin_client.h"

namespace zobrik::standin {

namespace {

constexpr wchar_t kServerKey[] = L"CLSID\\{0006F03A-0000-0000-C000-000000000046}\\InprocServer32";

template <class Function>
Function Resolve(HMODULE module, const char* name) {
    // Through a generic function pointer type, which converts a GetProcAddress
    // result to the export's real type without a cast-function-type warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

ULONG Milliseconds(std::chrono::milliseconds timeout) {
    return timeout.count() < 0 ? 0UL : static_cast<ULONG>(timeout.count());
}

const wchar_t* OrNull(const std::optional<std::wstring>& text) { return text ? text->c_str() : nullptr; }

// Reads a text through the stand-in's buffer protocol (size with NUL, 0 = none).
template <class Reader>
std::optional<std::string> ReadText(Reader read) {
    ULONG needed = read(nullptr, 0);
    while (needed != 0) {
        std::string buffer(needed, '\0');
        const ULONG now = read(buffer.data(), needed);
        if (now == 0) {
            return std::nullopt;
        }
        if (now <= needed) {
            buffer.resize(now - 1);
            return buffer;
        }
        needed = now;  // grew in between
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::wstring> RegisteredOutlookServer() {
    // HKCR is the view that COM itself reads (in Wine: HKLM\Software\Classes).
    wchar_t path[MAX_PATH * 2];
    DWORD size = sizeof path;
    if (RegGetValueW(HKEY_CLASSES_ROOT, kServerKey, nullptr, RRF_RT_REG_SZ, nullptr, path, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(path);
}

OutlookStandIn OutlookStandIn::Find() { return OutlookStandIn(GetModuleHandleW(L"outlook_standin")); }

OutlookStandIn OutlookStandIn::Load() {
    const std::optional<std::wstring> path = RegisteredOutlookServer();
    if (!path) {
        return Find();
    }
    HMODULE module = LoadLibraryW(path->c_str());
    if (!module) {
        return Find();
    }
    std::shared_ptr<void> loaded(module, [](void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); });
    OutlookStandIn standIn(module);
    if (standIn.Valid()) {
        standIn.loaded_ = std::move(loaded);
    }
    return standIn;
}

OutlookStandIn::OutlookStandIn() = default;

OutlookStandIn::OutlookStandIn(HMODULE module) {
    if (!module) {
        return;
    }
    reset_ = Resolve<ZobrikOutlookStandIn_ResetFn>(module, "ZobrikOutlookStandIn_Reset");
    addAccount_ = Resolve<ZobrikOutlookStandIn_AddAccountFn>(module, "ZobrikOutlookStandIn_AddAccount");
    failCall_ = Resolve<ZobrikOutlookStandIn_FailCallFn>(module, "ZobrikOutlookStandIn_FailCall");
    failWithNull_ = Resolve<ZobrikOutlookStandIn_FailWithNullFn>(module, "ZobrikOutlookStandIn_FailWithNull");
    setCreateItemNotMail_ =
        Resolve<ZobrikOutlookStandIn_SetCreateItemNotMailFn>(module, "ZobrikOutlookStandIn_SetCreateItemNotMail");
    setModalBlocking_ =
        Resolve<ZobrikOutlookStandIn_SetModalBlockingFn>(module, "ZobrikOutlookStandIn_SetModalBlocking");
    releaseModal_ = Resolve<ZobrikOutlookStandIn_ReleaseModalFn>(module, "ZobrikOutlookStandIn_ReleaseModal");
    blockedCount_ = Resolve<ZobrikOutlookStandIn_BlockedCountFn>(module, "ZobrikOutlookStandIn_BlockedCount");
    waitForBlocked_ = Resolve<ZobrikOutlookStandIn_WaitForBlockedFn>(module, "ZobrikOutlookStandIn_WaitForBlocked");
    setAttachmentFileRequired_ = Resolve<ZobrikOutlookStandIn_SetAttachmentFileRequiredFn>(
        module, "ZobrikOutlookStandIn_SetAttachmentFileRequired");
    setTrace_ = Resolve<ZobrikOutlookStandIn_SetTraceFn>(module, "ZobrikOutlookStandIn_SetTrace");
    callCount_ = Resolve<ZobrikOutlookStandIn_CallCountFn>(module, "ZobrikOutlookStandIn_CallCount");
    getCall_ = Resolve<ZobrikOutlookStandIn_GetCallFn>(module, "ZobrikOutlookStandIn_GetCall");
    waitForCalls_ = Resolve<ZobrikOutlookStandIn_WaitForCallsFn>(module, "ZobrikOutlookStandIn_WaitForCalls");
    liveObjects_ = Resolve<ZobrikOutlookStandIn_LiveObjectsFn>(module, "ZobrikOutlookStandIn_LiveObjects");
    outstandingReferences_ =
        Resolve<ZobrikOutlookStandIn_OutstandingReferencesFn>(module, "ZobrikOutlookStandIn_OutstandingReferences");
    getLiveObjectList_ =
        Resolve<ZobrikOutlookStandIn_GetLiveObjectListFn>(module, "ZobrikOutlookStandIn_GetLiveObjectList");
    const bool complete = reset_ && addAccount_ && failCall_ && failWithNull_ && setCreateItemNotMail_ &&
                          setModalBlocking_ && releaseModal_ && blockedCount_ && waitForBlocked_ &&
                          setAttachmentFileRequired_ && setTrace_ && callCount_ && getCall_ && waitForCalls_ &&
                          liveObjects_ && outstandingReferences_ && getLiveObjectList_;
    if (complete) {
        module_ = module;
    } else {
        *this = OutlookStandIn();
    }
}

bool OutlookStandIn::Valid() const { return module_ != nullptr; }

HMODULE OutlookStandIn::Module() const { return module_; }

void OutlookStandIn::Reset() const {
    if (Valid()) {
        reset_();
    }
}

void OutlookStandIn::AddAccount(const std::optional<std::wstring>& smtpAddress,
                                const std::optional<std::wstring>& displayName,
                                const std::optional<std::wstring>& userName) const {
    if (Valid()) {
        addAccount_(OrNull(smtpAddress), OrNull(displayName), userName ? userName->c_str() : OrNull(displayName));
    }
}

void OutlookStandIn::FailCall(const std::string& member, ULONG nth, HRESULT hr) const {
    if (Valid()) {
        failCall_(member.c_str(), nth, hr, nullptr);
    }
}

void OutlookStandIn::FailCallWithErrorInfo(const std::string& member, ULONG nth, HRESULT hr,
                                           const std::wstring& description) const {
    if (Valid()) {
        failCall_(member.c_str(), nth, hr, description.c_str());
    }
}

void OutlookStandIn::FailWithNull(const std::string& member, ULONG nth) const {
    if (Valid()) {
        failWithNull_(member.c_str(), nth);
    }
}

void OutlookStandIn::FailCreation(ULONG nth, HRESULT hr) const { FailCall("IClassFactory.CreateInstance", nth, hr); }

void OutlookStandIn::SetCreateItemNotMail(bool notMail) const {
    if (Valid()) {
        setCreateItemNotMail_(notMail ? TRUE : FALSE);
    }
}

void OutlookStandIn::SetModalBlocking(bool blocking) const {
    if (Valid()) {
        setModalBlocking_(blocking ? TRUE : FALSE);
    }
}

void OutlookStandIn::ReleaseModal() const {
    if (Valid()) {
        releaseModal_();
    }
}

ULONG OutlookStandIn::BlockedCount() const { return Valid() ? blockedCount_() : 0; }

bool OutlookStandIn::WaitForBlocked(ULONG count, std::chrono::milliseconds timeout) const {
    return Valid() && waitForBlocked_(count, Milliseconds(timeout)) != FALSE;
}

void OutlookStandIn::SetAttachmentFileRequired(bool required) const {
    if (Valid()) {
        setAttachmentFileRequired_(required ? TRUE : FALSE);
    }
}

void OutlookStandIn::SetTrace(ULONG flags) const {
    if (Valid()) {
        setTrace_(flags);
    }
}

ULONG OutlookStandIn::CallCount() const { return Valid() ? callCount_() : 0; }

std::optional<std::string> OutlookStandIn::Call(ULONG index) const {
    if (!Valid()) {
        return std::nullopt;
    }
    return ReadText([&](char* buffer, ULONG size) { return getCall_(index, buffer, size); });
}

std::vector<std::string> OutlookStandIn::Calls() const {
    std::vector<std::string> calls;
    for (ULONG index = 0;; ++index) {
        std::optional<std::string> line = Call(index);
        if (!line) {
            break;
        }
        calls.push_back(std::move(*line));
    }
    return calls;
}

bool OutlookStandIn::WaitForCalls(ULONG count, std::chrono::milliseconds timeout) const {
    return Valid() && waitForCalls_(count, Milliseconds(timeout)) != FALSE;
}

ULONG OutlookStandIn::LiveObjects() const { return Valid() ? liveObjects_() : 0; }

ULONG OutlookStandIn::OutstandingReferences() const { return Valid() ? outstandingReferences_() : 0; }

std::string OutlookStandIn::LiveObjectList() const {
    if (!Valid()) {
        return {};
    }
    return ReadText([&](char* buffer, ULONG size) { return getLiveObjectList_(buffer, size); }).value_or("");
}

std::string Quoted(std::wstring_view text) { return record::QuoteText(text); }

std::string FileBytesRecord(const std::vector<uint8_t>& bytes) { return record::FileRecord(bytes); }

std::string FileBytesRecord(std::string_view bytes) {
    return record::FileRecord(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace zobrik::standin
