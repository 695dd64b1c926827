// Outlook's automation interfaces, declared for early binding (MinGW has no
// #import). Every interface is dual and derives from IDispatch; its own
// members start at vtable slot 7 and stand here in their published order, one
// declaration per slot. Members that this module never calls are declared
// without parameters: they only hold their slot. Property accessors take one
// slot each (get_, put_, putref_); VARIANT parameters are passed by value, as
// the type library declares them.
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace zobrik::outlook {

// Class id of Outlook's creatable Application object.
inline constexpr CLSID CLSID_Application = {0x0006F03A, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

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
    virtual HRESULT STDMETHODCALLTYPE get_Application() = 0;  // slot 7, not used
    virtual HRESULT STDMETHODCALLTYPE get_Class() = 0;  // slot 8, not used
    virtual HRESULT STDMETHODCALLTYPE get_Session() = 0;  // slot 9, not used
    virtual HRESULT STDMETHODCALLTYPE get_Parent() = 0;  // slot 10, not used
    virtual HRESULT STDMETHODCALLTYPE get_CurrentUser() = 0;  // slot 11, not used
    virtual HRESULT STDMETHODCALLTYPE get_Folders() = 0;  // slot 12, not used
    virtual HRESULT STDMETHODCALLTYPE get_Type() = 0;  // slot 13, not used
    virtual HRESULT STDMETHODCALLTYPE get_AddressLists() = 0;  // slot 14, not used
    virtual HRESULT STDMETHODCALLTYPE CreateRecipient() = 0;  // slot 15, not used
    virtual HRESULT STDMETHODCALLTYPE GetDefaultFolder() = 0;  // slot 16, not used
    virtual HRESULT STDMETHODCALLTYPE GetFolderFromID() = 0;  // slot 17, not used
    virtual HRESULT STDMETHODCALLTYPE GetItemFromID() = 0;  // slot 18, not used
    virtual HRESULT STDMETHODCALLTYPE GetRecipientFromID() = 0;  // slot 19, not used
    virtual HRESULT STDMETHODCALLTYPE GetSharedDefaultFolder() = 0;  // slot 20, not used
    virtual HRESULT STDMETHODCALLTYPE Logoff() = 0;  // slot 21, not used
    virtual HRESULT STDMETHODCALLTYPE Logon() = 0;  // slot 22, not used
    virtual HRESULT STDMETHODCALLTYPE PickFolder() = 0;  // slot 23, not used
    virtual HRESULT STDMETHODCALLTYPE RefreshRemoteHeaders() = 0;  // slot 24, not used
    virtual HRESULT STDMETHODCALLTYPE get_SyncObjects() = 0;  // slot 25, not used
    virtual HRESULT STDMETHODCALLTYPE AddStore() = 0;  // slot 26, not used
    virtual HRESULT STDMETHODCALLTYPE RemoveStore() = 0;  // slot 27, not used
    virtual HRESULT STDMETHODCALLTYPE get_Offline() = 0;  // slot 28, not used
    virtual HRESULT STDMETHODCALLTYPE Dial() = 0;  // slot 29, not used
    virtual HRESULT STDMETHODCALLTYPE get_MAPIOBJECT() = 0;  // slot 30, not used
    virtual HRESULT STDMETHODCALLTYPE get_ExchangeConnectionMode() = 0;  // slot 31, not used
    virtual HRESULT STDMETHODCALLTYPE AddStoreEx() = 0;  // slot 32, not used
    virtual HRESULT STDMETHODCALLTYPE get_Accounts(_Accounts** accounts) = 0;  // slot 33
};

// {000630C4-0000-0000-C000-000000000046}
struct _Accounts : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Application() = 0;  // slot 7, not used
    virtual HRESULT STDMETHODCALLTYPE get_Class() = 0;  // slot 8, not used
    virtual HRESULT STDMETHODCALLTYPE get_Session() = 0;  // slot 9, not used
    virtual HRESULT STDMETHODCALLTYPE get_Parent() = 0;  // slot 10, not used
    virtual HRESULT STDMETHODCALLTYPE get_Count(long* count) = 0;  // slot 11
    virtual HRESULT STDMETHODCALLTYPE Item(VARIANT index, _Account** item) = 0;  // slot 12
};

