// zobrik-send's command logic in-process against the real plug-in DLL, run in
// the client stand-in (the transport of zobrik-send-test.exe), with the
// recording Simple MAPI stand-in as the mail program.
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "mapi_standin_client.h"
#include "send_test_support.h"
#include "standin_channel.h"
#include "zobrik/zobrik.h"

namespace zobrik::send::testing {
namespace {

using standin::RecordedMapiCall;
using standin::RecordedRecipient;

TransportFactory StandIn() {
    return [](const std::string& name) -> std::unique_ptr<sdk::ChannelTransport> {
        return name == "standin" ? standin::MakeStandInChannel() : nullptr;
    };
}

std::wstring Environment(const wchar_t* name) {
    wchar_t value[1024];
    const DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return (n > 0 && n < 1024) ? std::wstring(value, n) : std::wstring();
}

// Sets an environment variable for the life of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* name, const std::wstring& value) : name_(name), old_(Environment(name)) {
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedEnvironment() { SetEnvironmentVariableW(name_, old_.empty() ? nullptr : old_.c_str()); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const wchar_t* name_;
    std::wstring old_;
};

int Lines(const std::wstring& path) {
    std::ifstream in(path.c_str());
    int lines = 0;
    std::string line;
    while (std::getline(in, line)) ++lines;
    return lines;
}

bool WaitForLines(const std::wstring& path, int count) {
    for (int i = 0; i < 1000 && Lines(path) < count; ++i) std::this_thread::sleep_for(20ms);
    return Lines(path) >= count;
}

RecordedRecipient Recipient(uint32_t recipClass, const std::wstring& address) {
    RecordedRecipient r;
    r.recipClass = recipClass;
    r.name = address;
    r.address = L"SMTP:" + address;
    return r;
}

class SendStandIn : public ::testing::Test {
protected:
    void SetUp() override {
        // Each test's staging directory lies in a temp folder of its own.
        tmp_ = std::make_unique<ScopedEnvironment>(L"TMP", temp_.Path());
        temp2_ = std::make_unique<ScopedEnvironment>(L"TEMP", temp_.Path());
    }
    void TearDown() override {
        if (auto mapi = standin::MapiStandIn::Find(); mapi.Valid()) mapi.Reset();
    }

    CommandResult Run(std::vector<std::string> args) { return RunCommand(args, StandIn(), "standin"); }

    standin::MapiStandIn Mapi() {
        standin::MapiStandIn mapi = standin::MapiStandIn::Find();
        EXPECT_TRUE(mapi.Valid()) << "the recording MAPI32 stand-in is not loaded";
        return mapi;
    }

    TempFolder files_;  // attachments
    TempFolder temp_;   // the plug-in's temp folder
    std::unique_ptr<ScopedEnvironment> tmp_;
    std::unique_ptr<ScopedEnvironment> temp2_;
};

TEST_F(SendStandIn, OpenStartsTheProgramOnTheClient) {
    const std::wstring marker = files_.File(L"marker.txt");
    ScopedEnvironment markerFile(L"ZOBRIK_MARKER_FILE", marker);
    const CommandResult r = Run({"open", Utf8(ExecutableFolder() + L"marker.exe")});
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, "opened\n");
    EXPECT_TRUE(WaitForLines(marker, 1)) << "the program did not run";
}

TEST_F(SendStandIn, OpenOfAMissingPathFails) {
    const CommandResult r = Run({"open", Utf8(files_.File(L"no-such-program.exe"))});
    EXPECT_EQ(r.code, kExitPluginFailed);
    EXPECT_EQ(r.err, "zobrik-send: the client's shell could not open it\n");
}

TEST_F(SendStandIn, MailWithTwoAttachmentsReachesTheMailProgram) {
    const std::wstring a = files_.Write(L"summary.pdf", Pattern(5000, 1));
    const std::wstring b = files_.Write(L"data.csv", Pattern(70, 2));
    const CommandResult r = Run({"mail", "--to", "Ann <ann@example.com>", "--to", "bob@example.com", "--cc",
                                 "cy@example.com", "--bcc", "di@example.com", "--from", "me@example.com", "--subject",
                                 "Report \xc3\xa4", "--body", "Dear all", "--attach", Utf8(a), "--attach", Utf8(b)});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, "handed over to the mail program\n");

    standin::MapiStandIn mapi = Mapi();
    ASSERT_EQ(mapi.CallCount(), 1u);
    const RecordedMapiCall call = *mapi.Call(0);
    EXPECT_EQ(call.flags, 8u) << "a modal compose dialog";
    EXPECT_EQ(call.subject, std::optional<std::wstring>(L"Report \u00e4"));
    EXPECT_EQ(call.noteText, std::optional<std::wstring>(L"Dear all"));
    ASSERT_TRUE(call.originator);
    EXPECT_EQ(*call.originator, Recipient(0, L"me@example.com"));
    EXPECT_EQ(call.recips,
              (std::vector<RecordedRecipient>{Recipient(1, L"ann@example.com"), Recipient(1, L"bob@example.com"),
                                              Recipient(2, L"cy@example.com"), Recipient(3, L"di@example.com")}));
    ASSERT_EQ(call.files.size(), 2u);
    EXPECT_EQ(call.files[0].fileName, std::optional<std::wstring>(L"summary.pdf"));
    EXPECT_EQ(call.files[0].content, Pattern(5000, 1));
    EXPECT_EQ(call.files[1].fileName, std::optional<std::wstring>(L"data.csv"));
    EXPECT_EQ(call.files[1].content, Pattern(70, 2));
}

