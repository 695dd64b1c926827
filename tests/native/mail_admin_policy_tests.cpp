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

MailRequest Flagged(uint32_t flags, uint32_t to) {
    MailRequest mail = WithCounts(1, to, 0, 0);
    mail.flags = flags;
    return mail;
}

TEST(MailAdminPolicy, RouteAndImmediateSend) {
    AdminPolicy policy;
    EXPECT_TRUE(TakesOutlookRoute(MAIL_FLAG_OUTLOOK, policy));
    EXPECT_FALSE(TakesOutlookRoute(MAIL_FLAG_IMMEDIATE, policy));

    policy.mailAllowOutlook = false;
    testing::TakeDebugLines();
    EXPECT_FALSE(TakesOutlookRoute(MAIL_FLAG_OUTLOOK | MAIL_FLAG_HTML_BODY, policy));
    const auto lines = testing::TakeDebugLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("(policy MailAllowOutlook)"), std::string::npos);
}

// "Send at once" reaches Outlook only when the policy allows it and someone
// is named to receive the mail: without a to, cc or bcc recipient Outlook's
// Send fails, and the mail is shown for the user to address instead.
TEST(MailAdminPolicy, OutlookSendsAtOnceOnlyAllowedAndAddressed) {
    const struct {
        uint32_t flags;
        uint32_t to;
        bool allowed;
        uint32_t outlookFlags;
        const char* line;  // "" when none
    } cases[] = {
        {MAIL_FLAGS_ALL, 1, true, MAIL_FLAGS_ALL, ""},
        {MAIL_FLAGS_ALL, 1, false, MAIL_FLAG_OUTLOOK | MAIL_FLAG_HTML_BODY, "(policy MailAllowImmediateSend)"},
        {MAIL_FLAGS_ALL, 0, true, MAIL_FLAG_OUTLOOK | MAIL_FLAG_HTML_BODY, "(no to, cc or bcc recipient)"},
        {MAIL_FLAGS_ALL, 0, false, MAIL_FLAG_OUTLOOK | MAIL_FLAG_HTML_BODY, "(policy MailAllowImmediateSend)"},
        {MAIL_FLAG_OUTLOOK, 0, true, MAIL_FLAG_OUTLOOK, ""},
        {MAIL_FLAG_OUTLOOK, 1, false, MAIL_FLAG_OUTLOOK, ""},
    };
    for (const auto& c : cases) {
        AdminPolicy policy;
        policy.mailAllowImmediateSend = c.allowed;
        testing::TakeDebugLines();
        EXPECT_EQ(OutlookFlags(Flagged(c.flags, c.to), policy), c.outlookFlags) << c.flags << " to " << c.to;
        const auto lines = testing::TakeDebugLines();
        ASSERT_EQ(lines.size(), *c.line ? 1u : 0u) << c.flags << " to " << c.to;
        if (*c.line) {
            EXPECT_NE(lines[0].find(c.line), std::string::npos) << lines[0];
        }
    }
}

}  // namespace
}  // namespace zobrik