// {000630C5-0000-0000-C000-000000000046}
struct _Account : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Application() = 0;  // slot 7, not used
    virtual HRESULT STDMETHODCALLTYPE get_Class() = 0;  // slot 8, not used
    virtual HRESULT STDMETHODCALLTYPE get_Session() = 0;  // slot 9, not used
    virtual HRESULT STDMETHODCALLTYPE get_Parent() = 0;  // slot 10, not used
    virtual HRESULT STDMETHODCALLTYPE get_AccountType(long* accountType) = 0;  // slot 11
    virtual HRESULT STDMETHODCALLTYPE get_DisplayName(BSTR* displayName) = 0;  // slot 12
    virtual HRESULT STDMETHODCALLTYPE get_UserName(BSTR* userName) = 0;  // slot 13
    virtual HRESULT STDMETHODCALLTYPE get_SmtpAddress(BSTR* smtpAddress) = 0;  // slot 14
};

// {00063005-0000-0000-C000-000000000046}
struct _Inspector : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Application() = 0;  // slot 7, not used
    virtual HRESULT STDMETHODCALLTYPE get_Class() = 0;  // slot 8, not used
    virtual HRESULT STDMETHODCALLTYPE get_Session() = 0;  // slot 9, not used
    virtual HRESULT STDMETHODCALLTYPE get_Parent() = 0;  // slot 10, not used
    virtual HRESULT STDMETHODCALLTYPE get_CommandBars() = 0;  // slot 11, not used
    virtual HRESULT STDMETHODCALLTYPE get_CurrentItem() = 0;  // slot 12, not used
    virtual HRESULT STDMETHODCALLTYPE get_EditorType() = 0;  // slot 13, not used
    virtual HRESULT STDMETHODCALLTYPE get_ModifiedFormPages() = 0;  // slot 14, not used
    virtual HRESULT STDMETHODCALLTYPE Close(long saveMode) = 0;  // slot 15
    virtual HRESULT STDMETHODCALLTYPE Display(VARIANT modal) = 0;  // slot 16
};

// {00063045-0000-0000-C000-000000000046}
struct Recipient : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Application() = 0;  // slot 7, not used
    virtual HRESULT STDMETHODCALLTYPE get_Class() = 0;  // slot 8, not used
    virtual HRESULT STDMETHODCALLTYPE get_Session() = 0;  // slot 9, not used
    virtual HRESULT STDMETHODCALLTYPE get_Parent() = 0;  // slot 10, not used
    virtual HRESULT STDMETHODCALLTYPE get_Address() = 0;  // slot 11, not used
    virtual HRESULT STDMETHODCALLTYPE get_AddressEntry() = 0;  // slot 12, not used
    virtual HRESULT STDMETHODCALLTYPE putref_AddressEntry() = 0;  // slot 13, not used
    virtual HRESULT STDMETHODCALLTYPE get_AutoResponse() = 0;  // slot 14, not used
    virtual HRESULT STDMETHODCALLTYPE put_AutoResponse() = 0;  // slot 15, not used
    virtual HRESULT STDMETHODCALLTYPE get_DisplayType() = 0;  // slot 16, not used
    virtual HRESULT STDMETHODCALLTYPE get_EntryID() = 0;  // slot 17, not used
    virtual HRESULT STDMETHODCALLTYPE get_Index() = 0;  // slot 18, not used
    virtual HRESULT STDMETHODCALLTYPE get_MeetingResponseStatus() = 0;  // slot 19, not used
    virtual HRESULT STDMETHODCALLTYPE get_Name() = 0;  // slot 20, not used
    virtual HRESULT STDMETHODCALLTYPE get_Resolved() = 0;  // slot 21, not used
    virtual HRESULT STDMETHODCALLTYPE get_TrackingStatus() = 0;  // slot 22, not used
    virtual HRESULT STDMETHODCALLTYPE put_TrackingStatus() = 0;  // slot 23, not used
    virtual HRESULT STDMETHODCALLTYPE get_TrackingStatusTime() = 0;  // slot 24, not used
    virtual HRESULT STDMETHODCALLTYPE put_TrackingStatusTime() = 0;  // slot 25, not used
    virtual HRESULT STDMETHODCALLTYPE get_Type(long* type) = 0;  // slot 26
    virtual HRESULT STDMETHODCALLTYPE put_Type(long type) = 0;  // slot 27
};

