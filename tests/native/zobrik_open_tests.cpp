// zobrik-open's decisions: the text taken from the raw command line, the
// association a text falls back by, and when a recorded handler is refused.
#include <gtest/gtest.h>

#include "include/ascii_text.h"
#include "include/utf_conversion.h"
#include "server/open/open_decisions.h"

namespace zobrik::server::open {
namespace {

struct CommandLineCase {
    const char16_t* commandLine;
    Command::Kind kind;
    const char16_t* text;  // Open: the text expected
};

TEST(ZobrikOpenCommandLine, TakesTheRawTextAfterTheProgramName) {
    const CommandLineCase cases[] = {
        // The registered form: one pair of enclosing quotes off.
        {uR"("C:\Program Files\Zobrik\zobrik-open.exe" "https://example.com/a")", Command::Kind::Open,
         u"https://example.com/a"},
        // Quotes and spaces inside the URL, which argv would split or drop.
        {uR"("C:\Program Files\Zobrik\zobrik-open.exe" "https://example.com/?q="a b"&x=1")", Command::Kind::Open,
         uR"(https://example.com/?q="a b"&x=1)"},
        {uR"("C:\Z\zobrik-open.exe" "https://e.com/a  b\"")", Command::Kind::Open, uR"(https://e.com/a  b\")"},
        // Blanks between the parts and at the end are not part of the text.
        {u"\"C:\\Z\\zobrik-open.exe\"  \t \"mailto:a@b.example\"  \t", Command::Kind::Open, u"mailto:a@b.example"},
        // Unquoted program name, unquoted text (typed in a console).
        {u"zobrik-open https://example.com/a b", Command::Kind::Open, u"https://example.com/a b"},
        // An unterminated quote runs to the end.
        {u"zobrik-open \"C:\\Reports\\q3 final.pdf", Command::Kind::Open, u"C:\\Reports\\q3 final.pdf"},
        // A quoted text beginning with '-' is a text, never an option.
        {u"zobrik-open \"--help\"", Command::Kind::Open, u"--help"},
        {u"zobrik-open \"-x.pdf\"", Command::Kind::Open, u"-x.pdf"},
        // After the end-of-options mark, everything is the text.
        {u"zobrik-open -- --help", Command::Kind::Open, u"--help"},
        {u"zobrik-open -- \"-evil \"quoted\"\"", Command::Kind::Open, u"-evil \"quoted\""},
        // Options only as the whole unquoted rest.
        {u"zobrik-open --help", Command::Kind::Help, nullptr},
        {u"zobrik-open /?", Command::Kind::Help, nullptr},
        {u"zobrik-open -H", Command::Kind::Help, nullptr},
        {u"zobrik-open --helpme", Command::Kind::Usage, nullptr},
        {u"zobrik-open -x https://e.com", Command::Kind::Usage, nullptr},
        {u"zobrik-open --", Command::Kind::Usage, nullptr},
        // No text.
        {u"\"C:\\Z\\zobrik-open.exe\"", Command::Kind::Usage, nullptr},
        {u"\"C:\\Z\\zobrik-open.exe\" \"\"", Command::Kind::Usage, nullptr},
        {u"\"C:\\Z\\zobrik-open.exe\"   ", Command::Kind::Usage, nullptr},
        {u"zobrik-open -- \"\"", Command::Kind::Usage, nullptr},
        {u"", Command::Kind::Usage, nullptr},
    };
    for (const CommandLineCase& c : cases) {
        const Command command = ParseCommandLine(Wide(c.commandLine));
        const std::string line = Utf16ToUtf8(Wide(c.commandLine));
        EXPECT_EQ(command.kind, c.kind) << line;
        if (c.kind == Command::Kind::Open) {
            EXPECT_EQ(command.text, Wide(c.text)) << line;
        }
        if (c.kind == Command::Kind::Usage) {
            EXPECT_FALSE(command.problem.empty()) << line;
        }
    }
}

TEST(ZobrikOpenAssociation, IsTheSchemeElseTheExtension) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"https://example.com/report.pdf", u"https"},
        {u"HTTP://EXAMPLE.COM/", u"http"},
        {u"MailTo:someone@example.com?subject=x.pdf", u"mailto"},
        {u"C:\\Reports\\Q3.Final.PDF", u".pdf"},
        {u"\\\\server\\share\\notes.txt", u".txt"},
        {u"C:/Reports/notes.txt", u".txt"},
        // Win32 drops trailing dots and spaces, so does the lookup.
        {u"C:\\Reports\\notes.txt. . ", u".txt"},
        // A dot in a folder name is not the file's extension.
        {u"C:\\dir.pdf\\notes", u""},
        {u"C:\\Reports\\notes.", u""},
        {u"C:\\Reports\\README", u""},
        {u"", u""},
    };
    for (const auto& [text, association] : cases) {
        EXPECT_EQ(AssociationOf(Wide(text)), Wide(association)) << Utf16ToUtf8(Wide(text));
    }
}

