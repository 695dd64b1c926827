// Parsing of the exec and mail replies by the SDK.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "zobrik/replies.h"

namespace zobrik {
namespace {

using sdk::ExecOutcome;
using sdk::MailReplyKind;
using Bytes = std::vector<uint8_t>;

Bytes TextReply(const std::string& text) {
    Bytes b(text.begin(), text.end());
    b.push_back(0);
    return b;
}

TEST(SdkExecReply, OkayAndFailed) {
    EXPECT_EQ(sdk::ParseExecReply(Bytes{'o', 'k', 'a', 'y', 0, 0, 0, 0}).outcome, ExecOutcome::Okay);
    EXPECT_EQ(sdk::ParseExecReply(Bytes{'f', 'a', 'i', 'l', 'e', 'd', 0, 0}).outcome, ExecOutcome::Failed);
}

TEST(SdkExecReply, EverythingElseIsAProtocolError) {
    const Bytes cases[] = {{},
                           {'o', 'k', 'a', 'y'},
                           {'o', 'k', 'a', 'y', 0, 0, 0},
                           {'o', 'k', 'a', 'y', 0, 0, 0, 0, 0},
                           {'o', 'k', 'a', 'y', 0, 0, 0, 1},
                           {'O', 'K', 'A', 'Y', 0, 0, 0, 0},
                           {'f', 'a', 'i', 'l', 'e', 'd', 0, 'x'},
                           {0, 0, 0, 0, 0, 0, 0, 0}};
    for (const Bytes& b : cases) {
        const sdk::ExecReply r = sdk::ParseExecReply(b);
        EXPECT_EQ(r.outcome, ExecOutcome::ProtocolError) << b.size();
        EXPECT_FALSE(r.problem.empty());
    }
    EXPECT_EQ(sdk::ParseExecReply(Bytes(3, 0)).problem, "an exec reply has 8 bytes, this one 3");
}

TEST(SdkMailReply, StatusBytes) {
    sdk::MailReply r = sdk::ParseMailReply(Bytes{0});
    EXPECT_EQ(r.kind, MailReplyKind::Status);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.HandedOver());
    EXPECT_EQ(sdk::DescribeMailReply(r), "handed over to the mail program");

