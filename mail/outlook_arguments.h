// What the Outlook hand-over passes to Outlook, decided without Outlook:
// recipient texts and types, attachment display names, and the choice of the
// sending account or of the name the mail is sent on behalf of.
#pragma once

#include "include/mail_request.h"
#include "include/wide_text.h"

namespace zobrik {

// "\"Display Name\" <address>", with a backslash before every double quote of
// the display name; the address alone when the display name is empty or
// equal to the address.
WideString OutlookRecipientText(const WideChar* displayName, const WideChar* address);

// The DisplayName of an attachment: the staged file's clean name
// (OfferedFileName); empty when the request gives no file name.
WideString OutlookAttachmentDisplayName(const MailAttachment& attachment);

// olTo (1), olCC (2) or olBCC (3) for recipient `index` (not an originator).
long OutlookRecipientType(const MailRequest& request, uint32_t index) noexcept;

// Compares like _wcsicmp in the default locale: only A-Z and a-z are folded.
// A null text counts as empty.
bool EqualsIgnoringAsciiCase(const WideChar* a, const WideChar* b) noexcept;

// Chooses the sender from the originators (group 1, then group 2): the first
// candidate whose address equals an Outlook account's address selects that
// account (of equal addresses, the account with the higher index) and leaves
// the on-behalf-of name empty; until then every candidate with an address
// becomes the on-behalf-of name. The accounts are fetched anew per candidate.
//
// Session provides:
//   Accounts OpenAccounts();                 // the profile's accounts
//   void UseAccount(Accounts::Account&);     // SendUsingAccount
//   void SetSentOnBehalfOf(const WideChar*); // null: empty text
// Accounts provides: long Count(); Account Item(long index) (1-based);
// Account provides: WideString Address().
template <class Session>
void SelectOutlookSender(const MailRequest& request, Session& session) {
    for (uint32_t i = 0; i < request.OriginatorEnd() && i < request.recipients.size(); ++i) {
        const WideChar* address = request.recipients[i].address;
        if (!address || !*address) {
            continue;
        }
        auto accounts = session.OpenAccounts();
        for (long index = accounts.Count(); index >= 1; --index) {
            auto account = accounts.Item(index);
            if (EqualsIgnoringAsciiCase(account.Address().c_str(), address)) {
                session.UseAccount(account);
                session.SetSentOnBehalfOf(nullptr);
                return;
            }
        }
        session.SetSentOnBehalfOf(address);
    }
}

}  // namespace zobrik
