// The placeholder slots of the Outlook interfaces (outlook_interfaces.h):
// members this module never calls, which only hold their vtable slot. Each
// ZOBRIK_OUTLOOK_<INTERFACE>_SLOTS_<n>(X) expands X(<Interface>, <member>) for
// one run of them in slot order; ZOBRIK_OUTLOOK_<INTERFACE>_UNUSED(X) for all
// of an interface. The interfaces declare their slots from these lists, and
// the tests' Outlook stand-in gives each the same "unexpected call" body.
#pragma once

#define ZOBRIK_OUTLOOK_NAMESPACE_SLOTS_1(X)   \
    X(_NameSpace, get_Application)            \
    X(_NameSpace, get_Class)                  \
    X(_NameSpace, get_Session)                \
    X(_NameSpace, get_Parent)                 \
    X(_NameSpace, get_CurrentUser)            \
    X(_NameSpace, get_Folders)                \
    X(_NameSpace, get_Type)                   \
    X(_NameSpace, get_AddressLists)           \
    X(_NameSpace, CreateRecipient)            \
    X(_NameSpace, GetDefaultFolder)           \
    X(_NameSpace, GetFolderFromID)            \
    X(_NameSpace, GetItemFromID)              \
    X(_NameSpace, GetRecipientFromID)         \
    X(_NameSpace, GetSharedDefaultFolder)     \
    X(_NameSpace, Logoff)                     \
    X(_NameSpace, Logon)                      \
    X(_NameSpace, PickFolder)                 \
    X(_NameSpace, RefreshRemoteHeaders)       \
    X(_NameSpace, get_SyncObjects)            \
    X(_NameSpace, AddStore)                   \
    X(_NameSpace, RemoveStore)                \
    X(_NameSpace, get_Offline)                \
    X(_NameSpace, Dial)                       \
    X(_NameSpace, get_MAPIOBJECT)             \
    X(_NameSpace, get_ExchangeConnectionMode) \
    X(_NameSpace, AddStoreEx)

#define ZOBRIK_OUTLOOK_ACCOUNTS_SLOTS_1(X) \
    X(_Accounts, get_Application)          \
    X(_Accounts, get_Class)                \
    X(_Accounts, get_Session)              \
    X(_Accounts, get_Parent)

#define ZOBRIK_OUTLOOK_ACCOUNT_SLOTS_1(X) \
    X(_Account, get_Application)          \
    X(_Account, get_Class)                \
    X(_Account, get_Session)              \
    X(_Account, get_Parent)

#define ZOBRIK_OUTLOOK_INSPECTOR_SLOTS_1(X) \
    X(_Inspector, get_Application)          \
    X(_Inspector, get_Class)                \
    X(_Inspector, get_Session)              \
    X(_Inspector, get_Parent)               \
    X(_Inspector, get_CommandBars)          \
    X(_Inspector, get_CurrentItem)          \
    X(_Inspector, get_EditorType)           \
    X(_Inspector, get_ModifiedFormPages)

#define ZOBRIK_OUTLOOK_RECIPIENT_SLOTS_1(X) \
    X(Recipient, get_Application)           \
    X(Recipient, get_Class)                 \
    X(Recipient, get_Session)               \
    X(Recipient, get_Parent)                \
    X(Recipient, get_Address)               \
    X(Recipient, get_AddressEntry)          \
    X(Recipient, putref_AddressEntry)       \
    X(Recipient, get_AutoResponse)          \
    X(Recipient, put_AutoResponse)          \
    X(Recipient, get_DisplayType)           \
    X(Recipient, get_EntryID)               \
    X(Recipient, get_Index)                 \
    X(Recipient, get_MeetingResponseStatus) \
    X(Recipient, get_Name)                  \
    X(Recipient, get_Resolved)              \
    X(Recipient, get_TrackingStatus)        \
    X(Recipient, put_TrackingStatus)        \
    X(Recipient, get_TrackingStatusTime)    \
    X(Recipient, put_TrackingStatusTime)

