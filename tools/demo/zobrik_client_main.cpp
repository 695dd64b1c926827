// zobrik-client.exe: plays a scripted Remote Desktop session against the
// plug-in DLL with the client stand-in and prints what happens.
//
//   zobrik-client.exe [--dll <path>] [--timeout-ms N] <command>...
//     exec <text>                  open "Zobrik/exec", send <text> (narrow), wait for the 8-byte reply
//     mail <request-file> [chunk]  open "Zobrik/mail", send the file in chunks of <chunk> bytes
//                                  (default: whole), wait for the reply
//     close                        close the channel opened last
//
// Every debugger output line is printed as it arrives ("debug: ..."). Exit code
// 0 when every command got its reply, 1 otherwise, 2 for a usage error.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "client_standin.h"
#include "mapi_standin_client.h"

namespace {

using zobrik::standin::ClientOptions;
using zobrik::standin::ClientStandIn;
using zobrik::standin::DebugCapture;
using zobrik::standin::HexDump;
using zobrik::standin::StandInChannel;
using zobrik::standin::ToUtf8;

// Straight to the standard output handle, unbuffered, like the debug echo,
// so that both stay in order.
void Print(const std::string& line) {
    const std::string out = line + "\n";
    const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(handle, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
}

std::string Hr(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lx", static_cast<unsigned long>(result));
    return text;
}

// A result that the stand-in records, or "not called" while it is still pending.
std::string Recorded(HRESULT result) { return result == E_PENDING ? std::string("not called") : Hr(result); }

void Usage() {
    Print("usage: zobrik-client.exe [--dll <path>] [--timeout-ms N] <command>...");
    Print("  exec <text>                   open \"Zobrik/exec\", send <text>, print the 8-byte reply");
    Print("  mail <request-file> [chunk]   open \"Zobrik/mail\", send the file in chunks of <chunk> bytes");
    Print("  close                         close the channel opened last");
}

std::optional<unsigned long long> Number(const std::wstring& text) {
    if (text.empty() || text.find_first_not_of(L"0123456789") != std::wstring::npos || text.size() > 18) {
        return std::nullopt;
    }
    return std::stoull(text);
}

// Text in the ANSI code page, as the exec channel carries it.
std::string ToAnsi(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size =
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    }
    return out;
}

// The bytes as quoted text if they are printable ASCII up to trailing NULs.
std::optional<std::string> PrintableAscii(const std::vector<uint8_t>& bytes) {
    size_t end = bytes.size();
    while (end > 0 && bytes[end - 1] == 0) {
        --end;
    }
    for (size_t i = 0; i < end; ++i) {
        if (bytes[i] < 0x20 || bytes[i] > 0x7E) {
            return std::nullopt;
        }
    }
    return std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(end));
}

struct Command {
    enum class Kind { Exec, Mail, Close } kind;
    std::wstring argument;
    size_t chunk = 0;  // 0: whole request in one message
};

struct Session {
    ClientStandIn& client;
    std::chrono::milliseconds timeout;
    std::shared_ptr<StandInChannel> last;
    size_t replies = 0;
    size_t missing = 0;
};

std::string OpenFailure(const ClientStandIn& client) {
    const auto open = client.LastOpenResult();
    if (!open.hadListener) {
        return "no listener registered";
    }
    return "OnNewChannelConnection " + Hr(open.result) + ", accept " + std::to_string(open.accepted);
}

bool WaitForReply(Session& session, StandInChannel& channel, std::vector<uint8_t>& reply) {
    if (!channel.WaitForWrites(1, session.timeout)) {
        Print("reply: none within " + std::to_string(session.timeout.count()) + " ms");
        ++session.missing;
        return false;
    }
    reply = channel.Writes().front();
    ++session.replies;
    return true;
}

bool RunExec(Session& session, const std::wstring& text) {
    const std::string narrow = ToAnsi(text);
    Print("exec: opening \"Zobrik/exec\", sending " + std::to_string(narrow.size()) + " bytes \"" + ToUtf8(text) +
          "\"");
    auto channel = session.client.OpenChannel("Zobrik/exec");
    if (!channel) {
        Print("exec: channel not opened (" + OpenFailure(session.client) + ")");
        ++session.missing;
        return false;
    }
    session.last = channel;
    const HRESULT sent = channel->Send(narrow);
    if (FAILED(sent)) {
        Print("exec: OnDataReceived " + Hr(sent));
    }
    std::vector<uint8_t> reply;
    if (!WaitForReply(session, *channel, reply)) {
        return false;
    }
    std::string line = "exec reply (" + std::to_string(reply.size()) + " bytes): " + HexDump(reply);
    if (const auto textReply = PrintableAscii(reply)) {
        line += " \"" + *textReply + "\"";
    }
    Print(line);
    return reply.size() == 8;
}

