// The Outlook stand-in's COM objects and its in-process server entry points.
// Every object implements one Outlook interface of mail/outlook_interfaces.h
// with real reference counting, answers QueryInterface for IUnknown, IDispatch,
// its own interface id and ISupportErrorInfo, and records every call as one
// line (outlook_record_format.h). Placeholder slots and IDispatch's own
// methods record "unexpected call <Interface>.<member>" and return E_NOTIMPL.
#include <windows.h>

#include <oaidl.h>
#include <objbase.h>
#include <oleauto.h>
#include <olectl.h>

#include <atomic>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "include/outlook_placeholder_slots.h"
#include "include/win/outlook_interfaces.h"
#include "outlook_record_format.h"
#include "standin_state.h"

namespace zobrik::standin {
namespace {

using namespace zobrik::outlook;

// Runs a method body so that no exception leaves it.
template <class Body>
HRESULT Guarded(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// Owns one reference to a COM interface.
template <class T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* adopted) : pointer_(adopted) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Reset(); }

    void Reset(T* adopted = nullptr) {
        if (pointer_) {
            pointer_->Release();
        }
        pointer_ = adopted;
    }
    T* Get() const { return pointer_; }
    T* operator->() const { return pointer_; }

private:
    T* pointer_ = nullptr;
};

// Owns a file handle.
class File {
public:
    explicit File(HANDLE handle) : handle_(handle) {}
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// Sets the thread's error info for a failing call, or clears it.
void SetErrorInfoFor(REFIID iid, const std::optional<std::wstring>& description) {
    if (!description) {
        SetErrorInfo(0, nullptr);
        return;
    }
    ICreateErrorInfo* created = nullptr;
    if (FAILED(CreateErrorInfo(&created)) || !created) {
        return;
    }
    Ref<ICreateErrorInfo> create(created);
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(L"Outlook stand-in"));
    create->SetDescription(const_cast<LPOLESTR>(description->c_str()));
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info))) && info) {
        Ref<IErrorInfo> owned(info);
        SetErrorInfo(0, info);
    }
}

// True when a VARIANT converts to a true VT_BOOL (the modal flag of Display).
bool IsTrue(const VARIANT& value) {
    VARIANT converted;
    VariantInit(&converted);
    // VariantChangeType does not modify its source; MinGW declares it non-const.
    const bool ok = SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(&value), 0, VT_BOOL));
    const bool result = ok && V_BOOL(&converted) != VARIANT_FALSE;
    VariantClear(&converted);
    return result;
}

// One call of a member: counts it, takes its plan from the failure rules and
// writes its record when it finishes.
class Call {
public:
    Call(std::string object, std::string member, REFIID iid)
        : object_(std::move(object)),
          member_(std::move(member)),
          iid_(iid),
          plan_(State::Instance().NextCall(member_)) {}

    // A failure code is configured: the call does nothing and delivers nothing.
    bool Fails() const { return plan_.kind == CallPlan::Kind::Result && FAILED(plan_.hr); }
    // "Missing object": the call delivers nothing and returns S_OK.
    bool Null() const { return plan_.kind == CallPlan::Kind::Null; }

    void Arg(const std::string& text) {
        if (!args_.empty()) {
            args_ += ", ";
        }
        args_ += text;
    }
    void Extra(std::string text) { extra_ = std::move(text); }

    // Records the call and returns its result: `hr` is what the call itself
    // came to; a configured result replaces it (a success code only when the
    // call itself succeeded). `value` describes what it delivered.
    HRESULT Finish(HRESULT hr = S_OK, const std::string& value = {}) {
        HRESULT result = hr;
        const bool configured = plan_.kind == CallPlan::Kind::Result && (FAILED(plan_.hr) || SUCCEEDED(hr));
        if (configured) {
            result = plan_.hr;
        }
        std::string line = object_ + " " + member_ + "(" + args_ + ")";
        if (!extra_.empty()) {
            line += " " + extra_;
        }
        line += " -> " + record::FormatHresult(result);
        if (SUCCEEDED(result) && !value.empty()) {
            line += " " + value;
        }
        if (FAILED(result)) {
            const std::optional<std::wstring> description = configured ? plan_.errorDescription : std::nullopt;
            if (description) {
                line += " errorinfo " + record::QuoteText(*description);
            }
            SetErrorInfoFor(iid_, description);
        }
        State::Instance().Record(std::move(line));
        return result;
    }

private:
    std::string object_;
    std::string member_;
    IID iid_;
    CallPlan plan_;
    std::string args_;
    std::string extra_;
};