#define ZOBRIK_OUTLOOK_RECIPIENTS_SLOTS_1(X) \
    X(Recipients, get_Application)           \
    X(Recipients, get_Class)                 \
    X(Recipients, get_Session)               \
    X(Recipients, get_Parent)                \
    X(Recipients, get_Count)                 \
    X(Recipients, Item)

#define ZOBRIK_OUTLOOK_RECIPIENTS_SLOTS_2(X) X(Recipients, Remove)

#define ZOBRIK_OUTLOOK_ATTACHMENTS_SLOTS_1(X) \
    X(Attachments, get_Application)           \
    X(Attachments, get_Class)                 \
    X(Attachments, get_Session)               \
    X(Attachments, get_Parent)                \
    X(Attachments, get_Count)                 \
    X(Attachments, Item)

#define ZOBRIK_OUTLOOK_MAILITEM_SLOTS_1(X) \
    X(_MailItem, get_Application)          \
    X(_MailItem, get_Class)                \
    X(_MailItem, get_Session)              \
    X(_MailItem, get_Parent)               \
    X(_MailItem, get_Actions)

#define ZOBRIK_OUTLOOK_MAILITEM_SLOTS_2(X) \
    X(_MailItem, get_BillingInformation)   \
    X(_MailItem, put_BillingInformation)   \
    X(_MailItem, get_Body)

#define ZOBRIK_OUTLOOK_MAILITEM_SLOTS_3(X) \
    X(_MailItem, get_Categories)           \
    X(_MailItem, put_Categories)           \
    X(_MailItem, get_Companies)            \
    X(_MailItem, put_Companies)            \
    X(_MailItem, get_ConversationIndex)    \
    X(_MailItem, get_ConversationTopic)    \
    X(_MailItem, get_CreationTime)         \
    X(_MailItem, get_EntryID)              \
    X(_MailItem, get_FormDescription)

#define ZOBRIK_OUTLOOK_MAILITEM_SLOTS_4(X)   \
    X(_MailItem, get_Importance)             \
    X(_MailItem, put_Importance)             \
    X(_MailItem, get_LastModificationTime)   \
    X(_MailItem, get_MAPIOBJECT)             \
    X(_MailItem, get_MessageClass)           \
    X(_MailItem, put_MessageClass)           \
    X(_MailItem, get_Mileage)                \
    X(_MailItem, put_Mileage)                \
    X(_MailItem, get_NoAging)                \
    X(_MailItem, put_NoAging)                \
    X(_MailItem, get_OutlookInternalVersion) \
    X(_MailItem, get_OutlookVersion)         \
    X(_MailItem, get_Saved)                  \
    X(_MailItem, get_Sensitivity)            \
    X(_MailItem, put_Sensitivity)            \
    X(_MailItem, get_Size)                   \
    X(_MailItem, get_Subject)

#define ZOBRIK_OUTLOOK_MAILITEM_SLOTS_5(X) \
    X(_MailItem, get_UnRead)               \
    X(_MailItem, put_UnRead)               \
    X(_MailItem, get_UserProperties)       \
    X(_MailItem, Close)                    \
    X(_MailItem, Copy)                     \
    X(_MailItem, Delete)

