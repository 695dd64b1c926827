// The decisions of zobrik-server-setup, free of platform calls: which
// defaults it records before the package changes anything, whether a record
// is written or kept, what is put back at uninstall, and its command line.
//
// Recorded (HKLM\Software\Zobrik\Server\Previous, server/server_registry.h):
//   MailClient, MailClient32  the default mail client of the 64-bit and the
//                             32-bit registry view (Software\Clients\Mail is
//                             redirected under WOW64, so each view has one)
//   http, https, mailto       the ProgID that handles the scheme for the
//                             whole machine before
//   .<ext>                    the same for each file type the administrator
//                             assigns to zobrik-open
// Our own names (Zobrik, Zobrik.Url, Zobrik.File) are never recorded as
// "previous": a second install or a repair keeps the first record.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zobrik::server {

// Where a recorded default lives.
enum class DefaultKind {
    MailClient64,  // HKLM\Software\Clients\Mail default value, 64-bit view
    MailClient32,  // the same in the 32-bit view
    Scheme,        // a URL scheme's handler (http, https, mailto)
    FileType,      // a file type's ProgID (.pdf)
};

struct DefaultSlot {
    DefaultKind kind;
    std::wstring valueName;  // the value of the Previous key; the scheme or extension
};

// The slots a record covers: both mail clients, http, https, mailto, then
// the file types given (each once, in the order given).
std::vector<DefaultSlot> SlotsToRecord(const std::vector<std::wstring>& fileTypes);

// Whether `name` is one of ours: the mail client key or one of the ProgIDs,
// compared without regard to ASCII case as the registry compares names.
bool IsOwnName(std::wstring_view name);

// What record does with one slot. `current`: the default now (nullopt or
// empty: none); `recorded`: what the Previous key holds (nullopt: nothing).
struct RecordStep {
    bool write = false;
    std::wstring value;  // written when `write`; empty: "there was none"
};
RecordStep DecideRecord(const std::optional<std::wstring>& current, const std::optional<std::wstring>& recorded);

// What restore does with one slot at uninstall. Only a default that is
// still ours is changed; it gets the recorded one back when that is still
// registered, else it is cleared (there was none, or it is gone).
enum class RestoreAction { LeaveAlone, PutBack, Clear };
struct RestoreStep {
    RestoreAction action = RestoreAction::LeaveAlone;
    std::wstring value;  // for PutBack
};
RestoreStep DecideRestore(const std::optional<std::wstring>& current, const std::optional<std::wstring>& recorded,
                          bool recordedStillRegistered);

// The slot of a value found in the Previous key at uninstall; nullopt for a
// name that is none of ours (left alone).
std::optional<DefaultSlot> SlotOfRecordedValue(std::wstring_view valueName);

// The command line: record [file types], set-default-mail, restore. File
// types come as arguments, each possibly a ';'-separated list (the MSI
// property as the administrator wrote it): ".pdf;.docx" or ".pdf .docx".
enum class SetupCommand { Record, SetDefaultMail, Restore };
struct SetupArguments {
    SetupCommand command = SetupCommand::Record;
    std::vector<std::wstring> fileTypes;
};
struct ParsedArguments {
    std::optional<SetupArguments> arguments;
    std::wstring error;  // when not parsed: why, for the usage message
};
ParsedArguments ParseSetupArguments(const std::vector<std::wstring>& arguments);

// A file type name: a dot and 1 to 32 ASCII letters, digits, '-' or '_'
// (nothing that reaches outside Software\Classes\.<ext>).
bool IsFileTypeName(std::wstring_view name);

// Exit codes (msiexec logs the code of a failing custom action).
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitRegistry = 2;

}  // namespace zobrik::server
