// The Linux add-in's mail hand-over arguments and its policy files.
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "freerdp/policy_file.h"
#include "mail/xdg_email_arguments.h"
#include "native/debug_output_recorder.h"
#include "native/decoded_request.h"

namespace zobrik {
namespace {

using sdk::MailRequestWriter;
using sdk::RecipientGroup;
using Arguments = std::vector<std::string>;

TEST(XdgEmailArguments, EveryGroupInItsPlaceAndNoDisplayNames) {
    MailRequestWriter writer;
    writer.Subject("Report \xC3\xA4").Body("Dear Ann,\nsee attached.").Flags(7);
    writer.AddRecipient(RecipientGroup::From, "Me", "me@example.com")
        .AddRecipient(RecipientGroup::To, "Ann Lee", "ann@example.com")
        .AddRecipient(RecipientGroup::To, "", "bob@example.com")
        .AddRecipient(RecipientGroup::Cc, "Cy", "cy@example.com")
        .AddRecipient(RecipientGroup::Bcc, "", "di@example.com");
    const auto decoded = testing::Decode(writer);
    EXPECT_EQ(XdgEmailArguments(decoded.request, {"/run/a/x.pdf", "/run/a/y.csv"}),
              (Arguments{"xdg-email", "--utf8", "--subject", "Report \xC3\xA4", "--body", "Dear Ann,\nsee attached.",
                         "--cc", "cy@example.com", "--bcc", "di@example.com", "--attach", "/run/a/x.pdf", "--attach",
                         "/run/a/y.csv", "ann@example.com", "bob@example.com"}));
}

TEST(XdgEmailArguments, AddressesXdgEmailWouldMisreadAreRefused) {
    for (const char* address : {"--attach", "-x@example.com", "a b@example.com", "a@example.com?attach=/etc/passwd",
                                "a@x&cc=b@y", "a%40x", "a@x,b@y", "a@x;b@y", "a\t@x", ""}) {
        MailRequestWriter writer;
        writer.AddRecipient(RecipientGroup::Cc, "", "ok@example.com").AddRecipient(RecipientGroup::Bcc, "", address);
        const auto decoded = testing::Decode(writer);
        try {
            XdgEmailArguments(decoded.request, {});
            ADD_FAILURE() << "accepted: " << address;
        } catch (const char* message) {
            EXPECT_STREQ(message, kInvalidRecipientMessage) << address;
        }
    }
    EXPECT_TRUE(
        IsSafeMailtoAddress("j\xC3\xBCrgen@b\xC3\xBC"
                            "cher.example"));
}

TEST(XdgEmailArguments, MailWithoutToCcOrBccFailsAsTheSimpleMapiHandOverDoes) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::From, "", "me@example.com");
    const auto decoded = testing::Decode(writer);
    EXPECT_THROW(XdgEmailArguments(decoded.request, {}), std::out_of_range);
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

TEST(PolicyFile, TheSystemFileWinsAndMalformedValuesAreIgnored) {
    testing::TakeDebugLines();
    const AdminPolicy policy =
        PolicyFromHives(File("ExecChannel = 0\nMailMaxRecipients = many\n", u"system"),
                        File("ExecChannel = 1\nMailMaxRecipients = 5\nMailMaxAttachments = 99999\n"));
    EXPECT_FALSE(policy.execChannel) << "the system file wins";
    EXPECT_EQ(policy.mailMaxRecipients, 5u) << "the system's malformed value lets the user's count";
    EXPECT_EQ(policy.mailMaxAttachments, kMaxMailAttachments) << "above the built-in limit: ignored";
    const std::vector<std::string> lines = testing::TakeDebugLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("policy system MailMaxRecipients ignored"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("policy user MailMaxAttachments ignored"), std::string::npos) << lines[1];
    EXPECT_EQ(UserPolicyFile("/cfg", "/home/ann"), "/cfg/zobrik/wtsdvc.conf");
    EXPECT_EQ(UserPolicyFile("relative", "/home/ann"), "/home/ann/.config/zobrik/wtsdvc.conf");
    EXPECT_EQ(UserPolicyFile("", ""), "");
}

}  // namespace
}  // namespace zobrik
