#include "xdg_email_arguments.h"

#include "include/utf_conversion.h"
#include "mail_address.h"

namespace zobrik {

namespace {

std::string Utf8(const WideChar* text) { return text != nullptr ? Utf16ToUtf8(text) : std::string(); }

std::string PlainAddress(const MailRecipient& recipient) {
    std::string address = Utf8(recipient.address);
    if (!IsPlainMailAddress(address)) RaiseMailError(kInvalidRecipientMessage);
    return address;
}

bool IsKeptInMailto(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_' || c == '@';
}

// The URL's fields after '?', each "name=value&"; the last '&' is removed by
// the caller.
void AddField(std::string& fields, const char* name, const std::string& value) {
    if (value.empty()) return;
    fields += name;
    fields += '=';
    fields += MailtoEncoded(value);
    fields += '&';
}

std::string MailtoUrl(const MailRequest& mail) {
    std::string path;
    std::string fields;
    for (uint32_t i = mail.OriginatorEnd(); i < mail.PrimaryEnd(); ++i) {
        const std::string address = PlainAddress(mail.recipients[i]);
        if (i == mail.OriginatorEnd())
            path = MailtoEncoded(address);
        else
            AddField(fields, "to", address);
    }
    for (uint32_t i = mail.PrimaryEnd(); i < mail.CopyEnd(); ++i)
        AddField(fields, "cc", PlainAddress(mail.recipients[i]));
    for (uint32_t i = mail.CopyEnd(); i < mail.recipients.size(); ++i)
        AddField(fields, "bcc", PlainAddress(mail.recipients[i]));
    AddField(fields, "subject", Utf8(mail.subject));
    AddField(fields, "body", Utf8(mail.body));
    if (!fields.empty()) fields.pop_back();
    return "mailto:" + path + (fields.empty() ? "" : "?" + fields);
}

}  // namespace

std::string MailtoEncoded(std::string_view text) {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out += "%0D%0A";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (IsKeptInMailto(c)) {
            out += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

std::vector<std::string> XdgEmailArguments(const MailRequest& mail, const std::vector<std::string>& attachmentPaths) {
    std::vector<std::string> arguments = {"xdg-email", "--utf8"};
    for (const std::string& path : attachmentPaths) {
        arguments.push_back("--attach");
        arguments.push_back(path);
    }
    arguments.push_back(MailtoUrl(mail));
    return arguments;
}

WideString XdgEmailFileName(WideStringView stagedName) {
    WideString name(stagedName);
    for (WideChar& c : name)
        if (c == '\'' || c == ',' || c == '%') c = WideChar('_');
    return name;
}

}  // namespace zobrik
