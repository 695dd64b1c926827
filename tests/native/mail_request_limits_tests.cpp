// The limits on one mail request that keep its memory and its trace in
// proportion: record counts and the length of a traced string.
#include <string>

#include <gtest/gtest.h>

#include "decoded_request.h"
#include "include/request_limits.h"
#include "native/debug_output_recorder.h"

namespace zobrik {
namespace {

using sdk::MailRequestWriter;
using sdk::RecipientGroup;

MailRequestWriter WithRecipients(uint32_t count) {
    MailRequestWriter writer;
    const RecipientGroup groups[] = {RecipientGroup::From, RecipientGroup::To, RecipientGroup::Cc, RecipientGroup::Bcc};
    for (uint32_t i = 0; i < count; ++i) {
        writer.AddRecipient(groups[i % 4], "", "r" + std::to_string(i) + "@example.com");
    }
    return writer;
}

MailRequestWriter WithAttachments(uint32_t count) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "to@example.com");
    for (uint32_t i = 0; i < count; ++i) {
        writer.AddAttachment("f" + std::to_string(i), {uint8_t(i)});
    }
    return writer;
}

TEST(MailRequestLimits, RecordCountsAreBoundedAcrossAllGroups) {
    EXPECT_EQ(testing::DecodeOutcome(WithRecipients(kMaxMailRecipients).Build()), testing::kAccepted);
    EXPECT_EQ(testing::DecodeOutcome(WithRecipients(kMaxMailRecipients + 1).Build()), "too many records");
    EXPECT_EQ(testing::DecodeOutcome(WithAttachments(kMaxMailAttachments).Build()), testing::kAccepted);
    EXPECT_EQ(testing::DecodeOutcome(WithAttachments(kMaxMailAttachments + 1).Build()), "too many records");
    testing::TakeDebugLines();
}

std::string Utf8Of(size_t units, const std::string& unit) {
    std::string text;
    for (size_t i = 0; i < units; ++i) {
        text += unit;
    }
    return text;
}

TEST(MailRequestLimits, LongStringsAreTracedOnceAndCut) {
    testing::TakeDebugLines();
    MailRequestWriter writer;
    writer.Subject(Utf8Of(kTracedStringLength, "s")).Body(Utf8Of(5000, "b"));
    auto decoded = testing::Decode(writer);
    auto lines = testing::TakeDebugLines();
    ASSERT_EQ(lines.size(), 2u) << "each string once";
    EXPECT_EQ(lines[0], Utf8Of(kTracedStringLength, "s")) << "a string at the bound is traced whole";
    EXPECT_EQ(lines[1], Utf8Of(kTracedStringLength, "b") + "\xE2\x80\xA6 (5000 characters)");
    EXPECT_EQ(std::u16string_view(reinterpret_cast<const char16_t*>(decoded.request.body)).size(), 5000u)
        << "the decoded body itself stays whole";
}

TEST(MailRequestLimits, TraceIsNotCutInsideASurrogatePair) {
    testing::TakeDebugLines();
    MailRequestWriter writer;
    // 1023 letters, then emoji: the pair at units 1024/1025 must not be split.
    writer.Body(Utf8Of(kTracedStringLength - 1, "a") + Utf8Of(10, "\xF0\x9F\x98\x80"));
    testing::Decode(writer);
    auto lines = testing::TakeDebugLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], Utf8Of(kTracedStringLength - 1, "a") + "\xE2\x80\xA6 (1043 characters)");
}

}  // namespace
}  // namespace zobrik
