// Many requests at once through the real DLL: every request that should be
// answered is answered exactly once (those beyond the workers and waiting
// places with a refusal), nothing is written after a close, no request sees
// another's attachment, the workers stay within their limits, and the
// process's threads, handles and memory return to their level after the run.
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <numeric>
#include <thread>

#include "include/request_limits.h"
#include "include/win/owners.h"
#include "mail_test_support.h"
#include "scoped_policy.h"

namespace zobrik::testing {
namespace {

struct ProcessLevel {
    DWORD threads = 0;
    DWORD handles = 0;
    double privateMiB = 0;
    double heapBlocksMiB = 0;
};

using zobrik::UniqueHandle;

// The idle time the stalled-request case sets by policy: the shortest the
// policy allows, well above the second between the chunks of a request that
// is still receiving.
constexpr uint32_t kStalledTestIdleSeconds = kShortestMailRequestIdleSeconds;

// Calls `send` every second on a thread of its own until stopped, also when
// a failed assertion leaves the test early.
class Trickle {
public:
    explicit Trickle(std::function<void()> send)
        : thread_([this, send = std::move(send)] {
              while (!stop_) {
                  send();
                  Sleep(1000);
              }
          }) {}
    ~Trickle() { Stop(); }
    Trickle(const Trickle&) = delete;
    Trickle& operator=(const Trickle&) = delete;

    void Stop() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The threads of this process, less those in `except`.
DWORD ThreadsOfThisProcess(const std::vector<DWORD>& except = {}) {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) {
        return 0;
    }
    DWORD count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId() &&
                         std::find(except.begin(), except.end(), entry.th32ThreadID) == except.end()
                     ? 1
                     : 0;
    }
    return count;
}

// The most handles a run may leave: the pool threads alive at the end hold
// handles that come and go with them (under Wine up to two each, depending
// on what each has run), whichever threads they are; a handle kept per
// request would pass this by far.
DWORD HandleLimit(const ProcessLevel& before, const ProcessLevel& after) {
    return before.handles + 8 + 2 * after.threads;
}

// Waits until the threads that served a run have ended (idle pool threads
// end after a few seconds) or the deadline has passed; the count then.
DWORD ThreadsOnceBackTo(DWORD level) {
    DWORD threads = ThreadsOfThisProcess();
    for (int i = 0; i < 300 && threads > level; ++i) {
        Sleep(100);
        threads = ThreadsOfThisProcess();
    }
    return threads;
}

// The most threads this process had while it ran, sampled, not counting
// the test's own threads: the sampler and those in `except`.
class ThreadPeak {
public:
    explicit ThreadPeak(std::vector<DWORD> except)
        : except_(std::move(except)), sampler_([this] {
              except_.push_back(GetCurrentThreadId());
              while (!stop_) {
                  peak_ = std::max(peak_.load(), ThreadsOfThisProcess(except_));
                  Sleep(2);
              }
          }) {}
    ~ThreadPeak() { Stop(); }

    DWORD Stop() {
        if (sampler_.joinable()) {
            stop_ = true;
            sampler_.join();
        }
        return peak_;
    }

private:
    std::vector<DWORD> except_;  // the sampler's own
    std::atomic<bool> stop_{false};
    std::atomic<DWORD> peak_{0};
    std::thread sampler_;
};

// Wine's GetProcessHandleCount reports 0; counting the handle values that
// GetHandleInformation accepts works on both.
DWORD OpenHandles() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) {
        return count;
    }
    for (uintptr_t value = 4; value < 0x20000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
        }
    }
    return count;
}

// The bytes in the blocks that the process's heaps hold for their users.
// Unlike the committed total, this does not keep what Wine holds on to for
// exited threads, which varies with how many ran at the same time.
double HeapBlocksInUseMiB() {
    HANDLE heaps[64];
    const DWORD count = std::min<DWORD>(GetProcessHeaps(64, heaps), 64);
    double bytes = 0;
    for (DWORD i = 0; i < count; ++i) {
        HeapLock(heaps[i]);
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
                bytes += entry.cbData;
            }
        }
        HeapUnlock(heaps[i]);
    }
    return bytes / (1 << 20);
}

ProcessLevel CurrentLevel() {
    // The capture's own record of the plug-in's debugger lines is not the
    // plug-in's memory.
    standin::DebugCapture::Clear();
    ProcessLevel level;
    level.threads = ThreadsOfThisProcess();
    level.handles = OpenHandles();
    level.heapBlocksMiB = HeapBlocksInUseMiB();
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    level.privateMiB = double(counters.PagefileUsage) / (1 << 20);
    return level;
}

