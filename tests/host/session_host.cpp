// The client side of a test Remote Desktop session under Wine: loads the
// real plug-in (ZobrikWTSDVC.dll beside this program, or --dll) in the client
// stand-in and serves the named pipe that the stand-in wtsapi32.dll of
// programs "in the session" connects to (protocol in session_pipe.h). One
// thread per connection; each connection is one channel of the plug-in.
//
// usage: zobrik-session-host.exe --pipe \\.\pipe\NAME [--dll PATH] [--policy NAME=NUMBER]...
//                                 [--messages each|summary]
//   --policy writes a DWORD into the user's plug-in policy key before the
//   plug-in object is made (it reads the policy then) and removes the key
//   again once the plug-in has started.
//   --messages summary leaves out the lines of each message (a benchmark's
//   thousands of chunks) and says instead, when the session closes a
//   channel, how many messages it carried and when (see ChannelTiming).
//
// Standard output carries "host: ..." lines (ready, channels, messages,
// their text when short, and replies) and the plug-in's debugger output as "debug: ..." lines. The
// host stops when its standard input ends (the test harness closes it), and
// at once, leaving every channel open, when a program opens the channel
// session::kExitChannel (a client that goes away).
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "client_standin.h"
#include "include/win/owners.h"
#include "session_pipe.h"

namespace {

using zobrik::UniqueHandle;
using zobrik::standin::ClientStandIn;
using zobrik::standin::DebugCapture;
using zobrik::standin::StandInChannel;
using Bytes = std::vector<uint8_t>;

constexpr wchar_t kPolicyKey[] = L"SOFTWARE\\Policies\\Zobrik\\WTSDVC";
constexpr DWORD kPipeBufferSize = 64 * 1024;
constexpr DWORD kReadSize = 64 * 1024;
// How often a reply forwarder looks whether its channel has ended.
constexpr std::chrono::milliseconds kReplyPoll(100);

// Messages up to this size are also shown as text.
constexpr size_t kLongestLoggedText = 2048;

// Whether each message gets its lines or a channel one summary line.
bool summaryOnly = false;

using Clock = std::chrono::steady_clock;

// Seconds on the monotonic clock that every process of the machine shares
// (QueryPerformanceCounter), so that a program in the session can set the
// host's times beside its own.
std::string ClockSeconds(Clock::time_point at) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", std::chrono::duration<double>(at.time_since_epoch()).count());
    return text;
}

// What a channel carried from the session and when: its summary line is
// "<name>: timing: <n> messages of <bytes> bytes, first at <s>, last at <s>,
// reply at <s>, in the plug-in <s> s" (clock seconds as ClockSeconds; "in
// the plug-in" is the time spent in the channel's Send: the stand-in's copy
// and the plug-in's OnDataReceived).
struct ChannelTiming {
    size_t messages = 0;
    uint64_t bytes = 0;
    Clock::time_point first{};
    Clock::time_point last{};
    Clock::duration inPlugin{};
    std::atomic<Clock::rep> firstReply{0};

    void Message(size_t size, Clock::time_point received, Clock::time_point handled) {
        if (messages++ == 0) first = received;
        last = received;
        bytes += size;
        inPlugin += handled - received;
    }
    void Reply() {
        Clock::rep none = 0;
        firstReply.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
    }
    std::string Line() const {
        return "timing: " + std::to_string(messages) + " messages of " + std::to_string(bytes) + " bytes, first at " +
               ClockSeconds(first) + ", last at " + ClockSeconds(last) + ", reply at " +
               ClockSeconds(Clock::time_point(Clock::duration(firstReply.load()))) + ", in the plug-in " +
               std::to_string(std::chrono::duration<double>(inPlugin).count()) + " s";
    }
};

std::mutex outputMutex;

