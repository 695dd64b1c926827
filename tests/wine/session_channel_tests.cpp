// The session transport end to end: programs "in the session" (this one,
// zobrik-send.exe, zobrik_remote.dll) open channels through the stand-in
// wtsapi32.dll, whose pipe leads to the session host with the real plug-in
// and the recording Simple MAPI stand-in as the client's mail program. Run
// by zobrik_add_session_test, one session host per case.
#include <windows.h>

#include <wtsapi32.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "include/win/owners.h"
#include "mapi_standin_client.h"
#include "sdk/capi/zobrik_remote.h"
#include "send_test_support.h"
#include "session_pipe.h"
#include "zobrik/wts_channel.h"

namespace zobrik::session::testing {
namespace {

using send::testing::Bytes;
using send::testing::ChildResult;
using send::testing::ExecutableFolder;
using send::testing::Pattern;
using send::testing::RunChild;
using send::testing::TempFolder;
using send::testing::Utf8;
using standin::RecordedMapiCall;
using namespace std::chrono_literals;

std::wstring Environment(const wchar_t* name) {
    wchar_t value[1024];
    const DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

std::string ReadText(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> HostLines() {
    std::vector<std::string> lines;
    std::istringstream in(ReadText(Environment(L"ZOBRIK_SESSION_HOST_LOG")));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool HostSaid(const std::string& line) {
    const auto lines = HostLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The sizes of the messages the host handed to `channel`'s plug-in side.
std::vector<size_t> MessagesOn(const std::string& channel) {
    std::vector<size_t> sizes;
    const std::string prefix = "host: " + channel + ": message of ";
    for (const std::string& line : HostLines()) {
        if (line.rfind(prefix, 0) == 0) sizes.push_back(std::stoull(line.substr(prefix.size())));
    }
    return sizes;
}

std::vector<RecordedMapiCall> MapiCalls() {
    std::vector<RecordedMapiCall> calls;
    for (const std::string& record : send::testing::MapiLogRecords(Environment(L"ZOBRIK_MAPI_LOG"))) {
        std::optional<RecordedMapiCall> call = standin::ParseMapiRecord(record);
        EXPECT_TRUE(call) << record;
        if (call) calls.push_back(*call);
    }
    return calls;
}

// marker.exe, opened on the client, appends "ran" to ZOBRIK_MARKER_FILE.
bool MarkerRan() {
    for (int i = 0; i < 500; ++i) {
        if (ReadText(Environment(L"ZOBRIK_MARKER_FILE")).rfind("ran", 0) == 0) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

std::string MarkerProgram() { return Utf8(ExecutableFolder() + L"marker.exe"); }

sdk::ChannelErrorKind KindOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const sdk::ChannelError& e) {
        return e.Kind();
    }
    ADD_FAILURE() << "no channel error";
    return sdk::ChannelErrorKind::TooLarge;
}

// A channel opened with the wtsapi32 calls themselves, as the DVC sample
// does: the file handle is duplicated and the channel handle closed at once.
class RawChannel {
public:
    explicit RawChannel(std::string name) {
        HANDLE channel = WTSVirtualChannelOpenEx(WTS_CURRENT_SESSION, name.data(), 1 /* dynamic */);
        if (channel == nullptr) {
            openError_ = GetLastError();
            return;
        }
        void* buffer = nullptr;
        DWORD length = 0;
        if (WTSVirtualChannelQuery(channel, WTSVirtualFileHandle, &buffer, &length) && length == sizeof(HANDLE)) {
            DuplicateHandle(GetCurrentProcess(), *static_cast<HANDLE*>(buffer), GetCurrentProcess(), file_.Put(), 0,
                            FALSE, DUPLICATE_SAME_ACCESS);
        }
        WTSFreeMemory(buffer);
        WTSVirtualChannelClose(channel);
    }
    bool Open() const { return static_cast<bool>(file_); }
    DWORD OpenError() const { return openError_; }

    bool Write(const Bytes& message) {
        OVERLAPPED overlapped{};
        UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        overlapped.hEvent = event.Get();
        DWORD written = 0;
        if (!WriteFile(file_.Get(), message.data(), DWORD(message.size()), &written, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING)
            return false;
        return GetOverlappedResult(file_.Get(), &overlapped, &written, TRUE) && written == message.size();
    }
    // One read as the program gets it: header and piece; empty when none
    // comes within 20 seconds.
    Bytes ReadPiece() {
        Bytes buffer(64 * 1024);
        OVERLAPPED overlapped{};
        UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        overlapped.hEvent = event.Get();
        DWORD got = 0;
        if (!ReadFile(file_.Get(), buffer.data(), DWORD(buffer.size()), &got, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING)
            return {};
        if (WaitForSingleObject(event.Get(), 20000) != WAIT_OBJECT_0) {
            CancelIo(file_.Get());
            GetOverlappedResult(file_.Get(), &overlapped, &got, TRUE);
            return {};
        }
        if (!GetOverlappedResult(file_.Get(), &overlapped, &got, FALSE)) return {};
        buffer.resize(got);
        return buffer;
    }

private:
    UniqueHandle file_;
    DWORD openError_ = 0;
};

uint32_t U32(const Bytes& bytes, size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

// ---- the transport itself, against the host's echo channel -----------------

TEST(SessionTransport, RepliesComeInPiecesOfAtMost1600BytesMarkedFirstAndLast) {
    struct Case {
        size_t size;
        size_t pieces;
    };
    for (const Case& c : {Case{0, 1}, Case{1, 1}, Case{1600, 1}, Case{1601, 2}, Case{3200, 2}, Case{5000, 4}}) {
        SCOPED_TRACE(c.size);
        RawChannel channel{std::string(kEchoChannel)};
        ASSERT_TRUE(channel.Open()) << channel.OpenError();
        const Bytes message = Pattern(c.size, 7);
        ASSERT_TRUE(channel.Write(message));
        Bytes joined;
        for (size_t i = 0; i < c.pieces; ++i) {
            const Bytes piece = channel.ReadPiece();
            ASSERT_GE(piece.size(), kPieceHeaderSize) << "piece " << i;
            EXPECT_LE(piece.size() - kPieceHeaderSize, kChannelChunkLength);
            EXPECT_EQ(U32(piece, 0), c.size) << "the header carries the whole message's length";
            const uint32_t flags = U32(piece, 4);
            EXPECT_EQ((flags & kFlagFirst) != 0, i == 0) << "piece " << i;
            EXPECT_EQ((flags & kFlagLast) != 0, i + 1 == c.pieces) << "piece " << i;
            joined.insert(joined.end(), piece.begin() + kPieceHeaderSize, piece.end());
        }
        EXPECT_EQ(joined, message);
    }
}

TEST(SessionTransport, WtsChannelJoinsLongRepliesAndKeepsMessagesApart) {
    sdk::WtsChannel channel;
    channel.Open(std::string(kEchoChannel));
    const std::vector<Bytes> messages = {Pattern(100000, 1), Pattern(3, 2), Pattern(1601, 3)};
    for (const Bytes& message : messages) channel.Write(message.data(), message.size());
    for (const Bytes& message : messages) {
        const std::optional<Bytes> reply = channel.Read(30s);
        ASSERT_TRUE(reply);
        EXPECT_EQ(*reply, message);
    }
    EXPECT_EQ(MessagesOn(std::string(kEchoChannel)), (std::vector<size_t>{100000, 3, 1601}))
        << "each write is one message";
}

TEST(SessionTransport, AReadThatTimesOutLeavesTheChannelUsable) {
    sdk::WtsChannel channel;
    channel.Open(std::string(kEchoChannel));
    EXPECT_EQ(channel.Read(200ms), std::nullopt) << "nothing was sent, so nothing comes";
    const Bytes message = Pattern(3000, 4);
    channel.Write(message.data(), message.size());
    EXPECT_EQ(channel.Read(30s), std::optional<Bytes>(message)) << "the cancelled read took no piece";
}

TEST(SessionTransport, SeveralChannelsAtOnceKeepTheirOwnMessages) {
    constexpr int kChannels = 8;
    std::vector<std::optional<Bytes>> replies(kChannels);
    std::vector<std::thread> threads;
    for (int i = 0; i < kChannels; ++i) {
        threads.emplace_back([&replies, i] {
            try {
                sdk::WtsChannel channel;
                channel.Open(std::string(kEchoChannel));
                const Bytes message = Pattern(2000 + i, uint8_t(i));
                channel.Write(message.data(), message.size());
                replies[i] = channel.Read(30s);
            } catch (const sdk::ChannelError&) {
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int i = 0; i < kChannels; ++i) EXPECT_EQ(replies[i], std::optional<Bytes>(Pattern(2000 + i, uint8_t(i)))) << i;
}

TEST(SessionTransport, ChannelsThatCannotOpenAreNotAvailable) {
    const std::wstring pipe = Environment(kPipeVariable);
    struct Case {
        const char* what;
        std::wstring pipe;  // empty: the variable removed
        std::string channel;
    };
    for (const Case& c : {Case{"outside a session", L"", "Zobrik/exec"},
                          Case{"no host on the pipe", L"\\\\.\\pipe\\zobrik-session-nobody", "Zobrik/exec"},
                          Case{"no listener for the name", pipe, "Zobrik/none"}}) {
        SCOPED_TRACE(c.what);
        SetEnvironmentVariableW(kPipeVariable, c.pipe.empty() ? nullptr : c.pipe.c_str());
        sdk::WtsChannel channel;
        EXPECT_EQ(KindOf([&] { channel.Open(c.channel); }), sdk::ChannelErrorKind::NotAvailable);
    }
    SetEnvironmentVariableW(kPipeVariable, pipe.c_str());
    EXPECT_TRUE(HostSaid("host: channel Zobrik/none refused"));
}

// ---- the real plug-in ---------------------------------------------------------

TEST(SessionPlugin, ExecOpensAProgramOnTheClient) {
    const sdk::ExecReply reply = sdk::OpenOnClient(MarkerProgram());
    EXPECT_EQ(reply.outcome, sdk::ExecOutcome::Okay) << reply.problem;
    EXPECT_TRUE(MarkerRan());
    EXPECT_TRUE(HostSaid("host: Zobrik/exec: text " + MarkerProgram())) << "the client got the text as sent";
}

TEST(SessionPlugin, MailsArriveExactlyAtTheClientsMailProgram) {
    struct Case {
        const char* what;
        size_t attachmentSize;
    };
    TempFolder files;
    size_t mails = 0;
    for (const Case& c : {Case{"small", 40000}, Case{"several MiB", 6 * 1024 * 1024 + 123}}) {
        SCOPED_TRACE(c.what);
        sdk::MailMessage mail;
        mail.subject = "Zahlen \xe2\x82\xac";
        mail.body = "Line 1\r\nLine 2";
        mail.from.push_back(sdk::ParseRecipient("me@example.com"));
        mail.to.push_back(sdk::ParseRecipient("Ann Lee <ann@example.com>"));
        mail.bcc.push_back(sdk::ParseRecipient("di@example.com"));
        const Bytes content = Pattern(c.attachmentSize, 5);
        mail.attachments.push_back(sdk::LoadAttachment(files.Write(L"Bericht.pdf", content)));
        const Bytes request = sdk::BuildMailRequest(std::move(mail));
        const size_t before = MessagesOn("Zobrik/mail").size();

        sdk::WtsChannel channel;
        const sdk::MailReply reply = sdk::SendMailRequest(channel, request);
        ASSERT_TRUE(reply.HandedOver()) << reply.text;

        const std::vector<size_t> sizes = MessagesOn("Zobrik/mail");
        const size_t chunks = (request.size() + sdk::kDefaultMailChunkSize - 1) / sdk::kDefaultMailChunkSize;
        ASSERT_EQ(sizes.size() - before, chunks) << "every write arrives as one message";
        for (size_t i = before; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], sdk::kDefaultMailChunkSize);

        const std::vector<RecordedMapiCall> calls = MapiCalls();
        ASSERT_EQ(calls.size(), ++mails);
        const RecordedMapiCall& call = calls.back();
        EXPECT_EQ(call.subject, std::optional<std::wstring>(L"Zahlen \u20ac"));
        EXPECT_EQ(call.noteText, std::optional<std::wstring>(L"Line 1\r\nLine 2"));
        ASSERT_TRUE(call.originator);
        EXPECT_EQ(call.originator->address, std::optional<std::wstring>(L"SMTP:me@example.com"));
        ASSERT_EQ(call.recips.size(), 2u);
        EXPECT_EQ(call.recips[0].recipClass, 1u);
        EXPECT_EQ(call.recips[0].address, std::optional<std::wstring>(L"SMTP:ann@example.com"));
        EXPECT_EQ(call.recips[1].recipClass, 3u);
        EXPECT_EQ(call.recips[1].address, std::optional<std::wstring>(L"SMTP:di@example.com"));
        ASSERT_EQ(call.files.size(), 1u);
        EXPECT_EQ(call.files[0].fileName, std::optional<std::wstring>(L"Bericht.pdf"));
        EXPECT_EQ(call.files[0].content, content);
    }
}

TEST(SessionPlugin, ARefusedMailBringsThePluginsText) {
    sdk::MailMessage mail;
    mail.to.push_back(sdk::ParseRecipient("ann@example.com"));
    Bytes request = sdk::BuildMailRequest(std::move(mail));
    request[0] = 1;  // a header version the plug-in does not know
    sdk::WtsChannel channel;
    const sdk::MailReply reply = sdk::SendMailRequest(channel, request);
    EXPECT_EQ(reply.kind, sdk::MailReplyKind::ErrorText);
    EXPECT_EQ(reply.message, "Invalid header version");
    EXPECT_TRUE(MapiCalls().empty());
    // The plug-in's debugger line, written before its reply, is in the host's output.
    EXPECT_TRUE(HostSaid("debug: " + reply.text));
}

TEST(SessionPlugin, TheHostGoingAwayDuringTheWaitIsAReadFailure) {
    sdk::MailMessage mail;
    mail.to.push_back(sdk::ParseRecipient("ann@example.com"));
    const Bytes request = sdk::BuildMailRequest(std::move(mail));
    sdk::WtsChannel channel;
    channel.Open("Zobrik/mail");
    channel.Write(request.data(), 16);  // the plug-in waits for the rest
    std::thread client([] {
        for (int i = 0; i < 1500 && !HostSaid("host: Zobrik/mail: message of 16 bytes"); ++i)
            std::this_thread::sleep_for(20ms);
        RawChannel exit{std::string(kExitChannel)};  // ends the host
    });
    // Bounded, so that a wait that does not end fails here (as NoReply).
    const sdk::ChannelErrorKind kind = KindOf([&] {
        if (!channel.Read(60s)) throw sdk::ChannelError(sdk::ChannelErrorKind::NoReply, "no reply");
    });
    client.join();
    EXPECT_EQ(kind, sdk::ChannelErrorKind::ReadFailed);
}

// ---- the remote side's programs ----------------------------------------------

TEST(SessionTools, ZobrikSendOpensAndMailsThroughTheSession) {
    TempFolder files;
    const Bytes content = Pattern(70000, 9);
    const std::wstring attachment = files.Write(L"data.csv", content);
    struct Case {
        std::vector<std::wstring> args;
        std::string out;
    };
    for (const Case& c : {Case{{L"open", ExecutableFolder() + L"marker.exe"}, "opened\n"},
                          Case{{L"mail", L"--to", L"ann@example.com", L"--subject", L"Hi", L"--attach", attachment},
                               "handed over to the mail program\n"}}) {
        SCOPED_TRACE(Utf8(c.args[0]));
        const ChildResult r = RunChild(ExecutableFolder() + L"zobrik-send.exe", c.args, {}, 120s);
        EXPECT_EQ(r.exitCode, 0u) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
    EXPECT_TRUE(MarkerRan());
    const std::vector<RecordedMapiCall> calls = MapiCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].subject, std::optional<std::wstring>(L"Hi"));
    ASSERT_EQ(calls[0].files.size(), 1u);
    EXPECT_EQ(calls[0].files[0].content, content);
}

TEST(SessionTools, TheCInterfaceOpensAndMailsThroughTheSession) {
    EXPECT_EQ(zobrik_open(MarkerProgram().c_str(), 60000), ZOBRIK_OK) << zobrik_last_error();
    EXPECT_TRUE(MarkerRan());

    zobrik_mail* mail = nullptr;
    ASSERT_EQ(zobrik_mail_create(&mail), ZOBRIK_OK);
    const Bytes content = Pattern(5000, 3);
    EXPECT_EQ(zobrik_mail_add_recipient(mail, ZOBRIK_TO, "ann@example.com"), ZOBRIK_OK);
    EXPECT_EQ(zobrik_mail_set_subject(mail, "From C"), ZOBRIK_OK);
    EXPECT_EQ(zobrik_mail_attach_data(mail, "c.bin", content.data(), content.size()), ZOBRIK_OK);
    zobrik_reply* reply = nullptr;
    EXPECT_EQ(zobrik_mail_send(mail, ZOBRIK_WAIT_FOREVER, &reply), ZOBRIK_OK) << zobrik_last_error();
    EXPECT_EQ(zobrik_reply_handed_over(reply), 1);
    zobrik_reply_free(reply);
    zobrik_mail_free(mail);
    const std::vector<RecordedMapiCall> calls = MapiCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].subject, std::optional<std::wstring>(L"From C"));
    ASSERT_EQ(calls[0].files.size(), 1u);
    EXPECT_EQ(calls[0].files[0].content, content);
}

// ---- a host whose plug-in has the mail channel switched off by policy ---------

TEST(SessionPolicy, TheMailChannelSwitchedOffIsNotAvailableEverywhere) {
    sdk::MailMessage mail;
    mail.to.push_back(sdk::ParseRecipient("ann@example.com"));
    EXPECT_EQ(KindOf([&] { sdk::SendMail(std::move(mail)); }), sdk::ChannelErrorKind::NotAvailable);

    const ChildResult r = RunChild(ExecutableFolder() + L"zobrik-send.exe", {L"mail", L"--to", L"ann@example.com"}, {});
    EXPECT_EQ(r.exitCode, 3u) << r.err;

    zobrik_mail* cmail = nullptr;
    ASSERT_EQ(zobrik_mail_create(&cmail), ZOBRIK_OK);
    EXPECT_EQ(zobrik_mail_add_recipient(cmail, ZOBRIK_TO, "ann@example.com"), ZOBRIK_OK);
    EXPECT_EQ(zobrik_mail_send(cmail, ZOBRIK_WAIT_FOREVER, nullptr), ZOBRIK_CHANNEL_NOT_AVAILABLE);
    zobrik_mail_free(cmail);

    EXPECT_TRUE(HostSaid("host: channel Zobrik/mail refused"));
    EXPECT_TRUE(MapiCalls().empty());
    // The exec channel is still offered.
    EXPECT_EQ(sdk::OpenOnClient(MarkerProgram()).outcome, sdk::ExecOutcome::Okay);
}

}  // namespace
}  // namespace zobrik::session::testing