#define ZOBRIK_OUTLOOK_MAILITEM_SLOTS_6(X)      \
    X(_MailItem, Move)                          \
    X(_MailItem, PrintOut)                      \
    X(_MailItem, Save)                          \
    X(_MailItem, SaveAs)                        \
    X(_MailItem, get_AlternateRecipientAllowed) \
    X(_MailItem, put_AlternateRecipientAllowed) \
    X(_MailItem, get_AutoForwarded)             \
    X(_MailItem, put_AutoForwarded)             \
    X(_MailItem, get_BCC)                       \
    X(_MailItem, put_BCC)                       \
    X(_MailItem, get_CC)                        \
    X(_MailItem, put_CC)                        \
    X(_MailItem, get_DeferredDeliveryTime)      \
    X(_MailItem, put_DeferredDeliveryTime)      \
    X(_MailItem, get_DeleteAfterSubmit)         \
    X(_MailItem, put_DeleteAfterSubmit)         \
    X(_MailItem, get_ExpiryTime)                \
    X(_MailItem, put_ExpiryTime)                \
    X(_MailItem, get_FlagDueBy)                 \
    X(_MailItem, put_FlagDueBy)                 \
    X(_MailItem, get_FlagRequest)               \
    X(_MailItem, put_FlagRequest)               \
    X(_MailItem, get_FlagStatus)                \
    X(_MailItem, put_FlagStatus)                \
    X(_MailItem, get_HTMLBody)

#define ZOBRIK_OUTLOOK_MAILITEM_SLOTS_7(X)              \
    X(_MailItem, get_OriginatorDeliveryReportRequested) \
    X(_MailItem, put_OriginatorDeliveryReportRequested) \
    X(_MailItem, get_ReadReceiptRequested)              \
    X(_MailItem, put_ReadReceiptRequested)              \
    X(_MailItem, get_ReceivedByEntryID)                 \
    X(_MailItem, get_ReceivedByName)                    \
    X(_MailItem, get_ReceivedOnBehalfOfEntryID)         \
    X(_MailItem, get_ReceivedOnBehalfOfName)            \
    X(_MailItem, get_ReceivedTime)                      \
    X(_MailItem, get_RecipientReassignmentProhibited)   \
    X(_MailItem, put_RecipientReassignmentProhibited)

#define ZOBRIK_OUTLOOK_MAILITEM_SLOTS_8(X)    \
    X(_MailItem, get_ReminderOverrideDefault) \
    X(_MailItem, put_ReminderOverrideDefault) \
    X(_MailItem, get_ReminderPlaySound)       \
    X(_MailItem, put_ReminderPlaySound)       \
    X(_MailItem, get_ReminderSet)             \
    X(_MailItem, put_ReminderSet)             \
    X(_MailItem, get_ReminderSoundFile)       \
    X(_MailItem, put_ReminderSoundFile)       \
    X(_MailItem, get_ReminderTime)            \
    X(_MailItem, put_ReminderTime)            \
    X(_MailItem, get_RemoteStatus)            \
    X(_MailItem, put_RemoteStatus)            \
    X(_MailItem, get_ReplyRecipientNames)

#define ZOBRIK_OUTLOOK_MAILITEM_SLOTS_9(X)     \
    X(_MailItem, get_SaveSentMessageFolder)    \
    X(_MailItem, putref_SaveSentMessageFolder) \
    X(_MailItem, get_SenderName)               \
    X(_MailItem, get_Sent)                     \
    X(_MailItem, get_SentOn)                   \
    X(_MailItem, get_SentOnBehalfOfName)

#define ZOBRIK_OUTLOOK_MAILITEM_SLOTS_10(X) \
    X(_MailItem, get_Submitted)             \
    X(_MailItem, get_To)                    \
    X(_MailItem, put_To)                    \
    X(_MailItem, get_VotingOptions)         \
    X(_MailItem, put_VotingOptions)         \
    X(_MailItem, get_VotingResponse)        \
    X(_MailItem, put_VotingResponse)        \
    X(_MailItem, ClearConversationIndex)    \
    X(_MailItem, Forward)                   \
    X(_MailItem, Reply)                     \
    X(_MailItem, ReplyAll)

