// The administrator's policy applied to a decoded mail request, without
// Windows.
#pragma once

#include <cstdint>

#include "include/admin_policy.h"
#include "include/mail_request.h"

namespace zobrik {

// Raises "too many records" (with a debugger line naming the setting) when
// the request has more recipients (originators included, as for the
// built-in limit) or attachments than the policy allows.
void CheckMailAgainstPolicy(const MailRequest& mail, const AdminPolicy& policy);

// Whether a request with `flags` is handed to Outlook: it asks for Outlook
// and the policy allows the route. Writes a debugger line when the policy
// turns it to Simple MAPI.
bool TakesOutlookRoute(uint32_t flags, const AdminPolicy& policy);

// The flags Outlook is given for the mail's own: without "send at once" when
// the policy does not allow sending unseen, or when the mail has no to, cc or
// bcc recipient (Outlook's Send refuses such an item; shown, the user fills
// in the To line), with a debugger line saying which. Outlook then shows the
// mail.
uint32_t OutlookFlags(const MailRequest& mail, const AdminPolicy& policy);

}  // namespace zobrik
