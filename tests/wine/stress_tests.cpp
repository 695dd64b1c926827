// Many requests at once through the real DLL: every request that should be
// answered is answered exactly once, nothing is written after a close, no
// request sees another's attachment, and the process's handles and memory
// return to their level before the run.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <thread>

#include "mail_test_support.h"

namespace zobrik::testing {
namespace {

struct ProcessLevel {
    DWORD handles = 0;
    double privateMiB = 0;
    double heapBlocksMiB = 0;
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

class Stress : public MailPipelineTest {
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
        size_t answered = 0;
        for (auto& c : cases) {
            auto writes = c.channel->Writes();
            EXPECT_EQ(c.channel->WritesAfterClose(), 0u);
            if (c.kind == Kind::ClosedEarly) {
                EXPECT_TRUE(writes.empty());
                continue;
            }
            ASSERT_EQ(writes.size(), 1u) << "exactly one reply";
            EXPECT_EQ(writes[0], c.kind == Kind::Malformed ? ErrorReply("Invalid header version") : StatusOkReply())
                << reinterpret_cast<const char*>(writes[0].data());
            ++answered;
        }
        // Each handed-over mail carried its own request's bytes.
        auto calls = mapi_.Calls();
        size_t expectedCalls = 0;
        for (auto& c : cases) {
            expectedCalls += (c.kind == Kind::Valid || c.kind == Kind::Chunked) ? 1 : 0;
        }
        ASSERT_EQ(calls.size(), expectedCalls);
        for (const auto& call : calls) {
            ASSERT_TRUE(call.subject);
            int index = std::stoi(standin::ToUtf8(call.subject->substr(8)));
            ASSERT_EQ(call.files.size(), 1u);
            EXPECT_EQ(call.files[0].content, cases[size_t(index)].attachment) << "request " << index;
        }
        std::printf("mail round: %d channels, %zu answered, %zu handed over\n", count, answered, calls.size());
    }

    void RunExecRound(int channels, int perChannel, bool check) {
        std::vector<std::shared_ptr<standin::StandInChannel>> opened;
        for (int i = 0; i < channels; ++i) {
            opened.push_back(client_->OpenChannel("Zobrik/exec"));
            for (int m = 0; m < perChannel; ++m) {
                ASSERT_EQ(opened.back()->Send(std::string("C:\\no\\such\\zobrik-") + std::to_string(m) + ".exe"),
                          S_OK);
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

    ProcessLevel after = CurrentLevel();
    std::printf("handles: %lu before, %lu after; heap blocks in use: %.2f MiB before, %.2f MiB after;"
                " committed: %.1f MiB before, %.1f MiB after\n",
                static_cast<unsigned long>(before.handles), static_cast<unsigned long>(after.handles),
                before.heapBlocksMiB, after.heapBlocksMiB, before.privateMiB, after.privateMiB);
    EXPECT_LE(after.handles, before.handles + 8) << "handles leaked";
    // A round carries 2.4 MiB of requests; what may stay is the stand-in's
    // record of the channels it keeps.
    EXPECT_LE(after.heapBlocksMiB, before.heapBlocksMiB + 0.5) << "memory not returned";
    EXPECT_TRUE(FilesBelow(StagingDirectory()).empty()) << "staged files left behind";
}

// A thousand requests of the shapes a hostile server would send, on 250
// channels at a time: every one is answered, nothing stays on disk once the
// plug-in has unloaded, and no request writes more than it carries.
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
        case 1:  // no primary recipient: the hand-over cannot be built
            writer.AddRecipient(RecipientGroup::From, "", "me@example.com").AddAttachment("run.exe", Pattern(500, 2));
            break;
        case 2:  // the third name cannot be written
            writer.AddAttachment("x.txt", Pattern(100, 3)).AddAttachment("y.txt", Pattern(100, 4)).AddAttachment("dir/", {5});
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

    double worstRatio = 0;
    size_t answered = 0;
    for (int batch = 0; batch < 4; ++batch) {
        std::vector<std::vector<uint8_t>> requests;
        std::vector<std::shared_ptr<standin::StandInChannel>> channels;
        for (int i = 0; i < 250; ++i) {
            requests.push_back(makeRequest(batch * 250 + i));
            channels.push_back(client_->OpenChannel("Zobrik/mail"));
            ASSERT_NE(channels.back(), nullptr);
        }
        mapi_.Reset();
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
        for (auto& channel : channels) {
            ASSERT_TRUE(channel->WaitForWrites(1, kReplyTimeout));
            answered += channel->Writes().size();
            channel->CloseFromServer();
        }
        for (const auto& call : mapi_.Calls()) {
            ASSERT_TRUE(call.subject);
            size_t index = size_t(std::stoi(standin::ToUtf8(call.subject->substr(8)))) % 250;
            uint64_t staged = 0;
            for (const auto& file : call.files) {
                staged += file.contentSize;
            }
            worstRatio = std::max(worstRatio, double(staged) / double(requests[index].size()));
        }
    }
    EXPECT_EQ(answered, 1000u) << "every request answered once";
    EXPECT_LE(worstRatio, 1.0) << "staged bytes per request byte";
    ASSERT_TRUE(UnloadPlugInCompletely(*client_));
    auto left = EntriesBelow(StagingDirectory());
    std::printf("1,000 hostile requests: %zu answered, worst staged bytes per request byte %.3f, %zu entries left\n",
                answered, worstRatio, left.size());
    EXPECT_TRUE(left.empty()) << standin::ToUtf8(left.empty() ? L"" : left.front());
}

}  // namespace
}  // namespace zobrik::testing
