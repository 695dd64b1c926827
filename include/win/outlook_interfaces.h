// Outlook's automation interfaces, declared for early binding (MinGW has no
// #import). Every interface is dual and derives from IDispatch; its own
// members start at vtable slot 7 and stand here in their published order, one
// declaration per slot. Members that this module never calls are declared
// without parameters from the lists of outlook_placeholder_slots.h: they only
// hold their slot. Property accessors take one
// slot each (get_, put_, putref_); VARIANT parameters are passed by value, as
// the type library declares them.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include "include/outlook_placeholder_slots.h"

namespace zobrik::outlook {

// Declares one placeholder slot: a member without parameters that is never called.
#define ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT(Interface, member) virtual HRESULT STDMETHODCALLTYPE member() = 0;

// Class id of Outlook's creatable Application object.
inline constexpr CLSID CLSID_Application = {
    0x0006F03A, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The interfaces' ids all have the form {000630xx-0000-0000-C000-000000000046}.
constexpr IID OutlookIid(unsigned long first) {
    return {first, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
}
inline constexpr IID IID__Application = OutlookIid(0x00063001);
inline constexpr IID IID__NameSpace = OutlookIid(0x00063002);
inline constexpr IID IID__Inspector = OutlookIid(0x00063005);
inline constexpr IID IID__MailItem = OutlookIid(0x00063034);
inline constexpr IID IID_Recipients = OutlookIid(0x0006303B);
inline constexpr IID IID_Attachments = OutlookIid(0x0006303C);
inline constexpr IID IID_Recipient = OutlookIid(0x00063045);
inline constexpr IID IID__Accounts = OutlookIid(0x000630C4);
inline constexpr IID IID__Account = OutlookIid(0x000630C5);

// Constants passed to Outlook.
inline constexpr long olMailItem = 0;
inline constexpr long olTo = 1;
inline constexpr long olCC = 2;
inline constexpr long olBCC = 3;
inline constexpr int olByValue = 1;

struct _NameSpace;
struct _Accounts;
struct _Account;
struct _Inspector;
struct Recipient;
struct Recipients;
struct Attachments;
struct _MailItem;
struct _Application;

// {00063002-0000-0000-C000-000000000046}
struct _NameSpace : public IDispatch {
    ZOBRIK_OUTLOOK_NAMESPACE_SLOTS_1(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)          // slots 7 to 32, not used
    virtual HRESULT STDMETHODCALLTYPE get_Accounts(_Accounts** accounts) = 0;  // slot 33
};

// {000630C4-0000-0000-C000-000000000046}
struct _Accounts : public IDispatch {
    ZOBRIK_OUTLOOK_ACCOUNTS_SLOTS_1(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)             // slots 7 to 10, not used
    virtual HRESULT STDMETHODCALLTYPE get_Count(long* count) = 0;                // slot 11
    virtual HRESULT STDMETHODCALLTYPE Item(VARIANT index, _Account** item) = 0;  // slot 12
};

// {000630C5-0000-0000-C000-000000000046}
struct _Account : public IDispatch {
    ZOBRIK_OUTLOOK_ACCOUNT_SLOTS_1(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)            // slots 7 to 10, not used
    virtual HRESULT STDMETHODCALLTYPE get_AccountType(long* accountType) = 0;  // slot 11
    virtual HRESULT STDMETHODCALLTYPE get_DisplayName(BSTR* displayName) = 0;  // slot 12
    virtual HRESULT STDMETHODCALLTYPE get_UserName(BSTR* userName) = 0;        // slot 13
    virtual HRESULT STDMETHODCALLTYPE get_SmtpAddress(BSTR* smtpAddress) = 0;  // slot 14
};

// {00063005-0000-0000-C000-000000000046}
struct _Inspector : public IDispatch {
    ZOBRIK_OUTLOOK_INSPECTOR_SLOTS_1(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)  // slots 7 to 14, not used
    virtual HRESULT STDMETHODCALLTYPE Close(long saveMode) = 0;        // slot 15
    virtual HRESULT STDMETHODCALLTYPE Display(VARIANT modal) = 0;      // slot 16
};

// {00063045-0000-0000-C000-000000000046}
struct Recipient : public IDispatch {
    ZOBRIK_OUTLOOK_RECIPIENT_SLOTS_1(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)  // slots 7 to 25, not used
    virtual HRESULT STDMETHODCALLTYPE get_Type(long* type) = 0;        // slot 26
    virtual HRESULT STDMETHODCALLTYPE put_Type(long type) = 0;         // slot 27
};

// {0006303B-0000-0000-C000-000000000046}
struct Recipients : public IDispatch {
    ZOBRIK_OUTLOOK_RECIPIENTS_SLOTS_1(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)            // slots 7 to 12, not used
    virtual HRESULT STDMETHODCALLTYPE Add(BSTR name, Recipient** recipient) = 0;  // slot 13
    ZOBRIK_OUTLOOK_RECIPIENTS_SLOTS_2(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)            // slot 14, not used
    virtual HRESULT STDMETHODCALLTYPE ResolveAll(VARIANT_BOOL* success) = 0;      // slot 15
};

// {0006303C-0000-0000-C000-000000000046}
struct Attachments : public IDispatch {
    ZOBRIK_OUTLOOK_ATTACHMENTS_SLOTS_1(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)  // slots 7 to 12, not used
    virtual HRESULT STDMETHODCALLTYPE Add(VARIANT source, VARIANT type, VARIANT position, VARIANT displayName,
                                          IDispatch** attachment) = 0;  // slot 13
};

// {00063034-0000-0000-C000-000000000046}
struct _MailItem : public IDispatch {
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_1(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)                   // slots 7 to 11, not used
    virtual HRESULT STDMETHODCALLTYPE get_Attachments(Attachments** attachments) = 0;  // slot 12
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_2(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)                   // slots 13 to 15, not used
    virtual HRESULT STDMETHODCALLTYPE put_Body(BSTR body) = 0;                         // slot 16
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_3(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)                   // slots 17 to 25, not used
    virtual HRESULT STDMETHODCALLTYPE get_GetInspector(_Inspector** inspector) = 0;    // slot 26
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_4(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)                   // slots 27 to 43, not used
    virtual HRESULT STDMETHODCALLTYPE put_Subject(BSTR subject) = 0;                   // slot 44
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_5(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)                   // slots 45 to 50, not used
    virtual HRESULT STDMETHODCALLTYPE Display(VARIANT modal) = 0;                      // slot 51
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_6(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)                   // slots 52 to 76, not used
    virtual HRESULT STDMETHODCALLTYPE put_HTMLBody(BSTR htmlBody) = 0;                 // slot 77
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_7(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)                   // slots 78 to 88, not used
    virtual HRESULT STDMETHODCALLTYPE get_Recipients(Recipients** recipients) = 0;     // slot 89
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_8(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)                   // slots 90 to 102, not used
    virtual HRESULT STDMETHODCALLTYPE get_ReplyRecipients(Recipients** replyRecipients) = 0;  // slot 103
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_9(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)  // slots 104 to 109, not used
    virtual HRESULT STDMETHODCALLTYPE put_SentOnBehalfOfName(BSTR sentOnBehalfOfName) = 0;  // slot 110
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_10(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)                // slots 111 to 121, not used
    virtual HRESULT STDMETHODCALLTYPE Send() = 0;                                    // slot 122
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_11(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)                // slots 123 to 151, not used
    virtual HRESULT STDMETHODCALLTYPE get_SendUsingAccount(_Account** account) = 0;  // slot 152
    virtual HRESULT STDMETHODCALLTYPE put_SendUsingAccount(_Account* account) = 0;   // slot 153
};

// {00063001-0000-0000-C000-000000000046}
struct _Application : public IDispatch {
    ZOBRIK_OUTLOOK_APPLICATION_SLOTS_1(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)                 // slots 7 to 8, not used
    virtual HRESULT STDMETHODCALLTYPE get_Session(_NameSpace** session) = 0;            // slot 9
    ZOBRIK_OUTLOOK_APPLICATION_SLOTS_2(ZOBRIK_OUTLOOK_PLACEHOLDER_SLOT)                 // slots 10 to 15, not used
    virtual HRESULT STDMETHODCALLTYPE CreateItem(long itemType, IDispatch** item) = 0;  // slot 16
};

}  // namespace zobrik::outlook
