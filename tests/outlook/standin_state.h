// Process-wide state of the Outlook stand-in: the configuration set through
// the control exports, the call records, the per-member call counters and the
// registry of live objects. Every member is safe to call from any thread.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zobrik::standin {

struct AccountData {
    std::optional<std::wstring> smtpAddress;
    std::optional<std::wstring> displayName;
    std::optional<std::wstring> userName;
};

// What the current call of a member is to do, from the failure rules.
struct CallPlan {
    enum class Kind { Normal, Result, Null };
    Kind kind = Kind::Normal;
    HRESULT hr = S_OK;                             // Kind::Result
    std::optional<std::wstring> errorDescription;  // Kind::Result with error info
};

// Base of every counted stand-in object: its name ("item#1") and its
// reference count, which the registry reads for the live-object exports.
class ObjectBase {
public:
    ObjectBase(const ObjectBase&) = delete;
    ObjectBase& operator=(const ObjectBase&) = delete;
    virtual ~ObjectBase() = default;

    const std::string& Name() const { return name_; }
    ULONG References() const { return references_.load(); }

protected:
    explicit ObjectBase(std::string name) : name_(std::move(name)) {}

    std::atomic<ULONG> references_{1};

private:
    std::string name_;
};

class State {
public:
    static State& Instance();

    // Configuration.
    void Reset();
    void AddAccount(AccountData account);
    std::vector<AccountData> Accounts();
    void AddRule(std::string member, ULONG nth, CallPlan plan);
    void SetCreateItemNotMail(bool notMail);
    bool CreateItemNotMail();
    void SetModalBlocking(bool blocking);
    bool ModalBlocking();
    void SetAttachmentFileRequired(bool required);
    bool AttachmentFileRequired();
    void SetTrace(ULONG flags);
    bool Traces(ULONG flag);

    // Counts one call of `member` and returns what it is to do.
    CallPlan NextCall(const std::string& member);

    // Records.
    void Record(std::string line);
    ULONG RecordCount();
    std::optional<std::string> RecordAt(ULONG index);
    bool WaitForRecords(ULONG count, ULONG timeoutMs);

    // Objects: a fresh name of the kind ("item" -> "item#3"), and the registry
    // keyed by the interface pointer that the object hands out.
    std::string NewName(const std::string& kind);
    void Register(const void* identity, const ObjectBase* object);
    void Unregister(const void* identity);
    std::optional<std::string> NameOf(const void* identity);
    ULONG LiveObjects();
    ULONG OutstandingReferences();
    std::string LiveObjectList();

    // Modal Display: blocks the calling thread, pumping messages, until
    // ReleaseModal or Reset.
    void BlockUntilReleased();
    void ReleaseModal();
    ULONG BlockedCount();
    bool WaitForBlocked(ULONG count, ULONG timeoutMs);

private:
    State() = default;
    void ReleaseModalLocked();

    struct Rule {
        std::string member;
        ULONG nth = 0;
        CallPlan plan;
    };

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<AccountData> accounts_;
    std::vector<Rule> rules_;
    std::map<std::string, ULONG> callCounts_;
    std::map<std::string, ULONG> nameCounts_;
    std::vector<std::string> records_;
    std::map<const void*, const ObjectBase*> live_;
    std::vector<HANDLE> blocked_;  // one event per blocked Display call, owned by that call
    bool createItemNotMail_ = false;
    bool modalBlocking_ = false;
    bool attachmentFileRequired_ = true;
    ULONG trace_ = 0;
};

// Text forms used in the records (see outlook_record_format.h).
std::string FormatBstr(BSTR text);
std::string FormatVariant(const VARIANT& value);
std::string FormatIid(REFIID iid);
std::string FormatObject(const void* identity);  // "account#1", "null" or "foreign"

}  // namespace zobrik::standin