TEST_F(SendStandIn, SendNowAndOutlookReachTheMailProgramAsOptions) {
    ASSERT_EQ(Run({"mail", "--to", "a@example.com", "--send-now"}).code, kExitOk);
    // Outlook is not installed: the plug-in falls back to Simple MAPI.
    ASSERT_EQ(Run({"mail", "--to", "a@example.com", "--outlook"}).code, kExitOk);
    standin::MapiStandIn mapi = Mapi();
    ASSERT_EQ(mapi.CallCount(), 2u);
    EXPECT_EQ(mapi.Call(0)->flags, 12u) << "modeless dialog";
    EXPECT_EQ(mapi.Call(1)->flags, 9u) << "Outlook fall-back with log-on";
}

TEST_F(SendStandIn, LargeMailInManyChunksArrivesWhole) {
    const Bytes big = Pattern(3 * 1024 * 1024 + 17, 7);
    const std::wstring file = files_.Write(L"big.bin", big);
    const std::wstring empty = files_.Write(L"empty.txt", {});
    const CommandResult r = Run({"mail", "--to", "a@example.com", "--attach", Utf8(file), "--attach", Utf8(empty)});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_NE(r.err.find("100%"), std::string::npos) << r.err;
    const RecordedMapiCall call = *Mapi().Call(0);
    ASSERT_EQ(call.files.size(), 2u);
    EXPECT_EQ(call.files[0].content, big);
    EXPECT_EQ(call.files[1].contentSize, 0u) << "an empty attachment stored last is accepted";
}

TEST_F(SendStandIn, ErrorTextOfThePluginIsReported) {
    // A temporary folder path longer than 260 characters makes staging fail.
    const std::wstring longTemp = temp_.Path() + std::wstring(280, L'x') + L"\\";
    ScopedEnvironment tmp(L"TMP", longTemp);
    ScopedEnvironment temp(L"TEMP", longTemp);
    const CommandResult r = Run({"mail", "--to", "a@example.com"});
    EXPECT_EQ(r.code, kExitPluginFailed);
    EXPECT_EQ(r.err, "zobrik-send: the plug-in reported an error: temp path too long\n");
    EXPECT_EQ(Mapi().CallCount(), 0u);
}

// The SDK's own pieces against the real DLL: a request without recipient,
// which zobrik-send refuses to send, reaches the compose window without a
// recipient list.
TEST_F(SendStandIn, RequestWithoutRecipientReachesTheComposeWindow) {
    std::unique_ptr<sdk::ChannelTransport> transport = standin::MakeStandInChannel();
    const Bytes request = sdk::MailRequestWriter().AddRecipient(sdk::RecipientGroup::From, "", "me@x").Build();
    sdk::SendOptions options;
    options.chunkSize = sdk::kMinMailChunkSize;
    options.timeout = 20s;
    std::vector<uint64_t> progress;
    options.progress = [&](uint64_t sent, uint64_t) { progress.push_back(sent); };
    const sdk::MailReply parsed = sdk::SendMailRequest(*transport, request, options);
    EXPECT_EQ(parsed.kind, sdk::MailReplyKind::Status) << parsed.text;
    EXPECT_EQ(parsed.status, 0u);
    standin::MapiStandIn mapi = Mapi();
    ASSERT_EQ(mapi.CallCount(), 1u);
    EXPECT_TRUE(mapi.Call(0)->recips.empty());
    EXPECT_EQ(progress.size(), (request.size() + 15) / 16);
    EXPECT_EQ(progress.back(), request.size());
}

TEST_F(SendStandIn, OpenOnClientReturnsTheShellsFailure) {
    std::unique_ptr<sdk::ChannelTransport> transport = standin::MakeStandInChannel();
    const sdk::ExecReply reply =
        sdk::OpenOnClient(*transport, sdk::ExecMessage("C:\\no such folder\\none.txt", std::nullopt), 20s);
    EXPECT_EQ(reply.outcome, sdk::ExecOutcome::Failed);
}

TEST_F(SendStandIn, MalformedRequestIsAnsweredWithTheDecodersMessage) {
    std::unique_ptr<sdk::ChannelTransport> transport = standin::MakeStandInChannel();
    transport->Open(sdk::kMailChannelName);
    sdk::MailRequestWriter writer;
    writer.AddRecipient(sdk::RecipientGroup::To, "", "a@x").MutableOverrides().version = 1;
    const Bytes request = writer.Build();
    transport->Write(request.data(), request.size());
    const std::optional<Bytes> reply = transport->Read(20s);
    transport->Close();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->size(), 53u);
    const sdk::MailReply parsed = sdk::ParseMailReply(*reply);
    EXPECT_EQ(parsed.errorType, "char const *");
    EXPECT_EQ(parsed.message, "Invalid header version");
}

TEST_F(SendStandIn, UnknownChannelIsATransportFailure) {
    std::unique_ptr<sdk::ChannelTransport> transport = standin::MakeStandInChannel();
    try {
        transport->Open("Zobrik/none");
        ADD_FAILURE() << "a channel without listener was opened";
    } catch (const sdk::ChannelError& e) {
        EXPECT_EQ(e.Kind(), sdk::ChannelErrorKind::NotAvailable);
    }
}

}  // namespace
}  // namespace zobrik::send::testing
