// The early rejection of impossible record counts may only pre-empt requests
// that the ordered rules reject anyway, and must leave every other message
// unchanged. A small model walks the rules in order, without that check and
// without any buffer, and is compared with the decoder on many generated
// requests around the count limit.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decoded_request.h"
#include "mail/mail_decoder.h"
#include "mail/utf8_to_utf16.h"
#include "native/debug_output_recorder.h"
#include "zobrik/mail_request_writer.h"

namespace zobrik {
namespace {

using Bytes = std::vector<uint8_t>;
using sdk::MailRequestWriter;
using Group = sdk::RecipientGroup;

using testing::kAccepted;

std::string DecoderOutcome(const Bytes& bytes) { return testing::DecodeOutcome(bytes); }

// The ordered rules, counting text units instead of storing them.
std::string RuleOutcome(const Bytes& b) {
    const uint64_t length = b.size();
    if (length < 64) return "missing some data";
    const MailRequestHeader h = ReadMailRequestHeader(b.data());
    if (h.version != 0 || h.flags > 7) return "Invalid header version";
    if (h.totalSize != length) return "missing some data";
    const uint64_t dataOffset = h.dataOffset == 0 ? length : h.dataOffset;
    if (dataOffset > length || b[dataOffset - 1] != 0) return "Invalid file offset!";
    const uint32_t recipients = h.fromCount + h.senderCount + h.toCount + h.ccCount + h.bccCount;
    const uint64_t capacity = 2 * dataOffset + 5 * uint64_t(recipients);

    uint64_t cursor = 64;
    uint64_t used = 0;
    const char* error = nullptr;
    auto convert = [&]() {
        uint64_t end = cursor;
        while (end < length && b[end] != 0) ++end;
        if (end >= length) {
            error = "invalid string input";
            return false;
        }
        std::vector<WideChar> scratch(end - cursor + 1);
        const size_t units = Utf8ToUtf16(b.data() + cursor, scratch.size(), scratch.data(), scratch.size());
        if (units == 0 || units > capacity - used) {
            error = "invalid string conversion";
            return false;
        }
        used += units;
        cursor = end + 1;
        return true;
    };
    if (!convert() || !convert()) return error;
    for (uint32_t i = 0; i < recipients; ++i) {
        if (!convert()) return error;
        if (capacity - used < 6) return "buffer overflow 1";
        used += 5;
        if (!convert()) return error;
    }
    for (uint32_t i = 0; i < h.attachmentCount; ++i) {
        if (length - cursor < 17) return "buffer overflow 2";
        const uint64_t offset = ReadUint64LE(b.data() + cursor);
        const uint64_t size = ReadUint64LE(b.data() + cursor + 8);
        if (offset >= length - dataOffset) return "buffer overflow 3";
        if (size > 0x7FFFFFFF) return "file too big";
        cursor += 16;
        if (!convert()) return error;
        if (dataOffset + offset + size > length) return "buffer overflow 4";
    }
    return kAccepted;
}

class MailDecoderCountCheck : public ::testing::Test {
protected:
    void TearDown() override { zobrik::testing::TakeDebugLines(); }
};

TEST_F(MailDecoderCountCheck, EarlyRejectionOnlyPreemptsRejectedRequests) {
    std::mt19937 rng(20240607);
    auto pick = [&](uint32_t n) { return uint32_t(rng() % n); };
    const char* samples[] = {"", "a", "ab", "abc\xFF", "\xF0\x9F\x98\x80", "nnnnnnnnnnnnnnnnnnnn"};
    size_t earlyRejections = 0;
    size_t specifiedRejections = 0;
    size_t accepted = 0;

    for (int round = 0; round < 20000; ++round) {
        MailRequestWriter writer;
        writer.Subject(samples[pick(3)]).Body(samples[pick(3)]);
        const uint32_t recipients = pick(4);
        for (uint32_t i = 0; i < recipients; ++i) {
            writer.AddRecipient(Group(pick(5)), samples[pick(6)], samples[pick(6)]);
        }
        const uint32_t attachments = pick(3);
        for (uint32_t i = 0; i < attachments; ++i) {
            writer.AddAttachment(samples[pick(6)], Bytes(pick(20), 0));
        }
        if (pick(2)) writer.Trailer(Bytes(pick(40), 0));

        MailRequestWriter::Overrides o;
        // Counts near the number of records written, sometimes far beyond.
        for (auto& count : o.recipientCounts) {
            if (pick(3) == 0) count = pick(4) + (pick(8) == 0 ? pick(40) : 0);
        }
        if (pick(3) == 0) o.attachmentCount = pick(4) + (pick(8) == 0 ? pick(6) : 0);
        switch (pick(4)) {
            case 0:
                o.dataOffset = 0;
                break;
            case 1:
                o.dataOffset = 66;
                break;
            default:
                break;
        }
        Bytes request = writer.Override(o).Build();
        // Sometimes cut the request short and fix up its length fields.
        if (pick(4) == 0 && request.size() > 66) {
            request.resize(66 + pick(uint32_t(request.size() - 66)));
            sdk::PutUint64LE(request.data() + 8, request.size());
            if (ReadUint64LE(request.data() + 16) > request.size()) sdk::PutUint64LE(request.data() + 16, 0);
        }

        const std::string rules = RuleOutcome(request);
        const std::string decoder = DecoderOutcome(request);
        if (decoder == kTooManyRecordsMessage) {
            ++earlyRejections;
            EXPECT_NE(rules, kAccepted) << "round " << round;
        } else {
            EXPECT_EQ(decoder, rules) << "round " << round;
            ++(rules == kAccepted ? accepted : specifiedRejections);
        }
        if (::testing::Test::HasFailure()) break;
        zobrik::testing::TakeDebugLines();
    }
    // The generated requests reach all three outcomes in quantity.
    EXPECT_GT(earlyRejections, 1000u);
    EXPECT_GT(specifiedRejections, 1000u);
    EXPECT_GT(accepted, 1000u);
}

}  // namespace
}  // namespace zobrik
