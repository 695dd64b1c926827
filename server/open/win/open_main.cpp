// zobrik-open.exe: the session host's handler of http, https, mailto and of
// the file types an administrator gives it. The shell starts it with the text
// (`"...\zobrik-open.exe" "%1"`); it forwards the text on "Zobrik/exec" to the
// Remote Desktop client, whose plug-in opens it with the client's shell.
// Outside a Remote Desktop session, when the client has no plug-in, when the
// client answers "failed", or when the channel breaks or no reply comes, it
// opens the text with the handler that was the default before Zobrik was
// installed (recorded by setup in HKLM\Software\Zobrik\Server\Previous),
// never with itself. It has no window: every failure is a debugger line
// (OutputDebugStringW) and, when it has a standard error handle (a console,
// a file or a pipe), a line there; its exit code says what happened
// (open_decisions.h). No message box: it is started by other programs, often
// without anyone watching for it, and a modal box would keep it running until
// someone answers; the fallback's own failure is shown by the shell as for
// any association (ShellExecuteEx without SEE_MASK_FLAG_NO_UI).
//
// Microsoft's pages this follows:
//   "Registering Programs with Client Types"
//     https://learn.microsoft.com/en-us/windows/win32/shell/reg-middleware-apps
//   "Default Programs" (registered applications, Capabilities)
//     https://learn.microsoft.com/en-us/windows/win32/shell/default-programs
//   "Programmatic Identifiers"
//     https://learn.microsoft.com/en-us/windows/win32/shell/fa-progids
//   "Export or Import Default Application Associations"
//     https://learn.microsoft.com/en-us/windows-hardware/manufacture/desktop/export-or-import-default-application-associations
//   "Registering an Application to a URI Scheme" (the text in place of %1
//   may hold quotes and spaces: read the raw command line)
//     https://learn.microsoft.com/en-us/previous-versions/windows/internet-explorer/ie-developer/platform-apis/aa767914(v=vs.85)
//   "Launching Applications (ShellExecute, ShellExecuteEx, SHELLEXECUTEINFO)"
//     https://learn.microsoft.com/en-us/windows/win32/shell/launch
//   "SHELLEXECUTEINFOW structure" (SEE_MASK_CLASSNAME, SEE_MASK_NOASYNC)
//     https://learn.microsoft.com/en-us/windows/win32/api/shellapi/ns-shellapi-shellexecuteinfow
//   "GetCommandLineW function" and "CommandLineToArgvW function"
//     https://learn.microsoft.com/en-us/windows/win32/api/processenv/nf-processenv-getcommandlinew
//     https://learn.microsoft.com/en-us/windows/win32/api/shellapi/nf-shellapi-commandlinetoargvw
//   "Registry Redirector" / "Accessing an Alternate Registry View" (KEY_WOW64_64KEY)
//     https://learn.microsoft.com/en-us/windows/win32/winprog64/accessing-an-alternate-registry-view
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "include/win/owners.h"
#include "sdk/zobrik/wts_channel.h"
#include "server/open/open_decisions.h"
#include "server/server_registry.h"