// Delivers a newly made object through an out parameter, unless the plan
// says otherwise. `make` returns the new object with its first reference.
template <class Out, class Make>
HRESULT Deliver(Call& call, Out** out, Make make) {
    if (!out) {
        return call.Finish(E_POINTER);
    }
    *out = nullptr;
    if (call.Fails()) {
        return call.Finish();
    }
    if (call.Null()) {
        return call.Finish(S_OK, "null");
    }
    auto* created = make();
    *out = created;
    return call.Finish(S_OK, created->Name());
}

// Common part of every stand-in object implementing `Interface`.
template <class Interface>
class Object : public Interface, public ISupportErrorInfo, public ObjectBase {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) {
            return E_POINTER;
        }
        *out = nullptr;
        HRESULT hr = E_NOINTERFACE;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch) || IsEqualGUID(riid, iid_)) {
            *out = static_cast<Interface*>(this);
        } else if (IsEqualGUID(riid, IID_ISupportErrorInfo)) {
            *out = static_cast<ISupportErrorInfo*>(this);
        }
        if (*out) {
            AddRef();
            hr = S_OK;
        }
        if (State::Instance().Traces(record::kTraceQueryInterface)) {
            Guarded([&] {
                State::Instance().Record(Name() + " IUnknown.QueryInterface(" + FormatIid(riid) + ") -> " +
                                         record::FormatHresult(hr));
                return S_OK;
            });
        }
        return hr;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // IDispatch: the plug-in binds early, so these are never expected.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) {
            *count = 0;
        }
        return Unexpected("IDispatch.GetTypeInfoCount");
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) {
            *info = nullptr;
        }
        return Unexpected("IDispatch.GetTypeInfo");
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return Unexpected("IDispatch.GetIDsOfNames");
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return Unexpected("IDispatch.Invoke");
    }

    // ISupportErrorInfo: error info is reported for the object's own interface.
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
        return IsEqualGUID(riid, iid_) ? S_OK : S_FALSE;
    }

protected:
    Object(const char* kind, REFIID iid) : ObjectBase(State::Instance().NewName(kind)), iid_(iid) {
        State::Instance().Register(Identity(), this);
    }
    ~Object() override {
        State::Instance().Unregister(Identity());
        if (State::Instance().Traces(record::kTraceDestruction)) {
            Guarded([&] {
                State::Instance().Record(Name() + " destroyed");
                return S_OK;
            });
        }
    }

    const void* Identity() const { return static_cast<const Interface*>(this); }
    Call Begin(const char* member) const { return Call(Name(), member, iid_); }

    HRESULT Unexpected(const char* member) noexcept {
        Guarded([&] {
            State::Instance().Record(Name() + " unexpected call " + member + " -> " + record::FormatHresult(E_NOTIMPL));
            return S_OK;
        });
        return E_NOTIMPL;
    }

    // A property get that delivers a number.
    template <class Number>
    HRESULT GetNumber(const char* member, Number* out, Number value) {
        return Guarded([&] {
            Call call = Begin(member);
            if (!out) {
                return call.Finish(E_POINTER);
            }
            *out = 0;
            if (call.Fails()) {
                return call.Finish();
            }
            if (call.Null()) {
                return call.Finish(S_OK, "0");
            }
            *out = value;
            return call.Finish(S_OK, std::to_string(value));
        });
    }

    // A property get that delivers a text (null stays a null BSTR).
    HRESULT GetText(const char* member, BSTR* out, const std::optional<std::wstring>& text) {
        return Guarded([&] {
            Call call = Begin(member);
            if (!out) {
                return call.Finish(E_POINTER);
            }
            *out = nullptr;
            if (call.Fails()) {
                return call.Finish();
            }
            if (call.Null() || !text) {
                return call.Finish(S_OK, "null");
            }
            *out = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
            if (!*out) {
                return call.Finish(E_OUTOFMEMORY);
            }
            return call.Finish(S_OK, FormatBstr(*out));
        });
    }

    // A property put or method whose arguments are only recorded.
    HRESULT Recorded(const char* member, const std::string& argument = {}) {
        return Guarded([&] {
            Call call = Begin(member);
            if (!argument.empty()) {
                call.Arg(argument);
            }
            return call.Finish();
        });
    }

    // Display of an item or an inspector: recorded first; then, if the modal
    // flag is true and modal blocking is on, held until released.
    HRESULT DisplayCall(const char* member, const VARIANT& modal) {
        return Guarded([&] {
            Call call = Begin(member);
            call.Arg(FormatVariant(modal));
            if (call.Fails()) {
                return call.Finish();
            }
            const bool block = !call.Null() && IsTrue(modal) && State::Instance().ModalBlocking();
            const HRESULT hr = call.Finish();
            if (block) {
                State::Instance().BlockUntilReleased();
            }
            return hr;
        });
    }

