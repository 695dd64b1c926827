// The exec channel end to end against Wine's shell.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <fstream>
#include <string>
#include <vector>

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

std::vector<std::string> MarkerLines(const std::wstring& path) {
    std::ifstream in(path.c_str());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Wine 8's shell finds file types only among the classes of the machine
// (HKEY_CLASSES_ROOT is HKLM\Software\Classes there; the user's
// Software\Classes is not consulted), so the test's type is registered there.
void SetClassesValue(const std::wstring& key, const std::wstring& value) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr),
              ERROR_SUCCESS)
        << standin::ToUtf8(key);
    LONG result = RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 DWORD((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    ASSERT_EQ(result, ERROR_SUCCESS) << standin::ToUtf8(key);
}

// A file type of the test's own whose default verb is not "open"; both verbs
// run the marker program, each with its verb as argument.
class ExecVerb : public ExecChannel {
protected:
    void SetUp() override {
        ExecChannel::SetUp();
        const std::wstring pid = std::to_wstring(GetCurrentProcessId());
        extension_ = L".zobrikverb" + pid;
        progId_ = L"Zobrik.VerbTest" + pid;
        const std::wstring marker = L"\"" + standin::FromUtf8(MarkerProgramPath()) + L"\" ";
        ASSERT_NO_FATAL_FAILURE(SetClassesValue(extension_, progId_));
        ASSERT_NO_FATAL_FAILURE(SetClassesValue(progId_ + L"\\shell", L"zobrikother"));
        ASSERT_NO_FATAL_FAILURE(
            SetClassesValue(progId_ + L"\\shell\\zobrikother\\command", marker + L"zobrikother"));
        ASSERT_NO_FATAL_FAILURE(SetClassesValue(progId_ + L"\\shell\\open\\command", marker + L"open"));
        document_ = FreshTempFile(L"zobrik-verb") + extension_;
        HANDLE file = CreateFileW(document_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
    }

    void TearDown() override {
        DeleteFileW(document_.c_str());
        RegDeleteTreeW(HKEY_CLASSES_ROOT, extension_.c_str());
        RegDeleteTreeW(HKEY_CLASSES_ROOT, progId_.c_str());
    }

    std::wstring extension_;
    std::wstring progId_;
    std::wstring document_;
};

TEST_F(ExecVerb, DocumentIsOpenedWithTheOpenVerbNotTheDefault) {
    // The shell itself picks "zobrikother" when no verb is named.
    const std::string document = standin::ToUtf8(document_);
    INT_PTR shell =
        reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, nullptr, document.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    ASSERT_GT(shell, 32);
    ASSERT_TRUE(WaitForMarkerRuns(marker_, 1, kReplyTimeout));
    ASSERT_EQ(MarkerLines(marker_), std::vector<std::string>{"ran zobrikother"})
        << "the type is not registered as meant";

    ASSERT_EQ(channel_->Send(document), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(channel_->Writes()[0], kOkay);
    ASSERT_TRUE(WaitForMarkerRuns(marker_, 2, kReplyTimeout));
    Sleep(200);
    EXPECT_EQ(MarkerLines(marker_), (std::vector<std::string>{"ran zobrikother", "ran open"}));
}

}  // namespace
}  // namespace zobrik::testing
