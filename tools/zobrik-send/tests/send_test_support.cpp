#include "send_test_support.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

#include "include/win/owners.h"
#include "zobrik/wts_channel.h"

namespace zobrik::send::testing {
namespace {

class ScriptedTransport : public sdk::ChannelTransport {
public:
    explicit ScriptedTransport(Script& script) : script_(script) {}

    void Open(const std::string& name) override {
        script_.opened.push_back(name);
        if (script_.openError) throw sdk::ChannelError(sdk::ChannelErrorKind::NotAvailable, *script_.openError);
    }
    void Write(const uint8_t* data, size_t size) override {
        if (script_.failWrite && *script_.failWrite == script_.writes.size())
            throw sdk::ChannelError(sdk::ChannelErrorKind::WriteFailed, "the channel broke");
        script_.writes.emplace_back(data, data + size);
    }
    std::optional<Bytes> Read(std::chrono::milliseconds timeout) override {
        script_.readTimeouts.push_back(timeout);
        if (script_.replies.empty()) return std::nullopt;
        std::optional<Bytes> reply = script_.replies.front();
        script_.replies.pop_front();
        return reply;
    }
    void Close() noexcept override { ++script_.closes; }

private:
    Script& script_;
};

// Removes a folder and everything below it.
void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    zobrik::UniqueFindHandle find(FindFirstFileW((folder + L"*").c_str(), &data));
    if (find) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(folder + name + L"\\");
            } else {
                SetFileAttributesW((folder + name).c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW((folder + name).c_str());
            }
        } while (FindNextFileW(find.Get(), &data));
    }
    RemoveDirectoryW(folder.c_str());
}

// One argument quoted the way CommandLineToArgvW splits it back.
std::wstring Quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            out.append(backslashes * 2 + 1, L'\\');
        else
            out.append(backslashes, L'\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, L'\\');
    out.push_back(L'"');
    return out;
}

std::wstring Upper(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(towupper(c));
    return text;
}

// The environment block of this process with `changes` applied.
std::wstring EnvironmentBlock(const std::map<std::wstring, std::wstring>& changes) {
    std::vector<std::wstring> entries;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* p = block; p != nullptr && *p != L'\0'; p += wcslen(p) + 1) entries.emplace_back(p);
    if (block != nullptr) FreeEnvironmentStringsW(block);
    for (const auto& [name, value] : changes) {
        const std::wstring key = Upper(name) + L"=";
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [&](const std::wstring& e) { return Upper(e.substr(0, key.size())) == key; }),
                      entries.end());
        if (!value.empty()) entries.push_back(name + L"=" + value);
    }
    std::wstring result;
    for (const auto& e : entries) {
        result += e;
        result.push_back(L'\0');
    }
    result.push_back(L'\0');
    return result;
}

using Handle = zobrik::UniqueHandle;

void ReadAll(HANDLE pipe, std::string& into) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer), &got, nullptr) && got > 0) into.append(buffer, got);
}

}  // namespace

Bytes Script::Joined() const {
    Bytes all;
    for (const auto& w : writes) all.insert(all.end(), w.begin(), w.end());
    return all;
}

TransportFactory ScriptedTransports(Script& script) {
    return [&script](const std::string& name) -> std::unique_ptr<sdk::ChannelTransport> {
        script.transportNames.push_back(name);
        return std::make_unique<ScriptedTransport>(script);
    };
}

CommandResult RunCommand(const std::vector<std::string>& args, const TransportFactory& transports,
                         const std::string& defaultTransport, bool errorIsConsole) {
    std::ostringstream out;
    std::ostringstream err;
    CommandResult result;
    Invocation invocation{args, defaultTransport, errorIsConsole};
    result.code = RunZobrikSend(invocation, transports, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

TempFolder::TempFolder() {
    static LONG counter = 0;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"zobrik-send-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(InterlockedIncrement(&counter));
    RemoveTree(path_ + L"\\");
    CreateDirectoryW(path_.c_str(), nullptr);
    path_ += L"\\";
}

TempFolder::~TempFolder() { RemoveTree(path_); }

std::wstring TempFolder::Write(const std::wstring& name, const Bytes& content) const {
    const std::wstring path = File(name);
    zobrik::UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        DWORD written = 0;
        WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    }
    return path;
}

std::string Utf8(const std::wstring& text) { return sdk::WideToUtf8(text); }
std::wstring Wide(const std::string& text) { return sdk::Utf8ToWide(text); }

Bytes Pattern(size_t size, uint8_t seed) {
    Bytes bytes(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = uint8_t(x >> 16);
    }
    return bytes;
}

std::wstring ExecutableFolder() {
    wchar_t path[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

ChildResult RunChild(const std::wstring& exe, const std::vector<std::wstring>& args,
                     const std::map<std::wstring, std::wstring>& environment, std::chrono::milliseconds timeout) {
    ChildResult result;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    Handle outRead, outWrite, errRead, errWrite, input;
    if (!CreatePipe(outRead.Put(), outWrite.Put(), &inherit, 0) ||
        !CreatePipe(errRead.Put(), errWrite.Put(), &inherit, 0)) {
        return result;
    }
    SetHandleInformation(outRead.Get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead.Get(), HANDLE_FLAG_INHERIT, 0);
    *input.Put() =
        CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);

    std::wstring commandLine = Quote(exe);
    for (const auto& a : args) commandLine += L" " + Quote(a);
    std::wstring block = EnvironmentBlock(environment);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.Get();
    startup.hStdOutput = outWrite.Get();
    startup.hStdError = errWrite.Get();
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, block.data(), nullptr, &startup, &process)) {
        result.err = "CreateProcessW failed: " + std::to_string(GetLastError());
        return result;
    }
    Handle processHandle, threadHandle;
    *processHandle.Put() = process.hProcess;
    *threadHandle.Put() = process.hThread;
    // The child holds the write ends now; the readers see the end of the
    // streams when it exits.
    outWrite.Reset();
    errWrite.Reset();
    std::thread outReader(ReadAll, outRead.Get(), std::ref(result.out));
    std::thread errReader(ReadAll, errRead.Get(), std::ref(result.err));
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        result.timedOut = true;
        TerminateProcess(process.hProcess, 0xDEAD);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    outReader.join();
    errReader.join();
    return result;
}

std::vector<std::string> MapiLogRecords(const std::wstring& path) {
    std::vector<std::string> records;
    std::ifstream in(path.c_str(), std::ios::binary);
    std::string line;
    std::string current;
    while (std::getline(in, line)) {
        current += line + "\n";
        if (line == "end") {
            records.push_back(current);
            current.clear();
        }
    }
    return records;
}

}  // namespace zobrik::send::testing