enum class Kind { Valid, Chunked, Malformed, ClosedEarly };

struct MailCase {
    Kind kind;
    std::vector<uint8_t> request;
    std::vector<uint8_t> attachment;
    std::shared_ptr<standin::StandInChannel> channel;
};

MailCase MakeCase(int index) {
    MailCase c;
    c.kind = Kind(index % 4);
    c.attachment = Pattern(16000 + size_t(index) * 13, uint8_t(index));
    MailRequestWriter writer;
    writer.Subject("request " + std::to_string(index))
        .AddRecipient(RecipientGroup::To, "", "to@example.com")
        .AddAttachment("same-name.bin", c.attachment);  // equal names across requests
    if (c.kind == Kind::Malformed) {
        writer.MutableOverrides().version = 7;
    }
    c.request = writer.Build();
    return c;
}

class Stress : public MailPipelineFixture {
protected:
    void RunMailRound(int count, bool check) {
        std::vector<MailCase> cases;
        for (int i = 0; i < count; ++i) {
            cases.push_back(MakeCase(i));
            cases.back().channel = client_->OpenChannel("Zobrik/mail");
            ASSERT_NE(cases.back().channel, nullptr);
        }
        // Four client threads deliver; calls for one channel stay on one thread.
        std::vector<std::thread> senders;
        for (int t = 0; t < 4; ++t) {
            senders.emplace_back([&cases, t] {
                for (size_t i = size_t(t); i < cases.size(); i += 4) {
                    MailCase& c = cases[i];
                    switch (c.kind) {
                        case Kind::Valid:
                        case Kind::Malformed:
                            c.channel->Send(c.request);
                            break;
                        case Kind::Chunked:
                            c.channel->SendChunks(c.request, 100);
                            break;
                        case Kind::ClosedEarly:
                            c.channel->Send(c.request.data(), c.request.size() / 2);
                            c.channel->CloseFromServer();
                            break;
                    }
                }
            });
        }
        for (auto& sender : senders) {
            sender.join();
        }
        for (auto& c : cases) {
            if (c.kind != Kind::ClosedEarly) {
                ASSERT_TRUE(c.channel->WaitForWrites(1, kReplyTimeout));
            }
        }
        Sleep(300);
        // The server ends every channel, as at the end of a session, so the
        // plug-in can give back what each one held.
        for (auto& c : cases) {
            if (!c.channel->Closed()) {
                c.channel->CloseFromServer();
            }
        }
        if (!check) {
            return;
        }
        // Requests beyond the mail workers and their waiting places are
        // refused; each of the others is served.
        size_t answered = 0, refused = 0, expectedCalls = 0;
        std::vector<bool> served(cases.size());
        for (size_t i = 0; i < cases.size(); ++i) {
            auto& c = cases[i];
            auto writes = c.channel->Writes();
            EXPECT_EQ(c.channel->WritesAfterClose(), 0u);
            if (c.kind == Kind::ClosedEarly) {
                EXPECT_TRUE(writes.empty());
                continue;
            }
            ASSERT_EQ(writes.size(), 1u) << "exactly one reply";
            if (writes[0] == ErrorReply("too many requests at once")) {
                ++refused;
                continue;
            }
            EXPECT_EQ(writes[0], c.kind == Kind::Malformed ? ErrorReply("Invalid header version") : StatusOkReply())
                << reinterpret_cast<const char*>(writes[0].data());
            ++answered;
            served[i] = true;
            expectedCalls += c.kind == Kind::Malformed ? 0 : 1;
        }
        EXPECT_GE(answered, kMaxMailWorkers + kMaxWaitingMailRequests) << "as many as may wait are served";
        // Each handed-over mail carried its own request's bytes.
        auto calls = mapi_.Calls();
        ASSERT_EQ(calls.size(), expectedCalls);
        for (const auto& call : calls) {
            ASSERT_TRUE(call.subject);
            int index = std::stoi(standin::ToUtf8(call.subject->substr(8)));
            EXPECT_TRUE(served[size_t(index)]) << "a refused request was handed over";
            ASSERT_EQ(call.files.size(), 1u);
            EXPECT_EQ(call.files[0].content, cases[size_t(index)].attachment) << "request " << index;
        }
        std::printf("mail round: %d channels, %zu answered, %zu refused as too many at once, %zu handed over\n", count,
                    answered, refused, calls.size());
    }

