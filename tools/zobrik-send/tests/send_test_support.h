// Helpers of the zobrik-send tests: a scripted transport, running a command
// in-process or the program as a child process, and temporary files.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "send_command.h"
#include "zobrik/channel_transport.h"

namespace zobrik::send::testing {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

// What the scripted transports of one test did and are to answer.
struct Script {
    // Answers for Read, in order; nullopt is a time-out. When empty, Read times out.
    std::deque<std::optional<Bytes>> replies;
    std::optional<std::string> openError;  // Open raises ChannelError (NotAvailable) with this text
    std::optional<size_t> failWrite;       // the write with this index raises ChannelError (WriteFailed)

    std::vector<std::string> transportNames;  // every name the factory was asked for
    std::vector<std::string> opened;          // channel names
    std::vector<Bytes> writes;
    std::vector<std::chrono::milliseconds> readTimeouts;
    int closes = 0;

    Bytes Joined() const;  // all writes back to back
};

// A factory of transports that follow `script`.
TransportFactory ScriptedTransports(Script& script);

struct CommandResult {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs zobrik-send's command logic with `args`.
CommandResult RunCommand(const std::vector<std::string>& args, const TransportFactory& transports,
                         const std::string& defaultTransport = "", bool errorIsConsole = true);

// A fresh folder in the temp folder, removed with everything in it when the
// object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return path_; }  // with a trailing backslash
    std::wstring File(const std::wstring& name) const { return path_ + name; }
    std::wstring Write(const std::wstring& name, const Bytes& content) const;

private:
    std::wstring path_;
};

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& text);
Bytes Pattern(size_t size, uint8_t seed);
std::wstring ExecutableFolder();  // of the running test, with a trailing backslash

struct ChildResult {
    DWORD exitCode = 0xFFFFFFFF;
    bool timedOut = false;
    std::string out;  // the bytes the child wrote to its standard output
    std::string err;
};

// Runs `exe` with `args` (quoted as CommandLineToArgvW splits them) and this
// process's environment changed by `environment` (an empty value removes the
// variable), captures both output streams, and waits at most `timeout`.
ChildResult RunChild(const std::wstring& exe, const std::vector<std::wstring>& args,
                     const std::map<std::wstring, std::wstring>& environment, std::chrono::milliseconds timeout = 120s);

// The records that the recording Simple MAPI stand-in appended to the
// ZOBRIK_MAPI_LOG file `path` (none when the file does not exist).
std::vector<std::string> MapiLogRecords(const std::wstring& path);

}  // namespace zobrik::send::testing
