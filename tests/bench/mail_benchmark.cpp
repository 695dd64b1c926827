// Benchmark: one mail with a large attachment sent on the mail channel in
// 1,600-byte chunks, as a remote application writes it. Prints the time from
// the first chunk to the reply and the memory the host process needed on top
// of the request the sender holds.
//
// usage: mail_benchmark.exe [attachment MiB] [chunk bytes]
#include <windows.h>

#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "client_standin.h"
#include "mapi_standin_client.h"
#include "zobrik/mail_request_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Memory {
    double peakPrivateMiB;
    double privateMiB;
};

Memory ProcessMemory() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
    return {double(counters.PeakPagefileUsage) / (1 << 20), double(counters.PagefileUsage) / (1 << 20)};
}

}  // namespace

int main(int argc, char** argv) {
    const size_t attachmentMiB = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const size_t chunk = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1600;
    SetEnvironmentVariableW(L"ZOBRIK_MAPI_CONTENT", L"size");

    zobrik::standin::ClientStandIn client;
    if (client.Start() != S_OK) {
        std::fprintf(stderr,
                     "the plug-in did not start (run in a Wine prefix whose system32 holds the recording "
                     "MAPI32 stand-in, with WINEDLLOVERRIDES=mapi32=n: see scripts/bench.sh)\n");
        return 1;
    }
    auto mapi = zobrik::standin::MapiStandIn::Find();

    std::vector<uint8_t> request;
    {
        std::vector<uint8_t> attachment(attachmentMiB << 20);
        for (size_t i = 0; i < attachment.size(); ++i) {
            attachment[i] = uint8_t(i * 131 + (i >> 12));
        }
        zobrik::sdk::MailRequestWriter writer;
        writer.Subject("Benchmark")
            .Body("Large attachment")
            .AddRecipient(zobrik::sdk::RecipientGroup::To, "Ann", "ann@example.com")
            .AddAttachment("large.bin", std::move(attachment));
        request = writer.Build();
    }
    auto channel = client.OpenChannel("Zobrik/mail");
    Memory before = ProcessMemory();

    auto start = Clock::now();
    HRESULT sent = channel->SendChunks(request, chunk);
    auto lastChunk = Clock::now();
    bool replied = channel->WaitForWrites(1, std::chrono::minutes(5));
    auto reply = Clock::now();
    Memory after = ProcessMemory();

    if (sent != S_OK || !replied || channel->Writes()[0] != std::vector<uint8_t>{0}) {
        std::fprintf(stderr, "the request was not answered with 00\n");
        return 1;
    }
    auto call = mapi.Call(0);
    uint64_t handedOver = call && !call->files.empty() ? call->files[0].contentSize : 0;

    const double requestMiB = double(request.size()) / (1 << 20);
    std::printf("mail with a %zu MiB attachment in %zu-byte chunks (%zu chunks)\n", attachmentMiB, chunk,
                (request.size() + chunk - 1) / chunk);
    std::printf("  first chunk to last chunk : %8.3f s\n", Seconds(lastChunk - start));
    std::printf("  last chunk to reply       : %8.3f s (decode, stage, hand over, clean up)\n",
                Seconds(reply - lastChunk));
    std::printf("  first chunk to reply      : %8.3f s\n", Seconds(reply - start));
    std::printf("  request size              : %8.1f MiB; the mail program read %.1f MiB from the staged file\n",
                requestMiB, double(handedOver) / (1 << 20));
    std::printf("  host private memory       : %8.1f MiB before the first chunk (sender's copy included)\n",
                before.privateMiB);
    std::printf("  host peak private memory  : %8.1f MiB, %.1f MiB above the start (%.2fx the request)\n",
                after.peakPrivateMiB, after.peakPrivateMiB - before.privateMiB,
                (after.peakPrivateMiB - before.privateMiB) / requestMiB);
    // The plug-in holds the whole request once before it answers: a peak
    // below that was not measured over the request.
    if (after.peakPrivateMiB - before.privateMiB < 0.9 * requestMiB) {
        std::printf("  IMPOSSIBLE: less memory than the request the plug-in held; these figures are not valid\n");
        return 2;
    }
    return 0;
}