private:
    IID iid_;
};

#define ZOBRIK_PLACEHOLDER(Interface, member) \
    HRESULT STDMETHODCALLTYPE member() override { return Unexpected(#Interface "." #member); }

// What Attachments.Add returns, and what CreateItem returns when configured
// to deliver something other than a mail item.
class PlainObject final : public Object<IDispatch> {
public:
    explicit PlainObject(const char* kind) : Object(kind, IID_IDispatch) {}
};

class AccountObject final : public Object<_Account> {
public:
    explicit AccountObject(AccountData data) : Object("account", IID__Account), data_(std::move(data)) {}

    ZOBRIK_OUTLOOK_ACCOUNT_UNUSED(ZOBRIK_PLACEHOLDER)

    HRESULT STDMETHODCALLTYPE get_AccountType(long* accountType) override {
        return GetNumber<long>("_Account.get_AccountType", accountType, 0);
    }
    HRESULT STDMETHODCALLTYPE get_DisplayName(BSTR* displayName) override {
        return GetText("_Account.get_DisplayName", displayName, data_.displayName);
    }
    HRESULT STDMETHODCALLTYPE get_UserName(BSTR* userName) override {
        return GetText("_Account.get_UserName", userName, data_.userName);
    }
    HRESULT STDMETHODCALLTYPE get_SmtpAddress(BSTR* smtpAddress) override {
        return GetText("_Account.get_SmtpAddress", smtpAddress, data_.smtpAddress);
    }

private:
    AccountData data_;
};

class AccountsObject final : public Object<_Accounts> {
public:
    AccountsObject() : Object("accounts", IID__Accounts), accounts_(State::Instance().Accounts()) {}

    ZOBRIK_OUTLOOK_ACCOUNTS_UNUSED(ZOBRIK_PLACEHOLDER)

    HRESULT STDMETHODCALLTYPE get_Count(long* count) override {
        return GetNumber<long>("_Accounts.get_Count", count, static_cast<long>(accounts_.size()));
    }
    HRESULT STDMETHODCALLTYPE Item(VARIANT index, _Account** item) override {
        return Guarded([&] {
            Call call = Begin("_Accounts.Item");
            call.Arg(FormatVariant(index));
            if (!item) {
                return call.Finish(E_POINTER);
            }
            *item = nullptr;
            if (call.Fails()) {
                return call.Finish();
            }
            if (call.Null()) {
                return call.Finish(S_OK, "null");
            }
            // Outlook takes any index that converts to a number, 1 .. Count.
            VARIANT converted;
            VariantInit(&converted);
            if (FAILED(VariantChangeType(&converted, &index, 0, VT_I4))) {
                return call.Finish(DISP_E_TYPEMISMATCH);
            }
            const long position = V_I4(&converted);
            if (position < 1 || position > static_cast<long>(accounts_.size())) {
                return call.Finish(DISP_E_BADINDEX);
            }
            auto* account = new AccountObject(accounts_[static_cast<std::size_t>(position - 1)]);
            *item = account;
            return call.Finish(S_OK, account->Name());
        });
    }

private:
    std::vector<AccountData> accounts_;  // as configured when the collection was fetched
};

class NameSpaceObject final : public Object<_NameSpace> {
public:
    NameSpaceObject() : Object("namespace", IID__NameSpace) {}

    ZOBRIK_OUTLOOK_NAMESPACE_UNUSED(ZOBRIK_PLACEHOLDER)

    HRESULT STDMETHODCALLTYPE get_Accounts(_Accounts** accounts) override {
        return Guarded([&] {
            Call call = Begin("_NameSpace.get_Accounts");
            return Deliver(call, accounts, [] { return new AccountsObject(); });
        });
    }
};

class RecipientObject final : public Object<Recipient> {
public:
    RecipientObject() : Object("recipient", IID_Recipient) {}

    ZOBRIK_OUTLOOK_RECIPIENT_UNUSED(ZOBRIK_PLACEHOLDER)

    HRESULT STDMETHODCALLTYPE get_Type(long* type) override {
        return GetNumber<long>("Recipient.get_Type", type, type_.load());
    }
    HRESULT STDMETHODCALLTYPE put_Type(long type) override {
        return Guarded([&] {
            Call call = Begin("Recipient.put_Type");
            call.Arg(std::to_string(type));
            if (!call.Fails() && !call.Null()) {
                type_ = type;
            }
            return call.Finish();
        });
    }

private:
    std::atomic<long> type_{olTo};  // Outlook's default for a new recipient
};

class RecipientsObject final : public Object<Recipients> {
public:
    explicit RecipientsObject(const char* kind) : Object(kind, IID_Recipients) {}

    ZOBRIK_OUTLOOK_RECIPIENTS_UNUSED(ZOBRIK_PLACEHOLDER)

    HRESULT STDMETHODCALLTYPE Add(BSTR name, Recipient** recipient) override {
        return Guarded([&] {
            Call call = Begin("Recipients.Add");
            call.Arg(FormatBstr(name));
            return Deliver(call, recipient, [] { return new RecipientObject(); });
        });
    }
    HRESULT STDMETHODCALLTYPE ResolveAll(VARIANT_BOOL* success) override {
        return GetNumber<VARIANT_BOOL>("Recipients.ResolveAll", success, VARIANT_TRUE);
    }
};

class AttachmentsObject final : public Object<Attachments> {
public:
    AttachmentsObject() : Object("attachments", IID_Attachments) {}

    ZOBRIK_OUTLOOK_ATTACHMENTS_UNUSED(ZOBRIK_PLACEHOLDER)

    HRESULT STDMETHODCALLTYPE Add(VARIANT source, VARIANT type, VARIANT position, VARIANT displayName,
                                  IDispatch** attachment) override {
        return Guarded([&] {
            Call call = Begin("Attachments.Add");
            call.Arg(FormatVariant(source));
            call.Arg(FormatVariant(type));
            call.Arg(FormatVariant(position));
            call.Arg(FormatVariant(displayName));
            // The caller deletes its files right after the hand-over: what
            // the file holds now is what Outlook would have copied.
            HRESULT fileResult = S_OK;
            if (V_VT(&source) == VT_BSTR) {
                fileResult = ReadSource(V_BSTR(&source) ? V_BSTR(&source) : L"", call);
            } else {
                call.Extra(std::string(record::kFileNoneRecord));
                fileResult = DISP_E_TYPEMISMATCH;
            }
            if (attachment && !call.Fails() && !call.Null() && FAILED(fileResult) &&
                State::Instance().AttachmentFileRequired()) {
                *attachment = nullptr;
                return call.Finish(fileResult);
            }
            return Deliver(call, attachment, [] { return new PlainObject("attachment"); });
        });
    }

private:
    static HRESULT ReadSource(const wchar_t* path, Call& call) {
        File file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.Get() == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            call.Extra(record::FileErrorRecord(error));
            return HRESULT_FROM_WIN32(error);
        }
        std::vector<uint8_t> bytes;
        uint8_t chunk[65536];
        for (;;) {
            DWORD read = 0;
            if (!ReadFile(file.Get(), chunk, sizeof chunk, &read, nullptr)) {
                const DWORD error = GetLastError();
                call.Extra(record::FileErrorRecord(error));
                return HRESULT_FROM_WIN32(error);
            }
            if (read == 0) {
                break;
            }
            bytes.insert(bytes.end(), chunk, chunk + read);
        }
        call.Extra(record::FileRecord(bytes));
        return S_OK;
    }
};

class InspectorObject final : public Object<_Inspector> {
public:
    InspectorObject() : Object("inspector", IID__Inspector) {}

    ZOBRIK_OUTLOOK_INSPECTOR_UNUSED(ZOBRIK_PLACEHOLDER)

    HRESULT STDMETHODCALLTYPE Close(long saveMode) override {
        return Recorded("_Inspector.Close", std::to_string(saveMode));
    }
    HRESULT STDMETHODCALLTYPE Display(VARIANT modal) override { return DisplayCall("_Inspector.Display", modal); }
};

class MailItemObject final : public Object<_MailItem> {
public:
    MailItemObject() : Object("item", IID__MailItem) {}

    ZOBRIK_OUTLOOK_MAILITEM_UNUSED(ZOBRIK_PLACEHOLDER)

    HRESULT STDMETHODCALLTYPE get_Attachments(Attachments** attachments) override {
        return Guarded([&] {
            Call call = Begin("_MailItem.get_Attachments");
            return Deliver(call, attachments, [] { return new AttachmentsObject(); });
        });
    }
    HRESULT STDMETHODCALLTYPE put_Body(BSTR body) override {
        return Guarded([&] { return Recorded("_MailItem.put_Body", FormatBstr(body)); });
    }
    HRESULT STDMETHODCALLTYPE get_GetInspector(_Inspector** inspector) override {
        return Guarded([&] {
            Call call = Begin("_MailItem.get_GetInspector");
            return Deliver(call, inspector, [] { return new InspectorObject(); });
        });
    }
    HRESULT STDMETHODCALLTYPE put_Subject(BSTR subject) override {
        return Guarded([&] { return Recorded("_MailItem.put_Subject", FormatBstr(subject)); });
    }
    HRESULT STDMETHODCALLTYPE Display(VARIANT modal) override { return DisplayCall("_MailItem.Display", modal); }
    HRESULT STDMETHODCALLTYPE put_HTMLBody(BSTR htmlBody) override {
        return Guarded([&] { return Recorded("_MailItem.put_HTMLBody", FormatBstr(htmlBody)); });
    }
    HRESULT STDMETHODCALLTYPE get_Recipients(Recipients** recipients) override {
        return Guarded([&] {
            Call call = Begin("_MailItem.get_Recipients");
            return Deliver(call, recipients, [] { return new RecipientsObject("recipients"); });
        });
    }
    HRESULT STDMETHODCALLTYPE get_ReplyRecipients(Recipients** replyRecipients) override {
        return Guarded([&] {
            Call call = Begin("_MailItem.get_ReplyRecipients");
            return Deliver(call, replyRecipients, [] { return new RecipientsObject("replyrecipients"); });
        });
    }
    HRESULT STDMETHODCALLTYPE put_SentOnBehalfOfName(BSTR sentOnBehalfOfName) override {
        return Guarded([&] { return Recorded("_MailItem.put_SentOnBehalfOfName", FormatBstr(sentOnBehalfOfName)); });
    }
    HRESULT STDMETHODCALLTYPE Send() override { return Recorded("_MailItem.Send"); }
    HRESULT STDMETHODCALLTYPE get_SendUsingAccount(_Account** account) override {
        return Guarded([&] {
            Call call = Begin("_MailItem.get_SendUsingAccount");
            if (!account) {
                return call.Finish(E_POINTER);
            }
            *account = nullptr;
            if (call.Fails()) {
                return call.Finish();
            }
            if (!call.Null() && sendUsingAccount_.Get()) {
                *account = sendUsingAccount_.Get();
                (*account)->AddRef();
            }
            return call.Finish(S_OK, FormatObject(*account));
        });
    }
    HRESULT STDMETHODCALLTYPE put_SendUsingAccount(_Account* account) override {
        return Guarded([&] {
            Call call = Begin("_MailItem.put_SendUsingAccount");
            call.Arg(FormatObject(account));
            if (!call.Fails() && !call.Null()) {
                // The item keeps the account, as Outlook's item does.
                if (account) {
                    account->AddRef();
                }
                sendUsingAccount_.Reset(account);
            }
            return call.Finish();
        });
    }

private:
    Ref<_Account> sendUsingAccount_;
};

class ApplicationObject final : public Object<_Application> {
public:
    ApplicationObject() : Object("app", IID__Application) {}

    ZOBRIK_OUTLOOK_APPLICATION_UNUSED(ZOBRIK_PLACEHOLDER)

    HRESULT STDMETHODCALLTYPE get_Session(_NameSpace** session) override {
        return Guarded([&] {
            Call call = Begin("_Application.get_Session");
            return Deliver(call, session, [] { return new NameSpaceObject(); });
        });
    }
    HRESULT STDMETHODCALLTYPE CreateItem(long itemType, IDispatch** item) override {
        return Guarded([&] {
            Call call = Begin("_Application.CreateItem");
            call.Arg(std::to_string(itemType));
            if (State::Instance().CreateItemNotMail()) {
                return Deliver(call, item, [] { return new PlainObject("notmail"); });
            }
            return Deliver(call, item, [] { return new MailItemObject(); });
        });
    }
};

#undef ZOBRIK_PLACEHOLDER

// The class object for Outlook's class id. Static and not counted among the
// live objects; every CreateInstance makes a new application object.
class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) {
            return E_POINTER;
        }
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        return Guarded([&] {
            Call call("factory", "IClassFactory.CreateInstance", IID_IClassFactory);
            call.Arg(FormatIid(riid));
            if (!out) {
                return call.Finish(E_POINTER);
            }
            *out = nullptr;
            if (outer) {
                return call.Finish(CLASS_E_NOAGGREGATION);
            }
            if (call.Fails()) {
                return call.Finish();
            }
            if (call.Null()) {
                return call.Finish(S_OK, "null");
            }
            Ref<ApplicationObject> application(new ApplicationObject());
            const HRESULT hr = application->QueryInterface(riid, out);
            if (FAILED(hr)) {
                return call.Finish(hr);
            }
            return call.Finish(S_OK, application->Name());
        });
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

