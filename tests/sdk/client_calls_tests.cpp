#include <deque>

#include <gtest/gtest.h>

#include "zobrik/client_calls.h"

namespace zobrik::sdk {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

// Records what the calls do and answers from a list.
class RecordingTransport : public ChannelTransport {
public:
    void Open(const std::string& name) override {
        if (refuseOpen) throw ChannelError(ChannelErrorKind::NotAvailable, "no channel");
        opened.push_back(name);
        open = true;
    }
    void Write(const uint8_t* data, size_t size) override {
        if (!open) throw ChannelError(ChannelErrorKind::NotOpen, "not open");
        if (failWriteAt && writes.size() == *failWriteAt) throw ChannelError(ChannelErrorKind::WriteFailed, "broken");
        writes.emplace_back(data, data + size);
    }
    std::optional<Bytes> Read(std::chrono::milliseconds timeout) override {
        if (!open) throw ChannelError(ChannelErrorKind::NotOpen, "not open");
        waits.push_back(timeout);
        if (replies.empty()) return std::nullopt;
        Bytes reply = replies.front();
        replies.pop_front();
        return reply;
    }
    void Close() noexcept override {
        if (open) ++closes;
        open = false;
    }

    bool refuseOpen = false;
    std::optional<size_t> failWriteAt;
    std::deque<Bytes> replies;
    std::vector<std::string> opened;
    std::vector<Bytes> writes;
    std::vector<std::chrono::milliseconds> waits;
    bool open = false;
    int closes = 0;
};

ChannelErrorKind KindOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const ChannelError& e) {
        return e.Kind();
    }
    ADD_FAILURE() << "no ChannelError";
    return ChannelErrorKind::NotOpen;
}

TEST(ClientCalls, OpenOnClientWritesOneMessageAndDecodesTheReply) {
    RecordingTransport transport;
    transport.replies = {Bytes(kExecOkayReply, kExecOkayReply + 8), Bytes(kExecFailedReply, kExecFailedReply + 8)};
    const Bytes message = ExecMessage("C:\\a.txt", std::nullopt);
    EXPECT_EQ(OpenOnClient(transport, message).outcome, ExecOutcome::Okay);
    EXPECT_EQ(OpenOnClient(transport, message, 5s).outcome, ExecOutcome::Failed);
    EXPECT_EQ(transport.opened, (std::vector<std::string>{"Zobrik/exec", "Zobrik/exec"}));
    EXPECT_EQ(transport.writes, (std::vector<Bytes>{message, message}));
    EXPECT_EQ(transport.waits, (std::vector<std::chrono::milliseconds>{kDefaultExecTimeout, 5s}));
    EXPECT_EQ(transport.closes, 2);
}

TEST(ClientCalls, NoReplyIsATypedErrorThatNamesTheWaitAndClosesTheChannel) {
    RecordingTransport transport;
    try {
        OpenOnClient(transport, ExecMessage("x", std::nullopt), 1500ms);
        ADD_FAILURE() << "no error";
    } catch (const ChannelError& e) {
        EXPECT_EQ(e.Kind(), ChannelErrorKind::NoReply);
        EXPECT_STREQ(e.what(), "no reply from the plug-in within 1500 ms");
    }
    EXPECT_EQ(transport.closes, 1);
    EXPECT_EQ(DescribeWait(1s), "1 second");
    EXPECT_EQ(DescribeWait(60s), "60 seconds");
}

TEST(ClientCalls, SendMailWritesTheRequestInChunksWithProgress) {
    RecordingTransport transport;
    transport.replies = {Bytes{0}};
    MailMessage mail;
    mail.to.push_back(ParseRecipient("ann@example.com"));
    mail.body = std::string(100, 'b');
    const Bytes request = BuildMailRequest(mail);
    SendOptions options;
    options.chunkSize = 40;
    options.timeout = 7s;
    std::vector<std::pair<uint64_t, uint64_t>> progress;
    options.progress = [&](uint64_t sent, uint64_t total) { progress.emplace_back(sent, total); };

    EXPECT_TRUE(SendMail(transport, mail, options).HandedOver());
    EXPECT_EQ(transport.opened, (std::vector<std::string>{"Zobrik/mail"}));
    Bytes joined;
    for (const Bytes& write : transport.writes) {
        EXPECT_LE(write.size(), 40u);
        joined.insert(joined.end(), write.begin(), write.end());
    }
    EXPECT_EQ(joined, request);
    ASSERT_EQ(progress.size(), transport.writes.size());
    EXPECT_EQ(progress.back(), std::make_pair(uint64_t(request.size()), uint64_t(request.size())));
    EXPECT_EQ(transport.waits, (std::vector<std::chrono::milliseconds>{7s}));
    EXPECT_EQ(transport.closes, 1);
}

TEST(ClientCalls, ErrorRepliesAreReturnedAndFailuresThrown) {
    RecordingTransport transport;
    const std::string text = "Exception: char const *       too many records";
    Bytes reply(text.begin(), text.end());
    reply.push_back(0);
    transport.replies = {reply};
    MailMessage mail;
    mail.to.push_back(ParseRecipient("ann@example.com"));
    const MailReply answer = SendMail(transport, mail);
    EXPECT_EQ(answer.kind, MailReplyKind::ErrorText);
    EXPECT_EQ(answer.message, "too many records");
    EXPECT_EQ(transport.waits, (std::vector<std::chrono::milliseconds>{kWaitForever}));

    transport.failWriteAt = transport.writes.size();
    EXPECT_EQ(KindOf([&] { SendMail(transport, mail); }), ChannelErrorKind::WriteFailed);
    EXPECT_EQ(transport.closes, 2);  // closed after the failed write too
    transport.refuseOpen = true;
    EXPECT_EQ(KindOf([&] { SendMail(transport, mail); }), ChannelErrorKind::NotAvailable);

    MailMessage emptyAddress;
    emptyAddress.to.push_back(Recipient{"Ann", ""});
    EXPECT_THROW(SendMail(transport, emptyAddress), MailRequestError);
    SendOptions tiny;
    tiny.chunkSize = kMinMailChunkSize - 1;
    EXPECT_THROW(SendMailRequest(transport, BuildMailRequest(mail), tiny), std::invalid_argument);
    EXPECT_EQ(transport.writes.size(), 1u);  // only the first mail reached the channel
}

}  // namespace
}  // namespace zobrik::sdk