    void RunExecRound(int channels, int perChannel, bool check) {
        std::vector<std::shared_ptr<standin::StandInChannel>> opened;
        for (int i = 0; i < channels; ++i) {
            opened.push_back(client_->OpenChannel("Zobrik/exec"));
            for (int m = 0; m < perChannel; ++m) {
                ASSERT_EQ(opened.back()->Send(std::string("C:\\no\\such\\zobrik-") + std::to_string(m) + ".exe"), S_OK);
            }
        }
        for (auto& channel : opened) {
            ASSERT_TRUE(channel->WaitForWrites(size_t(perChannel), kReplyTimeout * 3));
        }
        Sleep(300);
        for (auto& channel : opened) {
            channel->CloseFromServer();
        }
        if (!check) {
            return;
        }
        for (auto& channel : opened) {
            EXPECT_EQ(channel->Writes().size(), size_t(perChannel)) << "one reply per message";
            for (auto& write : channel->Writes()) {
                EXPECT_EQ(Text(write), std::string("failed\0\0", 8));
            }
            channel->CloseFromServer();
        }
    }

    struct BlockedRound {
        DWORD threadsWhileBlocked = 0;
        size_t refusedAtOnce = 0;
        size_t served = 0;
    };

    // A mail on each of `count` channels, sent by four client threads while
    // the stand-in holds every hand-over as an open compose window would;
    // then the windows close.
    void RunBlockedMailRound(int count, BlockedRound& round) {
        mapi_.Reset();
        mapi_.SetBlocking(true);
        std::vector<std::vector<uint8_t>> requests;
        std::vector<std::shared_ptr<standin::StandInChannel>> channels;
        for (int i = 0; i < count; ++i) {
            MailRequestWriter writer;
            writer.Subject("blocked " + std::to_string(i)).AddRecipient(RecipientGroup::To, "", "to@example.com");
            requests.push_back(writer.Build());
            channels.push_back(client_->OpenChannel("Zobrik/mail"));
            ASSERT_NE(channels.back(), nullptr);
        }
        std::vector<std::thread> senders;
        for (int t = 0; t < 4; ++t) {
            senders.emplace_back([&, t] {
                for (size_t i = size_t(t); i < channels.size(); i += 4) {
                    channels[i]->Send(requests[i]);
                }
            });
        }
        for (auto& sender : senders) {
            sender.join();
        }
        ASSERT_TRUE(mapi_.WaitForBlocked(ULONG(kMaxMailWorkers), kReplyTimeout));
        round.threadsWhileBlocked = ThreadsOfThisProcess();
        for (auto& channel : channels) {
            round.refusedAtOnce += channel->Writes().size();
        }
        EXPECT_EQ(round.refusedAtOnce, channels.size() - kMaxMailWorkers - kMaxWaitingMailRequests);

        mapi_.SetBlocking(false);
        for (auto& channel : channels) {
            ASSERT_TRUE(channel->WaitForWrites(1, kReplyTimeout));
        }
        Sleep(300);
        for (auto& channel : channels) {
            auto writes = channel->Writes();
            ASSERT_EQ(writes.size(), 1u) << "exactly one reply";
            round.served += writes[0] == StatusOkReply() ? 1 : 0;
            EXPECT_TRUE(writes[0] == StatusOkReply() || writes[0] == ErrorReply("too many requests at once"));
            channel->CloseFromServer();
            EXPECT_EQ(channel->WritesAfterClose(), 0u);
        }
        EXPECT_EQ(round.served, kMaxMailWorkers + kMaxWaitingMailRequests);
        EXPECT_EQ(mapi_.CallCount(), round.served);
        mapi_.Reset();
    }

