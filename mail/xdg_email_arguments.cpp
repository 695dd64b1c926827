#include "xdg_email_arguments.h"

#include <stdexcept>
#include <string_view>

#include "include/utf_conversion.h"

namespace zobrik {

namespace {

std::string Utf8(const WideChar* text) { return text != nullptr ? Utf16ToUtf8(text) : std::string(); }

std::string SafeAddress(const MailRecipient& recipient) {
    std::string address = Utf8(recipient.address);
    if (!IsSafeMailtoAddress(address)) RaiseMailError(kInvalidRecipientMessage);
    return address;
}

}  // namespace

bool IsSafeMailtoAddress(const std::string& address) {
    if (address.empty() || address[0] == '-') return false;
    for (const char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || std::string_view("?&%,;").find(c) != std::string_view::npos) return false;
    }
    return true;
}

std::vector<std::string> XdgEmailArguments(const MailRequest& mail, const std::vector<std::string>& attachmentPaths) {
    if (mail.toCount + mail.ccCount + mail.bccCount == 0)
        throw std::out_of_range("no primary, copy or blind-copy recipient");
    std::vector<std::string> arguments = {"xdg-email",        "--utf8", "--subject",
                                          Utf8(mail.subject), "--body", Utf8(mail.body)};
    for (uint32_t i = mail.PrimaryEnd(); i < mail.CopyEnd(); ++i) {
        arguments.push_back("--cc");
        arguments.push_back(SafeAddress(mail.recipients[i]));
    }
    for (uint32_t i = mail.CopyEnd(); i < mail.recipients.size(); ++i) {
        arguments.push_back("--bcc");
        arguments.push_back(SafeAddress(mail.recipients[i]));
    }
    for (const std::string& path : attachmentPaths) {
        arguments.push_back("--attach");
        arguments.push_back(path);
    }
    for (uint32_t i = mail.OriginatorEnd(); i < mail.PrimaryEnd(); ++i)
        arguments.push_back(SafeAddress(mail.recipients[i]));
    return arguments;
}

}  // namespace zobrik