#define ZOBRIK_OUTLOOK_MAILITEM_SLOTS_11(X)   \
    X(_MailItem, get_Links)                   \
    X(_MailItem, get_ItemProperties)          \
    X(_MailItem, get_BodyFormat)              \
    X(_MailItem, put_BodyFormat)              \
    X(_MailItem, get_DownloadState)           \
    X(_MailItem, ShowCategoriesDialog)        \
    X(_MailItem, get_InternetCodepage)        \
    X(_MailItem, put_InternetCodepage)        \
    X(_MailItem, get_MarkForDownload)         \
    X(_MailItem, put_MarkForDownload)         \
    X(_MailItem, get_IsConflict)              \
    X(_MailItem, get_IsIPFax)                 \
    X(_MailItem, put_IsIPFax)                 \
    X(_MailItem, get_FlagIcon)                \
    X(_MailItem, put_FlagIcon)                \
    X(_MailItem, get_HasCoverSheet)           \
    X(_MailItem, put_HasCoverSheet)           \
    X(_MailItem, get_AutoResolvedWinner)      \
    X(_MailItem, get_Conflicts)               \
    X(_MailItem, get_SenderEmailAddress)      \
    X(_MailItem, get_SenderEmailType)         \
    X(_MailItem, get_EnableSharedAttachments) \
    X(_MailItem, put_EnableSharedAttachments) \
    X(_MailItem, get_Permission)              \
    X(_MailItem, put_Permission)              \
    X(_MailItem, get_PermissionService)       \
    X(_MailItem, put_PermissionService)       \
    X(_MailItem, get_PropertyAccessor)        \
    X(_MailItem, AddBusinessCard)

#define ZOBRIK_OUTLOOK_APPLICATION_SLOTS_1(X) \
    X(_Application, get_Application)          \
    X(_Application, get_Class)

#define ZOBRIK_OUTLOOK_APPLICATION_SLOTS_2(X) \
    X(_Application, get_Parent)               \
    X(_Application, get_Assistant)            \
    X(_Application, get_Name)                 \
    X(_Application, get_Version)              \
    X(_Application, ActiveExplorer)           \
    X(_Application, ActiveInspector)

// clang-format off
#define ZOBRIK_OUTLOOK_NAMESPACE_UNUSED(X) \
    ZOBRIK_OUTLOOK_NAMESPACE_SLOTS_1(X)
#define ZOBRIK_OUTLOOK_ACCOUNTS_UNUSED(X) \
    ZOBRIK_OUTLOOK_ACCOUNTS_SLOTS_1(X)
#define ZOBRIK_OUTLOOK_ACCOUNT_UNUSED(X) \
    ZOBRIK_OUTLOOK_ACCOUNT_SLOTS_1(X)
#define ZOBRIK_OUTLOOK_INSPECTOR_UNUSED(X) \
    ZOBRIK_OUTLOOK_INSPECTOR_SLOTS_1(X)
#define ZOBRIK_OUTLOOK_RECIPIENT_UNUSED(X) \
    ZOBRIK_OUTLOOK_RECIPIENT_SLOTS_1(X)
#define ZOBRIK_OUTLOOK_RECIPIENTS_UNUSED(X) \
    ZOBRIK_OUTLOOK_RECIPIENTS_SLOTS_1(X) \
    ZOBRIK_OUTLOOK_RECIPIENTS_SLOTS_2(X)
#define ZOBRIK_OUTLOOK_ATTACHMENTS_UNUSED(X) \
    ZOBRIK_OUTLOOK_ATTACHMENTS_SLOTS_1(X)
#define ZOBRIK_OUTLOOK_MAILITEM_UNUSED(X) \
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_1(X) \
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_2(X) \
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_3(X) \
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_4(X) \
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_5(X) \
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_6(X) \
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_7(X) \
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_8(X) \
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_9(X) \
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_10(X) \
    ZOBRIK_OUTLOOK_MAILITEM_SLOTS_11(X)
#define ZOBRIK_OUTLOOK_APPLICATION_UNUSED(X) \
    ZOBRIK_OUTLOOK_APPLICATION_SLOTS_1(X) \
    ZOBRIK_OUTLOOK_APPLICATION_SLOTS_2(X)
// clang-format on