// {0006303B-0000-0000-C000-000000000046}
struct Recipients : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Application() = 0;  // slot 7, not used
    virtual HRESULT STDMETHODCALLTYPE get_Class() = 0;  // slot 8, not used
    virtual HRESULT STDMETHODCALLTYPE get_Session() = 0;  // slot 9, not used
    virtual HRESULT STDMETHODCALLTYPE get_Parent() = 0;  // slot 10, not used
    virtual HRESULT STDMETHODCALLTYPE get_Count() = 0;  // slot 11, not used
    virtual HRESULT STDMETHODCALLTYPE Item() = 0;  // slot 12, not used
    virtual HRESULT STDMETHODCALLTYPE Add(BSTR name, Recipient** recipient) = 0;  // slot 13
    virtual HRESULT STDMETHODCALLTYPE Remove() = 0;  // slot 14, not used
    virtual HRESULT STDMETHODCALLTYPE ResolveAll(VARIANT_BOOL* success) = 0;  // slot 15
};

// {0006303C-0000-0000-C000-000000000046}
struct Attachments : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Application() = 0;  // slot 7, not used
    virtual HRESULT STDMETHODCALLTYPE get_Class() = 0;  // slot 8, not used
    virtual HRESULT STDMETHODCALLTYPE get_Session() = 0;  // slot 9, not used
    virtual HRESULT STDMETHODCALLTYPE get_Parent() = 0;  // slot 10, not used
    virtual HRESULT STDMETHODCALLTYPE get_Count() = 0;  // slot 11, not used
    virtual HRESULT STDMETHODCALLTYPE Item() = 0;  // slot 12, not used
    virtual HRESULT STDMETHODCALLTYPE Add(VARIANT source, VARIANT type, VARIANT position, VARIANT displayName, IDispatch** attachment) = 0;  // slot 13
};