// What the mail program's compose window would show for one hand-over.
void PrintComposeWindow(const zobrik::standin::RecordedMapiCall& call) {
    const char* mode = (call.flags & 4) ? "modeless" : "modal";
    Print("mail program: compose window (" + std::string(mode) + ", MAPISendMailW options " +
          std::to_string(call.flags) + ")");
    auto text = [](const std::optional<std::wstring>& value) { return ToUtf8(value.value_or(L"")); };
    if (call.originator) {
        Print("  From:    " + text(call.originator->name));
    }
    const char* labels[] = {"", "To:     ", "Cc:     ", "Bcc:    "};
    for (const auto& recipient : call.recips) {
        const char* label = recipient.recipClass < 4 ? labels[recipient.recipClass] : "?:      ";
        Print(std::string("  ") + label + " " + text(recipient.name) + " (" + text(recipient.address) + ")");
    }
    Print("  Subject: " + text(call.subject));
    std::string body = text(call.noteText);
    for (size_t pos = 0; (pos = body.find('\n', pos)) != std::string::npos; pos += 11) {
        body.replace(pos, 1, "\n           ");
    }
    Print("  Body:    " + body);
    for (const auto& file : call.files) {
        Print("  Attachment: " + text(file.fileName) + ", " +
              (file.contentRead
                   ? std::to_string(file.content.empty() ? file.contentSize : file.content.size()) + " bytes"
                   : std::string("not readable")) +
              " (staged as " + text(file.pathName) + ")");
    }
}

