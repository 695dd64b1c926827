// Benchmark: a program's MAPISendMailW with one large attachment, through
// Wine's mapi32 and ZobrikMapi.dll, over a test session's channel to the
// real plug-in and the client's recording stand-in (its compose window),
// against copying the file twice on the same machine; and the memory the
// provider needed (this process's peak working set during the call)
// against the request's size. Prints the ratios of one run; asserts
// nothing. Run it in a test session (scripts/bench.sh does).
//
// usage: zobrik_mapi_benchmark.exe <ZobrikMapi.dll (Linux path)> [MiB]
#include <windows.h>

#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "include/simple_mapi_types.h"
#include "server/mapi/mapi_results.h"
#include "server/server_registry.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The process's memory in use: Wine keeps no peak of private bytes, so the
// working set is taken (its peak, VmHWM, the pages the process touched).
uint64_t MemoryInUse(bool peak) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize;
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
    const double sendSeconds = Seconds(Clock::now() - sendStart);
    const uint64_t peak = MemoryInUse(true);
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
    return result == 0 ? 0 : 1;
}
