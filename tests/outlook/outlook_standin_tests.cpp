// Tests of the Outlook stand-in itself, reached the way the plug-in reaches
// Outlook: CoCreateInstance in a single-threaded apartment, then early-bound
// vtable calls. Runs in the Wine prefix where the stand-in is registered.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "include/win/outlook_interfaces.h"
#include "outlook_standin_client.h"

namespace {

using namespace std::chrono_literals;
using zobrik::standin::FileBytesRecord;
using zobrik::standin::OutlookStandIn;
using zobrik::standin::Quoted;
namespace ol = zobrik::outlook;

constexpr DWORD kClassContext = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;  // 5, as the plug-in asks

// Owns one reference to a COM interface.
template <class T>
class Ptr {
public:
    Ptr() = default;
    Ptr(const Ptr&) = delete;
    Ptr& operator=(const Ptr&) = delete;
    ~Ptr() { Reset(); }
    void Reset() {
        if (pointer_) {
            pointer_->Release();
            pointer_ = nullptr;
        }
    }
    T** Out() {
        Reset();
        return &pointer_;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    T* Get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

private:
    T* pointer_ = nullptr;
};

// Owns a BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* text) : text_(SysAllocString(text)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(text_); }
    BSTR Get() const { return text_; }
    BSTR* Out() {
        SysFreeString(text_);
        text_ = nullptr;
        return &text_;
    }

private:
    BSTR text_ = nullptr;
};

// Owns a VARIANT.
class Variant {
public:
    Variant() { VariantInit(&value_); }
    Variant(Variant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    Variant& operator=(Variant&&) = delete;
    ~Variant() { VariantClear(&value_); }
    static Variant Int(int number) {
        Variant v;
        V_VT(&v.value_) = VT_INT;
        V_INT(&v.value_) = number;
        return v;
    }
    static Variant I4(long number) {
        Variant v;
        V_VT(&v.value_) = VT_I4;
        V_I4(&v.value_) = number;
        return v;
    }
    static Variant Bool(bool flag) {
        Variant v;
        V_VT(&v.value_) = VT_BOOL;
        V_BOOL(&v.value_) = flag ? VARIANT_TRUE : VARIANT_FALSE;
        return v;
    }
    static Variant Text(const wchar_t* text) {
        Variant v;
        V_VT(&v.value_) = VT_BSTR;
        V_BSTR(&v.value_) = SysAllocString(text);
        return v;
    }
    static Variant Missing() {
        Variant v;
        V_VT(&v.value_) = VT_ERROR;
        V_ERROR(&v.value_) = DISP_E_PARAMNOTFOUND;
        return v;
    }
    const VARIANT& Get() const { return value_; }

private:
    VARIANT value_;
};

// Initialises COM in a single-threaded apartment for the object's lifetime.
class Apartment {
public:
    Apartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    ~Apartment() {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }
    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};

// A file in the temporary folder, removed again at the end.
class TempFile {
public:
    explicit TempFile(const std::string& bytes) {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        wchar_t name[MAX_PATH];
        GetTempFileNameW(folder, L"ols", 0, name);
        path_ = name;
        HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
            CloseHandle(file);
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() { DeleteFileW(path_.c_str()); }
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

class OutlookStandInObjects : public ::testing::Test {
protected:
    void SetUp() override {
        standIn_ = OutlookStandIn::Load();
        ASSERT_TRUE(standIn_.Valid()) << "outlook_standin.dll is not registered in this prefix";
        standIn_.Reset();
        ASSERT_TRUE(SUCCEEDED(apartment_.Result()));
    }
    void TearDown() override {
        EXPECT_EQ(standIn_.LiveObjects(), 0u) << standIn_.LiveObjectList();
        EXPECT_EQ(standIn_.OutstandingReferences(), 0u);
        standIn_.Reset();
    }

    void CreateApplication(Ptr<ol::_Application>& application) {
        ASSERT_EQ(CoCreateInstance(ol::CLSID_Application, nullptr, kClassContext, ol::IID__Application,
                                   application.OutVoid()),
                  S_OK);
        ASSERT_TRUE(application);
    }

    void CreateMailItem(Ptr<ol::_Application>& application, Ptr<ol::_MailItem>& item) {
        CreateApplication(application);
        Ptr<IDispatch> created;
        ASSERT_EQ(application->CreateItem(ol::olMailItem, created.Out()), S_OK);
        ASSERT_TRUE(created);
        ASSERT_EQ(created->QueryInterface(ol::IID__MailItem, item.OutVoid()), S_OK);
    }

    OutlookStandIn standIn_;
    Apartment apartment_;
};

TEST_F(OutlookStandInObjects, CoCreateInstanceReachesTheStandIn) {
    {
        Ptr<ol::_Application> application;
        CreateApplication(application);
        EXPECT_EQ(OutlookStandIn::Find().Module(), standIn_.Module());
        EXPECT_EQ(standIn_.LiveObjects(), 1u);
        EXPECT_EQ(standIn_.OutstandingReferences(), 1u);
        EXPECT_EQ(standIn_.LiveObjectList(), "app#1(1)");

        Ptr<IUnknown> unknown;
        Ptr<IDispatch> dispatch;
        Ptr<ISupportErrorInfo> errorInfo;
        Ptr<IUnknown> none;
        EXPECT_EQ(application->QueryInterface(IID_IUnknown, unknown.OutVoid()), S_OK);
        EXPECT_EQ(application->QueryInterface(IID_IDispatch, dispatch.OutVoid()), S_OK);
        EXPECT_EQ(application->QueryInterface(IID_ISupportErrorInfo, errorInfo.OutVoid()), S_OK);
        EXPECT_EQ(application->QueryInterface(ol::IID__MailItem, none.OutVoid()), E_NOINTERFACE);
        EXPECT_FALSE(none);
        EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(ol::IID__Application), S_OK);
        EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(ol::IID__MailItem), S_FALSE);
        EXPECT_EQ(standIn_.OutstandingReferences(), 4u);
    }
    EXPECT_EQ(standIn_.Calls(), (std::vector<std::string>{
                                    "factory IClassFactory.CreateInstance(_Application) -> S_OK app#1",
                                }));
}

TEST_F(OutlookStandInObjects, WalksSessionAccountsAndItems) {
    standIn_.AddAccount(L"one@example.org", L"One");
    standIn_.AddAccount(std::nullopt, L"Two", L"user2");
    {
        Ptr<ol::_Application> application;
        CreateApplication(application);
        Ptr<ol::_NameSpace> session;
        ASSERT_EQ(application->get_Session(session.Out()), S_OK);
        Ptr<ol::_Accounts> accounts;
        ASSERT_EQ(session->get_Accounts(accounts.Out()), S_OK);
        session.Reset();
        long count = 0;
        ASSERT_EQ(accounts->get_Count(&count), S_OK);
        EXPECT_EQ(count, 2);

        Variant two = Variant::I4(2);
        Ptr<ol::_Account> account;
        ASSERT_EQ(accounts->Item(two.Get(), account.Out()), S_OK);
        Bstr text;
        ASSERT_EQ(account->get_SmtpAddress(text.Out()), S_OK);
        EXPECT_EQ(text.Get(), nullptr);
        ASSERT_EQ(account->get_UserName(text.Out()), S_OK);
        EXPECT_STREQ(text.Get(), L"user2");

        Variant one = Variant::I4(1);
        ASSERT_EQ(accounts->Item(one.Get(), account.Out()), S_OK);
        ASSERT_EQ(account->get_SmtpAddress(text.Out()), S_OK);
        EXPECT_STREQ(text.Get(), L"one@example.org");
        ASSERT_EQ(account->get_DisplayName(text.Out()), S_OK);
        EXPECT_STREQ(text.Get(), L"One");
        long type = -1;
        EXPECT_EQ(account->get_AccountType(&type), S_OK);
        account.Reset();

        Variant three = Variant::I4(3);
        EXPECT_EQ(accounts->Item(three.Get(), account.Out()), DISP_E_BADINDEX);
        EXPECT_FALSE(account);
    }
    EXPECT_EQ(standIn_.Calls(), (std::vector<std::string>{
                                    "factory IClassFactory.CreateInstance(_Application) -> S_OK app#1",
                                    "app#1 _Application.get_Session() -> S_OK namespace#1",
                                    "namespace#1 _NameSpace.get_Accounts() -> S_OK accounts#1",
                                    "accounts#1 _Accounts.get_Count() -> S_OK 2",
                                    "accounts#1 _Accounts.Item(VT_I4 2) -> S_OK account#1",
                                    "account#1 _Account.get_SmtpAddress() -> S_OK null",
                                    "account#1 _Account.get_UserName() -> S_OK \"user2\"",
                                    "accounts#1 _Accounts.Item(VT_I4 1) -> S_OK account#2",
                                    "account#2 _Account.get_SmtpAddress() -> S_OK \"one@example.org\"",
                                    "account#2 _Account.get_DisplayName() -> S_OK \"One\"",
                                    "account#2 _Account.get_AccountType() -> S_OK 0",
                                    "accounts#1 _Accounts.Item(VT_I4 3) -> 0x8002000B",
                                }));
}

TEST_F(OutlookStandInObjects, RecordsTheMailItemMembers) {
    standIn_.AddAccount(L"me@example.org", L"Me");
    {
        Ptr<ol::_Application> application;
        Ptr<ol::_MailItem> item;
        CreateMailItem(application, item);

        Bstr body(L"Line 1\r\nLine 2");
        Bstr empty(L"");
        Bstr subject(L"Gr\u00FC\u00DFe \"quoted\" back\\slash");
        EXPECT_EQ(item->put_Body(body.Get()), S_OK);
        EXPECT_EQ(item->put_HTMLBody(empty.Get()), S_OK);
        EXPECT_EQ(item->put_Subject(subject.Get()), S_OK);
        EXPECT_EQ(item->put_SentOnBehalfOfName(nullptr), S_OK);

        Ptr<ol::Recipients> recipients;
        ASSERT_EQ(item->get_Recipients(recipients.Out()), S_OK);
        Bstr name(L"\"A \\\"B\\\"\" <a@example.org>");
        Ptr<ol::Recipient> recipient;
        ASSERT_EQ(recipients->Add(name.Get(), recipient.Out()), S_OK);
        recipients.Reset();
        long type = 0;
        EXPECT_EQ(recipient->get_Type(&type), S_OK);
        EXPECT_EQ(type, ol::olTo);
        EXPECT_EQ(recipient->put_Type(ol::olCC), S_OK);
        EXPECT_EQ(recipient->get_Type(&type), S_OK);
        EXPECT_EQ(type, ol::olCC);
        recipient.Reset();

        ASSERT_EQ(item->get_Recipients(recipients.Out()), S_OK);
        VARIANT_BOOL resolved = VARIANT_FALSE;
        EXPECT_EQ(recipients->ResolveAll(&resolved), S_OK);
        EXPECT_EQ(resolved, VARIANT_TRUE);
        recipients.Reset();
        ASSERT_EQ(item->get_ReplyRecipients(recipients.Out()), S_OK);
        Bstr reply(L"Reply <r@example.org>");
        ASSERT_EQ(recipients->Add(reply.Get(), recipient.Out()), S_OK);
        recipient.Reset();
        recipients.Reset();

        // The item keeps the account it is to send with.
        {
            Ptr<ol::_NameSpace> session;
            ASSERT_EQ(application->get_Session(session.Out()), S_OK);
            Ptr<ol::_Accounts> accounts;
            ASSERT_EQ(session->get_Accounts(accounts.Out()), S_OK);
            Variant one = Variant::I4(1);
            Ptr<ol::_Account> account;
            ASSERT_EQ(accounts->Item(one.Get(), account.Out()), S_OK);
            EXPECT_EQ(item->put_SendUsingAccount(account.Get()), S_OK);
        }
        EXPECT_EQ(standIn_.LiveObjectList(), "account#1(1) app#1(1) item#1(1)");
        Ptr<ol::_Account> sending;
        EXPECT_EQ(item->get_SendUsingAccount(sending.Out()), S_OK);
        EXPECT_TRUE(sending);
        sending.Reset();

        Ptr<ol::_Inspector> inspector;
        ASSERT_EQ(item->get_GetInspector(inspector.Out()), S_OK);
        Variant modeless = Variant::Int(0);
        EXPECT_EQ(inspector->Display(modeless.Get()), S_OK);
        Variant modal = Variant::Bool(true);
        EXPECT_EQ(inspector->Display(modal.Get()), S_OK);  // modal blocking is off by default
        EXPECT_EQ(inspector->Close(1), S_OK);
        inspector.Reset();
        EXPECT_EQ(item->Display(modeless.Get()), S_OK);
        EXPECT_EQ(item->Send(), S_OK);

        // Slots that the plug-in never calls, and late binding.
        EXPECT_EQ(item->get_To(), E_NOTIMPL);
        UINT typeInfoCount = 7;
        EXPECT_EQ(item->GetTypeInfoCount(&typeInfoCount), E_NOTIMPL);
        EXPECT_EQ(typeInfoCount, 0u);
    }
    const std::vector<std::string> calls = standIn_.Calls();
    EXPECT_EQ(calls,
              (std::vector<std::string>{
                  "factory IClassFactory.CreateInstance(_Application) -> S_OK app#1",
                  "app#1 _Application.CreateItem(0) -> S_OK item#1",
                  "item#1 _MailItem.put_Body(\"Line 1\\r\\nLine 2\") -> S_OK",
                  "item#1 _MailItem.put_HTMLBody(\"\") -> S_OK",
                  "item#1 _MailItem.put_Subject(\"Gr\xC3\xBC\xC3\x9F"
                  "e \\\"quoted\\\" back\\\\slash\") -> S_OK",
                  "item#1 _MailItem.put_SentOnBehalfOfName(null) -> S_OK",
                  "item#1 _MailItem.get_Recipients() -> S_OK recipients#1",
                  "recipients#1 Recipients.Add(\"\\\"A \\\\\\\"B\\\\\\\"\\\" <a@example.org>\") -> S_OK recipient#1",
                  "recipient#1 Recipient.get_Type() -> S_OK 1",
                  "recipient#1 Recipient.put_Type(2) -> S_OK",
                  "recipient#1 Recipient.get_Type() -> S_OK 2",
                  "item#1 _MailItem.get_Recipients() -> S_OK recipients#2",
                  "recipients#2 Recipients.ResolveAll() -> S_OK -1",
                  "item#1 _MailItem.get_ReplyRecipients() -> S_OK replyrecipients#1",
                  "replyrecipients#1 Recipients.Add(\"Reply <r@example.org>\") -> S_OK recipient#2",
                  "app#1 _Application.get_Session() -> S_OK namespace#1",
                  "namespace#1 _NameSpace.get_Accounts() -> S_OK accounts#1",
                  "accounts#1 _Accounts.Item(VT_I4 1) -> S_OK account#1",
                  "item#1 _MailItem.put_SendUsingAccount(account#1) -> S_OK",
                  "item#1 _MailItem.get_SendUsingAccount() -> S_OK account#1",
                  "item#1 _MailItem.get_GetInspector() -> S_OK inspector#1",
                  "inspector#1 _Inspector.Display(VT_INT 0) -> S_OK",
                  "inspector#1 _Inspector.Display(VT_BOOL -1) -> S_OK",
                  "inspector#1 _Inspector.Close(1) -> S_OK",
                  "item#1 _MailItem.Display(VT_INT 0) -> S_OK",
                  "item#1 _MailItem.Send() -> S_OK",
                  "item#1 unexpected call _MailItem.get_To -> 0x80004001",
                  "item#1 unexpected call IDispatch.GetTypeInfoCount -> 0x80004001",
              }));
    EXPECT_EQ(Quoted(L"\"A \\\"B\\\"\" <a@example.org>"), "\"\\\"A \\\\\\\"B\\\\\\\"\\\" <a@example.org>\"");
}

TEST_F(OutlookStandInObjects, AttachmentsAddReadsTheFileDuringTheCall) {
    const std::string bytes("PK\x03\x04 binary\0data\xFF", 18);
    {
        Ptr<ol::_Application> application;
        Ptr<ol::_MailItem> item;
        CreateMailItem(application, item);
        Ptr<ol::Attachments> attachments;
        ASSERT_EQ(item->get_Attachments(attachments.Out()), S_OK);

        std::wstring path;
        {
            TempFile file(bytes);
            path = file.Path();
            Variant source = Variant::Text(path.c_str());
            Variant byValue = Variant::Int(ol::olByValue);
            Variant position = Variant::Int(1);
            Variant name = Variant::Text(L"dir\\a.zip");
            Ptr<IDispatch> attachment;
            ASSERT_EQ(attachments->Add(source.Get(), byValue.Get(), position.Get(), name.Get(), attachment.Out()),
                      S_OK);
            EXPECT_TRUE(attachment);
        }
        // The file is gone now: Outlook would fail, and so does the stand-in.
        Variant source = Variant::Text(path.c_str());
        Variant byValue = Variant::Int(ol::olByValue);
        Variant missing = Variant::Missing();
        Variant name = Variant::Text(L"a.zip");
        Ptr<IDispatch> attachment;
        EXPECT_EQ(attachments->Add(source.Get(), byValue.Get(), missing.Get(), name.Get(), attachment.Out()),
                  HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
        EXPECT_FALSE(attachment);
        standIn_.SetAttachmentFileRequired(false);
        EXPECT_EQ(attachments->Add(source.Get(), byValue.Get(), missing.Get(), name.Get(), attachment.Out()), S_OK);
        EXPECT_TRUE(attachment);

        const std::string quotedPath = Quoted(path);
        EXPECT_EQ(standIn_.Calls(),
                  (std::vector<std::string>{
                      "factory IClassFactory.CreateInstance(_Application) -> S_OK app#1",
                      "app#1 _Application.CreateItem(0) -> S_OK item#1",
                      "item#1 _MailItem.get_Attachments() -> S_OK attachments#1",
                      "attachments#1 Attachments.Add(VT_BSTR " + quotedPath +
                          ", VT_INT 1, VT_INT 1, VT_BSTR \"dir\\\\a.zip\") " + FileBytesRecord(bytes) +
                          " -> S_OK attachment#1",
                      "attachments#1 Attachments.Add(VT_BSTR " + quotedPath +
                          ", VT_INT 1, VT_ERROR 0x80020004, VT_BSTR \"a.zip\") [file error=2] -> 0x80070002",
                      "attachments#1 Attachments.Add(VT_BSTR " + quotedPath +
                          ", VT_INT 1, VT_ERROR 0x80020004, VT_BSTR \"a.zip\") [file error=2] -> S_OK attachment#2",
                  }));
    }
    EXPECT_EQ(FileBytesRecord(std::string("hello")), "[file size=5 fnv1a64=a430d84680aabd0b hex=68656c6c6f]");
}

TEST_F(OutlookStandInObjects, FailsTheThirdRecipientsAdd) {
    standIn_.FailCall("Recipients.Add", 3, E_FAIL);
    {
        Ptr<ol::_Application> application;
        Ptr<ol::_MailItem> item;
        CreateMailItem(application, item);
        const wchar_t* names[] = {L"a@x", L"b@x", L"c@x", L"d@x"};
        std::vector<HRESULT> results;
        for (const wchar_t* text : names) {
            Ptr<ol::Recipients> recipients;
            ASSERT_EQ(item->get_Recipients(recipients.Out()), S_OK);
            Bstr name(text);
            Ptr<ol::Recipient> recipient;
            results.push_back(recipients->Add(name.Get(), recipient.Out()));
            EXPECT_EQ(static_cast<bool>(recipient), SUCCEEDED(results.back()));
            if (recipient) {
                EXPECT_EQ(recipient->put_Type(ol::olBCC), S_OK);
            }
        }
        EXPECT_EQ(results, (std::vector<HRESULT>{S_OK, S_OK, E_FAIL, S_OK}));
    }
    const std::vector<std::string> calls = standIn_.Calls();
    ASSERT_EQ(calls.size(), 13u);
    EXPECT_EQ(calls[6], "recipients#2 Recipients.Add(\"b@x\") -> S_OK recipient#2");
    EXPECT_EQ(calls[9], "recipients#3 Recipients.Add(\"c@x\") -> 0x80004005");
    EXPECT_EQ(calls[11], "recipients#4 Recipients.Add(\"d@x\") -> S_OK recipient#3");
    EXPECT_EQ(calls[12], "recipient#3 Recipient.put_Type(3) -> S_OK");
}

TEST_F(OutlookStandInObjects, FailureWithErrorInfo) {
    standIn_.FailCallWithErrorInfo("_MailItem.Send", 1, DISP_E_EXCEPTION, L"Send refused");
    {
        Ptr<ol::_Application> application;
        Ptr<ol::_MailItem> item;
        CreateMailItem(application, item);
        EXPECT_EQ(item->Send(), DISP_E_EXCEPTION);
        Ptr<ISupportErrorInfo> support;
        ASSERT_EQ(item->QueryInterface(IID_ISupportErrorInfo, support.OutVoid()), S_OK);
        EXPECT_EQ(support->InterfaceSupportsErrorInfo(ol::IID__MailItem), S_OK);
        Ptr<IErrorInfo> info;
        ASSERT_EQ(GetErrorInfo(0, info.Out()), S_OK);
        ASSERT_TRUE(info);
        Bstr description;
        ASSERT_EQ(info->GetDescription(description.Out()), S_OK);
        EXPECT_STREQ(description.Get(), L"Send refused");
        // Only the first call fails.
        EXPECT_EQ(item->Send(), S_OK);
    }
    const std::vector<std::string> calls = standIn_.Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[2], "item#1 _MailItem.Send() -> 0x80020009 errorinfo \"Send refused\"");
    EXPECT_EQ(calls[3], "item#1 _MailItem.Send() -> S_OK");
}

TEST_F(OutlookStandInObjects, MissingObjectsAndSuccessCodes) {
    standIn_.FailWithNull("_MailItem.get_Recipients", 1);
    standIn_.FailWithNull("_Application.get_Session", 0);
    standIn_.FailCall("_MailItem.put_Subject", 0, S_FALSE);
    {
        Ptr<ol::_Application> application;
        Ptr<ol::_MailItem> item;
        CreateMailItem(application, item);
        Ptr<ol::Recipients> recipients;
        EXPECT_EQ(item->get_Recipients(recipients.Out()), S_OK);
        EXPECT_FALSE(recipients);
        EXPECT_EQ(item->get_Recipients(recipients.Out()), S_OK);
        EXPECT_TRUE(recipients);
        Ptr<ol::_NameSpace> session;
        EXPECT_EQ(application->get_Session(session.Out()), S_OK);
        EXPECT_FALSE(session);
        Bstr subject(L"s");
        EXPECT_EQ(item->put_Subject(subject.Get()), S_FALSE);
    }
    const std::vector<std::string> calls = standIn_.Calls();
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[2], "item#1 _MailItem.get_Recipients() -> S_OK null");
    EXPECT_EQ(calls[3], "item#1 _MailItem.get_Recipients() -> S_OK recipients#1");
    EXPECT_EQ(calls[4], "app#1 _Application.get_Session() -> S_OK null");
    EXPECT_EQ(calls[5], "item#1 _MailItem.put_Subject(\"s\") -> 0x00000001");
}

TEST_F(OutlookStandInObjects, CreateItemCanDeliverSomethingElse) {
    standIn_.SetCreateItemNotMail(true);
    standIn_.SetTrace(zobrik::standin::record::kTraceQueryInterface | zobrik::standin::record::kTraceDestruction);
    {
        Ptr<ol::_Application> application;
        CreateApplication(application);
        Ptr<IDispatch> created;
        ASSERT_EQ(application->CreateItem(ol::olMailItem, created.Out()), S_OK);
        ASSERT_TRUE(created);
        Ptr<ol::_MailItem> item;
        EXPECT_EQ(created->QueryInterface(ol::IID__MailItem, item.OutVoid()), E_NOINTERFACE);
        EXPECT_FALSE(item);
    }
    const std::vector<std::string> calls = standIn_.Calls();
    ASSERT_GE(calls.size(), 5u);
    EXPECT_EQ(calls[0], "app#1 IUnknown.QueryInterface(_Application) -> S_OK");
    EXPECT_EQ(calls[1], "factory IClassFactory.CreateInstance(_Application) -> S_OK app#1");
    EXPECT_EQ(calls[2], "app#1 _Application.CreateItem(0) -> S_OK notmail#1");
    EXPECT_EQ(calls[3], "notmail#1 IUnknown.QueryInterface(_MailItem) -> 0x80004002");
    EXPECT_EQ(calls[calls.size() - 2], "notmail#1 destroyed");
    EXPECT_EQ(calls.back(), "app#1 destroyed");
}

TEST_F(OutlookStandInObjects, ClassFactoryFailsTheChosenCreations) {
    standIn_.FailCreation(1, E_FAIL);
    standIn_.FailCreation(2, E_OUTOFMEMORY);
    Ptr<ol::_Application> application;
    EXPECT_EQ(CoCreateInstance(ol::CLSID_Application, nullptr, kClassContext, IID_IUnknown, application.OutVoid()),
              E_FAIL);
    EXPECT_EQ(
        CoCreateInstance(ol::CLSID_Application, nullptr, kClassContext, ol::IID__Application, application.OutVoid()),
        E_OUTOFMEMORY);
    EXPECT_FALSE(application);
    EXPECT_EQ(
        CoCreateInstance(ol::CLSID_Application, nullptr, kClassContext, ol::IID__Application, application.OutVoid()),
        S_OK);
    application.Reset();
    EXPECT_EQ(standIn_.Calls(), (std::vector<std::string>{
                                    "factory IClassFactory.CreateInstance(IUnknown) -> 0x80004005",
                                    "factory IClassFactory.CreateInstance(_Application) -> 0x8007000E",
                                    "factory IClassFactory.CreateInstance(_Application) -> S_OK app#1",
                                }));
}

// The plug-in's way in: create for IUnknown, OleRun, query _Application,
// release, then create for _Application.
TEST_F(OutlookStandInObjects, TwoCreationsWithOleRunInBetween) {
    standIn_.SetTrace(zobrik::standin::record::kTraceQueryInterface | zobrik::standin::record::kTraceDestruction);
    {
        Ptr<IUnknown> unknown;
        ASSERT_EQ(CoCreateInstance(ol::CLSID_Application, nullptr, kClassContext, IID_IUnknown, unknown.OutVoid()),
                  S_OK);
        EXPECT_EQ(OleRun(unknown.Get()), S_OK);
        Ptr<ol::_Application> first;
        EXPECT_EQ(unknown->QueryInterface(ol::IID__Application, first.OutVoid()), S_OK);
        unknown.Reset();
        first.Reset();
        Ptr<ol::_Application> second;
        ASSERT_EQ(
            CoCreateInstance(ol::CLSID_Application, nullptr, kClassContext, ol::IID__Application, second.OutVoid()),
            S_OK);
    }
    EXPECT_EQ(standIn_.Calls(), (std::vector<std::string>{
                                    "app#1 IUnknown.QueryInterface(IUnknown) -> S_OK",
                                    "factory IClassFactory.CreateInstance(IUnknown) -> S_OK app#1",
                                    "app#1 IUnknown.QueryInterface(IRunnableObject) -> 0x80004002",
                                    "app#1 IUnknown.QueryInterface(_Application) -> S_OK",
                                    "app#1 destroyed",
                                    "app#2 IUnknown.QueryInterface(_Application) -> S_OK",
                                    "factory IClassFactory.CreateInstance(_Application) -> S_OK app#2",
                                    "app#2 destroyed",
                                }));
}

TEST_F(OutlookStandInObjects, ModalDisplayBlocksUntilReleased) {
    standIn_.SetModalBlocking(true);
    std::atomic<HRESULT> displayResult{E_PENDING};
    std::atomic<ULONG> liveInThread{99};
    std::thread caller([&] {
        Apartment apartment;
        Ptr<ol::_Application> application;
        if (FAILED(CoCreateInstance(ol::CLSID_Application, nullptr, kClassContext, ol::IID__Application,
                                    application.OutVoid()))) {
            return;
        }
        Ptr<IDispatch> created;
        Ptr<ol::_MailItem> item;
        Ptr<ol::_Inspector> inspector;
        if (FAILED(application->CreateItem(ol::olMailItem, created.Out())) ||
            FAILED(created->QueryInterface(ol::IID__MailItem, item.OutVoid())) ||
            FAILED(item->get_GetInspector(inspector.Out()))) {
            return;
        }
        Variant modal = Variant::Bool(true);
        displayResult = inspector->Display(modal.Get());
        inspector.Reset();
        item.Reset();
        created.Reset();
        application.Reset();
        liveInThread = standIn_.LiveObjects();
    });
    EXPECT_TRUE(standIn_.WaitForBlocked(1, 10s));
    EXPECT_EQ(standIn_.BlockedCount(), 1u);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(displayResult.load(), E_PENDING);
    EXPECT_EQ(standIn_.CallCount(), 4u);
    EXPECT_EQ(standIn_.Call(3).value_or(""), "inspector#1 _Inspector.Display(VT_BOOL -1) -> S_OK");
    standIn_.ReleaseModal();
    caller.join();
    EXPECT_EQ(displayResult.load(), S_OK);
    EXPECT_EQ(standIn_.BlockedCount(), 0u);
    EXPECT_EQ(liveInThread.load(), 0u);
}

TEST_F(OutlookStandInObjects, LiveObjectsCountEveryReference) {
    Ptr<ol::_Application> application;
    Ptr<ol::_MailItem> item;
    CreateMailItem(application, item);
    Ptr<ol::Recipients> recipients;
    ASSERT_EQ(item->get_Recipients(recipients.Out()), S_OK);
    Bstr name(L"a@x");
    Ptr<ol::Recipient> recipient;
    ASSERT_EQ(recipients->Add(name.Get(), recipient.Out()), S_OK);
    recipient->AddRef();
    EXPECT_EQ(standIn_.LiveObjects(), 4u);
    EXPECT_EQ(standIn_.OutstandingReferences(), 5u);
    EXPECT_EQ(standIn_.LiveObjectList(), "app#1(1) item#1(1) recipient#1(2) recipients#1(1)");
    recipient->Release();
    recipient.Reset();
    recipients.Reset();
    item.Reset();
    EXPECT_EQ(standIn_.LiveObjectList(), "app#1(1)");
    application.Reset();
    EXPECT_EQ(standIn_.LiveObjects(), 0u);
}

}  // namespace