    // `perChannel` exec messages on each of 100 channels, sent by four client
    // threads as fast as they can; every message gets exactly one reply.
    // Returns the most threads the process had meanwhile, the test's own not
    // counted.
    DWORD RunExecFlood(int perChannel) {
        constexpr int kChannels = 100, kSenders = 4;
        std::vector<std::shared_ptr<standin::StandInChannel>> channels;
        for (int i = 0; i < kChannels; ++i) {
            channels.push_back(client_->OpenChannel("Zobrik/exec"));
        }
        // The senders are counted out of the peak; they start together once
        // the sampler runs.
        std::mutex idsMutex;
        std::vector<DWORD> senderIds;
        std::atomic<bool> go{false};
        std::vector<std::thread> senders;
        for (int t = 0; t < kSenders; ++t) {
            senders.emplace_back([&, t] {
                {
                    std::lock_guard lock(idsMutex);
                    senderIds.push_back(GetCurrentThreadId());
                }
                while (!go) {
                    Sleep(1);
                }
                for (int m = 0; m < perChannel; ++m) {
                    for (size_t i = size_t(t); i < channels.size(); i += kSenders) {
                        channels[i]->Send(std::string("C:\\no\\such\\zobrik-") + std::to_string(m) + ".exe");
                    }
                }
            });
        }
        auto registered = [&] {
            std::lock_guard lock(idsMutex);
            return senderIds.size() == size_t(kSenders);
        };
        while (!registered()) {
            Sleep(1);
        }
        ThreadPeak peak(senderIds);
        go = true;
        for (auto& sender : senders) {
            sender.join();
        }
        for (auto& channel : channels) {
            EXPECT_TRUE(channel->WaitForWrites(size_t(perChannel), kReplyTimeout * 3));
        }
        const DWORD peakThreads = peak.Stop();
        Sleep(300);
        for (auto& channel : channels) {
            auto writes = channel->Writes();
            EXPECT_EQ(writes.size(), size_t(perChannel)) << "one reply per message";
            for (auto& write : writes) {
                EXPECT_EQ(Text(write), std::string("failed\0\0", 8));
            }
            channel->CloseFromServer();
            EXPECT_EQ(channel->WritesAfterClose(), 0u);
        }
        return peakThreads;
    }
};

TEST_F(Stress, TwoHundredMailChannelsAndAThousandExecMessages) {
    // A first round of the same size lets the process reach its working
    // level (thread pools, loaded modules, heaps that keep freed memory).
    RunMailRound(200, false);
    RunExecRound(10, 100, false);
    mapi_.Reset();
    Sleep(500);
    ProcessLevel before = CurrentLevel();

    RunMailRound(200, true);
    RunExecRound(10, 100, true);
    mapi_.Reset();
    Sleep(1000);

    ThreadsOnceBackTo(before.threads);
    // Handles of work still ending (Wine's own among them) come back within
    // moments; a leaked one never does.
    ProcessLevel after = CurrentLevel();
    for (int i = 0; i < 50 && after.handles > before.handles + 8; ++i) {
        Sleep(100);
        after = CurrentLevel();
    }
    std::printf(
        "threads: %lu before, %lu after; handles: %lu before, %lu after; heap blocks in use: %.2f MiB before,"
        " %.2f MiB after; committed: %.1f MiB before, %.1f MiB after\n",
        static_cast<unsigned long>(before.threads), static_cast<unsigned long>(after.threads),
        static_cast<unsigned long>(before.handles), static_cast<unsigned long>(after.handles), before.heapBlocksMiB,
        after.heapBlocksMiB, before.privateMiB, after.privateMiB);
    EXPECT_LE(after.threads, before.threads) << "threads left running";
    EXPECT_LE(after.handles, before.handles + 8) << "handles leaked";
    // A round carries 2.4 MiB of requests; what may stay is the stand-in's
    // record of the channels it keeps.
    EXPECT_LE(after.heapBlocksMiB, before.heapBlocksMiB + 0.5) << "memory not returned";
    EXPECT_TRUE(FilesBelow(StagingDirectory()).empty()) << "staged files left behind";
}

