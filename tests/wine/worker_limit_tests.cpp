// The bounded workers through the real DLL: compose windows that stay open
// hold the mail workers, later requests wait in arrival order up to their
// limit and the next one is refused at once; exec requests have workers of
// their own; every request is answered exactly once and never after its
// channel closed; the module stays loaded while a worker runs.
#include <windows.h>

#include <set>
#include <string>

#include "include/request_limits.h"
#include "mail_test_support.h"

namespace zobrik::testing {
namespace {

using standin::DebugCapture;
using standin::StandInChannel;
using Channels = std::vector<std::shared_ptr<StandInChannel>>;

const std::vector<uint8_t> kOkay = {'o', 'k', 'a', 'y', 0, 0, 0, 0};
const std::vector<uint8_t> kFailed = {'f', 'a', 'i', 'l', 'e', 'd', 0, 0};
const char kMissingProgram[] = "C:\\no\\such\\zobrik-worker-limits.exe";

std::vector<uint8_t> Mail(size_t index) {
    MailRequestWriter writer;
    writer.Subject("mail " + std::to_string(index)).AddRecipient(RecipientGroup::To, "", "to@example.com");
    return writer.Build();
}

class WorkerLimits : public MailPipelineFixture {
protected:
    void SetUp() override {
        MailPipelineFixture::SetUp();
        marker_ = FreshTempFile(L"zobrik-marker");
        SetEnvironmentVariableW(L"ZOBRIK_MARKER_FILE", marker_.c_str());
    }

    void TearDown() override {
        for (auto& channel : held_) {
            channel->ReleaseWrites();
        }
        MailPipelineFixture::TearDown();
    }

    // Every mail worker in a compose window that stays open: mails 0 to 3.
    Channels BlockMailWorkers() {
        mapi_.SetBlocking(true);
        Channels channels;
        for (size_t i = 0; i < kMaxMailWorkers; ++i) {
            channels.push_back(SendOnNewChannel(Mail(i)));
        }
        EXPECT_TRUE(mapi_.WaitForBlocked(ULONG(kMaxMailWorkers), kReplyTimeout));
        return channels;
    }

    // Every exec worker waiting for the client to take its reply, each on a
    // channel of its own.
    void HoldExecWorkers() {
        for (size_t i = 0; i < kMaxExecWorkers; ++i) {
            held_.push_back(client_->OpenChannel("Zobrik/exec"));
            held_.back()->HoldWrites();
            ASSERT_EQ(held_.back()->Send(std::string(kMissingProgram)), S_OK);
        }
        for (auto& channel : held_) {
            ASSERT_TRUE(channel->WaitForHeldWrites(1, kReplyTimeout));
        }
    }

    void ReleaseExecWorkers() {
        for (auto& channel : held_) {
            channel->ReleaseWrites();
        }
        for (auto& channel : held_) {
            EXPECT_TRUE(channel->WaitForWrites(1, kReplyTimeout));
        }
    }

    // The subjects of the hand-overs from `first` on, as mail numbers.
    std::set<size_t> HandedOver(size_t first, size_t count) {
        std::set<size_t> numbers;
        auto calls = mapi_.Calls();
        for (size_t i = first; i < first + count && i < calls.size(); ++i) {
            if (calls[i].subject) {
                numbers.insert(size_t(std::stoul(standin::ToUtf8(calls[i].subject->substr(5)))));
            }
        }
        return numbers;
    }

    static std::set<size_t> Range(size_t first, size_t count) {
        std::set<size_t> numbers;
        for (size_t i = first; i < first + count; ++i) {
            numbers.insert(i);
        }
        return numbers;
    }

