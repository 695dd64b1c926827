// Benchmark: a program's MAPISendMailW with one large attachment, through
// Wine's mapi32 and ZobrikMapi.dll, over a test session's channel to the
// real plug-in and the client's recording stand-in (its compose window),
// against copying the file twice on the same machine; and the memory the
// provider needed (this process's peak working set during the call)
// against the request's size. Prints the ratios of one run; asserts
// nothing. Run it in a test session (scripts/bench.sh does).
//
// Where the time goes: the session host (run with --messages summary)
// writes when the first and last message of the request reached it, how long
// its hand-over to the plug-in took and when the plug-in's reply came; the
// clock is the machine's (QueryPerformanceCounter), the same here. Two
// yardsticks are measured in the same run: reading the file into memory (the
// provider's first step) and moving the same bytes through a bare named pipe
// in the provider's chunks (Wine's pipes pass every byte through wineserver,
// which the session channel's stand-in pipe does too).
//
// usage: zobrik_mapi_benchmark.exe <ZobrikMapi.dll (Linux path)> [MiB]
#include <windows.h>

#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "include/simple_mapi_types.h"
#include "server/mapi/mapi_results.h"
#include "server/server_registry.h"

namespace {

using Clock = std::chrono::steady_clock;

// The provider's channel writes (the SDK's default chunk size).
constexpr size_t kProviderChunkSize = 64 * 1024;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The process's memory in use: Wine keeps no peak of private bytes, so the
// working set is taken (its peak, VmHWM, the pages the process touched).
uint64_t MemoryInUse(bool peak) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize;
}

double ClockSeconds(Clock::time_point at) { return std::chrono::duration<double>(at.time_since_epoch()).count(); }

// Reads the whole file into memory in 16 MiB reads, as the provider does.
void ReadIntoMemory(const std::wstring& path, std::vector<uint8_t>& out) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    LARGE_INTEGER size{};
    GetFileSizeEx(h, &size);
    out.resize(size_t(size.QuadPart));
    for (size_t done = 0; done < out.size();) {
        DWORD got = 0;
        if (!ReadFile(h, out.data() + done, DWORD(std::min<size_t>(out.size() - done, 16 << 20)), &got, nullptr) ||
            got == 0)
            break;
        done += got;
    }
    CloseHandle(h);
}

// `bytes` written in `chunk`-byte messages to a message-mode named pipe with
// 64 KiB buffers (as the session's stand-in pipe has) and read on another
// thread into a buffer of one chunk: the seconds from the first write to the
// last read.
double ThroughBarePipe(const std::vector<uint8_t>& bytes, size_t chunk) {
    const std::wstring name = L"\\\\.\\pipe\\zobrik-benchmark-" + std::to_wstring(GetCurrentProcessId());
    HANDLE server =
        CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                         64 * 1024, 64 * 1024, 0, nullptr);
    HANDLE client = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (server == INVALID_HANDLE_VALUE || client == INVALID_HANDLE_VALUE) return 0;
    ConnectNamedPipe(server, nullptr);
    const auto start = Clock::now();
    std::thread reader([&] {
        std::vector<uint8_t> buffer(chunk);
        for (size_t got = 0; got < bytes.size();) {
            DWORD n = 0;
            if (!ReadFile(server, buffer.data(), DWORD(buffer.size()), &n, nullptr) &&
                GetLastError() != ERROR_MORE_DATA)
                break;
            got += n;
        }
    });
    for (size_t done = 0; done < bytes.size();) {
        const DWORD ask = DWORD(std::min(chunk, bytes.size() - done));
        DWORD written = 0;
        if (!WriteFile(client, bytes.data() + done, ask, &written, nullptr)) break;
        done += written;
    }
    reader.join();
    const double seconds = Seconds(Clock::now() - start);
    CloseHandle(client);
    CloseHandle(server);
    return seconds;
}

// The session host's timing line of the mail channel (it writes it once
// the provider has closed the channel), or nothing within a few seconds.
struct HostTiming {
    double first = 0, last = 0, reply = 0, inPlugin = 0;
    unsigned long long messages = 0;
};

