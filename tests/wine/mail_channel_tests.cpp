// The mail channel's reassembly of chunks and the start of its worker, seen
// through the client stand-in.
#include <gtest/gtest.h>

#include "test_support.h"

namespace zobrik::testing {
namespace {

using standin::DebugCapture;

const std::string kWorkerLine = "Zobrik WTS DVC plugin: OnDataReceived\n";
const std::string kChunkLine = "Zobrik WTS DVC plugin: Mail: OnDataReceived\n";

class MailChannel : public ::testing::Test {
protected:
    void SetUp() override {
        client_ = StartedClient();
        channel_ = client_->OpenChannel("Zobrik/mail");
        ASSERT_NE(channel_, nullptr);
        DebugCapture::Clear();
    }

    // No reply arrives within a short wait.
    void ExpectSilence() {
        EXPECT_FALSE(channel_->WaitForWrites(1, kSilence));
        EXPECT_EQ(DebugCapture::Count(kWorkerLine), 0u) << "no worker may have started";
    }

    std::unique_ptr<standin::ClientStandIn> client_;
    std::shared_ptr<standin::StandInChannel> channel_;
};

// A wrong version is answered by the worker with its error text, whatever
// else the pipeline does: it shows that exactly this request reached it.
std::vector<uint8_t> WrongVersionRequest(size_t size) { return MinimalMailRequest(size, 1); }

const std::string kWrongVersionReply = std::string("Exception: char const *       Invalid header version") + '\0';

TEST_F(MailChannel, OneChunkWithMatchingTotalStartsTheWorkerAtOnce) {
    ASSERT_EQ(channel_->Send(WrongVersionRequest(80)), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(Text(channel_->Writes()[0]), kWrongVersionReply);
    EXPECT_EQ(channel_->Writes()[0].size(), 53u);
    EXPECT_EQ(DebugCapture::Count(kChunkLine), 1u);
    EXPECT_EQ(DebugCapture::Count(kWorkerLine), 1u);
}

TEST_F(MailChannel, ThreeChunksStartTheWorkerAfterTheThird) {
    auto request = WrongVersionRequest(300);
    ASSERT_EQ(channel_->SendChunks(request, std::vector<size_t>{100, 100}), S_OK);
    // SendChunks sends the remaining 100 bytes as a third chunk; check the
    // state before it with two chunks of a fresh channel instead.
    ASSERT_TRUE(channel_->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(DebugCapture::Count(kChunkLine), 3u);

    auto second = client_->OpenChannel("Zobrik/mail");
    DebugCapture::Clear();
    ASSERT_EQ(second->Send(request.data(), 100), S_OK);
    ASSERT_EQ(second->Send(request.data() + 100, 100), S_OK);
    EXPECT_FALSE(second->WaitForWrites(1, kSilence));
    EXPECT_EQ(DebugCapture::Count(kWorkerLine), 0u);
    ASSERT_EQ(second->Send(request.data() + 200, 100), S_OK);
    ASSERT_TRUE(second->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(Text(second->Writes()[0]), kWrongVersionReply);
}

TEST_F(MailChannel, FirstChunkShorterThanSixteenBytesWaitsForTheTotal) {
    auto request = WrongVersionRequest(100);
    ASSERT_EQ(channel_->SendChunks(request, std::vector<size_t>{3, 9, 1}), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(Text(channel_->Writes()[0]), kWrongVersionReply);
}

TEST_F(MailChannel, OvershootingLastChunkGetsNoReply) {
    auto request = MinimalMailRequest(200);
    request[8] = 150;  // announces 150 bytes, 200 arrive
    ASSERT_EQ(channel_->SendChunks(request, 100), S_OK);
    ExpectSilence();
}

TEST_F(MailChannel, SecondRequestOnTheChannelIsNotProcessed) {
    auto request = WrongVersionRequest(70);
    ASSERT_EQ(channel_->Send(request), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(1, kReplyTimeout));
    ASSERT_EQ(channel_->Send(nullptr, 0), S_OK);
    ASSERT_EQ(channel_->Send(request), S_OK);
    EXPECT_FALSE(channel_->WaitForWrites(2, kSilence));
    EXPECT_EQ(channel_->Writes().size(), 1u);
}

TEST_F(MailChannel, AfterCloseTheNextChunkStartsANewRequest) {
    auto callback = channel_->Callback();
    ASSERT_EQ(channel_->Send(WrongVersionRequest(300).data(), 120), S_OK);
    // Close the callback directly, as a client reusing it would, then send a
    // complete request: its own total counts.
    ASSERT_EQ(callback->OnClose(), S_OK);
    auto fresh = WrongVersionRequest(90);
    ASSERT_EQ(callback->OnDataReceived(ULONG(fresh.size()), fresh.data()), S_OK);
    // The channel field was emptied by OnClose: the worker runs, no reply.
    EXPECT_TRUE(DebugCapture::WaitFor(kWorkerLine, 1, kReplyTimeout));
    EXPECT_TRUE(DebugCapture::WaitFor(kWrongVersionReply.substr(0, 52), 1, kReplyTimeout))
        << "the failure text still goes to the debugger output";
    EXPECT_EQ(channel_->Writes().size(), 0u);
}

TEST_F(MailChannel, CloseWhileCollectingDropsTheRequest) {
    auto request = WrongVersionRequest(300);
    ASSERT_EQ(channel_->Send(request.data(), 150), S_OK);
    ASSERT_EQ(channel_->CloseFromServer(), S_OK);
    Sleep(300);
    EXPECT_EQ(DebugCapture::Count(kWorkerLine), 0u);
    EXPECT_EQ(channel_->WritesAfterClose(), 0u);
}

TEST_F(MailChannel, ArbitraryChunksNeverCrashAndEndInOneReplyOrSilence) {
    // Headers announcing every kind of total, in odd chunkings.
    for (uint64_t announced : {uint64_t(0), uint64_t(1), uint64_t(16), uint64_t(63), uint64_t(64), uint64_t(65),
                               uint64_t(1000), ~uint64_t(0)}) {
        auto channel = client_->OpenChannel("Zobrik/mail");
        std::vector<uint8_t> bytes(std::min<uint64_t>(announced, 2000) + 16, 0xFF);
        for (int i = 0; i < 8; ++i) {
            bytes[8 + i] = uint8_t(announced >> (8 * i));
        }
        ASSERT_EQ(channel->SendChunks(bytes, 7), S_OK);
        channel->WaitForWrites(1, kSilence);
        EXPECT_LE(channel->Writes().size(), 1u) << announced;
        EXPECT_EQ(channel->CloseFromServer(), S_OK);
    }
}

}  // namespace
}  // namespace zobrik::testing