namespace {

using namespace zobrik::server;
using namespace zobrik::server::open;

// A line on the debugger output and on the standard error handle when there
// is one (a program of the Windows subsystem has none unless its starter
// gave it one).
void Report(const std::string& line) {
    const std::string text = MessageLine(line);
    const std::wstring wide = zobrik::sdk::Utf8ToWide(text);
    OutputDebugStringW(wide.c_str());
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(error, &mode)) {
        WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

void WriteHelp() {
    const std::string text = HelpText();
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    if (out != nullptr && out != INVALID_HANDLE_VALUE)
        WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Whether the client's shell opened the text; says why not when it did not.
bool OpenedOnClient(const std::wstring& text) {
    try {
        const zobrik::sdk::ExecReply reply = zobrik::sdk::OpenOnClient(zobrik::sdk::WideToUtf8(text));
        switch (reply.outcome) {
            case zobrik::sdk::ExecOutcome::Okay:
                return true;
            case zobrik::sdk::ExecOutcome::Failed:
                Report("the client answered \"failed\" (its shell or its policy did not open the text)");
                return false;
            case zobrik::sdk::ExecOutcome::ProtocolError:
                Report("the client's reply is not understood: " + reply.problem);
                return false;
        }
    } catch (const zobrik::sdk::ChannelError& e) {
        Report(e.what());
    }
    return false;
}

// A REG_SZ or REG_EXPAND_SZ value as stored; empty when missing.
std::wstring RegistryText(HKEY key, const wchar_t* subkey, const wchar_t* value, DWORD view) {
    zobrik::UniqueRegistryKey opened;
    HKEY raw = nullptr;
    if (RegOpenKeyExW(key, subkey, 0, KEY_QUERY_VALUE | view, &raw) != ERROR_SUCCESS) return {};
    opened.Reset(raw);
    const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD size = 0;
        if (RegGetValueW(opened.Get(), nullptr, value, flags, nullptr, nullptr, &size) != ERROR_SUCCESS) return {};
        std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        const LSTATUS status = RegGetValueW(opened.Get(), nullptr, value, flags, nullptr, data.data(), &size);
        if (status == ERROR_MORE_DATA) continue;  // it grew in between
        if (status != ERROR_SUCCESS) return {};
        data.resize(wcsnlen(data.c_str(), data.size()));
        return data;
    }
    return {};
}

// The commands of every verb of `progId` (HKEY_CLASSES_ROOT\<progId>\shell).
std::vector<std::wstring> VerbCommands(const std::wstring& progId) {
    std::vector<std::wstring> commands;
    const std::wstring shellKey = progId + L"\\shell";
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, shellKey.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &raw) != ERROR_SUCCESS)
        return commands;
    zobrik::UniqueRegistryKey shell(raw);
    for (DWORD index = 0;; ++index) {
        wchar_t verb[256];
        DWORD length = 256;
        const LSTATUS status = RegEnumKeyExW(shell.Get(), index, verb, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) break;
        const std::wstring subkey = std::wstring(verb, length) + L"\\command";
        std::wstring command = RegistryText(shell.Get(), subkey.c_str(), nullptr, 0);
        if (!command.empty()) commands.push_back(std::move(command));
    }
    return commands;
}

PreviousHandler RecordedHandler(const std::wstring& association) {
    PreviousHandler handler;
    if (association.empty()) return handler;
    handler.progId = RegistryText(HKEY_LOCAL_MACHINE, kPreviousDefaultsKey, association.c_str(), KEY_WOW64_64KEY);
    if (!handler.progId.empty()) handler.commands = VerbCommands(handler.progId);
    return handler;
}

bool StartedByOwnFallback(const std::wstring& text) {
    const DWORD size = GetEnvironmentVariableW(kFallbackMarkVariable, nullptr, 0);
    if (size == 0) return false;
    std::wstring mark(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(kFallbackMarkVariable, mark.data(), size);
    if (length == 0 || length >= size) return false;
    mark.resize(length);
    return mark == text;
}

// Starts the class `progId`'s default verb on the text, as the shell would
// have before zobrik-open took the association over.
int OpenWithPreviousHandler(const std::wstring& text, const std::wstring& progId) {
    // Whatever the handler starts inherits the mark (StartedByOwnFallback).
    SetEnvironmentVariableW(kFallbackMarkVariable, text.c_str());
    zobrik::ComApartment com;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    // NOASYNC: this process ends right after the call, so the launch must be
    // complete when it returns.
    info.fMask = SEE_MASK_CLASSNAME | SEE_MASK_NOASYNC;
    info.lpClass = progId.c_str();
    info.lpFile = text.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info)) {
        Report("the previous handler \"" + zobrik::sdk::WideToUtf8(progId) + "\" could not be started (" +
               zobrik::sdk::SystemErrorText(GetLastError()) + ")");
        return kExitHandlerFailed;
    }
    return kExitOpened;
}

int OpenText(const std::wstring& text) {
    if (OpenedOnClient(text)) return kExitOpened;
    const std::wstring association(AssociationOf(text));
    const Fallback fallback =
        DecideFallback(text, association, RecordedHandler(association), StartedByOwnFallback(text));
    Report(fallback.message);
    if (fallback.exitCode != kExitOpened) return fallback.exitCode;
    return OpenWithPreviousHandler(text, fallback.progId);
}

int Run() {
    const Command command = ParseCommandLine(GetCommandLineW());
    switch (command.kind) {
        case Command::Kind::Help:
            WriteHelp();
            return kExitOpened;
        case Command::Kind::Usage:
            Report(command.problem);
            return kExitUsage;
        case Command::Kind::Open:
            break;
    }
    return OpenText(command.text);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        return Run();
    } catch (const std::exception& e) {
        Report(std::string("internal error: ") + e.what());
    } catch (...) {
        Report("internal error");
    }
    return kExitInternalError;
}