// A thousand requests of the shapes a hostile server would send, on 60
// channels at a time, those refused as too many at once sent again on fresh
// channels, as a server would: every one is answered once and served in the
// end, nothing stays on disk once the plug-in has unloaded, and no request
// writes more than it carries.
TEST_F(Stress, ThousandHostileMailRequestsLeaveNothingBehind) {
    auto makeRequest = [](int index) {
        MailRequestWriter writer;
        writer.Subject("hostile " + std::to_string(index));
        const int shape = index % 8;
        if (shape != 1) {
            writer.AddRecipient(RecipientGroup::To, "", "to@example.com");
        }
        switch (shape) {
            case 0:  // many records naming one range
                writer.AddAttachment("a.bin", Pattern(4096, 1));
                for (int i = 0; i < 50; ++i) {
                    writer.AddAttachment("b" + std::to_string(i) + ".bin", {}, {0, 4096});
                }
                break;
            case 1:  // only an originator: the compose window without a recipient list
                writer.AddRecipient(RecipientGroup::From, "", "me@example.com")
                    .AddAttachment("run.exe", Pattern(500, 2));
                break;
            case 2:  // the third name cannot be written
                writer.AddAttachment("x.txt", Pattern(100, 3))
                    .AddAttachment("y.txt", Pattern(100, 4))
                    .AddAttachment("dir/", {5});
                break;
            case 3:  // the non-blocking dialog keeps its files until unload
                writer.Flags(2).AddAttachment("kept.pdf", Pattern(700, 5));
                break;
            case 4:  // device, stream and look-alike names
                writer.AddAttachment("CONIN$", {1}).AddAttachment("a:b", {2}).AddAttachment("x\xef\xbc\x8e.exe", {3});
                break;
            case 5:  // names Windows takes for one file
                writer.AddAttachment("\xD1\x8F.txt", Pattern(300, 6)).AddAttachment("\xD0\xAF.txt", Pattern(300, 7));
                break;
            case 6:
                writer.MutableOverrides().version = 3;
                writer.AddAttachment("never.bin", Pattern(100, 8));
                break;
            default:
                writer.AddAttachment("report.pdf", Pattern(2000, 9));
                break;
        }
        return writer.Build();
    };

    std::vector<std::vector<uint8_t>> requests;
    for (int i = 0; i < 1000; ++i) {
        requests.push_back(makeRequest(i));
    }
    std::vector<size_t> pending(requests.size());
    std::iota(pending.begin(), pending.end(), size_t(0));
    const auto refusal = ErrorReply("too many requests at once");
    double worstRatio = 0;
    size_t answered = 0, resent = 0;
    while (!pending.empty()) {
        const size_t count = std::min<size_t>(pending.size(), 60);
        std::vector<size_t> batch(pending.begin(), pending.begin() + ptrdiff_t(count));
        pending.erase(pending.begin(), pending.begin() + ptrdiff_t(count));
        std::vector<std::shared_ptr<standin::StandInChannel>> channels;
        for (size_t i = 0; i < batch.size(); ++i) {
            channels.push_back(client_->OpenChannel("Zobrik/mail"));
            ASSERT_NE(channels.back(), nullptr);
        }
        mapi_.Reset();
        std::vector<std::thread> senders;
        for (int t = 0; t < 4; ++t) {
            senders.emplace_back([&, t] {
                for (size_t i = size_t(t); i < channels.size(); i += 4) {
                    channels[i]->Send(requests[batch[i]]);
                }
            });
        }
        for (auto& sender : senders) {
            sender.join();
        }
        for (size_t i = 0; i < channels.size(); ++i) {
            ASSERT_TRUE(channels[i]->WaitForWrites(1, kReplyTimeout));
            auto writes = channels[i]->Writes();
            if (writes[0] == refusal) {
                pending.push_back(batch[i]);
                ++resent;
            } else {
                ++answered;
            }
        }
        Sleep(100);
        for (auto& channel : channels) {
            EXPECT_EQ(channel->Writes().size(), 1u) << "exactly one reply";
            channel->CloseFromServer();
        }
        for (const auto& call : mapi_.Calls()) {
            ASSERT_TRUE(call.subject);
            size_t index = size_t(std::stoi(standin::ToUtf8(call.subject->substr(8))));
            uint64_t staged = 0;
            for (const auto& file : call.files) {
                staged += file.contentSize;
            }
            worstRatio = std::max(worstRatio, double(staged) / double(requests[index].size()));
        }
    }
    EXPECT_EQ(answered, 1000u) << "every request served in the end";
    EXPECT_LE(worstRatio, 1.0) << "staged bytes per request byte";
    ASSERT_TRUE(UnloadPlugInCompletely(*client_));
    auto left = EntriesBelow(StagingDirectory());
    std::printf(
        "1,000 hostile requests: %zu served, %zu sent again after a refusal, worst staged bytes per request"
        " byte %.3f, %zu entries left\n",
        answered, resent, worstRatio, left.size());
    EXPECT_TRUE(left.empty()) << standin::ToUtf8(left.empty() ? L"" : left.front());
}

