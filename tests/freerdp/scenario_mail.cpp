// Scenarios "mail", "malformed", "close" and "client_close": mail requests on
// "Zobrik/mail", what xdg-email receives, the add-in's error replies, and a
// channel closed in the middle of a request by the server or by the client.
#include <string>

#include "scenarios.h"

namespace zobrik_e2e {
namespace fs = std::filesystem;
namespace sdk = zobrik::sdk;
namespace {

using sdk::MailRequestWriter;
using sdk::RecipientGroup;

// A well-formed request with one "to" recipient and one small attachment.
MailRequestWriter SmallRequest() {
    MailRequestWriter writer;
    writer.Subject("Malformed").Body("Body").AddRecipient(RecipientGroup::To, "Bob", "bob@example.com");
    writer.AddAttachment("a.txt", PatternedBytes(100, 7));
    return writer;
}

void CheckHeaderRefusals(E2eContext& context) {
    MailRequestWriter version = SmallRequest();
    version.MutableOverrides().version = 1;
    context.CheckMailRefused("version 1", version.Build(), MailErrorReply("Invalid header version"));

    MailRequestWriter flags = SmallRequest();
    flags.Flags(8);
    context.CheckMailRefused("flags 8", flags.Build(), MailErrorReply("Invalid header version"));

    MailRequestWriter offset = SmallRequest();
    offset.MutableOverrides().dataOffset = offset.Build().size() + 100;
    context.CheckMailRefused("dataOffset beyond the request", offset.Build(), MailErrorReply("Invalid file offset!"));
}

void CheckSizeMismatches(E2eContext& context) {
    // A request that announces and carries 40 bytes: shorter than the header.
    Bytes shortRequest = SmallRequest().Build();
    shortRequest.resize(40);
    sdk::PutUint64LE(shortRequest.data() + sdk::header_field::kTotalSize, 40);
    context.CheckMailRefused("totalSize 40", shortRequest, MailErrorReply("missing some data"));

    // More bytes than announced: the request can never complete and is dropped.
    MailRequestWriter overshoot = SmallRequest();
    overshoot.MutableOverrides().totalSize = overshoot.Build().size() - 1;
    context.CheckMailSilent("totalSize one byte short of the request", {overshoot.Build()});

    // Fewer bytes than announced: the add-in waits for the rest.
    MailRequestWriter waiting = SmallRequest();
    waiting.MutableOverrides().totalSize = waiting.Build().size() + 100;
    context.CheckMailSilent("totalSize 100 bytes beyond the request", {waiting.Build()});
}

void CheckRequestTooLarge(E2eContext& context) {
    MailRequestWriter large = SmallRequest();
    large.MutableOverrides().totalSize = sdk::kPluginMaxMailRequestSize + 1;
    const Bytes first = large.Build();
    std::optional<DynamicChannel> channel = context.OpenChecked(sdk::kMailChannelName, "mail 128 MiB + 1");
    if (!channel) return;
    context.Checks().Check(channel->Write(first), "mail 128 MiB + 1: first chunk written");
    const std::optional<Bytes> reply = channel->Read(kReplyTimeout);
    context.Checks().Check(reply == MailErrorReply("request too large"),
                           "mail 128 MiB + 1: \"request too large\" after the first chunk",
                           reply ? Printable(*reply) : "no reply");
    context.Checks().Check(channel->Write(PatternedBytes(4096, 3)), "mail 128 MiB + 1: second chunk written");
    const std::optional<Bytes> again = channel->Read(kSilenceWait);
    context.Checks().Check(!again, "mail 128 MiB + 1: the rest is ignored", again ? Printable(*again) : "");
    context.CheckNoCalls("mail 128 MiB + 1");

    MailRequestWriter limit = SmallRequest();
    limit.MutableOverrides().totalSize = sdk::kPluginMaxMailRequestSize;
    context.CheckMailSilent("exactly 128 MiB announced, first chunk only", {limit.Build()});
}

void CheckTooManyRecords(E2eContext& context) {
    MailRequestWriter recipients;
    recipients.Subject("Many").Body("Many");
    for (int i = 0; i < 1001; ++i)
        recipients.AddRecipient(RecipientGroup::To, "", "r" + std::to_string(i) + "@example.com");
    context.CheckMailRefused("1001 recipients", recipients.Build(), MailErrorReply("too many records"));

    MailRequestWriter attachments = SmallRequest();
    for (int i = 1; i < 251; ++i) attachments.AddAttachment("f" + std::to_string(i) + ".txt", {uint8_t(i)});
    context.CheckMailRefused("251 attachments", attachments.Build(), MailErrorReply("too many records"));
}

void CheckInvalidAddresses(E2eContext& context) {
    struct Case {
        const char* what;
        RecipientGroup group;
        std::string address;
    };
    const Case cases[] = {
        {"starting with -", RecipientGroup::To, "-oProxy@example.com"},
        {"with a blank", RecipientGroup::To, "ann lee@example.com"},
        {"with a tab", RecipientGroup::Cc, "ann\t@example.com"},
        {"with a control character", RecipientGroup::Bcc, "ann\x01@example.com"},
        {"with ?", RecipientGroup::To, "ann?cc=eve@example.com"},
        {"with &", RecipientGroup::Cc, "ann&eve@example.com"},
        {"with %", RecipientGroup::To, "ann%40@example.com"},
        {"with ,", RecipientGroup::Bcc, "ann@example.com,eve@example.com"},
        {"with a quote", RecipientGroup::Cc, "a'"},
        {"smuggling an attachment field", RecipientGroup::Cc, "attachment='file:///etc/passwd'"},
        {"as a mailto: URL", RecipientGroup::To, "mailto:eve@evil.test"},
        {"with a backslash", RecipientGroup::Bcc, "ann\\x27@example.com"},
        {"with a UTF-8 domain", RecipientGroup::To,
         "j@b\xC3\xBC"
         "cher.example"},
    };
    for (const Case& c : cases) {
        MailRequestWriter writer;
        writer.Subject("Address").Body("Body").AddRecipient(RecipientGroup::To, "Bob", "bob@example.com");
        writer.AddRecipient(c.group, "", c.address);
        context.CheckMailRefused(std::string("address ") + c.what, writer.Build(),
                                 MailErrorReply("invalid recipient address"));
    }
}

// The most recipients a mail may have: handed over with every address.
void CheckThousandRecipients(E2eContext& context) {
    sdk::MailMessage mail;
    mail.subject = "Thousand";
    mail.body = "Thousand";
    for (int i = 0; i < 1000; ++i) mail.to.push_back({"", "r" + std::to_string(i) + "@example.com"});
    const Bytes request = sdk::BuildMailRequest(mail);
    context.CheckMailHandedOver("1000 recipients", context.ExchangeMail("1000 recipients", request, 4096), mail);
}

// The exec channel refuses anything inside the staging folder.
void CheckStagedNotOpened(E2eContext& context, const std::vector<fs::path>& staged) {
    if (staged.empty()) return;
    std::optional<DynamicChannel> channel = context.OpenChecked(sdk::kExecChannelName, "exec staged file");
    if (!channel) return;
    context.CheckExec(*channel, "refuses a staged attachment", ToBytes(staged[0].string()), ExecReplyKind::Failed,
                      std::nullopt);
    context.CheckExec(*channel, "refuses a staging request folder", ToBytes(staged[0].parent_path().string()),
                      ExecReplyKind::Failed, std::nullopt);
}

void CheckStillStaged(E2eContext& context, const std::vector<fs::path>& staged, const sdk::MailMessage& mail) {
    bool kept = staged.size() == mail.attachments.size();
    std::error_code error;
    for (size_t i = 0; kept && i < staged.size(); ++i)
        kept = fs::is_regular_file(staged[i], error) && ReadWholeFile(staged[i]) == mail.attachments[i].data;
    context.Checks().Check(kept, "mail: the first mail's staged files are still there after the second mail");
}

}  // namespace

sdk::MailMessage SampleMail(size_t largeSize) {
    sdk::MailMessage mail;
    mail.subject = "Quartalsbericht Q3 \xE2\x80\x93 \xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82 \xE2\x9C\x93";
    mail.body = "Hallo J\xC3\xBCrgen,\n\nanbei der Bericht.\n\xE5\xA0\xB1\xE5\x91\x8A \xE2\x82\xAC 100\n";
    mail.from.push_back({"Ann Lee", "ann@example.com"});
    mail.to.push_back({"Bob Stone", "bob@example.com"});
    mail.to.push_back({"", "carol@example.org"});
    mail.cc.push_back({"Dave", "dave@example.net"});
    mail.bcc.push_back({"Eve", "eve@example.com"});
    mail.attachments.push_back({"C:\\Reports\\q3-summary.pdf", PatternedBytes(largeSize, 1)});
    mail.attachments.push_back({"notes/readme.txt", PatternedBytes(1234, 2)});
    return mail;
}

void PrepareNothing(const ClientFolders&) {}

void RunMail(E2eContext& context) {
    const sdk::MailMessage mail = SampleMail(300 * 1024 + 17);
    const Bytes request = sdk::BuildMailRequest(mail);
    const std::vector<fs::path> first = context.CheckMailHandedOver(
        "in one write", context.ExchangeMail("in one write", request, request.size()), mail);
    context.CheckMailHandedOver("in 1000-byte writes", context.ExchangeMail("in 1000-byte writes", request, 1000),
                                mail);
    CheckStillStaged(context, first, mail);
    CheckStagedNotOpened(context, first);

    // A mail without to, cc or bcc (a program's "send as attachment"): the
    // compose window opens without an address, for the user to fill in.
    sdk::MailMessage unaddressed;
    unaddressed.subject = "Scan";
    unaddressed.body = "Page 1";
    unaddressed.from.push_back({"Ann Lee", "ann@example.com"});
    unaddressed.attachments.push_back({"scan.pdf", PatternedBytes(5000, 11)});
    const Bytes unaddressedRequest = sdk::BuildMailRequest(unaddressed);
    context.CheckMailHandedOver(
        "without to, cc or bcc",
        context.ExchangeMail("without to, cc or bcc", unaddressedRequest, unaddressedRequest.size()), unaddressed);
}

void RunMalformed(E2eContext& context) {
    CheckHeaderRefusals(context);
    CheckSizeMismatches(context);
    CheckRequestTooLarge(context);
    CheckTooManyRecords(context);
    CheckInvalidAddresses(context);
    CheckThousandRecipients(context);
}

namespace {

// A dynamic channel data PDU that announces 4 bytes and carries 8 (command 2
// "data first", 4-byte channel id and length fields): the client drops the
// channel's data and closes the channel.
Bytes OverlongDataFirstPdu(uint32_t channelId) {
    Bytes pdu{0x2A};
    for (uint32_t value : {channelId, 4u})
        for (int shift = 0; shift < 32; shift += 8) pdu.push_back(uint8_t(value >> shift));
    pdu.insert(pdu.end(), 8, 'x');
    return pdu;
}

bool WaitUntilClosedByClient(E2eContext& context, DynamicChannel& channel) {
    const auto deadline = Clock::now() + kReplyTimeout;
    while (Clock::now() < deadline) {
        if (channel.ClosedByClient()) return true;
        if (!context.Session().Pump(Millis(20))) return false;
    }
    return false;
}

}  // namespace

// The client closes the mail channel in the middle of a request: the add-in
// drops the request, stages nothing, starts no mail program, and the next
// channels work.
void RunClientClose(E2eContext& context) {
    const sdk::MailMessage mail = SampleMail(50 * 1024);
    const Bytes request = sdk::BuildMailRequest(mail);
    {
        std::optional<DynamicChannel> channel = context.OpenChecked(sdk::kMailChannelName, "client_close");
        if (!channel) return;
        bool written = true;
        for (size_t at = 0; at < 3000; at += 1000) written = written && channel->Write(request.data() + at, 1000);
        context.Checks().Check(written,
                               "client_close: first 3000 of " + std::to_string(request.size()) + " bytes written");
        context.Checks().Check(context.Session().PumpFor(Millis(300)), "client_close: the first part delivered");
        context.Checks().Check(context.Session().WriteDynamicChannelPdu(OverlongDataFirstPdu(channel->Id())),
                               "client_close: data beyond its announced length sent");
        context.Checks().Check(WaitUntilClosedByClient(context, *channel),
                               "client_close: the client closed the channel");
    }
    context.Checks().Check(context.Session().PumpFor(kSilenceWait), "client_close: session alive after the close");
    context.CheckNoCalls("client_close: the unfinished mail");
    const std::vector<fs::path> left = context.StagingRequestFolders();
    context.Checks().Check(left.empty(), "client_close: nothing staged for the unfinished mail",
                           left.empty() ? "" : left[0].string());

    std::optional<DynamicChannel> exec = context.OpenChecked(sdk::kExecChannelName, "client_close: later exec");
    if (exec) {
        const std::string url = "https://example.com/after-client-close";
        context.CheckExec(*exec, "after the client's close", ToBytes(url), ExecReplyKind::Okay, url);
    }
    context.CheckMailHandedOver("after the client's close",
                                context.ExchangeMail("after the client's close", request, 1000), mail);
}

void RunClose(E2eContext& context) {
    const sdk::MailMessage mail = SampleMail(50 * 1024);
    const Bytes request = sdk::BuildMailRequest(mail);
    {
        std::optional<DynamicChannel> channel = context.OpenChecked(sdk::kMailChannelName, "close");
        if (!channel) return;
        bool written = true;
        for (size_t at = 0; at < 3000; at += 1000) written = written && channel->Write(request.data() + at, 1000);
        context.Checks().Check(written, "close: first 3000 of " + std::to_string(request.size()) + " bytes written");
        channel->Close();
    }
    context.Checks().Check(context.Session().PumpFor(kSilenceWait), "close: session alive after the close");
    context.CheckNoCalls("close: the unfinished mail");
    const std::vector<fs::path> left = context.StagingRequestFolders();
    context.Checks().Check(left.empty(), "close: nothing staged for the unfinished mail",
                           left.empty() ? "" : left[0].string());

    std::optional<DynamicChannel> exec = context.OpenChecked(sdk::kExecChannelName, "close: later exec");
    if (exec) {
        const std::string url = "https://example.com/after-close";
        context.CheckExec(*exec, "after the close", ToBytes(url), ExecReplyKind::Okay, url);
    }
    context.CheckMailHandedOver("after the close", context.ExchangeMail("after the close", request, 1000), mail);
}

}  // namespace zobrik_e2e
