#include "server/open/open_decisions.h"

#include <algorithm>
#include <array>

#include "exec/exec_policy.h"
#include "include/ascii_text.h"
#include "include/utf_conversion.h"
#include "server/server_registry.h"

namespace zobrik::server::open {
namespace {

bool IsBlank(WideChar c) { return c == ' ' || c == '\t'; }

// The command line without the program name and the blanks after it.
WideStringView AfterProgramName(WideStringView line) {
    size_t i = 0;
    if (!line.empty() && line[0] == '"') {
        const size_t close = line.find('"', 1);
        i = close == WideStringView::npos ? line.size() : close + 1;
    }
    while (i < line.size() && !IsBlank(line[i])) ++i;
    while (i < line.size() && IsBlank(line[i])) ++i;
    return line.substr(i);
}

WideStringView TrimTrailingBlanks(WideStringView text) {
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// One enclosing pair of quotes off; an opening quote without its closing one
// runs to the end.
WideStringView Unquoted(WideStringView text) {
    if (text.empty() || text.front() != '"') return text;
    text.remove_prefix(1);
    if (!text.empty() && text.back() == '"') text.remove_suffix(1);
    return text;
}

Command OpenCommand(WideStringView text) {
    Command command;
    if (text.empty()) {
        command.problem = "no text to open: the shell runs zobrik-open.exe \"%1\"";
        return command;
    }
    command.kind = Command::Kind::Open;
    command.text = WideString(text);
    return command;
}

bool IsHelpOption(WideStringView word) {
    constexpr std::array<std::u16string_view, 4> kHelp = {u"--help", u"-h", u"-?", u"/?"};
    return std::any_of(kHelp.begin(), kHelp.end(), [&](std::u16string_view option) {
        return word.size() == option.size() && StartsWithIgnoringAsciiCase(word, option);
    });
}

// The program of a shell command: up to the closing quote when it starts
// with one, else up to the first blank.
WideStringView ProgramOf(WideStringView command) {
    while (!command.empty() && IsBlank(command.front())) command.remove_prefix(1);
    if (!command.empty() && command.front() == '"') {
        command.remove_prefix(1);
        return command.substr(0, command.find('"'));
    }
    size_t end = 0;
    while (end < command.size() && !IsBlank(command[end])) ++end;
    return command.substr(0, end);
}

WideStringView FileNameOf(WideStringView path) {
    const size_t slash = path.find_last_of(ZOBRIK_WIDE("\\/"));
    return slash == WideStringView::npos ? path : path.substr(slash + 1);
}

bool Contains(WideStringView text, std::u16string_view lowerNeedle) {
    const WideString lowered = AsciiLowered(text);
    return WideStringView(lowered).find(Wide(lowerNeedle)) != WideStringView::npos;
}

// A name of server_registry.h (ASCII, wchar_t on every platform) as WideString.
WideString RegistryName(const wchar_t* name) {
    WideString out;
    for (; *name != 0; ++name) out += WideChar(*name);
    return out;
}

std::string Quoted(WideStringView text) { return "\"" + Utf16ToUtf8(text) + "\""; }

}  // namespace

Command ParseCommandLine(WideStringView commandLine) {
    const WideStringView rest = TrimTrailingBlanks(AfterProgramName(commandLine));
    if (!rest.empty() && rest.front() == '"') return OpenCommand(Unquoted(rest));
    if (rest.substr(0, 2) == ZOBRIK_WIDE("--") && (rest.size() == 2 || IsBlank(rest[2]))) {
        WideStringView text = rest.substr(2);
        while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
        return OpenCommand(Unquoted(text));
    }
    if (IsHelpOption(rest)) {
        Command help;
        help.kind = Command::Kind::Help;
        return help;
    }
    if (!rest.empty() && rest.front() == '-') {
        Command usage;
        usage.problem = "unknown option " + Quoted(rest.substr(0, std::min<size_t>(rest.size(), 40))) +
                        ": a text that begins with '-' goes after \"--\" or in quotes";
        return usage;
    }
    return OpenCommand(rest);
}

WideString AssociationOf(WideStringView text) {
    WideString scheme = UrlScheme(text);
    if (!scheme.empty()) return scheme;
    WideStringView name = FileNameOf(text);
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
    const size_t dot = name.rfind('.');
    if (dot == WideStringView::npos || dot + 1 == name.size()) return {};
    return AsciiLowered(name.substr(dot));
}

bool CommandRunsZobrikOpen(WideStringView command) {
    const WideStringView program = FileNameOf(ProgramOf(command));
    if (SameIgnoringAsciiCase(program, Wide(u"zobrik-open")) ||
        SameIgnoringAsciiCase(program, Wide(u"zobrik-open.exe")))
        return true;
    return Contains(command, u"zobrik-open.exe");
}

Fallback DecideFallback(WideStringView text, WideStringView association, const PreviousHandler& previous,
                        bool startedByOwnFallback) {
    Fallback fallback;
    if (startedByOwnFallback) {
        fallback.exitCode = kExitRefusedSelf;
        fallback.message = "not opening " + Quoted(text) +
                           " again: this zobrik-open was started by the previous handler that zobrik-open "
                           "started for the same text (a loop)";
        return fallback;
    }
    if (association.empty()) {
        fallback.exitCode = kExitNoPreviousHandler;
        fallback.message =
            "no previous handler for " + Quoted(text) + ": it has neither a URL scheme nor a file extension";
        return fallback;
    }
    if (previous.progId.empty()) {
        fallback.exitCode = kExitNoPreviousHandler;
        fallback.message =
            "no previous handler for " + Quoted(text) + ": setup recorded none for " + Quoted(association);
        return fallback;
    }
    const bool ownProgId = SameIgnoringAsciiCase(previous.progId, RegistryName(kUrlProgId)) ||
                           SameIgnoringAsciiCase(previous.progId, RegistryName(kFileProgId));
    // "Applications\zobrik-open.exe" names the program itself: the shell
    // runs it even without a command of its own.
    const bool namesItself = CommandRunsZobrikOpen(previous.progId);
    const bool runsItself = std::any_of(previous.commands.begin(), previous.commands.end(),
                                        [](const WideString& command) { return CommandRunsZobrikOpen(command); });
    if (ownProgId || namesItself || runsItself) {
        fallback.exitCode = kExitRefusedSelf;
        fallback.message = "not opening " + Quoted(text) + " with the recorded previous handler " +
                           Quoted(previous.progId) + " of " + Quoted(association) +
                           ": it is zobrik-open itself (a loop); record the program that handled it before";
        return fallback;
    }
    fallback.progId = previous.progId;
    fallback.message = "opening " + Quoted(text) + " with the previous handler " + Quoted(previous.progId) + " of " +
                       Quoted(association);
    return fallback;
}

std::string MessageLine(const std::string& line) { return "zobrik-open: " + line + "\n"; }

std::string HelpText() {
    return "usage: zobrik-open.exe \"<URL or path>\"\n"
           "       zobrik-open.exe -- <URL or path>\n"
           "Opens the text with the shell of the Remote Desktop client computer (channel \"Zobrik/exec\").\n"
           "Outside a Remote Desktop session, or when the client cannot open it, the text is opened\n"
           "with the program that handled its scheme or file type before Zobrik was installed.\n"
           "Exit codes: 0 opened, 1 internal error, 2 usage, 3 no previous handler recorded,\n"
           "4 the previous handler is zobrik-open itself, 5 the previous handler could not be started.\n";
}

}  // namespace zobrik::server::open
