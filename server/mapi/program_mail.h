// A program's Simple MAPI message in neutral form, and the reading of the
// structures a program passes to MAPISendMail, MAPISendMailW and
// MAPISendDocuments into it: every pointer and count checked, every string
// converted to UTF-8 by the caller's decoder, every recipient's address
// made usable, or the Simple MAPI error that the call answers.
//
// Follows "MAPISendMail function", "MAPISendMailW function", "MapiMessage
// structure", "MapiRecipDesc structure" and "MapiFileDesc structure"
// (learn.microsoft.com, windows/win32/api/mapi/).
//
// Platform-free: no Windows headers; the ANSI decoder (the program's ANSI
// code page) is the caller's.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "include/simple_mapi_types.h"
#include "include/wide_text.h"
#include "sdk/zobrik/mail_message.h"
#include "server/mapi/mapi_results.h"
#include "server/mapi/simple_mapi_ansi.h"

namespace zobrik::mapi {

// An attachment as the program names it: the file's path and the name the
// mail offers it under (lpszFileName's last part, else the file's own name).
struct ProgramAttachment {
    std::string path;
    std::string fileName;
};

struct ProgramMail {
    sdk::MailMessage message;  // texts and recipients; no attachments yet
    std::vector<ProgramAttachment> attachments;
};

// Turns one of the program's strings into UTF-8, or nullopt when it is not
// text in the program's character set (a byte sequence that the ANSI code
// page does not define, a lone UTF-16 surrogate). Never called with null.
using AnsiDecoder = std::function<std::optional<std::string>(const char* text)>;

// UTF-16 to UTF-8; nullopt for a lone surrogate.
std::optional<std::string> StrictUtf8FromUtf16(WideStringView text);

// The message, or the error the call answers (Outcome::code != 0; `mail` is
// then left as it was).
Outcome ReadProgramMail(const MapiMessageA* message, const AnsiDecoder& decode, ProgramMail& mail);
Outcome ReadProgramMail(const MapiMessageW* message, ProgramMail& mail);

// MAPISendDocuments: the paths and names as `delimiter`-separated lists.
Outcome ReadSentDocuments(const char* delimiter, const char* paths, const char* names, const AnsiDecoder& decode,
                          ProgramMail& mail);

// The bare address that a recipient's address (or, without one, its name)
// stands for: an "SMTP:" prefix dropped, blanks around it trimmed. Returns
// "" and sets `problem` when there is none usable.
std::string UsableAddress(std::string_view address, std::string_view name, std::string& problem);

// MAPIResolveName: the recipient that `name` stands for when it is an
// address ("ann@example.com", "SMTP:ann@example.com", "Ann Lee
// <ann@example.com>"); false and `problem` set otherwise (no address book
// stands behind the provider).
bool ResolveName(std::string_view name, sdk::Recipient& out, std::string& problem);

// Whether `path` names a device rather than a file: a reserved device name
// as its last part (CON, NUL, COM1, "nul.txt", ...), or the device
// namespace (\\.\, \\?\ other than a drive or UNC path).
bool NamesDevice(std::string_view path);

}  // namespace zobrik::mapi
