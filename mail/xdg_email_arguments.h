// The command line of xdg-email, the freedesktop.org hand-over to the user's
// mail program, for a decoded request:
//   xdg-email --utf8 [--attach FILE]... mailto:TO?to=TO&cc=CC&bcc=BCC&subject=S&body=B
// The add-in writes the mailto: URL itself (the first to-address in its path,
// the others as fields, as xdg-email would) rather than giving the subject
// and body as --subject and --body: xdg-email passes those texts through
// dash's `echo`, and its Thunderbird route the whole URL several times
// more, and `echo` reads backslash sequences ("\c" ends the text, "\0046"
// becomes '&', so a subject could add fields such as "attach=" or end the
// URL early). In the URL every byte of the subject and body other than ASCII
// letters, digits and . - _ @ is percent-encoded, a line break as %0D%0A,
// so no backslash, quote, comma or '&' reaches the script and the mail
// program decodes the text as it was sent. An empty subject or body is left
// out (xdg-email refuses an empty one).
// Addresses go bare, without display names, and only in the strict grammar of
// IsPlainMailAddress; originators have no place in it and are left out, as
// are the flags (HTML body, Outlook, send at once). A mail without to, cc and
// bcc gets a URL without address ("mailto:?subject=…", as xdg-email writes
// one itself when given none): the compose window opens with an empty To line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "include/mail_request.h"
#include "include/wide_text.h"

namespace zobrik {

inline constexpr const char* kInvalidRecipientMessage = "invalid recipient address";

// `text` as a mailto: field value: ASCII letters, digits and . - _ @ as they
// are, a line break (CR LF, LF or CR) as %0D%0A, every other byte as %XX.
std::string MailtoEncoded(std::string_view text);

// The arguments, argv[0] included. Raises "invalid recipient address" for a
// to, cc or bcc address that is not a plain address (IsPlainMailAddress).
std::vector<std::string> XdgEmailArguments(const MailRequest& mail, const std::vector<std::string>& attachmentPaths);

// A staged file name (a result of SafeFileName or NumberedFileName) fit for
// xdg-email's Thunderbird route, which joins the attachment paths with ','
// inside "attachment='…'": '\'', ',' and '%' become '_', so that no name ends
// the quoted list, adds a path of its own (a relative one would name a file
// in the mail program's current folder) or reads as an escape.
WideString XdgEmailFileName(WideStringView stagedName);

}  // namespace zobrik
