// Hands a decoded, staged mail to the user's mail program through Simple MAPI.
#pragma once

#include "include/mail_request.h"

namespace zobrik {

// Calls MAPISendMailW through the bound entry; returns when the mail program
// gives control back. Its answer does not change the outcome (it is written
// to the debugger output). A mail without recipients opens the compose
// window like any other.
void SendWithSimpleMapi(const MailRequest& request);

}  // namespace zobrik
