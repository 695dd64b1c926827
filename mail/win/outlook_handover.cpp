#include "outlook_handover.h"

#include "include/event_log.h"
#include "include/win/com_errors.h"
#include "include/win/outlook_connection.h"
#include "mail/outlook_arguments.h"

namespace zobrik {

namespace {

using namespace outlook;

// The sending account's side of SelectOutlookSender, on Outlook's objects.
class OutlookSession {
public:
    OutlookSession(_Application* application, _MailItem* item) noexcept : application_(application), item_(item) {}

    class Accounts {
    public:
        class Account {
        public:
            WideString Address() const {
                UniqueBstr address;
                Check(Need(account_)->get_SmtpAddress(address.Put()));
                return address.Get() ? WideString(address.Get()) : WideString();
            }
            _Account* Get() const { return Need(account_); }
            ComPtr<_Account> account_;
        };

        long Count() const {
            long count = 0;
            Check(Need(accounts_)->get_Count(&count));
            return count;
        }
        Account Item(long index) const {
            Account account;
            UniqueVariant position = VariantI4(index);
            Check(Need(accounts_)->Item(position.Get(), account.account_.Put()));
            Need(account.account_);
            return account;
        }
        ComPtr<_Accounts> accounts_;
    };

    Accounts OpenAccounts() const {
        Accounts accounts;
        ComPtr<_NameSpace> session;
        Check(application_->get_Session(session.Put()));
        Check(Need(session)->get_Accounts(accounts.accounts_.Put()));
        Need(accounts.accounts_);
        return accounts;
    }

    void UseAccount(Accounts::Account& account) const { Check(item_->put_SendUsingAccount(account.Get())); }

    void SetSentOnBehalfOf(const WideChar* name) const { Check(item_->put_SentOnBehalfOfName(MakeBstr(name).Get())); }

private:
    _Application* application_;
    _MailItem* item_;
};

ComPtr<_MailItem> CreateMailItem(_Application* application) {
    ComPtr<IDispatch> created;
    Check(application->CreateItem(olMailItem, created.Put()));
    ComPtr<_MailItem> item;
    // An object that is not a mail item leaves the item empty.
    HRESULT result = Need(created)->QueryInterface(IID__MailItem, item.PutVoid());
    if (result != E_NOINTERFACE) {
        Check(result);
    }
    Need(item);
    return item;
}

void AddRecipients(_MailItem* item, const MailRequest& request) {
    for (uint32_t i = request.OriginatorEnd(); i < request.recipients.size(); ++i) {
        const MailRecipient& entry = request.recipients[i];
        WideString text = OutlookRecipientText(entry.displayName, entry.address);
        ComPtr<Recipient> recipient;
        {
            ComPtr<Recipients> recipients;
            Check(item->get_Recipients(recipients.Put()));
            Check(Need(recipients)->Add(MakeBstr(text.c_str()).Get(), recipient.Put()));
        }
        Check(Need(recipient)->put_Type(OutlookRecipientType(request, i)));
    }
}

void AddAttachments(_MailItem* item, const MailRequest& request) {
    for (const MailAttachment& entry : request.attachments) {
        ComPtr<IDispatch> attachment;
        UniqueVariant source = VariantString(entry.stagedPath);
        UniqueVariant type = VariantInt(olByValue);
        UniqueVariant position = VariantInt(1);
        UniqueVariant displayName = VariantString(OutlookAttachmentDisplayName(entry).c_str());
        ComPtr<Attachments> attachments;
        Check(item->get_Attachments(attachments.Put()));
        Check(Need(attachments)->Add(source.Get(), type.Get(), position.Get(), displayName.Get(), attachment.Put()));
    }
}

void DisplayOrSend(_MailItem* item, uint32_t flags) {
    if (flags & MAIL_FLAG_IMMEDIATE) {
        Check(item->Send());
        return;
    }
    ComPtr<_Inspector> inspector;
    Check(item->get_GetInspector(inspector.Put()));
    UniqueVariant modal = VariantInt(0);  // opens the window without blocking
    Check(Need(inspector)->Display(modal.Get()));
}

void BuildInOutlook(const MailRequest& request) {
    ComPtr<_Application> application;
    if (ConnectToOutlook(application) != S_OK) {
        throw "Outlook not available";
    }
    ComPtr<_MailItem> item = CreateMailItem(application.Get());
    if (request.flags & MAIL_FLAG_HTML_BODY) {
        Check(item->put_HTMLBody(MakeBstr(request.body).Get()));
    } else {
        Check(item->put_Body(MakeBstr(request.body).Get()));
    }
    Check(item->put_Subject(MakeBstr(request.subject).Get()));
    OutlookSession session(application.Get(), item.Get());
    SelectOutlookSender(request, session);
    AddRecipients(item.Get(), request);
    AddAttachments(item.Get(), request);
    DisplayOrSend(item.Get(), request.flags);
    // The item is released before the application (declaration order).
}

}  // namespace

HRESULT HandOverToOutlook(const MailRequest& request) noexcept {
    ComApartment apartment;
    try {
        BuildInOutlook(request);
        return S_OK;
    } catch (...) {
        // Every object is released by now; the mail goes to Simple MAPI.
        ReportHandOverFailed(L"Outlook", L"Outlook did not take the mail; it goes to Simple MAPI instead");
        return E_FAIL;
    }
}

}  // namespace zobrik