// {00063034-0000-0000-C000-000000000046}
struct _MailItem : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Application() = 0;  // slot 7, not used
    virtual HRESULT STDMETHODCALLTYPE get_Class() = 0;  // slot 8, not used
    virtual HRESULT STDMETHODCALLTYPE get_Session() = 0;  // slot 9, not used
    virtual HRESULT STDMETHODCALLTYPE get_Parent() = 0;  // slot 10, not used
    virtual HRESULT STDMETHODCALLTYPE get_Actions() = 0;  // slot 11, not used
    virtual HRESULT STDMETHODCALLTYPE get_Attachments(Attachments** attachments) = 0;  // slot 12
    virtual HRESULT STDMETHODCALLTYPE get_BillingInformation() = 0;  // slot 13, not used
    virtual HRESULT STDMETHODCALLTYPE put_BillingInformation() = 0;  // slot 14, not used
    virtual HRESULT STDMETHODCALLTYPE get_Body() = 0;  // slot 15, not used
    virtual HRESULT STDMETHODCALLTYPE put_Body(BSTR body) = 0;  // slot 16
    virtual HRESULT STDMETHODCALLTYPE get_Categories() = 0;  // slot 17, not used
    virtual HRESULT STDMETHODCALLTYPE put_Categories() = 0;  // slot 18, not used
    virtual HRESULT STDMETHODCALLTYPE get_Companies() = 0;  // slot 19, not used
    virtual HRESULT STDMETHODCALLTYPE put_Companies() = 0;  // slot 20, not used
    virtual HRESULT STDMETHODCALLTYPE get_ConversationIndex() = 0;  // slot 21, not used
    virtual HRESULT STDMETHODCALLTYPE get_ConversationTopic() = 0;  // slot 22, not used
    virtual HRESULT STDMETHODCALLTYPE get_CreationTime() = 0;  // slot 23, not used
    virtual HRESULT STDMETHODCALLTYPE get_EntryID() = 0;  // slot 24, not used
    virtual HRESULT STDMETHODCALLTYPE get_FormDescription() = 0;  // slot 25, not used
    virtual HRESULT STDMETHODCALLTYPE get_GetInspector(_Inspector** inspector) = 0;  // slot 26
    virtual HRESULT STDMETHODCALLTYPE get_Importance() = 0;  // slot 27, not used
    virtual HRESULT STDMETHODCALLTYPE put_Importance() = 0;  // slot 28, not used
    virtual HRESULT STDMETHODCALLTYPE get_LastModificationTime() = 0;  // slot 29, not used
    virtual HRESULT STDMETHODCALLTYPE get_MAPIOBJECT() = 0;  // slot 30, not used
    virtual HRESULT STDMETHODCALLTYPE get_MessageClass() = 0;  // slot 31, not used
    virtual HRESULT STDMETHODCALLTYPE put_MessageClass() = 0;  // slot 32, not used
    virtual HRESULT STDMETHODCALLTYPE get_Mileage() = 0;  // slot 33, not used
    virtual HRESULT STDMETHODCALLTYPE put_Mileage() = 0;  // slot 34, not used
    virtual HRESULT STDMETHODCALLTYPE get_NoAging() = 0;  // slot 35, not used
    virtual HRESULT STDMETHODCALLTYPE put_NoAging() = 0;  // slot 36, not used
    virtual HRESULT STDMETHODCALLTYPE get_OutlookInternalVersion() = 0;  // slot 37, not used
    virtual HRESULT STDMETHODCALLTYPE get_OutlookVersion() = 0;  // slot 38, not used
    virtual HRESULT STDMETHODCALLTYPE get_Saved() = 0;  // slot 39, not used
    virtual HRESULT STDMETHODCALLTYPE get_Sensitivity() = 0;  // slot 40, not used
    virtual HRESULT STDMETHODCALLTYPE put_Sensitivity() = 0;  // slot 41, not used
    virtual HRESULT STDMETHODCALLTYPE get_Size() = 0;  // slot 42, not used
    virtual HRESULT STDMETHODCALLTYPE get_Subject() = 0;  // slot 43, not used
    virtual HRESULT STDMETHODCALLTYPE put_Subject(BSTR subject) = 0;  // slot 44
    virtual HRESULT STDMETHODCALLTYPE get_UnRead() = 0;  // slot 45, not used
    virtual HRESULT STDMETHODCALLTYPE put_UnRead() = 0;  // slot 46, not used
    virtual HRESULT STDMETHODCALLTYPE get_UserProperties() = 0;  // slot 47, not used
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;  // slot 48, not used
    virtual HRESULT STDMETHODCALLTYPE Copy() = 0;  // slot 49, not used
    virtual HRESULT STDMETHODCALLTYPE Delete() = 0;  // slot 50, not used
    virtual HRESULT STDMETHODCALLTYPE Display(VARIANT modal) = 0;  // slot 51
    virtual HRESULT STDMETHODCALLTYPE Move() = 0;  // slot 52, not used
    virtual HRESULT STDMETHODCALLTYPE PrintOut() = 0;  // slot 53, not used
    virtual HRESULT STDMETHODCALLTYPE Save() = 0;  // slot 54, not used
    virtual HRESULT STDMETHODCALLTYPE SaveAs() = 0;  // slot 55, not used
    virtual HRESULT STDMETHODCALLTYPE get_AlternateRecipientAllowed() = 0;  // slot 56, not used
    virtual HRESULT STDMETHODCALLTYPE put_AlternateRecipientAllowed() = 0;  // slot 57, not used
    virtual HRESULT STDMETHODCALLTYPE get_AutoForwarded() = 0;  // slot 58, not used
    virtual HRESULT STDMETHODCALLTYPE put_AutoForwarded() = 0;  // slot 59, not used
    virtual HRESULT STDMETHODCALLTYPE get_BCC() = 0;  // slot 60, not used
    virtual HRESULT STDMETHODCALLTYPE put_BCC() = 0;  // slot 61, not used
    virtual HRESULT STDMETHODCALLTYPE get_CC() = 0;  // slot 62, not used
    virtual HRESULT STDMETHODCALLTYPE put_CC() = 0;  // slot 63, not used
    virtual HRESULT STDMETHODCALLTYPE get_DeferredDeliveryTime() = 0;  // slot 64, not used
    virtual HRESULT STDMETHODCALLTYPE put_DeferredDeliveryTime() = 0;  // slot 65, not used
    virtual HRESULT STDMETHODCALLTYPE get_DeleteAfterSubmit() = 0;  // slot 66, not used
    virtual HRESULT STDMETHODCALLTYPE put_DeleteAfterSubmit() = 0;  // slot 67, not used
    virtual HRESULT STDMETHODCALLTYPE get_ExpiryTime() = 0;  // slot 68, not used
    virtual HRESULT STDMETHODCALLTYPE put_ExpiryTime() = 0;  // slot 69, not used
    virtual HRESULT STDMETHODCALLTYPE get_FlagDueBy() = 0;  // slot 70, not used
    virtual HRESULT STDMETHODCALLTYPE put_FlagDueBy() = 0;  // slot 71, not used
    virtual HRESULT STDMETHODCALLTYPE get_FlagRequest() = 0;  // slot 72, not used
    virtual HRESULT STDMETHODCALLTYPE put_FlagRequest() = 0;  // slot 73, not used
    virtual HRESULT STDMETHODCALLTYPE get_FlagStatus() = 0;  // slot 74, not used
    virtual HRESULT STDMETHODCALLTYPE put_FlagStatus() = 0;  // slot 75, not used
    virtual HRESULT STDMETHODCALLTYPE get_HTMLBody() = 0;  // slot 76, not used
    virtual HRESULT STDMETHODCALLTYPE put_HTMLBody(BSTR htmlBody) = 0;  // slot 77
    virtual HRESULT STDMETHODCALLTYPE get_OriginatorDeliveryReportRequested() = 0;  // slot 78, not used
    virtual HRESULT STDMETHODCALLTYPE put_OriginatorDeliveryReportRequested() = 0;  // slot 79, not used
    virtual HRESULT STDMETHODCALLTYPE get_ReadReceiptRequested() = 0;  // slot 80, not used
    virtual HRESULT STDMETHODCALLTYPE put_ReadReceiptRequested() = 0;  // slot 81, not used
    virtual HRESULT STDMETHODCALLTYPE get_ReceivedByEntryID() = 0;  // slot 82, not used
    virtual HRESULT STDMETHODCALLTYPE get_ReceivedByName() = 0;  // slot 83, not used
    virtual HRESULT STDMETHODCALLTYPE get_ReceivedOnBehalfOfEntryID() = 0;  // slot 84, not used
    virtual HRESULT STDMETHODCALLTYPE get_ReceivedOnBehalfOfName() = 0;  // slot 85, not used
    virtual HRESULT STDMETHODCALLTYPE get_ReceivedTime() = 0;  // slot 86, not used
    virtual HRESULT STDMETHODCALLTYPE get_RecipientReassignmentProhibited() = 0;  // slot 87, not used
    virtual HRESULT STDMETHODCALLTYPE put_RecipientReassignmentProhibited() = 0;  // slot 88, not used
    virtual HRESULT STDMETHODCALLTYPE get_Recipients(Recipients** recipients) = 0;  // slot 89
    virtual HRESULT STDMETHODCALLTYPE get_ReminderOverrideDefault() = 0;  // slot 90, not used
    virtual HRESULT STDMETHODCALLTYPE put_ReminderOverrideDefault() = 0;  // slot 91, not used
    virtual HRESULT STDMETHODCALLTYPE get_ReminderPlaySound() = 0;  // slot 92, not used
    virtual HRESULT STDMETHODCALLTYPE put_ReminderPlaySound() = 0;  // slot 93, not used
    virtual HRESULT STDMETHODCALLTYPE get_ReminderSet() = 0;  // slot 94, not used
    virtual HRESULT STDMETHODCALLTYPE put_ReminderSet() = 0;  // slot 95, not used
    virtual HRESULT STDMETHODCALLTYPE get_ReminderSoundFile() = 0;  // slot 96, not used
    virtual HRESULT STDMETHODCALLTYPE put_ReminderSoundFile() = 0;  // slot 97, not used
    virtual HRESULT STDMETHODCALLTYPE get_ReminderTime() = 0;  // slot 98, not used
    virtual HRESULT STDMETHODCALLTYPE put_ReminderTime() = 0;  // slot 99, not used
    virtual HRESULT STDMETHODCALLTYPE get_RemoteStatus() = 0;  // slot 100, not used
    virtual HRESULT STDMETHODCALLTYPE put_RemoteStatus() = 0;  // slot 101, not used
    virtual HRESULT STDMETHODCALLTYPE get_ReplyRecipientNames() = 0;  // slot 102, not used
    virtual HRESULT STDMETHODCALLTYPE get_ReplyRecipients(Recipients** replyRecipients) = 0;  // slot 103
    virtual HRESULT STDMETHODCALLTYPE get_SaveSentMessageFolder() = 0;  // slot 104, not used
    virtual HRESULT STDMETHODCALLTYPE putref_SaveSentMessageFolder() = 0;  // slot 105, not used
    virtual HRESULT STDMETHODCALLTYPE get_SenderName() = 0;  // slot 106, not used
    virtual HRESULT STDMETHODCALLTYPE get_Sent() = 0;  // slot 107, not used
    virtual HRESULT STDMETHODCALLTYPE get_SentOn() = 0;  // slot 108, not used
    virtual HRESULT STDMETHODCALLTYPE get_SentOnBehalfOfName() = 0;  // slot 109, not used
    virtual HRESULT STDMETHODCALLTYPE put_SentOnBehalfOfName(BSTR sentOnBehalfOfName) = 0;  // slot 110
    virtual HRESULT STDMETHODCALLTYPE get_Submitted() = 0;  // slot 111, not used
    virtual HRESULT STDMETHODCALLTYPE get_To() = 0;  // slot 112, not used
    virtual HRESULT STDMETHODCALLTYPE put_To() = 0;  // slot 113, not used
    virtual HRESULT STDMETHODCALLTYPE get_VotingOptions() = 0;  // slot 114, not used
    virtual HRESULT STDMETHODCALLTYPE put_VotingOptions() = 0;  // slot 115, not used
    virtual HRESULT STDMETHODCALLTYPE get_VotingResponse() = 0;  // slot 116, not used
    virtual HRESULT STDMETHODCALLTYPE put_VotingResponse() = 0;  // slot 117, not used
    virtual HRESULT STDMETHODCALLTYPE ClearConversationIndex() = 0;  // slot 118, not used
    virtual HRESULT STDMETHODCALLTYPE Forward() = 0;  // slot 119, not used
    virtual HRESULT STDMETHODCALLTYPE Reply() = 0;  // slot 120, not used
    virtual HRESULT STDMETHODCALLTYPE ReplyAll() = 0;  // slot 121, not used
    virtual HRESULT STDMETHODCALLTYPE Send() = 0;  // slot 122
    virtual HRESULT STDMETHODCALLTYPE get_Links() = 0;  // slot 123, not used
    virtual HRESULT STDMETHODCALLTYPE get_ItemProperties() = 0;  // slot 124, not used
    virtual HRESULT STDMETHODCALLTYPE get_BodyFormat() = 0;  // slot 125, not used
    virtual HRESULT STDMETHODCALLTYPE put_BodyFormat() = 0;  // slot 126, not used
    virtual HRESULT STDMETHODCALLTYPE get_DownloadState() = 0;  // slot 127, not used
    virtual HRESULT STDMETHODCALLTYPE ShowCategoriesDialog() = 0;  // slot 128, not used
    virtual HRESULT STDMETHODCALLTYPE get_InternetCodepage() = 0;  // slot 129, not used
    virtual HRESULT STDMETHODCALLTYPE put_InternetCodepage() = 0;  // slot 130, not used
    virtual HRESULT STDMETHODCALLTYPE get_MarkForDownload() = 0;  // slot 131, not used
    virtual HRESULT STDMETHODCALLTYPE put_MarkForDownload() = 0;  // slot 132, not used
    virtual HRESULT STDMETHODCALLTYPE get_IsConflict() = 0;  // slot 133, not used
    virtual HRESULT STDMETHODCALLTYPE get_IsIPFax() = 0;  // slot 134, not used
    virtual HRESULT STDMETHODCALLTYPE put_IsIPFax() = 0;  // slot 135, not used
    virtual HRESULT STDMETHODCALLTYPE get_FlagIcon() = 0;  // slot 136, not used
    virtual HRESULT STDMETHODCALLTYPE put_FlagIcon() = 0;  // slot 137, not used
    virtual HRESULT STDMETHODCALLTYPE get_HasCoverSheet() = 0;  // slot 138, not used
    virtual HRESULT STDMETHODCALLTYPE put_HasCoverSheet() = 0;  // slot 139, not used
    virtual HRESULT STDMETHODCALLTYPE get_AutoResolvedWinner() = 0;  // slot 140, not used
    virtual HRESULT STDMETHODCALLTYPE get_Conflicts() = 0;  // slot 141, not used
    virtual HRESULT STDMETHODCALLTYPE get_SenderEmailAddress() = 0;  // slot 142, not used
    virtual HRESULT STDMETHODCALLTYPE get_SenderEmailType() = 0;  // slot 143, not used
    virtual HRESULT STDMETHODCALLTYPE get_EnableSharedAttachments() = 0;  // slot 144, not used
    virtual HRESULT STDMETHODCALLTYPE put_EnableSharedAttachments() = 0;  // slot 145, not used
    virtual HRESULT STDMETHODCALLTYPE get_Permission() = 0;  // slot 146, not used
    virtual HRESULT STDMETHODCALLTYPE put_Permission() = 0;  // slot 147, not used
    virtual HRESULT STDMETHODCALLTYPE get_PermissionService() = 0;  // slot 148, not used
    virtual HRESULT STDMETHODCALLTYPE put_PermissionService() = 0;  // slot 149, not used
    virtual HRESULT STDMETHODCALLTYPE get_PropertyAccessor() = 0;  // slot 150, not used
    virtual HRESULT STDMETHODCALLTYPE AddBusinessCard() = 0;  // slot 151, not used
    virtual HRESULT STDMETHODCALLTYPE get_SendUsingAccount(_Account** account) = 0;  // slot 152
    virtual HRESULT STDMETHODCALLTYPE put_SendUsingAccount(_Account* account) = 0;  // slot 153
};

// {00063001-0000-0000-C000-000000000046}
struct _Application : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Application() = 0;  // slot 7, not used
    virtual HRESULT STDMETHODCALLTYPE get_Class() = 0;  // slot 8, not used
    virtual HRESULT STDMETHODCALLTYPE get_Session(_NameSpace** session) = 0;  // slot 9
    virtual HRESULT STDMETHODCALLTYPE get_Parent() = 0;  // slot 10, not used
    virtual HRESULT STDMETHODCALLTYPE get_Assistant() = 0;  // slot 11, not used
    virtual HRESULT STDMETHODCALLTYPE get_Name() = 0;  // slot 12, not used
    virtual HRESULT STDMETHODCALLTYPE get_Version() = 0;  // slot 13, not used
    virtual HRESULT STDMETHODCALLTYPE ActiveExplorer() = 0;  // slot 14, not used
    virtual HRESULT STDMETHODCALLTYPE ActiveInspector() = 0;  // slot 15, not used
    virtual HRESULT STDMETHODCALLTYPE CreateItem(long itemType, IDispatch** item) = 0;  // slot 16
};

}  // namespace zobrik::outlook