void Say(const std::string& line) {
    std::lock_guard lock(outputMutex);
    const std::string text = "host: " + line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// The bytes as text: printable ASCII as it is, every other byte as \xNN.
std::string Printable(const Bytes& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (const uint8_t b : bytes) {
        if (b >= 0x20 && b < 0x7F) {
            text += static_cast<char>(b);
        } else {
            text += "\\x";
            text += kHex[b >> 4];
            text += kHex[b & 15];
        }
    }
    return text;
}

// One overlapped call on the pipe, waited for without limit. The bytes it
// moved come from GetOverlappedResult also when the call finished at once
// (a read of part of a message fails at once with ERROR_MORE_DATA).
bool Finish(HANDLE pipe, OVERLAPPED& overlapped, BOOL started, DWORD& transferred, DWORD& error) {
    if (!started && GetLastError() != ERROR_IO_PENDING && GetLastError() != ERROR_MORE_DATA) {
        error = GetLastError();
        transferred = 0;
        return false;
    }
    if (!GetOverlappedResult(pipe, &overlapped, &transferred, TRUE)) {
        error = GetLastError();
        return false;
    }
    error = ERROR_SUCCESS;
    return true;
}

class PipeConnection {
public:
    explicit PipeConnection(UniqueHandle pipe) : pipe_(std::move(pipe)) {}

    // The next whole message; false when the session side has closed the pipe.
    bool ReadMessage(Bytes& message) {
        message.clear();
        UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        std::vector<uint8_t> buffer(kReadSize);
        for (;;) {
            OVERLAPPED overlapped{};
            overlapped.hEvent = event.Get();
            DWORD got = 0;
            DWORD error = 0;
            const BOOL started = ReadFile(pipe_.Get(), buffer.data(), kReadSize, &got, &overlapped);
            const bool done = Finish(pipe_.Get(), overlapped, started, got, error);
            if (!done && error != ERROR_MORE_DATA) return false;
            message.insert(message.end(), buffer.begin(), buffer.begin() + got);
            if (done) return true;
        }
    }

    bool WriteMessage(const uint8_t* data, size_t size) {
        std::lock_guard lock(writeMutex_);
        UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        OVERLAPPED overlapped{};
        overlapped.hEvent = event.Get();
        DWORD written = 0;
        DWORD error = 0;
        const BOOL started = WriteFile(pipe_.Get(), data, static_cast<DWORD>(size), &written, &overlapped);
        return Finish(pipe_.Get(), overlapped, started, written, error) && written == size;
    }
    bool WriteText(std::string_view text) {
        return WriteMessage(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }

    // One channel message, as the pieces a read of a dynamic channel returns.
    bool WriteFramed(const Bytes& message, size_t& pieceCount) {
        const auto pieces = zobrik::session::SplitIntoPieces(message.data(), message.size());
        pieceCount = pieces.size();
        for (const Bytes& piece : pieces) {
            if (!WriteMessage(piece.data(), piece.size())) return false;
        }
        return true;
    }

    ~PipeConnection() {
        FlushFileBuffers(pipe_.Get());
        DisconnectNamedPipe(pipe_.Get());
    }

private:
    UniqueHandle pipe_;
    std::mutex writeMutex_;
};

class SessionHost {
public:
    explicit SessionHost(ClientStandIn& client) : client_(client) {}

    void Serve(UniqueHandle pipe) {
        PipeConnection connection(std::move(pipe));
        Bytes nameBytes;
        if (!connection.ReadMessage(nameBytes)) {
            Say("a connection ended before naming its channel (error " + std::to_string(GetLastError()) + ")");
            return;
        }
        const std::string name(nameBytes.begin(), nameBytes.end());
        if (name == zobrik::session::kExitChannel) {
            Say("exit requested: the client goes away");
            TerminateProcess(GetCurrentProcess(), 0);
        }
        if (name == zobrik::session::kEchoChannel) {
            connection.WriteText(zobrik::session::kChannelAccepted);
            Say("channel " + name + " accepted");
            Echo(connection, name);
            return;
        }
        std::shared_ptr<StandInChannel> channel = Open(name);
        if (!channel) {
            Say("channel " + name + " refused");
            connection.WriteText(zobrik::session::kChannelRefused);
            return;
        }
        Say("channel " + name + " accepted");
        connection.WriteText(zobrik::session::kChannelAccepted);
        Forward(connection, *channel);
    }

private:
    std::shared_ptr<StandInChannel> Open(const std::string& name) {
        std::lock_guard lock(clientMutex_);
        return client_.OpenChannel(name);
    }

    static void Echo(PipeConnection& connection, const std::string& name) {
        Bytes message;
        while (connection.ReadMessage(message)) {
            Say(name + ": message of " + std::to_string(message.size()) + " bytes");
            size_t pieces = 0;
            if (!connection.WriteFramed(message, pieces)) break;
            Say(name + ": reply of " + std::to_string(message.size()) + " bytes in " + std::to_string(pieces) +
                " pieces");
        }
        Say(name + ": closed by the session");
    }

    // Messages of the session to the plug-in on this thread, the plug-in's
    // replies to the session on another, until the session closes the pipe.
    static void Forward(PipeConnection& connection, StandInChannel& channel) {
        const std::string& name = channel.Name();
        std::atomic<bool> ended{false};
        ChannelTiming timing;
        std::thread replies([&] {
            size_t sent = 0;
            while (!ended) {
                if (!channel.WaitForWrites(sent + 1, kReplyPoll)) continue;
                const Bytes reply = channel.Writes()[sent++];
                size_t pieces = 0;
                timing.Reply();
                const bool written = connection.WriteFramed(reply, pieces);
                Say(name + ": reply of " + std::to_string(reply.size()) + " bytes in " + std::to_string(pieces) +
                    " pieces" + (written ? "" : " not delivered: the session has gone"));
            }
        });
        Bytes message;
        while (connection.ReadMessage(message)) {
            // Said before the plug-in sees the message, so that the line is
            // there when its reply arrives.
            const Clock::time_point received = Clock::now();
            if (!summaryOnly) {
                Say(name + ": message of " + std::to_string(message.size()) + " bytes");
                if (message.size() <= kLongestLoggedText) Say(name + ": text " + Printable(message));
            }
            const HRESULT hr = channel.Send(message);
            timing.Message(message.size(), received, Clock::now());
            if (hr != S_OK) Say(name + ": the channel refused the message");
        }
        if (summaryOnly) Say(name + ": " + timing.Line());
        Say(name + ": closed by the session");
        channel.CloseFromServer();
        ended = true;
        replies.join();
    }

    ClientStandIn& client_;
    std::mutex clientMutex_;
};

UniqueHandle NewPipeInstance(const std::wstring& name) {
    return UniqueHandle(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                         PIPE_UNLIMITED_INSTANCES, kPipeBufferSize, kPipeBufferSize, 0, nullptr));
}

// A pipe instance with a connect pending on it: a program that opens the
// pipe always finds an instance that is being waited on.
struct Listener {
    UniqueHandle pipe;
    UniqueHandle event;
    OVERLAPPED overlapped{};
    bool connected = false;  // the program came before the connect call
};

std::unique_ptr<Listener> Listen(const std::wstring& name) {
    auto listener = std::make_unique<Listener>();
    listener->pipe = NewPipeInstance(name);
    listener->event = UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!listener->pipe || !listener->event) return nullptr;
    listener->overlapped.hEvent = listener->event.Get();
    if (!ConnectNamedPipe(listener->pipe.Get(), &listener->overlapped)) {
        const DWORD error = GetLastError();
        if (error == ERROR_PIPE_CONNECTED) {
            listener->connected = true;
            SetEvent(listener->event.Get());
        } else if (error != ERROR_IO_PENDING) {
            return nullptr;
        }
    }
    return listener;
}

