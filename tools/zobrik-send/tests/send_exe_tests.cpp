// zobrik-send.exe and zobrik-send-test.exe run as child processes, end to end:
// the test build against the real plug-in DLL in its client stand-in (with
// the recording Simple MAPI stand-in logging to a file), the shipped build
// against Wine's wtsapi32, which has no channels.
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "mapi_standin_client.h"
#include "send_test_support.h"

namespace zobrik::send::testing {
namespace {

using standin::RecordedMapiCall;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class SendExe : public ::testing::Test {
protected:
    // zobrik-send-test.exe with the stand-in transport chosen by the
    // environment, its own temp folder and a MAPI log of this test.
    ChildResult RunTestBuild(const std::vector<std::wstring>& args, std::map<std::wstring, std::wstring> env = {}) {
        env.emplace(L"ZOBRIK_SEND_TRANSPORT", L"standin");
        env.emplace(L"TMP", temp_.Path());
        env.emplace(L"TEMP", temp_.Path());
        env.emplace(L"ZOBRIK_MAPI_LOG", MapiLog());
        return RunChild(ExecutableFolder() + L"zobrik-send-test.exe", args, env);
    }
    ChildResult RunShipped(const std::vector<std::wstring>& args, std::map<std::wstring, std::wstring> env = {}) {
        env.emplace(L"ZOBRIK_MAPI_LOG", MapiLog());
        return RunChild(ExecutableFolder() + L"zobrik-send.exe", args, env);
    }

    std::wstring MapiLog() const { return files_.File(L"mapi.log"); }
    std::vector<RecordedMapiCall> MapiCalls() const {
        std::vector<RecordedMapiCall> calls;
        for (const std::string& record : MapiLogRecords(MapiLog())) {
            std::optional<RecordedMapiCall> call = standin::ParseMapiRecord(record);
            EXPECT_TRUE(call) << record;
            if (call) calls.push_back(*call);
        }
        return calls;
    }

    TempFolder files_;
    TempFolder temp_;
};

TEST_F(SendExe, HelpOfBothBuilds) {
    for (const std::wstring exe : {L"zobrik-send.exe", L"zobrik-send-test.exe"}) {
        const ChildResult r = RunChild(ExecutableFolder() + exe, {L"--help"}, {});
        EXPECT_EQ(r.exitCode, 0u) << Utf8(exe) << r.err;
        EXPECT_TRUE(Contains(r.out, "usage:\r\n") || Contains(r.out, "usage:\n")) << r.out;
        EXPECT_TRUE(Contains(r.out, "zobrik-send mail --to ADDR [options]")) << r.out;
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(SendExe, NoArgumentsIsAUsageError) {
    const ChildResult r = RunShipped({});
    EXPECT_EQ(r.exitCode, 2u);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "zobrik-send: no command given\nTry 'zobrik-send --help'.\n");
}

TEST_F(SendExe, OpenOfAProgramSucceeds) {
    const std::wstring marker = files_.File(L"marker.txt");
    const ChildResult r =
        RunTestBuild({L"open", ExecutableFolder() + L"marker.exe"}, {{L"ZOBRIK_MARKER_FILE", marker}});
    EXPECT_EQ(r.exitCode, 0u) << r.err;
    EXPECT_EQ(r.out, "opened\n");
    EXPECT_EQ(r.err, "");
    std::string line;
    for (int i = 0; i < 500 && line.empty(); ++i) {
        std::ifstream in(marker.c_str());
        std::getline(in, line);
        if (line.empty()) std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(line, "ran") << "the program did not run";
}

TEST_F(SendExe, OpenOfAMissingPathIsExitOne) {
    const ChildResult r = RunTestBuild({L"open", files_.File(L"no such program.exe")});
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "zobrik-send: the client's shell could not open it\n");
}

TEST_F(SendExe, MailWithTwoAttachmentsIsHandedOver) {
    const Bytes first = Pattern(40000, 1);
    const Bytes second = Pattern(9, 2);
    // A file name outside ASCII comes through the UTF-16 command line.
    const std::wstring a = files_.Write(L"Bericht \u00fc.pdf", first);
    const std::wstring b = files_.Write(L"data.csv", second);
    const ChildResult r =
        RunTestBuild({L"mail", L"--to", L"Ann Lee <ann@example.com>", L"--cc", L"cy@example.com", L"--bcc",
                      L"di@example.com", L"--from", L"me@example.com", L"--subject", L"Zahlen \u20ac", L"--body",
                      L"Line 1\nLine 2", L"--attach", a, L"--attach", b});
    EXPECT_EQ(r.exitCode, 0u) << r.err;
    EXPECT_EQ(r.out, "handed over to the mail program\n");
    EXPECT_EQ(r.err, "");

    const std::vector<RecordedMapiCall> calls = MapiCalls();
    ASSERT_EQ(calls.size(), 1u);
    const RecordedMapiCall& call = calls[0];
    EXPECT_EQ(call.subject, std::optional<std::wstring>(L"Zahlen \u20ac"));
    EXPECT_EQ(call.noteText, std::optional<std::wstring>(L"Line 1\nLine 2"));
    ASSERT_TRUE(call.originator);
    EXPECT_EQ(call.originator->address, std::optional<std::wstring>(L"SMTP:me@example.com"));
    ASSERT_EQ(call.recips.size(), 3u);
    EXPECT_EQ(call.recips[0].recipClass, 1u);
    EXPECT_EQ(call.recips[0].address, std::optional<std::wstring>(L"SMTP:ann@example.com"));
    EXPECT_EQ(call.recips[1].recipClass, 2u);
    EXPECT_EQ(call.recips[1].address, std::optional<std::wstring>(L"SMTP:cy@example.com"));
    EXPECT_EQ(call.recips[2].recipClass, 3u);
    EXPECT_EQ(call.recips[2].address, std::optional<std::wstring>(L"SMTP:di@example.com"));
    ASSERT_EQ(call.files.size(), 2u);
    EXPECT_EQ(call.files[0].fileName, std::optional<std::wstring>(L"Bericht \u00fc.pdf"));
    EXPECT_EQ(call.files[0].content, first);
    EXPECT_EQ(call.files[1].fileName, std::optional<std::wstring>(L"data.csv"));
    EXPECT_EQ(call.files[1].content, second);
}

TEST_F(SendExe, MissingAttachmentIsExitTwoAndSendsNothing) {
    const std::wstring present = files_.Write(L"present.txt", {1, 2});
    const std::wstring missing = files_.File(L"missing.pdf");
    const ChildResult r =
        RunTestBuild({L"mail", L"--to", L"ann@example.com", L"--attach", present, L"--attach", missing});
    EXPECT_EQ(r.exitCode, 2u);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "zobrik-send: cannot attach \"" + Utf8(missing) + "\": no such file\n");
    EXPECT_TRUE(MapiLogRecords(MapiLog()).empty());
}

TEST_F(SendExe, BadAddressIsExitTwo) {
    const ChildResult r = RunTestBuild({L"mail", L"--to", L"ann(at)example.com", L"--subject", L"x"});
    EXPECT_EQ(r.exitCode, 2u);
    EXPECT_EQ(r.err,
              "zobrik-send: --to: bad recipient \"ann(at)example.com\": the address is not usable: it contains the "
              "character '('\n");
    EXPECT_TRUE(MapiLogRecords(MapiLog()).empty());
}

TEST_F(SendExe, MailWithoutRecipientIsRefusedByTheTool) {
    const ChildResult r = RunTestBuild({L"mail", L"--from", L"me@example.com", L"--subject", L"x"});
    EXPECT_EQ(r.exitCode, 2u);
    EXPECT_EQ(r.err, "zobrik-send: the mail needs a recipient: give --to, --cc or --bcc\nTry 'zobrik-send --help'.\n");
    EXPECT_TRUE(MapiLogRecords(MapiLog()).empty());
}

TEST_F(SendExe, ErrorReplyOfThePluginIsExitOne) {
    // The plug-in refuses a temporary folder path longer than 260 characters.
    const std::wstring longTemp = temp_.Path() + std::wstring(280, L'y') + L"\\";
    const ChildResult r =
        RunTestBuild({L"mail", L"--to", L"ann@example.com"}, {{L"TMP", longTemp}, {L"TEMP", longTemp}});
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "zobrik-send: the plug-in reported an error: temp path too long\n");
    EXPECT_TRUE(MapiLogRecords(MapiLog()).empty());
}

TEST_F(SendExe, ShippedBuildHasNoStandInTransport) {
    const ChildResult r = RunShipped({L"open", L"C:\\x.txt"}, {{L"ZOBRIK_SEND_TRANSPORT", L"standin"}});
    EXPECT_EQ(r.exitCode, 2u);
    EXPECT_EQ(r.err, "zobrik-send: this build of zobrik-send has no \"standin\" transport\n");
}

// Wine's wtsapi32 opens no channel, as outside a Remote Desktop session.
TEST_F(SendExe, ShippedBuildOutsideASessionIsExitThree) {
    for (const auto& args :
         std::vector<std::vector<std::wstring>>{{L"open", L"C:\\x.txt"}, {L"mail", L"--to", L"ann@example.com"}}) {
        const ChildResult r = RunShipped(args, {{L"ZOBRIK_SEND_TRANSPORT", L""}});
        EXPECT_EQ(r.exitCode, 3u) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(Contains(r.err, "is not available: this must run in a Remote Desktop session")) << r.err;
    }
}

}  // namespace
}  // namespace zobrik::send::testing
