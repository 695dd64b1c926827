// Scenario "mail_thunderbird": mail requests handed to Debian's real
// xdg-email, which takes its Thunderbird route (the user's mailto handler is
// thunderbird.desktop) and runs the thunderbird stand-in. Thunderbird splits
// its -compose argument at commas outside '…' quotes, so each check compares
// that argument exactly: a hostile address, subject, body or file name must
// not add a field (an attachment of the server's choosing) or replace one.
#include <string>

#include "scenarios.h"

namespace zobrik_e2e {
namespace fs = std::filesystem;
namespace sdk = zobrik::sdk;
namespace {

using sdk::MailRequestWriter;
using sdk::RecipientGroup;

void CheckSteeringAddressesRefused(E2eContext& context) {
    MailRequestWriter attachment;
    attachment.Subject("S").Body("B").AddRecipient(RecipientGroup::To, "", "bob@example.com");
    attachment.AddRecipient(RecipientGroup::Cc, "", "a'")
        .AddRecipient(RecipientGroup::Cc, "", "attachment='file:///etc/passwd'")
        .AddRecipient(RecipientGroup::Cc, "", "x='");
    context.CheckMailRefused("cc smuggling attachment='file:///etc/passwd'", attachment.Build(),
                             MailErrorReply("invalid recipient address"));

    MailRequestWriter replaced;
    replaced.Subject("S").Body("B").AddRecipient(RecipientGroup::To, "", "bob@example.com");
    replaced.AddRecipient(RecipientGroup::To, "", "mailto:eve@evil.test");
    context.CheckMailRefused("to mailto:eve@evil.test", replaced.Build(), MailErrorReply("invalid recipient address"));
}

// Backslash sequences that the shell's echo in xdg-email reads ("\c" ends
// the text, "\\0046" becomes '&'), and a file name whose comma would split
// Thunderbird's attachment list into a second, relative path.
void CheckTextsStayInTheirFields(E2eContext& context) {
    const Bytes notes = PatternedBytes(2000, 5);
    MailRequestWriter writer;
    writer.Subject("x\\\\0046attach\\\\0075/etc/passwd \\c").Body("Price\\ncut \\c it's, 100%");
    writer.AddRecipient(RecipientGroup::To, "", "bob@example.com")
        .AddRecipient(RecipientGroup::Cc, "", "cy@example.com");
    writer.AddAttachment("notes,.bash_history", notes);
    const std::string label = "mail for Thunderbird";
    const std::optional<Bytes> reply = context.ExchangeMail("for Thunderbird", writer.Build(), 1 << 20);
    context.Checks().Check(reply == kMailHandedOver, label + ": reply 00 (handed over)",
                           reply ? Printable(*reply) : "no reply");

    const std::vector<RecordedCall> calls = context.Calls().TakeNew();
    const bool once = calls.size() == 1 && calls[0].program == "thunderbird" && calls[0].arguments.size() == 2 &&
                      calls[0].arguments[0] == "-compose";
    if (!context.Checks().Check(once, label + ": xdg-email ran thunderbird -compose once",
                                std::to_string(calls.size()) + " calls recorded"))
        return;
    const std::string compose = calls[0].arguments[1];
    const std::string fields =
        "to='bob@example.com,',cc='cy@example.com,',"
        "subject=x%5C%5C0046attach%5C%5C0075%2Fetc%2Fpasswd%20%5Cc,"
        "body=Price%5Cncut%20%5Cc%20it%27s%2C%20100%25,attachment='";
    const bool fieldsExact = compose.compare(0, fields.size(), fields) == 0 && compose.back() == '\'';
    context.Checks().Check(fieldsExact, label + ": to, cc, subject and body exact, then one attachment field",
                           Printable(compose));
    if (!fieldsExact) return;
    const fs::path staged = compose.substr(fields.size(), compose.size() - fields.size() - 1);
    const bool inStaging = staged.parent_path().parent_path() == fs::canonical(context.Folders().StagingRoot());
    context.Checks().Check(inStaging && staged.filename() == "notes_.bash_history",
                           label + ": the attachment is the staged file, its comma replaced",
                           Printable(staged.string()));
    context.Checks().Check(fs::exists(staged) && ReadWholeFile(staged) == notes,
                           label + ": the staged file holds the attachment's bytes");
}

}  // namespace

void PrepareThunderbird(const ClientFolders& folders) {
    fs::create_directories(folders.configHome);
    WriteWholeFile(folders.configHome / "mimeapps.list",
                   "[Default Applications]\nx-scheme-handler/mailto=thunderbird.desktop\n");
    const fs::path applications = folders.home / ".local/share/applications";
    fs::create_directories(applications);
    WriteWholeFile(applications / "thunderbird.desktop",
                   "[Desktop Entry]\nType=Application\nName=Thunderbird\nExec=thunderbird %u\n");
}

void RunThunderbird(E2eContext& context) {
    CheckSteeringAddressesRefused(context);
    CheckTextsStayInTheirFields(context);
}

}  // namespace zobrik_e2e