TEST(ZobrikOpenSelfReference, FindsCommandsThatRunZobrikOpen) {
    const std::pair<const char16_t*, bool> cases[] = {
        {uR"("C:\Program Files\Zobrik\zobrik-open.exe" "%1")", true},
        {uR"("C:\Program Files\Zobrik\ZOBRIK-OPEN.EXE" -- "%1")", true},
        {uR"(C:\Zobrik\zobrik-open "%1")", true},
        {uR"(%ProgramFiles%\Zobrik\zobrik-open.exe %1)", true},
        {uR"(cmd.exe /c start "" "C:\Zobrik\zobrik-open.exe" "%1")", true},
        {uR"("C:\Program Files\Browser\browser.exe" --single-argument %1)", false},
        {uR"("C:\Program Files\Zobrik-open-tools\viewer.exe" "%1")", false},
        {uR"(rundll32.exe url.dll,FileProtocolHandler %1)", false},
        {u"", false},
    };
    for (const auto& [command, runsItself] : cases) {
        EXPECT_EQ(CommandRunsZobrikOpen(Wide(command)), runsItself) << Utf16ToUtf8(Wide(command));
    }
}

struct FallbackCase {
    const char* what;
    const char16_t* association;
    const char16_t* progId;
    std::vector<const char16_t*> commands;
    bool startedByOwnFallback;
    int exitCode;
};

TEST(ZobrikOpenFallback, UsesTheRecordedHandlerUnlessItIsZobrikOpen) {
    const std::u16string browser = uR"("C:\Browser\browser.exe" "%1")";
    const FallbackCase cases[] = {
        {"recorded browser", u"https", u"BrowserURL", {browser.c_str()}, false, kExitOpened},
        {"handler without commands (DelegateExecute)", u"https", u"AppURL", {}, false, kExitOpened},
        {"nothing recorded", u"https", u"", {}, false, kExitNoPreviousHandler},
        {"no scheme, no extension", u"", u"", {}, false, kExitNoPreviousHandler},
        {"own URL ProgID", u"https", u"Zobrik.Url", {browser.c_str()}, false, kExitRefusedSelf},
        {"own file ProgID in another case", u".pdf", u"zobrik.file", {}, false, kExitRefusedSelf},
        {"other ProgID whose print verb runs it",
         u".pdf",
         u"Viewer.Pdf",
         {browser.c_str(), uR"("C:\Zobrik\zobrik-open.exe" "%1")"},
         false,
         kExitRefusedSelf},
        {"started by its own fallback", u"https", u"BrowserURL", {browser.c_str()}, true, kExitRefusedSelf},
    };
    for (const FallbackCase& c : cases) {
        PreviousHandler previous;
        previous.progId = Wide(c.progId);
        for (const char16_t* command : c.commands) previous.commands.push_back(Wide(command));
        const Fallback fallback =
            DecideFallback(Wide(u"https://example.com/"), Wide(c.association), previous, c.startedByOwnFallback);
        EXPECT_EQ(fallback.exitCode, c.exitCode) << c.what;
        EXPECT_EQ(fallback.progId, c.exitCode == kExitOpened ? Wide(c.progId) : WideString()) << c.what;
        EXPECT_NE(fallback.message.find("\"https://example.com/\""), std::string::npos) << fallback.message;
    }
}

}  // namespace
}  // namespace zobrik::server::open
