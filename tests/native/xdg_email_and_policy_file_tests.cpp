// The Linux add-in's mail hand-over arguments and its policy files.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mail/mail_address.h"
#include "mail/xdg_email_arguments.h"
#include "native/debug_output_recorder.h"
#include "native/decoded_request.h"
#include "plugin/policy_file.h"

namespace zobrik {
namespace {

using sdk::MailRequestWriter;
using sdk::RecipientGroup;
using Arguments = std::vector<std::string>;

TEST(XdgEmailArguments, EveryGroupInItsPlaceAndNoDisplayNames) {
    MailRequestWriter writer;
    writer.Subject("Report \xC3\xA4").Body("Dear Ann,\r\nsee attached.\n").Flags(7);
    writer.AddRecipient(RecipientGroup::From, "Me", "me@example.com")
        .AddRecipient(RecipientGroup::To, "Ann Lee", "ann@example.com")
        .AddRecipient(RecipientGroup::To, "", "bob+news@example.com")
        .AddRecipient(RecipientGroup::Cc, "Cy", "cy@example.com")
        .AddRecipient(RecipientGroup::Bcc, "", "di@example.com");
    const auto decoded = testing::Decode(writer);
    EXPECT_EQ(XdgEmailArguments(decoded.request, {"/run/a/x.pdf", "/run/a/y.csv"}),
              (Arguments{"xdg-email", "--utf8", "--attach", "/run/a/x.pdf", "--attach", "/run/a/y.csv",
                         "mailto:ann@example.com?to=bob%2Bnews@example.com&cc=cy@example.com&bcc=di@example.com"
                         "&subject=Report%20%C3%A4&body=Dear%20Ann%2C%0D%0Asee%20attached.%0D%0A"}));
}

// xdg-email runs texts through dash's `echo`, which reads backslash
// sequences; a subject given as --subject could end the URL ("\c") or add
// fields ("\\0046attach\\0075/etc/passwd" becomes "&attach=/etc/passwd").
TEST(XdgEmailArguments, SubjectAndBodyReachTheUrlOnlyPercentEncoded) {
    const struct {
        const char* text;
        const char* encoded;
    } cases[] = {
        {"a\\cb", "a%5Ccb"},
        {"x\\\\0046attach\\\\0075/etc/passwd", "x%5C%5C0046attach%5C%5C0075%2Fetc%2Fpasswd"},
        {"-n", "-n"},
        {"it's, \"quoted\" & more?", "it%27s%2C%20%22quoted%22%20%26%20more%3F"},
        {"100% = 1;\t$HOME `id`", "100%25%20%3D%201%3B%09%24HOME%20%60id%60"},
        {"line\rbreaks\n\nkept", "line%0D%0Abreaks%0D%0A%0D%0Akept"},
        {"mail@example.com_v1.2-3", "mail@example.com_v1.2-3"},
        {"\xE2\x82\xAC", "%E2%82%AC"},
    };
    for (const auto& c : cases) EXPECT_EQ(MailtoEncoded(c.text), c.encoded) << c.text;

    MailRequestWriter writer;
    writer.Subject("").Body("").AddRecipient(RecipientGroup::Cc, "", "cy@example.com");
    const auto decoded = testing::Decode(writer);
    EXPECT_EQ(XdgEmailArguments(decoded.request, {}), (Arguments{"xdg-email", "--utf8", "mailto:?cc=cy@example.com"}))
        << "an empty subject or body is left out: xdg-email refuses an empty --subject";
}

TEST(PlainMailAddress, TheCharactersRealAddressesUse) {
    for (const char* address :
         {"ann@example.com", "Ann.Lee@Example.COM", "first.last+tag@sub.example.co.uk", "a_b-c@x-y.example",
          "x@localhost", "9@9.9", "j@xn--bcher-kva.example", "_@example.com", "+tag@example.com"})
        EXPECT_TRUE(IsPlainMailAddress(address)) << address;
    EXPECT_TRUE(IsPlainMailAddress(std::string(64, 'l') + "@" + std::string(63, 'd') + ".example"));
}

TEST(PlainMailAddress, EverythingElseIsRefused) {
    const std::string longLabel = "a@" + std::string(64, 'd') + ".example";
    const std::string longLocal = std::string(65, 'l') + "@example.com";
    std::string longAddress = "a@";
    for (int i = 0; i < 4; ++i) longAddress += std::string(62, 'd') + ".";
    longAddress += "e";
    for (const std::string& address : std::vector<std::string>{
             // Found by an attacker: quotes and '=' end Thunderbird's "cc='…'"
             // and add fields; "mailto:" replaces the earlier to-addresses.
             "a'", "attachment='file:///etc/passwd'", "x='", "o'brien@example.com", "mailto:eve@evil.test",
             "a\\x27@example.com", "a/b@example.com", "a=b@example.com", "a:b@example.com",
             // What xdg-email or a mailto: URL reads as options, fields or more addresses.
             "--attach", "-x@example.com", "a b@example.com", "a@example.com?attach=/etc/passwd", "a@x&cc=b@y", "a%40x",
             "a@x,b@y", "a@x;b@y", "a\t@x", "a@x\n",
             // Outside the grammar.
             "", "@example.com", "ann@", "ann", "a@b@example.com", ".ann@example.com", "ann.@example.com",
             "a..b@example.com", "a@-x.example", "a@x-.example", "a@x..example", "a@.x", "a@x.example.",
             "\"a b\"@example.com", "a@[192.0.2.1]", "a(c)@example.com", "a!b@example.com", "a*@example.com",
             "a~b@example.com", "a{b}@example.com", "a|b@example.com", "a$b@example.com", "a#b@example.com",
             "j\xC3\xBCrgen@example.com",
             "j@b\xC3\xBC"
             "cher.example",
             longLabel, longLocal, longAddress})
        EXPECT_FALSE(IsPlainMailAddress(address)) << address;
    EXPECT_EQ(longAddress.size(), 255u) << "one byte over the longest address";
}

TEST(XdgEmailArguments, AddressesOutsideTheGrammarAreRefusedInEveryGroup) {
    for (const RecipientGroup group : {RecipientGroup::To, RecipientGroup::Cc, RecipientGroup::Bcc}) {
        for (const char* address : {"mailto:eve@evil.test", "a'", "bob@example.com,"}) {
            MailRequestWriter writer;
            writer.AddRecipient(RecipientGroup::To, "", "bob@example.com").AddRecipient(group, "", address);
            const auto decoded = testing::Decode(writer);
            try {
                XdgEmailArguments(decoded.request, {});
                ADD_FAILURE() << "accepted: " << address;
            } catch (const char* message) {
                EXPECT_STREQ(message, kInvalidRecipientMessage) << address;
            }
        }
    }
}

TEST(XdgEmailArguments, StagedNamesLoseWhatThunderbirdsAttachmentListReads) {
    EXPECT_EQ(XdgEmailFileName(u"O'Brien, 100%.pdf"), u"O_Brien_ 100_.pdf");
    EXPECT_EQ(XdgEmailFileName(u"x',to='eve@evil.test"), u"x__to=_eve@evil.test");
    EXPECT_EQ(XdgEmailFileName(u"report (2).pdf"), u"report (2).pdf");
}

// A mail without to, cc or bcc opens the compose window with an empty To
// line, as xdg-email does when it is given no address ("mailto:?..."); the
// originators have no place in the URL either way.
TEST(XdgEmailArguments, MailWithoutToCcOrBccGivesAnAddresslessUrl) {
    const struct {
        const char* subject;
        const char* body;
        const char* url;
    } cases[] = {
        {"Scan", "Page 1", "mailto:?subject=Scan&body=Page%201"},
        {"", "B", "mailto:?body=B"},
        {"", "", "mailto:"},
    };
    for (const auto& c : cases) {
        MailRequestWriter writer;
        writer.Subject(c.subject).Body(c.body).AddRecipient(RecipientGroup::From, "", "me@example.com");
        const auto decoded = testing::Decode(writer);
        EXPECT_EQ(XdgEmailArguments(decoded.request, {"/run/a/scan.pdf"}),
                  (Arguments{"xdg-email", "--utf8", "--attach", "/run/a/scan.pdf", c.url}));
    }
}

PolicyHive File(const std::string& content, const WideChar* name = u"user") { return ParsePolicyFile(content, name); }

TEST(PolicyFile, SettingsListsAndCommentsAsTheRegistryHoldsThem) {
    testing::TakeDebugLines();
    const AdminPolicy policy = PolicyFromHives(File(""), File("# exec only to the intranet\n"
                                                              "  execallowedschemes = https \r\n"
                                                              "ExecAllowedSchemes=mailto\n"
                                                              "; comment\n"
                                                              "ExecAllowList = https://intranet.example/*\n"
                                                              "ExecAllowList = \n"
                                                              "MailMaxAttachments = 1\n"
                                                              "MailChannel = 0\n"
                                                              "MailRequestIdleSeconds = 10\n"
                                                              "NoSuchSetting = 1\n"
                                                              "no equals sign\n"));
    ASSERT_TRUE(policy.execAllowedSchemes);
    EXPECT_EQ(*policy.execAllowedSchemes, (std::vector<WideString>{u"https", u"mailto"}));
    ASSERT_TRUE(policy.execAllowList);
    EXPECT_EQ(*policy.execAllowList, (std::vector<WideString>{u"https://intranet.example/*"}));
    EXPECT_EQ(policy.mailMaxAttachments, 1u);
    EXPECT_EQ(policy.mailRequestIdleSeconds, 10u);
    EXPECT_FALSE(policy.mailChannel);
    EXPECT_TRUE(policy.execChannel);
    EXPECT_EQ(testing::TakeDebugLines(),
              (std::vector<std::string>{"Zobrik WTS DVC plugin: policy user line 10 ignored: unknown setting\n",
                                        "Zobrik WTS DVC plugin: policy user line 11 ignored: no '='\n"}));
}

// The files take the same decisions as the registry: a restriction that is
// present but unusable restricts, whatever the other file says.
TEST(PolicyFile, TheSystemFileWinsAndUnusableRestrictionsRestrict) {
    testing::TakeDebugLines();
    const AdminPolicy policy = PolicyFromHives(
        File("ExecChannel = 0\nMailMaxRecipients = many\nExecAllowedSchemes = https://*\n"
             "ExecAllowedSchemes = mailto:*\n",
             u"system"),
        File("ExecChannel = 1\nMailMaxRecipients = 5\nMailMaxAttachments = 99999\nExecAllowedSchemes = ftp\n"));
    EXPECT_FALSE(policy.execChannel) << "the system file wins";
    EXPECT_EQ(policy.mailMaxRecipients, 0u) << "no number: the lowest";
    EXPECT_EQ(policy.mailMaxAttachments, kMaxMailAttachments) << "above the built-in limit: the built-in limit";
    EXPECT_EQ(policy.execAllowedSchemes, std::vector<WideString>{}) << "patterns are no schemes: no scheme";
    const std::vector<std::string> lines = testing::TakeDebugLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_NE(lines[2].find("policy system ExecAllowedSchemes unusable: no entry is a scheme; no scheme is allowed"),
              std::string::npos)
        << lines[2];
    EXPECT_NE(lines[3].find("policy system MailMaxRecipients unusable: not a REG_DWORD; counts as 0"),
              std::string::npos)
        << lines[3];
    EXPECT_NE(lines[4].find("policy user MailMaxAttachments unusable: outside 0 to 250; counts as 250"),
              std::string::npos)
        << lines[4];
    EXPECT_EQ(UserPolicyFile("/cfg", "/home/ann"), "/cfg/zobrik/wtsdvc.conf");
    EXPECT_EQ(UserPolicyFile("relative", "/home/ann"), "/home/ann/.config/zobrik/wtsdvc.conf");
    EXPECT_EQ(UserPolicyFile("", ""), "");
}

}  // namespace
}  // namespace zobrik
