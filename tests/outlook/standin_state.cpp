#include "standin_state.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "include/win/outlook_interfaces.h"
#include "outlook_record_format.h"

namespace zobrik::standin {

namespace {

// Owns a Win32 event handle.
class Event {
public:
    Event() : handle_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        if (!handle_) {
            throw std::bad_alloc();
        }
    }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    ~Event() { CloseHandle(handle_); }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

}  // namespace

State& State::Instance() {
    static State state;
    return state;
}

void State::Reset() {
    std::lock_guard lock(mutex_);
    accounts_.clear();
    rules_.clear();
    callCounts_.clear();
    nameCounts_.clear();
    records_.clear();
    createItemNotMail_ = false;
    modalBlocking_ = false;
    attachmentFileRequired_ = true;
    trace_ = 0;
    ReleaseModalLocked();
    changed_.notify_all();
}

void State::AddAccount(AccountData account) {
    std::lock_guard lock(mutex_);
    accounts_.push_back(std::move(account));
}

std::vector<AccountData> State::Accounts() {
    std::lock_guard lock(mutex_);
    return accounts_;
}

void State::AddRule(std::string member, ULONG nth, CallPlan plan) {
    std::lock_guard lock(mutex_);
    rules_.push_back({std::move(member), nth, std::move(plan)});
}

void State::SetCreateItemNotMail(bool notMail) {
    std::lock_guard lock(mutex_);
    createItemNotMail_ = notMail;
}

bool State::CreateItemNotMail() {
    std::lock_guard lock(mutex_);
    return createItemNotMail_;
}

void State::SetModalBlocking(bool blocking) {
    std::lock_guard lock(mutex_);
    modalBlocking_ = blocking;
}

bool State::ModalBlocking() {
    std::lock_guard lock(mutex_);
    return modalBlocking_;
}

void State::SetAttachmentFileRequired(bool required) {
    std::lock_guard lock(mutex_);
    attachmentFileRequired_ = required;
}

bool State::AttachmentFileRequired() {
    std::lock_guard lock(mutex_);
    return attachmentFileRequired_;
}

void State::SetTrace(ULONG flags) {
    std::lock_guard lock(mutex_);
    trace_ = flags;
}

bool State::Traces(ULONG flag) {
    std::lock_guard lock(mutex_);
    return (trace_ & flag) != 0;
}

CallPlan State::NextCall(const std::string& member) {
    std::lock_guard lock(mutex_);
    const ULONG count = ++callCounts_[member];
    // The first rule that names this member and this call decides.
    for (const Rule& rule : rules_) {
        if (rule.member == member && (rule.nth == 0 || rule.nth == count)) {
            return rule.plan;
        }
    }
    return {};
}

void State::Record(std::string line) {
    std::lock_guard lock(mutex_);
    records_.push_back(std::move(line));
    changed_.notify_all();
}

ULONG State::RecordCount() {
    std::lock_guard lock(mutex_);
    return static_cast<ULONG>(records_.size());
}

std::optional<std::string> State::RecordAt(ULONG index) {
    std::lock_guard lock(mutex_);
    if (index >= records_.size()) {
        return std::nullopt;
    }
    return records_[index];
}

bool State::WaitForRecords(ULONG count, ULONG timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return records_.size() >= count; });
}

std::string State::NewName(const std::string& kind) {
    std::lock_guard lock(mutex_);
    return kind + "#" + std::to_string(++nameCounts_[kind]);
}

void State::Register(const void* identity, const ObjectBase* object) {
    std::lock_guard lock(mutex_);
    live_[identity] = object;
}

void State::Unregister(const void* identity) {
    std::lock_guard lock(mutex_);
    live_.erase(identity);
}

std::optional<std::string> State::NameOf(const void* identity) {
    std::lock_guard lock(mutex_);
    const auto found = live_.find(identity);
    if (found == live_.end()) {
        return std::nullopt;
    }
    return found->second->Name();
}

ULONG State::LiveObjects() {
    std::lock_guard lock(mutex_);
    return static_cast<ULONG>(live_.size());
}

ULONG State::OutstandingReferences() {
    std::lock_guard lock(mutex_);
    ULONG sum = 0;
    for (const auto& entry : live_) {
        sum += entry.second->References();
    }
    return sum;
}

std::string State::LiveObjectList() {
    std::vector<std::string> entries;
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : live_) {
            entries.push_back(entry.second->Name() + "(" + std::to_string(entry.second->References()) + ")");
        }
    }
    // By name, so that the text does not depend on where objects were allocated.
    std::sort(entries.begin(), entries.end());
    std::string list;
    for (const std::string& entry : entries) {
        if (!list.empty()) {
            list += ' ';
        }
        list += entry;
    }
    return list;
}

