// Exec texts beyond the ANSI code page: a text that begins with the UTF-8
// mark is read as UTF-8 and opened with the wide shell call; the same bytes
// anywhere else leave the text in the ANSI code page.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace zobrik::testing {
namespace {

using standin::DebugCapture;

const std::vector<uint8_t> kOkay = {'o', 'k', 'a', 'y', 0, 0, 0, 0};
const std::vector<uint8_t> kFailed = {'f', 'a', 'i', 'l', 'e', 'd', 0, 0};
const std::string kMark = "\xEF\xBB\xBF";

std::string Encoded(const std::wstring& text, UINT codePage) {
    const int size = WideCharToMultiByte(codePage, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(size), '\0');
    WideCharToMultiByte(codePage, 0, text.c_str(), int(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring Decoded(const std::string& text, UINT codePage) {
    const int size = MultiByteToWideChar(codePage, 0, text.c_str(), int(text.size()), nullptr, 0);
    std::wstring out(size_t(size), L'\0');
    MultiByteToWideChar(codePage, 0, text.c_str(), int(text.size()), out.data(), size);
    return out;
}

class ExecUtf8 : public ::testing::Test {
protected:
    void SetUp() override {
        client_ = StartedClient();
        channel_ = client_->OpenChannel("Zobrik/exec");
        ASSERT_NE(channel_, nullptr);
        marker_ = FreshTempFile(L"zobrik-utf8-marker");
        SetEnvironmentVariableW(L"ZOBRIK_MARKER_FILE", marker_.c_str());
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        temp_ = temp;
    }
    void TearDown() override {
        for (const auto& folder : folders_) {
            DeleteFileW((folder + L"\\marker.exe").c_str());
            RemoveDirectoryW(folder.c_str());
        }
    }

    // A folder of `name` in the temp folder with a copy of the marker program.
    std::wstring MarkerIn(const std::wstring& name) {
        const std::wstring folder = temp_ + name + L"-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder.c_str(), nullptr);
        folders_.push_back(folder);
        const std::wstring program = folder + L"\\marker.exe";
        EXPECT_TRUE(CopyFileW((standin::ExecutableDirectory() + L"marker.exe").c_str(), program.c_str(), FALSE));
        return program;
    }

    std::vector<uint8_t> Exchange(const std::string& text) {
        EXPECT_EQ(channel_->Send(text), S_OK);
        if (!channel_->WaitForWrites(++replies_, kReplyTimeout)) {
            return {};
        }
        return channel_->Writes()[replies_ - 1];
    }

    std::unique_ptr<standin::ClientStandIn> client_;
    std::shared_ptr<standin::StandInChannel> channel_;
    std::wstring marker_;
    std::wstring temp_;
    std::vector<std::wstring> folders_;
    size_t replies_ = 0;
};

TEST_F(ExecUtf8, TextAfterTheMarkOpensAPathBeyondTheAnsiCodePage) {
    const std::wstring program = MarkerIn(L"Zobrik-\x041F\x0430\x043F\x043A\x0430-\x76EE\x5F55");
    ASSERT_EQ(Decoded(Encoded(program, CP_ACP), CP_ACP).find(L"\x76EE"), std::wstring::npos)
        << "the folder's name must not fit the ANSI code page";
    EXPECT_EQ(Exchange(kMark + Encoded(program, CP_UTF8)), kOkay);
    EXPECT_TRUE(WaitForMarkerRuns(marker_, 1, kReplyTimeout));
    // Without the mark the same bytes are ANSI text naming no such file.
    EXPECT_EQ(Exchange(Encoded(program, CP_UTF8)), kFailed);
    EXPECT_EQ(MarkerRuns(marker_), 1);
}

TEST_F(ExecUtf8, MarkBytesElsewhereLeaveTheTextInTheAnsiCodePage) {
    // A folder named as the ANSI code page reads the three mark bytes.
    const std::wstring program = MarkerIn(L"Zobrik-" + Decoded(kMark, CP_ACP));
    const std::string ansi = Encoded(program, CP_ACP);
    ASSERT_NE(ansi.find(kMark), std::string::npos);
    EXPECT_EQ(Exchange(ansi), kOkay);
    EXPECT_TRUE(WaitForMarkerRuns(marker_, 1, kReplyTimeout));
}

TEST_F(ExecUtf8, InvalidUtf8AfterTheMarkIsRefused) {
    DebugCapture::Clear();
    EXPECT_EQ(Exchange(kMark + "C:\\zobrik-\xC3(\xFF.txt"), kFailed);
    EXPECT_EQ(
        DebugCapture::Count("Zobrik WTS DVC plugin: exec refused: text after the UTF-8 mark is not valid UTF-8\n"), 1u);
}

TEST_F(ExecUtf8, RefusalsApplyToTheConvertedText) {
    DebugCapture::Clear();
    EXPECT_EQ(Exchange(kMark + "ms-msdt:/id PCWDiagnostic"), kFailed);
    EXPECT_EQ(DebugCapture::Count("Zobrik WTS DVC plugin: exec refused: scheme ms-msdt: is not allowed\n"), 1u);
}

}  // namespace
}  // namespace zobrik::testing
