// Writes the mail requests that the main job's session sends: a mail with
// two attachments, and a malformed request (an unknown format version).
// usage: make_demo_requests.exe <output-directory>
#include <cstdio>
#include <string>
#include <vector>

#include "zobrik/mail_request_writer.h"

namespace {

bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fclose(file) == 0 && ok;
    std::printf("wrote %s (%zu bytes)\n", path.c_str(), bytes.size());
    return ok;
}

std::vector<uint8_t> Repeated(const std::string& text, size_t times) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < times; ++i) out.insert(out.end(), text.begin(), text.end());
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output-directory>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    using zobrik::sdk::MailRequestWriter;
    using zobrik::sdk::RecipientGroup;

    MailRequestWriter mail;
    mail.Subject("Quarterly figures \xe2\x80\x93 Q3")
        .Body("Dear Ann,\nplease find the report and the figures attached.\nKind regards")
        .AddRecipient(RecipientGroup::From, "Remote App", "reports@example.com")
        .AddRecipient(RecipientGroup::To, "Ann Smith", "ann@example.com")
        .AddRecipient(RecipientGroup::Cc, "", "office@example.com")
        .AddAttachment("reports\\2024/q3-report.pdf", Repeated("%PDF-1.4 demo content\n", 400))
        .AddAttachment("figures.csv", Repeated("month,total\n7,1200\n8,1350\n9,1410\n", 3));

    MailRequestWriter malformed;
    malformed.Subject("never sent").AddRecipient(RecipientGroup::To, "", "ann@example.com");
    malformed.MutableOverrides().version = 2;

    return Write(dir + "/demo-mail.bin", mail.Build()) && Write(dir + "/demo-malformed.bin", malformed.Build()) ? 0 : 1;
}