    std::wstring marker_;
    Channels held_;
};

// With the stand-in holding every hand-over (a compose window per mail
// worker), the mails behind them wait and are handed over in the order they
// arrived, four at a time as windows close.
TEST_F(WorkerLimits, ComposeWindowsHoldTheMailWorkersLaterMailsWaitInOrderAndOneMoreIsRefused) {
    Channels channels = BlockMailWorkers();
    for (size_t i = kMaxMailWorkers; i < kMaxMailWorkers + kMaxWaitingMailRequests; ++i) {
        channels.push_back(SendOnNewChannel(Mail(i)));
    }
    auto refused = SendOnNewChannel(Mail(99));
    ASSERT_EQ(refused->Writes().size(), 1u) << "answered before the message was taken";
    EXPECT_EQ(refused->Writes()[0], ErrorReply("too many requests at once"));
    for (auto& channel : channels) {
        EXPECT_TRUE(channel->Writes().empty());
    }
    EXPECT_FALSE(mapi_.WaitForCalls(ULONG(kMaxMailWorkers + 1), kSilence)) << "no fifth mail worker";
    EXPECT_EQ(HandedOver(0, kMaxMailWorkers), Range(0, kMaxMailWorkers));

    // Windows close four at a time; the next four in arrival order open.
    for (size_t done = kMaxMailWorkers; done < channels.size(); done += kMaxMailWorkers) {
        mapi_.ReleaseBlocked();
        ASSERT_TRUE(mapi_.WaitForCalls(ULONG(done + kMaxMailWorkers), kReplyTimeout));
        EXPECT_EQ(HandedOver(done, kMaxMailWorkers), Range(done, kMaxMailWorkers));
    }
    mapi_.SetBlocking(false);
    for (auto& channel : channels) {
        ASSERT_TRUE(channel->WaitForWrites(1, kReplyTimeout));
    }
    Sleep(300);
    for (auto& channel : channels) {
        EXPECT_EQ(channel->Writes(), std::vector<std::vector<uint8_t>>{StatusOkReply()}) << "exactly one reply";
    }
    EXPECT_EQ(refused->Writes().size(), 1u);
    EXPECT_EQ(mapi_.CallCount(), channels.size()) << "the refused mail was never handed over";
}

TEST_F(WorkerLimits, ExecIsServedWhileEveryMailWorkerIsBlockedAndMailsWait) {
    Channels channels = BlockMailWorkers();
    for (size_t i = kMaxMailWorkers; i < kMaxMailWorkers + kMaxWaitingMailRequests; ++i) {
        channels.push_back(SendOnNewChannel(Mail(i)));
    }
    auto exec = client_->OpenChannel("Zobrik/exec");
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(exec->Send(MarkerProgramPath()), S_OK);
        ASSERT_TRUE(exec->WaitForWrites(size_t(i) + 1, kReplyTimeout));
        EXPECT_EQ(exec->Writes().back(), kOkay);
    }
    EXPECT_TRUE(WaitForMarkerRuns(marker_, 20, kReplyTimeout));
    EXPECT_EQ(mapi_.BlockedCount(), kMaxMailWorkers) << "the windows are still open";