ClassFactory g_factory;

constexpr wchar_t kClassKey[] = L"Software\\Classes\\CLSID\\{0006F03A-0000-0000-C000-000000000046}";

// Owns a registry key.
class Key {
public:
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (key_) {
            RegCloseKey(key_);
        }
    }
    HKEY* Out() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

LONG SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

}  // namespace
}  // namespace zobrik::standin

using zobrik::standin::g_factory;

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* out) {
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    if (!IsEqualGUID(clsid, zobrik::outlook::CLSID_Application)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return g_factory.QueryInterface(riid, out);
}

// The module stays loaded: its state must outlive every apartment.
STDAPI DllCanUnloadNow() { return S_FALSE; }

// Registers this DLL for Outlook's class id: machine-wide when that is
// allowed (Wine reads classes only from there), else for the current user.
STDAPI DllRegisterServer() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&DllRegisterServer), &module)) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return SELFREG_E_CLASS;
    }
    return zobrik::standin::Guarded([&] {
        using namespace zobrik::standin;
        const std::wstring serverKey = std::wstring(kClassKey) + L"\\InprocServer32";
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            Key server;
            if (RegCreateKeyExW(root, serverKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, server.Out(),
                                nullptr) == ERROR_SUCCESS &&
                SetText(server.Get(), nullptr, path) == ERROR_SUCCESS &&
                SetText(server.Get(), L"ThreadingModel", L"Apartment") == ERROR_SUCCESS) {
                return S_OK;
            }
        }
        return SELFREG_E_CLASS;
    });
}

STDAPI DllUnregisterServer() {
    HRESULT result = S_OK;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        const LONG status = RegDeleteTreeW(root, zobrik::standin::kClassKey);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
            result = SELFREG_E_CLASS;
        }
    }
    return result;
}
