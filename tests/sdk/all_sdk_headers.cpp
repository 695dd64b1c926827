// Every header of the remote developer's kit in one file, with the request
// writer, the message builder and the reply readers used, so that their
// templates are instantiated: built at -O3 with -Werror by GCC and MinGW,
// as remote developers build.
#include <cstdio>

#include "zobrik/address.h"
#include "zobrik/channel_pdu.h"
#include "zobrik/channel_transport.h"
#include "zobrik/channels.h"
#include "zobrik/client_calls.h"
#include "zobrik/exec_message.h"
#include "zobrik/mail_message.h"
#include "zobrik/mail_request_writer.h"
#include "zobrik/replies.h"
#include "zobrik/zobrik.h"
#if defined(_WIN32)
#include "zobrik/wts_channel.h"
#endif

int main(int argc, char**) {
    zobrik::sdk::MailRequestWriter writer;
    writer.Subject("Offer")
        .Body("Dear Ann")
        .Flags(zobrik::sdk::kMailFlagOutlook)
        .AddRecipient(zobrik::sdk::RecipientGroup::To, "Ann", "ann@example.com")
        .AddAttachment("offer.pdf", std::vector<uint8_t>(size_t(argc) * 300, 7));
    const std::vector<uint8_t> request = writer.Build();
    std::vector<uint8_t> copy = request;
    zobrik::sdk::PutUint32LE(copy.data(), 0);
    zobrik::sdk::AppendString(copy, "tail");
    const std::vector<uint8_t> exec = zobrik::sdk::ExecMessage("C:\\caf\xc3\xa9", std::nullopt);
    std::printf("%zu %zu %zu %s\n", request.size(), copy.size(), exec.size(),
                zobrik::sdk::DescribeWait(std::chrono::seconds(argc)).c_str());
#if defined(_WIN32)
    if (argc > 5) {
        const zobrik::sdk::ExecReply opened = zobrik::sdk::OpenOnClient("C:\\caf\xc3\xa9");
        zobrik::sdk::MailMessage mail;
        mail.to.push_back(zobrik::sdk::ParseRecipient("ann@example.com"));
        const zobrik::sdk::MailReply mailed = zobrik::sdk::SendMail(std::move(mail));
        return opened.outcome == zobrik::sdk::ExecOutcome::Okay && mailed.HandedOver() ? 0 : 2;
    }
#endif
    return request.empty() ? 1 : 0;
}