bool RunMail(Session& session, const Command& command) {
    std::ifstream in(std::filesystem::path(command.argument), std::ios::binary);
    if (!in) {
        Print("mail: cannot read " + ToUtf8(command.argument));
        ++session.missing;
        return false;
    }
    const std::vector<uint8_t> request((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t chunk = command.chunk == 0 ? (request.empty() ? 1 : request.size()) : command.chunk;
    Print("mail: opening \"Zobrik/mail\", sending " + std::to_string(request.size()) + " bytes of " +
          ToUtf8(command.argument) + " in chunks of " + std::to_string(chunk));
    auto channel = session.client.OpenChannel("Zobrik/mail");
    if (!channel) {
        Print("mail: channel not opened (" + OpenFailure(session.client) + ")");
        ++session.missing;
        return false;
    }
    session.last = channel;
    const HRESULT sent = channel->SendChunks(request, chunk);
    if (FAILED(sent)) {
        Print("mail: OnDataReceived " + Hr(sent));
    }
    std::vector<uint8_t> reply;
    if (!WaitForReply(session, *channel, reply)) {
        return false;
    }
    std::string line = "mail reply (" + std::to_string(reply.size()) + " bytes): " + HexDump(reply);
    if (reply.size() == 1) {
        line += " (status " + HexDump(reply) + ")";
    } else {
        std::string text(reply.begin(), reply.end());
        while (!text.empty() && text.back() == '\0') {
            text.pop_back();
        }
        line += " \"" + text + "\"";
    }
    Print(line);
    const auto mapi = zobrik::standin::MapiStandIn::Find();
    if (mapi.Valid()) {
        for (const auto& call : mapi.Calls()) {
            PrintComposeWindow(call);
        }
        mapi.Reset();
    }
    return true;
}

bool RunClose(Session& session) {
    if (!session.last) {
        Print("close: no channel is open");
        return false;
    }
    const HRESULT closed = session.last->CloseFromServer();
    Print("close: \"" + session.last->Name() + "\" channel " + std::to_string(session.last->Id()) + ", OnClose " +
          Hr(closed));
    session.last = nullptr;
    return closed == S_OK;
}

int Run(const std::vector<std::wstring>& args) {
    ClientOptions options;
    std::chrono::milliseconds timeout(10000);
    std::vector<Command> commands;
    size_t i = 0;
    for (; i < args.size() && args[i].rfind(L"--", 0) == 0; ++i) {
        if (i + 1 >= args.size()) {
            Usage();
            return 2;
        }
        if (args[i] == L"--dll") {
            options.dllPath = args[++i];
        } else if (args[i] == L"--timeout-ms") {
            const auto value = Number(args[++i]);
            if (!value) {
                Usage();
                return 2;
            }
            timeout = std::chrono::milliseconds(*value);
        } else {
            Usage();
            return 2;
        }
    }
    for (; i < args.size(); ++i) {
        if (args[i] == L"exec" && i + 1 < args.size()) {
            commands.push_back({Command::Kind::Exec, args[++i]});
        } else if (args[i] == L"mail" && i + 1 < args.size()) {
            Command command{Command::Kind::Mail, args[++i]};
            if (i + 1 < args.size()) {
                if (const auto chunk = Number(args[i + 1])) {
                    if (*chunk == 0) {
                        Usage();
                        return 2;
                    }
                    command.chunk = static_cast<size_t>(*chunk);
                    ++i;
                }
            }
            commands.push_back(command);
        } else if (args[i] == L"close") {
            commands.push_back({Command::Kind::Close, {}});
        } else {
            Usage();
            return 2;
        }
    }
    if (commands.empty()) {
        Usage();
        return 2;
    }

    DebugCapture::Install();
    DebugCapture::SetEcho(true);
    ClientStandIn client(options);
    Print("load: " + ToUtf8(client.DllPath()) +
          (client.Module() != nullptr ? std::string(": loaded")
                                      : ": failed, error " + std::to_string(client.LoadError())));
    const HRESULT started = client.Start();
    Print("start: " + Hr(started) + " (plug-ins " + std::to_string(client.FactoryCount()) + ", Initialize " +
          Recorded(client.InitializeResult()) + ", Connected " + Recorded(client.ConnectedResult()) + ")");
    // The plug-in binds MAPI32.dll of the system directory (the Wine prefix's
    // system32 under Wine), whatever lies beside this program.
    if (const HMODULE mapi = GetModuleHandleW(L"MAPI32")) {
        wchar_t path[MAX_PATH];
        const DWORD length = GetModuleFileNameW(mapi, path, MAX_PATH);
        Print("simple mapi: " + ToUtf8(std::wstring(path, length)) +
              (zobrik::standin::MapiStandIn::Find().Valid() ? " (the recording stand-in)" : ""));
    } else {
        Print("simple mapi: not loaded");
    }
    for (const auto& listener : client.Manager().Listeners()) {
        Print("listener: \"" + listener.name + "\" flags " + std::to_string(listener.flags) + " -> " +
              Hr(listener.result));
    }

    Session session{client, timeout, nullptr};
    size_t succeeded = 0;
    for (const auto& command : commands) {
        bool ok = false;
        switch (command.kind) {
            case Command::Kind::Exec:
                ok = RunExec(session, command.argument);
                break;
            case Command::Kind::Mail:
                ok = RunMail(session, command);
                break;
            case Command::Kind::Close:
                ok = RunClose(session);
                break;
        }
        succeeded += ok ? 1 : 0;
    }

    // Let workers finish their debugger output, then end the session as the
    // client does: close the open channels, then Disconnected and Terminated.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    size_t lateWrites = 0;
    for (const auto& channel : client.Channels()) {
        if (!channel->Closed()) {
            channel->CloseFromServer();
        }
        lateWrites += channel->WritesAfterClose();
    }
    HRESULT terminated = E_PENDING;
    if (client.Plugin() != nullptr) {
        terminated = client.Stop();
        Print("stop: Disconnected " + Recorded(client.DisconnectedResult()) + ", Terminated " + Hr(terminated));
    }
    const bool allOk = started == S_OK && succeeded == commands.size();
    Print("summary: " + std::to_string(commands.size()) + " command(s), " + std::to_string(succeeded) + " ok, " +
          std::to_string(session.replies) + " repl" + (session.replies == 1 ? "y" : "ies") + ", " +
          std::to_string(session.missing) + " missing, " + std::to_string(lateWrites) +
          " write(s) after close: " + (allOk ? "OK" : "FAILED"));
    return allOk ? 0 : 1;
}

}  // namespace

int main() {
    try {
        SetConsoleOutputCP(CP_UTF8);
        int count = 0;
        LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
        if (argv == nullptr) {
            return 2;
        }
        std::vector<std::wstring> args(argv + (count > 0 ? 1 : 0), argv + count);
        LocalFree(argv);
        const int code = Run(args);
        // The plug-in stays loaded (its workers are never waited for); leave
        // without running static destructors under running workers.
        std::fflush(stdout);
        ExitProcess(static_cast<UINT>(code));
    } catch (const std::exception& error) {
        Print(std::string("zobrik-client: ") + error.what());
        return 1;
    } catch (...) {
        return 1;
    }
}