    mapi_.SetBlocking(false);
    for (auto& channel : channels) {
        ASSERT_TRUE(channel->WaitForWrites(1, kReplyTimeout));
    }
    Sleep(300);
    for (auto& channel : channels) {
        EXPECT_EQ(channel->Writes().size(), 1u);
    }
}

// The replies of the exec workers are held by the client, so all of them
// are busy: the next requests wait, and those beyond the waiting places are
// answered "failed" before the client's call returns.
TEST_F(WorkerLimits, ExecBeyondItsWorkersAndWaitingPlacesIsAnsweredFailedAtOnceEachOnce) {
    HoldExecWorkers();
    auto waiting = client_->OpenChannel("Zobrik/exec");
    for (size_t i = 0; i < kMaxWaitingExecRequests; ++i) {
        ASSERT_EQ(waiting->Send(std::string(kMissingProgram)), S_OK);
    }
    EXPECT_TRUE(waiting->Writes().empty());
    auto overflow = client_->OpenChannel("Zobrik/exec");
    for (size_t i = 0; i < 10; ++i) {
        ASSERT_EQ(overflow->Send(MarkerProgramPath()), S_OK);
        ASSERT_EQ(overflow->Writes().size(), i + 1) << "answered before the message was taken";
        EXPECT_EQ(overflow->Writes().back(), kFailed);
    }
    EXPECT_FALSE(waiting->WaitForWrites(1, kSilence)) << "no worker beyond the eight";
    EXPECT_EQ(MarkerRuns(marker_), 0) << "a refused request opens nothing";

    ReleaseExecWorkers();
    ASSERT_TRUE(waiting->WaitForWrites(kMaxWaitingExecRequests, kReplyTimeout));
    Sleep(300);
    for (auto& channel : held_) {
        EXPECT_EQ(channel->Writes(), std::vector<std::vector<uint8_t>>{kFailed});
    }
    EXPECT_EQ(waiting->Writes().size(), kMaxWaitingExecRequests);
    EXPECT_EQ(overflow->Writes().size(), 10u);
    EXPECT_EQ(MarkerRuns(marker_), 0);
    // Room again for the next request.
    ASSERT_EQ(overflow->Send(MarkerProgramPath()), S_OK);
    ASSERT_TRUE(overflow->WaitForWrites(11, kReplyTimeout));
    EXPECT_EQ(overflow->Writes().back(), kOkay);
}

// A server that has gone gets nothing opened: an exec request that waited
// is dropped when its channel closed before a worker took it. A mail
// request in the same place is still handed over (the user gets the mail),
// only its reply has nowhere to go.
TEST_F(WorkerLimits, AWaitingExecWhoseChannelClosesIsDroppedAWaitingMailIsHandedOver) {
    HoldExecWorkers();
    DebugCapture::Clear();
    auto closedExec = client_->OpenChannel("Zobrik/exec");
    ASSERT_EQ(closedExec->Send(MarkerProgramPath()), S_OK);
    ASSERT_EQ(closedExec->CloseFromServer(), S_OK);
    auto openExec = client_->OpenChannel("Zobrik/exec");
    ASSERT_EQ(openExec->Send(MarkerProgramPath()), S_OK);

    Channels mails = BlockMailWorkers();
    auto closedMail = SendOnNewChannel(Mail(50));
    ASSERT_EQ(closedMail->CloseFromServer(), S_OK);

    ReleaseExecWorkers();
    ASSERT_TRUE(openExec->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(openExec->Writes()[0], kOkay);
    mapi_.SetBlocking(false);
    for (auto& channel : mails) {
        ASSERT_TRUE(channel->WaitForWrites(1, kReplyTimeout));
    }
    ASSERT_TRUE(mapi_.WaitForCalls(ULONG(kMaxMailWorkers + 1), kReplyTimeout));
    EXPECT_EQ(HandedOver(kMaxMailWorkers, 1), std::set<size_t>{50});
    // The program of the open channel's request may start late on a busy
    // machine; once it ran, a second run (the dropped request) would show
    // within the next half second.
    EXPECT_TRUE(WaitForMarkerRuns(marker_, 1, kReplyTimeout));
    Sleep(500);
    EXPECT_EQ(MarkerRuns(marker_), 1) << "only the request of the open channel was opened";
    EXPECT_EQ(DebugCapture::Count("Zobrik WTS DVC plugin: exec request dropped: its channel closed while it waited\n"),
              1u);
    for (auto& channel : {closedExec, closedMail}) {
        EXPECT_TRUE(channel->Writes().empty());
        EXPECT_EQ(channel->WritesAfterClose(), 0u);
    }
}

// Complete mails that wait for a worker hold their bytes against the budget
// that the request buffers of all mail channels share: five waiting mails
// of 100 MiB leave no room for a sixth buffer.
TEST_F(WorkerLimits, WaitingMailsHoldTheirBytesAgainstTheSharedBudgetUntilAWorkerTakesThem) {
    const uint64_t total = uint64_t(100) << 20;
    std::vector<uint8_t> chunk(4 << 20, 0);
    auto header = MinimalMailRequest(64);
    std::copy(header.begin(), header.end(), chunk.begin());
    for (int i = 0; i < 8; ++i) {
        chunk[8 + i] = uint8_t(total >> (8 * i));
    }
    std::vector<uint8_t> rest(4 << 20, 0);
    auto sendLarge = [&](StandInChannel& channel) {
        HRESULT hr = channel.Send(chunk);
        for (uint64_t sent = chunk.size(); sent < total && hr == S_OK; sent += rest.size()) {
            hr = channel.Send(rest);
        }
        return hr;
    };
    Channels small = BlockMailWorkers();
    Channels large;
    for (int i = 0; i < 5; ++i) {
        large.push_back(client_->OpenChannel("Zobrik/mail"));
        ASSERT_EQ(sendLarge(*large.back()), S_OK);
        EXPECT_TRUE(large.back()->Writes().empty()) << "mail " << i << " waits";
    }
    auto sixth = client_->OpenChannel("Zobrik/mail");
    ASSERT_EQ(sendLarge(*sixth), S_OK);
    ASSERT_EQ(sixth->Writes().size(), 1u) << "its buffer found no room";
    EXPECT_EQ(sixth->Writes()[0], ErrorReply("too many requests at once"));

    mapi_.SetBlocking(false);
    for (auto& channel : large) {
        ASSERT_TRUE(channel->WaitForWrites(1, kReplyTimeout));
        EXPECT_EQ(channel->Writes().size(), 1u);
    }
    for (auto& channel : small) {
        ASSERT_TRUE(channel->WaitForWrites(1, kReplyTimeout));
    }
    Sleep(300);
    for (auto& channel : large) {
        channel->CloseFromServer();
    }
    sixth->CloseFromServer();
    // Given back: five more of the same size wait again behind blocked workers.
    small = BlockMailWorkers();
    large.clear();
    for (int i = 0; i < 5; ++i) {
        large.push_back(client_->OpenChannel("Zobrik/mail"));
        ASSERT_EQ(sendLarge(*large.back()), S_OK);
        EXPECT_TRUE(large.back()->Writes().empty()) << "room again for mail " << i;
    }
    mapi_.SetBlocking(false);
    for (auto& channel : large) {
        ASSERT_TRUE(channel->WaitForWrites(1, kReplyTimeout));
        channel->CloseFromServer();
    }
}

// The client may unload the plug-in while compose windows are open: the
// workers keep the module loaded, serve what waits and let it go when the
// last of them returns.
TEST_F(WorkerLimits, TheModuleStaysWhileWorkersRunAndLeavesWithTheLast) {
    ASSERT_TRUE(UnloadPlugInCompletely(*client_));
    client_ = StartedClient();
    mapi_ = standin::MapiStandIn::Find();
    ASSERT_TRUE(mapi_.Valid());
    wchar_t path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(client_->Module(), path, MAX_PATH), 0u);
    Channels channels = BlockMailWorkers();
    channels.push_back(SendOnNewChannel(Mail(4)));
    channels.push_back(SendOnNewChannel(Mail(5)));
    for (auto& channel : channels) {
        channel->CloseFromServer();  // the session ends
    }
    client_->Unload();
    EXPECT_NE(GetModuleHandleW(path), nullptr) << "held by the blocked workers";

    mapi_.SetBlocking(false);
    ASSERT_TRUE(mapi_.WaitForCalls(6, kReplyTimeout)) << "the waiting mails are still handed over";
    bool unloaded = false;
    for (int i = 0; i < 200 && !unloaded; ++i) {
        unloaded = GetModuleHandleW(path) == nullptr;
        Sleep(50);
    }
    EXPECT_TRUE(unloaded) << "the last worker gave the module back";
}

}  // namespace
}  // namespace zobrik::testing