    r = sdk::ParseMailReply(Bytes{2});
    EXPECT_EQ(r.kind, MailReplyKind::Status);
    EXPECT_EQ(r.status, 2);
    EXPECT_FALSE(r.HandedOver());
    EXPECT_EQ(sdk::DescribeMailReply(r), "the plug-in reported the status 2");
}

TEST(SdkMailReply, TextOfTheDecoderIsSplitIntoLabelAndMessage) {
    const Bytes bytes = TextReply("Exception: char const *       Invalid header version");
    ASSERT_EQ(bytes.size(), 53u);
    const sdk::MailReply r = sdk::ParseMailReply(bytes);
    EXPECT_EQ(r.kind, MailReplyKind::ErrorText);
    EXPECT_FALSE(r.HandedOver());
    EXPECT_EQ(r.text, "Exception: char const *       Invalid header version");
    EXPECT_EQ(r.errorType, "char const *");
    EXPECT_EQ(r.message, "Invalid header version");
    EXPECT_EQ(sdk::DescribeMailReply(r), "the plug-in reported an error: Invalid header version");
}

TEST(SdkMailReply, UnknownTypeIsTheShortestText) {
    const Bytes bytes = TextReply("Exception: unknown");
    ASSERT_EQ(bytes.size(), 19u);
    const sdk::MailReply r = sdk::ParseMailReply(bytes);
    EXPECT_EQ(r.kind, MailReplyKind::ErrorText);
    EXPECT_EQ(r.errorType, "unknown");
    EXPECT_EQ(r.message, "");
    EXPECT_EQ(sdk::DescribeMailReply(r), "the plug-in reported an error of unknown type");
}

TEST(SdkMailReply, OtherValueTypesKeepTheirLabel) {
    sdk::MailReply r = sdk::ParseMailReply(TextReply("Exception: int                7"));
    EXPECT_EQ(r.errorType, "int");
    EXPECT_EQ(r.message, "7");
    EXPECT_EQ(sdk::DescribeMailReply(r), "the plug-in reported an error: 7 (int)");

    r = sdk::ParseMailReply(TextReply("Exception: std::string        temp path too long"));
    EXPECT_EQ(sdk::DescribeMailReply(r), "the plug-in reported an error: temp path too long");
    r = sdk::ParseMailReply(TextReply("Exception: std::wstring       temp path too long"));
    EXPECT_EQ(sdk::DescribeMailReply(r), "the plug-in reported an error: temp path too long");

    r = sdk::ParseMailReply(TextReply("Exception: unsigned long long 18446744073709551615"));
    EXPECT_EQ(r.errorType, "unsigned long long");
    EXPECT_EQ(r.message, "18446744073709551615");

    r = sdk::ParseMailReply(TextReply("Exception: wchar_t const *    f\xc3\xbcr"));
    EXPECT_EQ(r.errorType, "wchar_t const *");
    EXPECT_EQ(r.message, "f\xc3\xbcr");
    EXPECT_EQ(sdk::DescribeMailReply(r), "the plug-in reported an error: f\xc3\xbcr");
}

TEST(SdkMailReply, LabelWithAnEmptyValueHasAnEmptyMessage) {
    // What the plug-in sends for a null text: the padded label and nothing after it.
    const Bytes bytes = TextReply("Exception: char const *       ");
    ASSERT_EQ(bytes.size(), 31u);
    const sdk::MailReply r = sdk::ParseMailReply(bytes);
    EXPECT_EQ(r.kind, MailReplyKind::ErrorText);
    EXPECT_FALSE(r.HandedOver());
    EXPECT_EQ(r.errorType, "char const *");
    EXPECT_EQ(r.message, "");
    EXPECT_EQ(r.text, "Exception: char const *       ");
}

TEST(SdkMailReply, UnusualTextsAreStillErrorTexts) {
    sdk::MailReply r = sdk::ParseMailReply(TextReply("something went wrong here"));
    EXPECT_EQ(r.kind, MailReplyKind::ErrorText);
    EXPECT_EQ(r.errorType, "");
    EXPECT_EQ(r.message, "something went wrong here");
    EXPECT_EQ(sdk::DescribeMailReply(r), "the plug-in reported an error: something went wrong here");

    r = sdk::ParseMailReply(TextReply("Exception: short one"));
    EXPECT_EQ(r.kind, MailReplyKind::ErrorText);
    EXPECT_EQ(r.errorType, "");
    EXPECT_EQ(r.message, "short one");
}

TEST(SdkMailReply, OtherShapesAreProtocolErrors) {
    for (size_t size : {size_t(0), size_t(2), size_t(8), size_t(18)}) {
        const sdk::MailReply r = sdk::ParseMailReply(Bytes(size, 'a'));
        EXPECT_EQ(r.kind, MailReplyKind::ProtocolError) << size;
        EXPECT_FALSE(r.HandedOver());
    }
    Bytes unterminated = TextReply("Exception: unknown");
    unterminated.back() = 'x';
    EXPECT_EQ(sdk::ParseMailReply(unterminated).kind, MailReplyKind::ProtocolError);
    Bytes inner = TextReply("Exception: unknown!!");
    inner[5] = 0;
    const sdk::MailReply r = sdk::ParseMailReply(inner);
    EXPECT_EQ(r.kind, MailReplyKind::ProtocolError);
    EXPECT_EQ(sdk::DescribeMailReply(r),
              "not a reply of the plug-in: the error text of a mail reply holds a zero byte before its end");
    EXPECT_EQ(sdk::ParseMailReply(Bytes(18, 'a')).problem, "a mail reply has 1 byte or at least 19, this one 18");
}

}  // namespace
}  // namespace zobrik