// The pipe of a listener whose event is set, or an empty handle when the
// connect failed (the program left at once).
UniqueHandle TakeConnection(Listener& listener) {
    DWORD ignored = 0;
    if (!listener.connected && !GetOverlappedResult(listener.pipe.Get(), &listener.overlapped, &ignored, FALSE)) {
        Say("a connection failed (error " + std::to_string(GetLastError()) + ")");
        return {};
    }
    return std::move(listener.pipe);
}

bool WritePolicy(const std::wstring& assignment) {
    const size_t equals = assignment.find(L'=');
    if (equals == std::wstring::npos || equals == 0) return false;
    const std::wstring name = assignment.substr(0, equals);
    const DWORD value = std::wcstoul(assignment.c_str() + equals + 1, nullptr, 10);
    zobrik::UniqueRegistryKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kPolicyKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    return RegSetValueExW(key.Get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
           ERROR_SUCCESS;
}

// Ends the process when standard input ends.
void StopAtEndOfInput() {
    std::thread([] {
        char buffer[256];
        DWORD got = 0;
        while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        }
        Say("stopping");
        TerminateProcess(GetCurrentProcess(), 0);
    }).detach();
}

int Run(int argc, wchar_t** argv) {
    std::wstring pipeName;
    zobrik::standin::ClientOptions options;
    std::vector<std::wstring> policies;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i];
        if (option == L"--pipe") {
            pipeName = argv[i + 1];
        } else if (option == L"--dll") {
            options.dllPath = argv[i + 1];
        } else if (option == L"--policy") {
            policies.push_back(argv[i + 1]);
        } else if (option == L"--messages" &&
                   (argv[i + 1] == std::wstring(L"each") || argv[i + 1] == std::wstring(L"summary"))) {
            summaryOnly = argv[i + 1] == std::wstring(L"summary");
        } else {
            Say("unknown option " + zobrik::standin::ToUtf8(option));
            return 2;
        }
    }
    if (pipeName.empty()) {
        Say("usage: zobrik-session-host.exe --pipe \\\\.\\pipe\\NAME [--dll PATH] [--policy NAME=NUMBER]... "
            "[--messages each|summary]");
        return 2;
    }
    for (const std::wstring& policy : policies) {
        if (!WritePolicy(policy)) {
            Say("cannot write the policy " + zobrik::standin::ToUtf8(policy));
            return 2;
        }
    }
    DebugCapture::Install();
    DebugCapture::SetEcho(true);
    ClientStandIn client(options);
    const HRESULT started = client.Module() != nullptr ? client.Start() : E_FAIL;
    if (!policies.empty()) RegDeleteTreeW(HKEY_CURRENT_USER, kPolicyKey);
    if (started != S_OK) {
        Say("the plug-in did not start (load error " + std::to_string(client.LoadError()) + ")");
        return 1;
    }
    SessionHost host(client);
    // Two instances wait at all times, so that while one is being handed
    // to its thread a program still finds one waiting.
    std::unique_ptr<Listener> listeners[2] = {Listen(pipeName), Listen(pipeName)};
    if (!listeners[0] || !listeners[1]) {
        Say("cannot create the pipe (error " + std::to_string(GetLastError()) + ")");
        return 1;
    }
    StopAtEndOfInput();
    Say("ready");
    for (;;) {
        const HANDLE events[2] = {listeners[0]->event.Get(), listeners[1]->event.Get()};
        const DWORD which = WaitForMultipleObjects(2, events, FALSE, INFINITE) - WAIT_OBJECT_0;
        if (which > 1) {
            Say("waiting for connections failed (error " + std::to_string(GetLastError()) + ")");
            return 1;
        }
        UniqueHandle pipe = TakeConnection(*listeners[which]);
        listeners[which] = Listen(pipeName);
        if (!listeners[which]) {
            Say("cannot create the pipe (error " + std::to_string(GetLastError()) + ")");
            return 1;
        }
        if (!pipe) continue;
        std::thread([&host, pipe = std::move(pipe)]() mutable {
            try {
                host.Serve(std::move(pipe));
            } catch (const std::exception& e) {
                Say(std::string("a connection failed: ") + e.what());
            }
        }).detach();
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        Say(std::string("failed: ") + e.what());
        return 1;
    }
}
