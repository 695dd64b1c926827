// The decisions of zobrik-open.exe, free of platform headers: what text the
// shell asked it to open (taken from the raw command line), which recorded
// previous handler a text falls back to (its URL scheme or file extension),
// whether a handler is zobrik-open itself, and the program's exit codes and
// messages. server/open/win/open_main.cpp does the Windows calls around them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "include/wide_text.h"

namespace zobrik::server::open {

// Exit codes of zobrik-open.exe: constants, named as the project's
// constants are (as zobrik-send's are).
// NOLINTBEGIN(readability-identifier-naming)
enum ExitCode : int {
    kExitOpened = 0,             // opened on the client, or by the previous handler (or --help)
    kExitInternalError = 1,      // an unexpected failure inside zobrik-open
    kExitUsage = 2,              // no text to open, or an unknown option
    kExitNoPreviousHandler = 3,  // the client did not open it and no handler was recorded at install
    kExitRefusedSelf = 4,        // the recorded handler is zobrik-open itself, or it was started by its own fallback
    kExitHandlerFailed = 5,      // the previous handler could not be started
};
// NOLINTEND(readability-identifier-naming)

// What the command line asks for.
struct Command {
    enum class Kind { Open, Help, Usage } kind = Kind::Usage;
    WideString text;      // Open: the text, exactly as the shell substituted it
    std::string problem;  // Usage: what is wrong, for the message
};

// Reads the command line as GetCommandLineW gives it. The program name is
// skipped as CommandLineToArgvW reads it (to the next quote when it starts
// with one, else to the first blank). The rest is the text, not argv[1]: a
// URL with quotes or spaces would be split into several arguments. Rules:
//   "..."          always the text: one enclosing pair of quotes is taken off
//                  (an unterminated quote runs to the end); the shell's
//                  registered form is `"...\zobrik-open.exe" "%1"`
//   -- <text>      the text after the end-of-options mark, quotes as above
//   --help -h -?  /?   the help (only as the whole, unquoted rest)
//   -<other>       an unknown option: refused, never opened
//   <other>        the text as it stands (a console user's unquoted text)
// Blanks after the program name and at the end are not part of the text.
// An empty text is a usage error.
Command ParseCommandLine(WideStringView commandLine);

// The name under which setup recorded the previous handler of `text`: its
// URL scheme ("https", "mailto", lower case) when it has one, else the file
// extension of its last path component (".pdf", lower case, after Win32's
// dropping of trailing dots and spaces). Empty when there is neither.
WideString AssociationOf(WideStringView text);

// Whether the command of a shell verb runs zobrik-open: its program's file
// name is zobrik-open or zobrik-open.exe, or "zobrik-open.exe" appears
// anywhere in it (a wrapper such as `cmd /c ...\zobrik-open.exe %1`). ASCII
// case is ignored.
bool CommandRunsZobrikOpen(WideStringView command);

// A recorded previous handler as found on the machine.
struct PreviousHandler {
    WideString progId;                 // the recorded ProgID; empty: none recorded
    std::vector<WideString> commands;  // the commands of its shell verbs
};

// How to go on when the client did not open the text.
struct Fallback {
    int exitCode = kExitOpened;  // kExitOpened: open with `progId`
    WideString progId;
    std::string message;  // UTF-8, for the debugger and stderr
};

// The fallback for `text` whose recorded handler (of AssociationOf(text)) is
// `previous`. Refused (kExitRefusedSelf): the ProgID is zobrik-open's own
// (Zobrik.Url, Zobrik.File), names the program ("Applications\zobrik-open.exe")
// or one of its commands runs zobrik-open; or
// `startedByOwnFallback` (this process was started, directly or through
// other programs, by a zobrik-open that fell back for the same text).
// kExitNoPreviousHandler: no association or nothing recorded for it.
Fallback DecideFallback(WideStringView text, WideStringView association, const PreviousHandler& previous,
                        bool startedByOwnFallback);

// The environment variable that a falling-back zobrik-open sets to the text
// before it starts the previous handler; an instance that finds it equal to
// its own text was started by that chain and does not fall back again.
inline constexpr WideChar kFallbackMarkVariable[] = ZOBRIK_WIDE("ZOBRIK_OPEN_FALLBACK_TEXT");

// "zobrik-open: " + line, the prefix of every message.
std::string MessageLine(const std::string& line);

// The help text (--help).
std::string HelpText();

}  // namespace zobrik::server::open