std::optional<HostTiming> ReadHostTiming() {
    const char* log = std::getenv("ZOBRIK_SESSION_HOST_LOG");
    if (log == nullptr) return std::nullopt;
    for (int i = 0; i < 100; ++i) {
        std::ifstream in(log);
        std::string line;
        while (std::getline(in, line)) {
            HostTiming t;
            if (std::sscanf(line.c_str(),
                            "host: Zobrik/mail: timing: %llu messages of %*u bytes, first at %lf, last at %lf, "
                            "reply at %lf, in the plug-in %lf s",
                            &t.messages, &t.first, &t.last, &t.reply, &t.inPlugin) == 5)
                return t;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::nullopt;
}

void SetString(const std::wstring& key, const wchar_t* value, const std::wstring& data) {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExW(opened, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   DWORD((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <ZobrikMapi.dll> [MiB]\n", argv[0]);
        return 2;
    }
    std::wstring provider = L"Z:";
    for (const char* c = argv[1]; *c; ++c) provider += *c == '/' ? L'\\' : wchar_t(*c);
    const size_t mib = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 100;

    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"zobrik-mapi-benchmark";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring file = folder + L"\\scan.pdf";
    {
        HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        std::vector<uint8_t> block(1 << 20);
        for (size_t i = 0; i < mib; ++i) {
            for (size_t k = 0; k < block.size(); ++k) block[k] = uint8_t(i * 31 + k * 7);
            DWORD written = 0;
            WriteFile(h, block.data(), DWORD(block.size()), &written, nullptr);
        }
        CloseHandle(h);
    }

    // Copying the file twice, the yardstick.
    const std::wstring copy1 = folder + L"\\copy1.pdf";
    const std::wstring copy2 = folder + L"\\copy2.pdf";
    const auto copyStart = Clock::now();
    CopyFileW(file.c_str(), copy1.c_str(), FALSE);
    CopyFileW(copy1.c_str(), copy2.c_str(), FALSE);
    const double copySeconds = Seconds(Clock::now() - copyStart);
    DeleteFileW(copy1.c_str());
    DeleteFileW(copy2.c_str());

    SetString(zobrik::server::kMailClientsKey, nullptr, zobrik::server::kMailClientName);
    SetString(std::wstring(zobrik::server::kMailClientsKey) + L"\\" + zobrik::server::kMailClientName, L"DLLPath",
              provider);
    HMODULE mapi32 = LoadLibraryW(L"mapi32.dll");
    using SendMailW = ULONG(WINAPI*)(ULONG_PTR, ULONG_PTR, zobrik::MapiMessageW*, ULONG, ULONG);
    auto send = reinterpret_cast<SendMailW>(
        reinterpret_cast<void (*)()>(mapi32 ? GetProcAddress(mapi32, "MAPISendMailW") : nullptr));
    if (send == nullptr || GetModuleHandleW(L"ZobrikMapi.dll") == nullptr) {
        std::fprintf(stderr, "Wine's mapi32 did not load ZobrikMapi.dll\n");
        return 1;
    }

    std::wstring subject = L"Scan";
    std::wstring address = L"ann@example.com";
    std::wstring path = file;
    zobrik::MapiRecipDescW recipient{0, zobrik::mapi::kMapiTo, nullptr, address.data(), 0, nullptr};
    zobrik::MapiFileDescW attachment{0, 0, 0xFFFFFFFF, path.data(), nullptr, nullptr};
    zobrik::MapiMessageW message{};
    message.lpszSubject = subject.data();
    message.nRecipCount = 1;
    message.lpRecips = &recipient;
    message.nFileCount = 1;
    message.lpFiles = &attachment;

    const uint64_t before = MemoryInUse(false);
    const uint64_t peakBefore = MemoryInUse(true);
    const auto sendStart = Clock::now();
    const ULONG result = send(0, 0, &message, zobrik::mapi::kMapiDialog, 0);
    const auto sendEnd = Clock::now();
    const double sendSeconds = Seconds(sendEnd - sendStart);
    const uint64_t peak = MemoryInUse(true);

    // The yardsticks of the provider's two steps, reading and the pipe
    // (after the call: their memory would hide the call's peak).
    double readSeconds = 0;
    double pipeSeconds = 0;
    {
        std::vector<uint8_t> bytes;
        const auto readStart = Clock::now();
        ReadIntoMemory(file, bytes);
        readSeconds = Seconds(Clock::now() - readStart);
        pipeSeconds = ThroughBarePipe(bytes, kProviderChunkSize);
    }
    DeleteFileW(file.c_str());
    RemoveDirectoryW(folder.c_str());

    // The request: the header and strings are a few hundred bytes beside the file.
    const double requestMiB = double(mib);
    const double providerMiB = double(peak > before ? peak - before : 0) / (1 << 20);
    std::printf("attachment                       %zu MiB\n", mib);
    std::printf("MAPISendMailW result             %lu\n", static_cast<unsigned long>(result));
    std::printf("MAPISendMailW to compose window  %.2f s\n", sendSeconds);
    std::printf("copying the file twice           %.2f s\n", copySeconds);
    std::printf("time ratio (target <= 2.0)       %.2f\n", copySeconds > 0 ? sendSeconds / copySeconds : 0.0);
    std::printf("provider peak memory             %.1f MiB above the call's start (earlier peak %.1f MiB above it)\n",
                providerMiB, double(peakBefore > before ? peakBefore - before : 0) / (1 << 20));
    std::printf("memory ratio to request (<= 1.2) %.2f\n", providerMiB / requestMiB);

    std::printf("where the time went:\n");
    if (const std::optional<HostTiming> host = ReadHostTiming()) {
        const double start = ClockSeconds(sendStart);
        std::printf(
            "  call to first message at the session host (mapi32, provider opens the channel, reads the "
            "file, builds the request)  %.3f s\n",
            host->first - start);
        std::printf(
            "  first to last message (%llu messages: pipe through wineserver, host's hand-over)  %.3f s, "
            "of it %.3f s in the plug-in's OnDataReceived (reassembly, the host's copy)\n",
            host->messages, host->last - host->first, host->inPlugin);
        std::printf("  last message to the plug-in's reply (decode, stage, hand over to the compose window)  %.3f s\n",
                    host->reply - host->last);
        std::printf("  reply to the call's return  %.3f s\n", ClockSeconds(sendEnd) - host->reply);
    } else {
        std::printf("  (no timing line from the session host: run it with --messages summary)\n");
    }
    std::printf("yardsticks in this run:\n");
    std::printf("  reading the file into memory                       %.3f s\n", readSeconds);
    std::printf("  the same bytes through a bare named pipe (%zu KiB messages)  %.3f s\n", kProviderChunkSize >> 10,
                pipeSeconds);
    std::printf("  reading + pipe against copying twice               %.2f (the ratio without any of our code)\n",
                copySeconds > 0 ? (readSeconds + pipeSeconds) / copySeconds : 0.0);
    return result == 0 ? 0 : 1;
}
