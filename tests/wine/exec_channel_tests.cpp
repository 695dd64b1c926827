// The exec channel end to end against Wine's shell.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include "test_support.h"

namespace zobrik::testing {
namespace {

using standin::DebugCapture;

const std::vector<uint8_t> kOkay = {'o', 'k', 'a', 'y', 0, 0, 0, 0};
const std::vector<uint8_t> kFailed = {'f', 'a', 'i', 'l', 'e', 'd', 0, 0};

class ExecChannel : public ::testing::Test {
protected:
    void SetUp() override {
        client_ = StartedClient();
        channel_ = client_->OpenChannel("Zobrik/exec");
        ASSERT_NE(channel_, nullptr);
        marker_ = FreshTempFile(L"zobrik-marker");
        SetEnvironmentVariableW(L"ZOBRIK_MARKER_FILE", marker_.c_str());
    }

    std::unique_ptr<standin::ClientStandIn> client_;
    std::shared_ptr<standin::StandInChannel> channel_;
    std::wstring marker_;
};

TEST_F(ExecChannel, ProgramIsOpenedAndAnsweredOkay) {
    DebugCapture::Clear();
    ASSERT_EQ(channel_->Send(MarkerProgramPath()), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(channel_->Writes()[0], kOkay);
    EXPECT_TRUE(WaitForMarkerRuns(marker_, 1, kReplyTimeout)) << "the program did not run";
    EXPECT_EQ(DebugCapture::Count("Zobrik WTS DVC plugin: OnDataReceived\n"), 1u);
    EXPECT_EQ(DebugCapture::Count(MarkerProgramPath()), 1u) << "the request text is logged";
}

TEST_F(ExecChannel, MissingPathIsAnsweredFailed) {
    ASSERT_EQ(channel_->Send(std::string("C:\\no\\such\\program-zobrik.exe")), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(channel_->Writes()[0], kFailed);
}

TEST_F(ExecChannel, BytesAfterANulAreIgnored) {
    DebugCapture::Clear();
    std::string request = MarkerProgramPath();
    request += '\0';
    request += "C:\\no\\such\\thing.exe";
    ASSERT_EQ(channel_->Send(request), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(channel_->Writes()[0], kOkay);
    EXPECT_TRUE(WaitForMarkerRuns(marker_, 1, kReplyTimeout));
    EXPECT_EQ(DebugCapture::Count(MarkerProgramPath()), 1u) << "only the text before the NUL is logged";
}

TEST_F(ExecChannel, TwoMessagesGetTwoReplies) {
    ASSERT_EQ(channel_->Send(MarkerProgramPath()), S_OK);
    ASSERT_EQ(channel_->Send(std::string("C:\\no\\such\\program-zobrik.exe")), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(2, kReplyTimeout));
    auto writes = channel_->Writes();
    ASSERT_EQ(writes.size(), 2u);
    // Replies leave in the order the shell calls finish.
    EXPECT_TRUE((writes[0] == kOkay && writes[1] == kFailed) || (writes[0] == kFailed && writes[1] == kOkay));
    EXPECT_TRUE(WaitForMarkerRuns(marker_, 1, kReplyTimeout));
    Sleep(200);
    EXPECT_EQ(channel_->Writes().size(), 2u) << "exactly one reply per message";
}

TEST_F(ExecChannel, EmptyMessageFollowsTheShellsResult) {
    INT_PTR shell = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", "", nullptr, nullptr, SW_SHOWNORMAL));
    ASSERT_EQ(channel_->Send(nullptr, 0), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(channel_->Writes()[0], shell > 32 ? kOkay : kFailed) << "shell answered " << shell;
}

TEST_F(ExecChannel, EmptyMessageWithoutABufferIsServedLikeAnEmptyText) {
    // The client may hand an empty message over without a buffer; the
    // stand-in's Send always passes one, so the callback is called directly.
    // Wine's shell refuses an empty text (ERROR_BAD_FORMAT under Wine 8).
    INT_PTR shell = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", "", nullptr, nullptr, SW_SHOWNORMAL));
    ASSERT_LE(shell, 32) << "shell answered " << shell;
    IWTSVirtualChannelCallback* callback = channel_->Callback();
    ASSERT_NE(callback, nullptr);
    EXPECT_EQ(callback->OnDataReceived(0, nullptr), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(channel_->Writes()[0], kFailed);

    ASSERT_EQ(channel_->Send(MarkerProgramPath()), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(2, kReplyTimeout)) << "the channel still serves requests";
    EXPECT_EQ(channel_->Writes()[1], kOkay);
}

// Wine's own shell32 overruns a buffer for texts of about 1000 characters
// and more, so the noise stays below that.
TEST_F(ExecChannel, ArbitraryBytesAreServedWithoutCrashing) {
    std::vector<uint8_t> noise(600);
    for (size_t i = 0; i < noise.size(); ++i) {
        noise[i] = uint8_t(i * 37 + 11) | 1;  // no NUL: the whole message is the text
    }
    ASSERT_EQ(channel_->Send(noise), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(channel_->Writes()[0], kFailed);
}

TEST_F(ExecChannel, ClosedChannelGetsNoReply) {
    ASSERT_EQ(channel_->Send(MarkerProgramPath()), S_OK);
    ASSERT_EQ(channel_->CloseFromServer(), S_OK);
    EXPECT_TRUE(WaitForMarkerRuns(marker_, 1, kReplyTimeout)) << "the request is still served";
    Sleep(300);
    EXPECT_EQ(channel_->WritesAfterClose(), 0u);
}

}  // namespace
}  // namespace zobrik::testing
