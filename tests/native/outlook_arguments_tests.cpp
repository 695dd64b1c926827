#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decoded_request.h"
#include "mail/outlook_arguments.h"

namespace zobrik {
namespace {

using sdk::MailRequestWriter;
using sdk::RecipientGroup;

TEST(OutlookRecipientText, DisplayNameIsQuotedAndItsQuotesEscaped) {
    EXPECT_EQ(OutlookRecipientText(u"Ann Smith", u"ann@x"), u"\"Ann Smith\" <ann@x>");
    EXPECT_EQ(OutlookRecipientText(u"The \"Boss\"", u"b@x"), u"\"The \\\"Boss\\\"\" <b@x>");
    EXPECT_EQ(OutlookRecipientText(u"back\\slash", u"b@x"), u"\"back\\slash\" <b@x>") << "backslashes stay single";
}

TEST(OutlookRecipientText, EmptyOrEqualDisplayNameGivesTheAddressAlone) {
    EXPECT_EQ(OutlookRecipientText(u"", u"ann@x"), u"ann@x");
    EXPECT_EQ(OutlookRecipientText(nullptr, u"ann@x"), u"ann@x");
    EXPECT_EQ(OutlookRecipientText(u"ann@x", u"ann@x"), u"ann@x");
    EXPECT_EQ(OutlookRecipientText(u"ANN@x", u"ann@x"), u"\"ANN@x\" <ann@x>") << "the comparison is exact";
    EXPECT_EQ(OutlookRecipientText(u"Name", u""), u"\"Name\" <>");
}

TEST(OutlookArguments, ComparisonFoldsOnlyAsciiLetters) {
    EXPECT_TRUE(EqualsIgnoringAsciiCase(u"Ann@Example.COM", u"ann@example.com"));
    EXPECT_TRUE(EqualsIgnoringAsciiCase(u"ZED@AZ", u"zed@az")) << "A and Z are letters";
    EXPECT_FALSE(EqualsIgnoringAsciiCase(u"@[", u"`{")) << "the signs next to them are not";
    EXPECT_FALSE(EqualsIgnoringAsciiCase(u"\u00c4@x", u"\u00e4@x"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase(u"ann", u"anna"));
    EXPECT_TRUE(EqualsIgnoringAsciiCase(nullptr, u""));
}

using Decoded = testing::DecodedRequest;
using testing::Decode;

TEST(OutlookArguments, RecipientTypesFollowTheGroups) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::From, "", "f@x")
        .AddRecipient(RecipientGroup::To, "", "t1@x")
        .AddRecipient(RecipientGroup::To, "", "t2@x")
        .AddRecipient(RecipientGroup::Cc, "", "c@x")
        .AddRecipient(RecipientGroup::Bcc, "", "b@x");
    Decoded d = Decode(writer);
    EXPECT_EQ(OutlookRecipientType(d.request, 1), 1);
    EXPECT_EQ(OutlookRecipientType(d.request, 2), 1);
    EXPECT_EQ(OutlookRecipientType(d.request, 3), 2);
    EXPECT_EQ(OutlookRecipientType(d.request, 4), 3);
}

// Records what the selection asks of Outlook.
struct FakeSession {
    std::vector<std::u16string> accountAddresses;  // index 1 is element 0
    std::vector<std::string> calls;

    struct Accounts {
        FakeSession* session;
        struct Account {
            FakeSession* session;
            long index;
            std::u16string Address() const {
                session->calls.push_back("Address(" + std::to_string(index) + ")");
                return session->accountAddresses[size_t(index - 1)];
            }
        };
        long Count() const {
            session->calls.push_back("Count");
            return long(session->accountAddresses.size());
        }
        Account Item(long index) const { return Account{session, index}; }
    };

    Accounts OpenAccounts() {
        calls.push_back("OpenAccounts");
        return Accounts{this};
    }
    void UseAccount(Accounts::Account& account) {
        calls.push_back("UseAccount(" + std::to_string(account.index) + ")");
    }
    void SetSentOnBehalfOf(const char16_t* name) {
        calls.push_back(
            "SentOnBehalfOf(" +
            (name ? std::string(name, name + std::char_traits<char16_t>::length(name)) : std::string("null")) + ")");
    }
};

std::vector<std::string> Select(const MailRequestWriter& writer, std::vector<std::u16string> accounts) {
    Decoded d = Decode(writer);
    FakeSession session;
    session.accountAddresses = std::move(accounts);
    SelectOutlookSender(d.request, session);
    return session.calls;
}

TEST(OutlookSenderSelection, MatchInOtherCaseSelectsTheAccountAndClearsOnBehalf) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::From, "", "Me@Example.com").AddRecipient(RecipientGroup::To, "", "t@x");
    EXPECT_EQ(Select(writer, {u"other@x", u"me@example.com", u"third@x"}),
              (std::vector<std::string>{"OpenAccounts", "Count", "Address(3)", "Address(2)", "UseAccount(2)",
                                        "SentOnBehalfOf(null)"}));
}

TEST(OutlookSenderSelection, HigherIndexWinsAmongEqualAddresses) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::Sender, "", "me@x");
    auto calls = Select(writer, {u"me@x", u"me@x"});
    EXPECT_EQ(calls[3], "UseAccount(2)");
}

TEST(OutlookSenderSelection, WithoutMatchTheLastNonEmptyCandidateStays) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::From, "", "a@x")
        .AddRecipient(RecipientGroup::Sender, "", "b@x")
        .AddRecipient(RecipientGroup::Sender, "", "");
    EXPECT_EQ(Select(writer, {u"z@x"}),
              (std::vector<std::string>{"OpenAccounts", "Count", "Address(1)", "SentOnBehalfOf(a@x)", "OpenAccounts",
                                        "Count", "Address(1)", "SentOnBehalfOf(b@x)"}))
        << "an empty candidate is skipped without asking for accounts";
}

TEST(OutlookSenderSelection, GroupOneMatchEndsTheSelection) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::From, "", "me@x").AddRecipient(RecipientGroup::Sender, "", "z@x");
    auto calls = Select(writer, {u"me@x"});
    EXPECT_EQ(calls.back(), "SentOnBehalfOf(null)");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "OpenAccounts"), 1);
}

TEST(OutlookSenderSelection, ProfileWithoutAccountsSetsEveryCandidate) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::From, "", "a@x").AddRecipient(RecipientGroup::From, "", "b@x");
    EXPECT_EQ(Select(writer, {}), (std::vector<std::string>{"OpenAccounts", "Count", "SentOnBehalfOf(a@x)",
                                                            "OpenAccounts", "Count", "SentOnBehalfOf(b@x)"}));
}

TEST(OutlookSenderSelection, NoCandidatesTouchNothing) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "t@x");
    EXPECT_TRUE(Select(writer, {u"t@x"}).empty());
}

TEST(OutlookArguments, AttachmentDisplayNameIsTheStagedFilesCleanName) {
    MailAttachment attachment;
    attachment.fileName = u"\\\\?\\UNC\\host\\share\\x10";
    EXPECT_EQ(OutlookAttachmentDisplayName(attachment), u"x10");
    attachment.stagedPath = u"C:\\Temp\\Zobrik\\1-1\\x10 (2)";
    EXPECT_EQ(OutlookAttachmentDisplayName(attachment), u"x10 (2)");
    attachment.fileName = nullptr;
    EXPECT_EQ(OutlookAttachmentDisplayName(attachment), u"");
}

}  // namespace
}  // namespace zobrik