// A server that opens a mail on 2,000 channels while every compose window
// stays open: four workers wait in their windows, sixteen mails wait for
// them, all others are refused at once, and the process keeps its threads.
TEST_F(Stress, TwoThousandMailsBehindOpenComposeWindowsTakeFourWorkers) {
    BlockedRound warmUp, round;
    RunBlockedMailRound(2000, warmUp);  // the working level, lazily made handles included
    Sleep(500);
    const ProcessLevel before = CurrentLevel();

    RunBlockedMailRound(2000, round);
    const DWORD threadsAfter = ThreadsOnceBackTo(before.threads);
    const ProcessLevel after = CurrentLevel();
    std::printf(
        "2,000 mails behind open compose windows: %lu threads while blocked (%lu before, %lu after),"
        " %zu refused at once, %zu served; handles %lu before, %lu after\n",
        static_cast<unsigned long>(round.threadsWhileBlocked), static_cast<unsigned long>(before.threads),
        static_cast<unsigned long>(threadsAfter), round.refusedAtOnce, round.served,
        static_cast<unsigned long>(before.handles), static_cast<unsigned long>(after.handles));
    // The workers, and a thread the pool keeps ready beside the ones that
    // may run long.
    EXPECT_LE(round.threadsWhileBlocked, before.threads + kMaxMailWorkers + 2)
        << "one thread per worker, not per request";
    EXPECT_LE(threadsAfter, before.threads) << "threads left running";
    EXPECT_LE(after.handles, HandleLimit(before, after)) << "handles leaked";
}

// Six channels send 72 MiB of a 100 MiB request each (and a byte a second
// until the seventh is answered) and stop, holding
// 480 MiB of the shared budget, so a seventh is refused. With the idle time
// shortened by the policy to seconds, each is answered "request timed out"
// and its buffer is released without the channel closing, while a channel
// that sends a chunk every second is not cut; the same seventh request then
// fits.
TEST_F(Stress, StalledRequestsAreAnsweredAndGiveTheBudgetBack) {
    ScopedPolicy policy;
    const uint32_t idleSeconds = kStalledTestIdleSeconds;
    policy.Dword(HKEY_LOCAL_MACHINE, L"MailRequestIdleSeconds", idleSeconds);
    client_ = StartedClient();  // a plug-in object that reads the policy

    const uint64_t total = uint64_t(100) << 20;
    std::vector<uint8_t> chunk(8 << 20, 0x5A);
    const auto header = MinimalMailRequest(64);
    std::copy(header.begin(), header.end(), chunk.begin());
    for (int i = 0; i < 8; ++i) {
        chunk[8 + i] = uint8_t(total >> (8 * i));
    }
    auto sendStalled = [&] {
        auto channel = client_->OpenChannel("Zobrik/mail");
        for (int i = 0; i < 9; ++i) {  // 72 MiB, in a buffer of 80 MiB
            EXPECT_EQ(channel->Send(chunk.data(), chunk.size()), S_OK);
        }
        return channel;
    };
    const auto started = std::chrono::steady_clock::now();
    std::vector<std::shared_ptr<standin::StandInChannel>> stalled;
    // Sending 504 MiB may take longer than the idle time on a loaded
    // machine: until the seventh request is answered, each one already sent
    // gets a byte every second, so that all six still hold their bytes then.
    std::mutex sentMutex;
    auto keepAlive = std::make_unique<Trickle>([&] {
        std::lock_guard<std::mutex> lock(sentMutex);
        for (auto& channel : stalled) {
            channel->Send(&chunk.back(), 1);
        }
    });
    for (int c = 0; c < 6; ++c) {
        auto channel = sendStalled();
        std::lock_guard<std::mutex> lock(sentMutex);
        stalled.push_back(std::move(channel));
    }
    auto pinned = sendStalled();
    ASSERT_TRUE(pinned->WaitForWrites(1, kReplyTimeout));
    keepAlive.reset();
    EXPECT_EQ(pinned->Writes()[0], ErrorReply("too many requests at once")) << "the stalled requests hold the budget";
    std::printf(
        "seven requests of 72 MiB sent in %lld ms\n",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count()));

    // A request of 64 KiB that receives 1 KiB every second.
    auto receiving = client_->OpenChannel("Zobrik/mail");
    const auto receivingSince = std::chrono::steady_clock::now();
    std::vector<uint8_t> piece(1024, 0x5A);
    std::copy(header.begin(), header.end(), piece.begin());
    for (int i = 0; i < 8; ++i) {
        piece[8 + i] = uint8_t((uint64_t(64) << 10) >> (8 * i));
    }
    Trickle trickle([&] { receiving->Send(piece.data(), piece.size()); });

    const auto idleMilliseconds = uint64_t(idleSeconds) * 1000;
    const auto idleAndSweep = std::chrono::milliseconds(idleMilliseconds + 2 * IdleSweepMilliseconds(idleMilliseconds));
    for (auto& channel : stalled) {
        ASSERT_TRUE(channel->WaitForWrites(1, idleAndSweep + kReplyTimeout));
        EXPECT_EQ(channel->Writes()[0], ErrorReply("request timed out"));
    }
    std::printf(
        "stalled requests answered %lld ms after they began\n",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count()));
    auto fits = sendStalled();
    EXPECT_FALSE(fits->WaitForWrites(1, std::chrono::milliseconds(300))) << "the budget is free again";
    // The receiving request goes on for longer than the idle time and two
    // sweeps.
    std::this_thread::sleep_until(receivingSince + idleAndSweep);
    trickle.Stop();
    EXPECT_TRUE(receiving->Writes().empty()) << "a request still receiving is not cut";
    for (auto& channel : stalled) {
        EXPECT_EQ(channel->Writes().size(), 1u) << "answered once";
        channel->CloseFromServer();
    }
    receiving->CloseFromServer();
    fits->CloseFromServer();
    pinned->CloseFromServer();
}

