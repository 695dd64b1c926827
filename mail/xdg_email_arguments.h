// The command line of xdg-email, the freedesktop.org hand-over to the user's
// mail program, for a decoded request:
//   xdg-email --utf8 --subject S --body B [--cc A]... [--bcc A]...
//             [--attach FILE]... [TO]...
// Addresses go bare, without display names; originators have no place in it
// and are left out, as are the flags (HTML body, Outlook, send at once).
#pragma once

#include <string>
#include <vector>

#include "include/mail_request.h"

namespace zobrik {

inline constexpr const char* kInvalidRecipientMessage = "invalid recipient address";

// Whether xdg-email reads `address` as one address: it must not begin with
// '-' (an option such as "--attach" would follow) and holds no blank,
// control character or '?', '&', '%', ',', ';' (which a mailto: address
// would read as further addresses or as fields, "?attach=" among them).
bool IsSafeMailtoAddress(const std::string& address);

// The arguments, argv[0] included. Raises "invalid recipient address" for a
// to, cc or bcc address that is not safe, and throws std::out_of_range when
// the request has none of them, as the Simple MAPI hand-over does.
std::vector<std::string> XdgEmailArguments(const MailRequest& mail, const std::vector<std::string>& attachmentPaths);

}  // namespace zobrik