void State::BlockUntilReleased() {
    Event released;
    const HANDLE handle = released.Get();
    {
        std::lock_guard lock(mutex_);
        blocked_.push_back(handle);
        changed_.notify_all();
    }
    // A modal window keeps the thread's messages flowing while it is open.
    for (;;) {
        const DWORD wait = MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT);
        if (wait != WAIT_OBJECT_0 + 1) {
            break;  // released, or the wait itself failed
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    std::lock_guard lock(mutex_);
    std::erase(blocked_, handle);
    changed_.notify_all();
}

void State::ReleaseModal() {
    std::lock_guard lock(mutex_);
    ReleaseModalLocked();
}

void State::ReleaseModalLocked() {
    // The events stay in the list until their calls have left the wait, so
    // BlockedCount drops only once they really return.
    for (HANDLE event : blocked_) {
        SetEvent(event);
    }
}

ULONG State::BlockedCount() {
    std::lock_guard lock(mutex_);
    ULONG count = 0;
    for (HANDLE event : blocked_) {
        if (WaitForSingleObject(event, 0) == WAIT_TIMEOUT) {
            ++count;
        }
    }
    return count;
}

bool State::WaitForBlocked(ULONG count, ULONG timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        ULONG blocked = 0;
        for (HANDLE event : blocked_) {
            if (WaitForSingleObject(event, 0) == WAIT_TIMEOUT) {
                ++blocked;
            }
        }
        return blocked >= count;
    });
}

std::string FormatBstr(BSTR text) {
    if (!text) {
        return "null";
    }
    return record::QuoteText(text, SysStringLen(text));
}

std::string FormatObject(const void* identity) {
    if (!identity) {
        return "null";
    }
    return State::Instance().NameOf(identity).value_or("foreign");
}

std::string FormatVariant(const VARIANT& value) {
    const VARTYPE type = V_VT(&value);
    switch (type) {
        case VT_EMPTY:
            return "VT_EMPTY";
        case VT_NULL:
            return "VT_NULL";
        case VT_I1:
            return "VT_I1 " + std::to_string(static_cast<int>(V_I1(&value)));
        case VT_UI1:
            return "VT_UI1 " + std::to_string(static_cast<unsigned>(V_UI1(&value)));
        case VT_I2:
            return "VT_I2 " + std::to_string(V_I2(&value));
        case VT_UI2:
            return "VT_UI2 " + std::to_string(V_UI2(&value));
        case VT_I4:
            return "VT_I4 " + std::to_string(V_I4(&value));
        case VT_UI4:
            return "VT_UI4 " + std::to_string(V_UI4(&value));
        case VT_INT:
            return "VT_INT " + std::to_string(V_INT(&value));
        case VT_UINT:
            return "VT_UINT " + std::to_string(V_UINT(&value));
        case VT_I8:
            return "VT_I8 " + std::to_string(V_I8(&value));
        case VT_UI8:
            return "VT_UI8 " + std::to_string(V_UI8(&value));
        case VT_BOOL:
            return "VT_BOOL " + std::to_string(V_BOOL(&value));
        case VT_ERROR:
            return "VT_ERROR " + record::FormatHresult(V_ERROR(&value));
        case VT_BSTR:
            return "VT_BSTR " + FormatBstr(V_BSTR(&value));
        case VT_DISPATCH:
            return "VT_DISPATCH " + FormatObject(V_DISPATCH(&value));
        case VT_UNKNOWN:
            return "VT_UNKNOWN " + FormatObject(V_UNKNOWN(&value));
        case VT_R4: {
            char text[48];
            std::snprintf(text, sizeof text, "VT_R4 %g", static_cast<double>(V_R4(&value)));
            return text;
        }
        case VT_R8: {
            char text[48];
            std::snprintf(text, sizeof text, "VT_R8 %g", V_R8(&value));
            return text;
        }
        default: {
            char text[32];
            std::snprintf(text, sizeof text, "VT 0x%04X", static_cast<unsigned>(type));
            return text;
        }
    }
}

std::string FormatIid(REFIID iid) {
    struct Known {
        const IID* iid;
        const char* name;
    };
    static const Known known[] = {
        {&IID_IUnknown, "IUnknown"},
        {&IID_IDispatch, "IDispatch"},
        {&IID_ISupportErrorInfo, "ISupportErrorInfo"},
        {&IID_IClassFactory, "IClassFactory"},
        {&IID_IRunnableObject, "IRunnableObject"},
        {&IID_IMarshal, "IMarshal"},
        {&outlook::IID__Application, "_Application"},
        {&outlook::IID__NameSpace, "_NameSpace"},
        {&outlook::IID__Inspector, "_Inspector"},
        {&outlook::IID__MailItem, "_MailItem"},
        {&outlook::IID_Recipients, "Recipients"},
        {&outlook::IID_Attachments, "Attachments"},
        {&outlook::IID_Recipient, "Recipient"},
        {&outlook::IID__Accounts, "_Accounts"},
        {&outlook::IID__Account, "_Account"},
    };
    for (const Known& entry : known) {
        if (IsEqualGUID(iid, *entry.iid)) {
            return entry.name;
        }
    }
    char text[48];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(iid.Data1), iid.Data2, iid.Data3, iid.Data4[0], iid.Data4[1], iid.Data4[2],
                  iid.Data4[3], iid.Data4[4], iid.Data4[5], iid.Data4[6], iid.Data4[7]);
    return text;
}

}  // namespace zobrik::standin
