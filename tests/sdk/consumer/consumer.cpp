// Builds an exec message and a mail request with the SDK; on Windows also
// asks for the session's channel, which outside a Remote Desktop session is
// not available.
#include <iostream>

#include "zobrik/zobrik.h"
#if defined(_WIN32)
#include "zobrik/wts_channel.h"
#endif

int main() {
    namespace sdk = zobrik::sdk;
    sdk::MailMessage mail;
    mail.to.push_back(sdk::ParseRecipient("Ann Lee <ann@example.com>"));
    mail.subject = "Report";
    mail.attachments.push_back(sdk::Attachment{"data.csv", {'1', ';', '2'}});
    const std::vector<uint8_t> request = sdk::BuildMailRequest(mail);
    const std::vector<uint8_t> exec = sdk::ExecMessage("https://example.com", std::nullopt);
    std::cout << "mail request " << request.size() << " bytes, exec message " << exec.size() << " bytes\n";
#if defined(_WIN32)
    try {
        sdk::OpenOnClient("https://example.com", std::chrono::seconds(1));
        std::cout << "unexpected: the channel was available\n";
        return 1;
    } catch (const sdk::ChannelError& e) {
        if (e.Kind() != sdk::ChannelErrorKind::NotAvailable) return 1;
        std::cout << "session channel: not available, as outside a Remote Desktop session\n";
    }
#endif
    return request.size() > 16 && exec.size() == 19 ? 0 : 1;
}
