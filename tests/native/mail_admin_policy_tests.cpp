#include <cstring>

#include <gtest/gtest.h>

#include "mail/mail_admin_policy.h"
#include "native/debug_output_recorder.h"

namespace zobrik {
namespace {

MailRequest WithCounts(uint32_t from, uint32_t to, uint32_t bcc, uint32_t attachments) {
    MailRequest mail;
    mail.fromCount = from;
    mail.toCount = to;
    mail.bccCount = bcc;
    mail.attachmentCount = attachments;
    return mail;
}

// The text raised, or "" when nothing was.
std::string Raised(const MailRequest& mail, const AdminPolicy& policy) {
    try {
        CheckMailAgainstPolicy(mail, policy);
    } catch (const char* message) {
        return message;
    }
    return "";
}

TEST(MailAdminPolicy, RecordLimitsCountEveryRecipientAndAttachment) {
    AdminPolicy policy;
    policy.mailMaxRecipients = 3;
    policy.mailMaxAttachments = 0;
    testing::TakeDebugLines();
    EXPECT_EQ(Raised(WithCounts(1, 1, 1, 0), policy), "");
    EXPECT_EQ(Raised(WithCounts(1, 1, 2, 0), policy), "too many records");
    const auto lines = testing::TakeDebugLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("mail refused: 4 recipients, at most 3 (policy MailMaxRecipients)"), std::string::npos);
    EXPECT_EQ(Raised(WithCounts(0, 1, 0, 1), policy), "too many records");
    EXPECT_NE(testing::TakeDebugLines().at(0).find("(policy MailMaxAttachments)"), std::string::npos);
    EXPECT_EQ(Raised(WithCounts(0, kMaxMailRecipients, 0, kMaxMailAttachments), AdminPolicy{}), "");
}

TEST(MailAdminPolicy, RouteAndImmediateSend) {
    AdminPolicy policy;
    EXPECT_TRUE(TakesOutlookRoute(MAIL_FLAG_OUTLOOK, policy));
    EXPECT_FALSE(TakesOutlookRoute(MAIL_FLAG_IMMEDIATE, policy));
    EXPECT_EQ(OutlookFlags(MAIL_FLAGS_ALL, policy), MAIL_FLAGS_ALL);

    policy.mailAllowOutlook = false;
    policy.mailAllowImmediateSend = false;
    testing::TakeDebugLines();
    EXPECT_FALSE(TakesOutlookRoute(MAIL_FLAG_OUTLOOK | MAIL_FLAG_HTML_BODY, policy));
    EXPECT_EQ(OutlookFlags(MAIL_FLAGS_ALL, policy), MAIL_FLAG_OUTLOOK | MAIL_FLAG_HTML_BODY);
    EXPECT_EQ(OutlookFlags(MAIL_FLAG_OUTLOOK, policy), MAIL_FLAG_OUTLOOK);
    const auto lines = testing::TakeDebugLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("(policy MailAllowOutlook)"), std::string::npos);
    EXPECT_NE(lines[1].find("(policy MailAllowImmediateSend)"), std::string::npos);
}

}  // namespace
}  // namespace zobrik