// The sweep runs every 15 s while only requests of the built-in idle time
// are watched. A plug-in object whose policy shortens the idle time makes it
// run more often: its stalled request is ended after its own idle time, long
// before the next sweep of the longer interval. Unloading the plug-in stops
// the sweep.
TEST_F(Stress, AShorterIdleTimeShortensTheSweepAlreadyRunning) {
    std::vector<uint8_t> start(1024, 0x5A);
    const auto header = MinimalMailRequest(4096);
    std::copy(header.begin(), header.begin() + 16, start.begin());
    auto usual = client_->OpenChannel("Zobrik/mail");
    ASSERT_EQ(usual->Send(start.data(), start.size()), S_OK);
    Sleep(300);  // the sweep's timer is set to the longest interval by now

    ScopedPolicy policy;
    policy.Dword(HKEY_LOCAL_MACHINE, L"MailRequestIdleSeconds", kShortestMailRequestIdleSeconds);
    auto shortened = StartedClient();
    auto stalled = shortened->OpenChannel("Zobrik/mail");
    ASSERT_EQ(stalled->Send(start.data(), start.size()), S_OK);
    ASSERT_TRUE(stalled->WaitForWrites(1, std::chrono::milliseconds(kIdleRequestSweepMilliseconds - 2000)))
        << "not ended before the sweep of the longer interval";
    EXPECT_EQ(stalled->Writes()[0], ErrorReply("request timed out"));
    EXPECT_TRUE(usual->Writes().empty()) << "the request of the built-in idle time goes on";
    stalled->CloseFromServer();
    usual->CloseFromServer();

    // Unloading stops the sweep: none comes after the plug-in's code is gone,
    // where it would end the client's process.
    shortened->Unload();
    ASSERT_TRUE(UnloadPlugInCompletely(*client_));
    Sleep(DWORD(3 * kShortestIdleSweepMilliseconds));
}

// 10,000 exec messages on 100 channels from four client threads: never more
// than eight workers, every message answered exactly once, and the
// threads and handles are back at their level afterwards.
TEST_F(Stress, TenThousandExecMessagesTakeAtMostEightWorkers) {
    RunExecFlood(100);  // the working level
    Sleep(500);
    const ProcessLevel before = CurrentLevel();

    const DWORD peakThreads = RunExecFlood(100);
    const DWORD threadsAfter = ThreadsOnceBackTo(before.threads);
    const ProcessLevel after = CurrentLevel();
    std::printf(
        "10,000 exec messages: at most %lu threads while served (%lu before, %lu after);"
        " handles %lu before, %lu after\n",
        static_cast<unsigned long>(peakThreads), static_cast<unsigned long>(before.threads),
        static_cast<unsigned long>(threadsAfter), static_cast<unsigned long>(before.handles),
        static_cast<unsigned long>(after.handles));
    EXPECT_LE(peakThreads, before.threads + kMaxExecWorkers + 2) << "one thread per worker, not per message";
    EXPECT_LE(threadsAfter, before.threads) << "threads left running";
    EXPECT_LE(after.handles, HandleLimit(before, after)) << "handles leaked";
}

}  // namespace
}  // namespace zobrik::testing
