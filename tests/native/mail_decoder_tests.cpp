// Acceptance rules and decoded form of mail requests.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decoded_request.h"
#include "mail/mail_decoder.h"
#include "native/debug_output_recorder.h"
#include "zobrik/mail_request_writer.h"

namespace zobrik {
namespace {

using sdk::MailRequestLayout;
using sdk::MailRequestWriter;
using Group = sdk::RecipientGroup;
using Bytes = std::vector<uint8_t>;

using testing::kAccepted;

std::string ErrorOf(const Bytes& bytes) { return testing::DecodeOutcome(bytes); }

class MailDecoder : public ::testing::Test {
protected:
    void SetUp() override { zobrik::testing::TakeDebugLines(); }

    // Decodes `request` in place; the request must outlive the result.
    MailRequest Decode(Bytes& request) {
        try {
            return DecodeMailRequest(request.data(), uint32_t(request.size()));
        } catch (const char* message) {
            ADD_FAILURE() << "rejected: " << message;
            throw;
        }
    }
};

std::u16string Text(const WideChar* p) { return p ? std::u16string(p) : u"(null)"; }

Bytes Repeat(char c, size_t n) { return Bytes(n, uint8_t(c)); }

std::string Chars(char c, size_t n) { return std::string(n, c); }

MailRequestWriter::Overrides WithDataOffset(uint64_t dataOffset) {
    MailRequestWriter::Overrides o;
    o.dataOffset = dataOffset;
    return o;
}

// ---------------------------------------------------------------------------
// Requests shorter than the header

TEST_F(MailDecoder, RequestShorterThanHeaderIsMissingData) {
    for (size_t n : {size_t(0), size_t(1), size_t(15), size_t(16), size_t(63)}) {
        Bytes bytes(n, 0);
        if (n >= 16) sdk::PutUint64LE(bytes.data() + 8, n);  // totalSize would match
        EXPECT_EQ(ErrorOf(bytes), "missing some data") << n << " bytes";
    }
}

TEST_F(MailDecoder, HeaderAloneHasNoSubject) {
    Bytes bytes(64, 0);
    sdk::PutUint64LE(bytes.data() + 8, 64);
    EXPECT_EQ(ErrorOf(bytes), "invalid string input");
}

// ---------------------------------------------------------------------------
// Rules 1 and 2: version and flags

TEST_F(MailDecoder, OnlyVersionZeroIsAccepted) {
    for (uint32_t version : {1u, 0x100u, 0x80000000u, 0xFFFFFFFFu}) {
        MailRequestWriter::Overrides o;
        o.version = version;
        EXPECT_EQ(ErrorOf(MailRequestWriter().Override(o).Build()), "Invalid header version") << version;
    }
}

TEST_F(MailDecoder, FlagsAboveSevenAreAnInvalidVersion) {
    for (uint32_t flags : {8u, 9u, 0x10u, 0xFFFFFFFFu}) {
        EXPECT_EQ(ErrorOf(MailRequestWriter().Flags(flags).Build()), "Invalid header version") << flags;
    }
}

TEST_F(MailDecoder, EveryFlagCombinationUpToSevenIsAccepted) {
    for (uint32_t flags = 0; flags <= 7; ++flags) {
        Bytes request = MailRequestWriter().Flags(flags).Build();
        EXPECT_EQ(Decode(request).flags, flags);
    }
}

TEST_F(MailDecoder, VersionIsCheckedBeforeTotalSize) {
    MailRequestWriter::Overrides o;
    o.version = 1;
    o.totalSize = 5;
    EXPECT_EQ(ErrorOf(MailRequestWriter().Override(o).Build()), "Invalid header version");
    EXPECT_EQ(ErrorOf(MailRequestWriter().Flags(8).Override(o).Build()), "Invalid header version");
}

// ---------------------------------------------------------------------------
// Rule 3: totalSize

TEST_F(MailDecoder, TotalSizeOffByOneIsMissingData) {
    const size_t length = MailRequestWriter().Build().size();
    for (uint64_t total :
         {uint64_t(length - 1), uint64_t(length + 1), uint64_t(0), uint64_t(length) + (uint64_t(1) << 32)}) {
        MailRequestWriter::Overrides o;
        o.totalSize = total;
        EXPECT_EQ(ErrorOf(MailRequestWriter().Override(o).Build()), "missing some data") << total;
    }
}

TEST_F(MailDecoder, TotalSizeIsCheckedBeforeDataOffset) {
    MailRequestWriter::Overrides o;
    o.totalSize = 67;
    o.dataOffset = 1000;
    Bytes bytes = MailRequestWriter().Override(o).Build();
    EXPECT_EQ(ErrorOf(bytes), "missing some data");

    // A rejected request keeps its dataOffset of 0: the replacement belongs
    // to the rule after the totalSize check.
    o.dataOffset = 0;
    Bytes request = MailRequestWriter().Override(o).Build();
    EXPECT_THROW(DecodeMailRequest(request.data(), uint32_t(request.size())), const char*);
    EXPECT_EQ(ReadUint64LE(request.data() + 16), 0u);
}

// ---------------------------------------------------------------------------
// Rules 4 and 5: dataOffset

TEST_F(MailDecoder, SmallestRequestIs66BytesWithEitherDataOffset) {
    for (uint64_t dataOffset : {uint64_t(0), uint64_t(66)}) {
        Bytes request = MailRequestWriter().Override(WithDataOffset(dataOffset)).Build();
        ASSERT_EQ(request.size(), 66u);
        MailRequest mail = Decode(request);
        EXPECT_EQ(mail.textCapacity, 132u);
        EXPECT_EQ(Text(mail.subject), u"");
        EXPECT_EQ(Text(mail.body), u"");
        // Each empty string takes one unit: the body follows the subject's
        // terminator directly.
        EXPECT_EQ(mail.subject, mail.text.get());
        EXPECT_EQ(mail.body, mail.text.get() + 1);
        EXPECT_EQ(mail.recipientCount, 0u);
        EXPECT_TRUE(mail.recipients.empty());
        EXPECT_TRUE(mail.attachments.empty());
    }
}

TEST_F(MailDecoder, DataOffsetZeroIsReplacedInTheRequest) {
    Bytes request = MailRequestWriter().Subject("s").Override(WithDataOffset(0)).Build();
    Decode(request);
    EXPECT_EQ(ReadUint64LE(request.data() + 16), request.size());
}

TEST_F(MailDecoder, NonZeroDataOffsetIsLeftAsSent) {
    Bytes request = MailRequestWriter().Subject("s").Build();
    Bytes original = request;
    Decode(request);
    EXPECT_EQ(request, original);
}

TEST_F(MailDecoder, DataOffsetBeyondTheRequestIsInvalid) {
    const uint64_t length = MailRequestWriter().Build().size();
    for (uint64_t dataOffset : {length + 1, uint64_t(1) << 32, ~uint64_t(0)}) {
        EXPECT_EQ(ErrorOf(MailRequestWriter().Override(WithDataOffset(dataOffset)).Build()), "Invalid file offset!")
            << dataOffset;
    }
}

TEST_F(MailDecoder, ByteBeforeDataOffsetMustBeZero) {
    // Every string is terminated, but the data area's last byte is not 0.
    Bytes noDataArea = MailRequestWriter().Trailer({'x'}).Override(WithDataOffset(0)).Build();
    EXPECT_EQ(ErrorOf(noDataArea), "Invalid file offset!");
    // dataOffset 65 points behind the subject's first character.
    Bytes inSubject = MailRequestWriter().Subject("ab").Override(WithDataOffset(65)).Build();
    EXPECT_EQ(ErrorOf(inSubject), "Invalid file offset!");
    // Byte 0 holds the version's low byte; dataOffset 1 is checked against it.
    EXPECT_EQ(ErrorOf(MailRequestWriter().Override(WithDataOffset(1)).Build()), kAccepted);
}

TEST_F(MailDecoder, UnterminatedLastStringFailsTheDataOffsetCheck) {
    MailRequestWriter::Overrides o;
    o.unterminatedLastString = true;
    o.dataOffset = 0;
    EXPECT_EQ(ErrorOf(MailRequestWriter().Body("text").Override(o).Build()), "Invalid file offset!");
}

TEST_F(MailDecoder, DataOffsetBelowTheStringAreaSizesASmallBuffer) {
    // Byte 3 is the version's high byte, 0: accepted, 8 units of text.
    Bytes request = MailRequestWriter().Subject("abc").Body("de").Override(WithDataOffset(4)).Build();
    MailRequest mail = Decode(request);
    EXPECT_EQ(mail.textCapacity, 8u);
    EXPECT_EQ(Text(mail.subject), u"abc");
    EXPECT_EQ(Text(mail.body), u"de");
}

TEST_F(MailDecoder, AttachmentOffsetsCountFromASmallDataOffset) {
    MailRequestLayout layout;
    Bytes request = MailRequestWriter().AddAttachment("a", {1, 2, 3}).Override(WithDataOffset(4)).Build(&layout);
    // Capacity 8 units: subject, body and "a" need 4.
    EXPECT_EQ(ReadUint64LE(request.data() + layout.attachments[0].record), layout.dataArea - 4);
    MailRequest mail = Decode(request);
    EXPECT_EQ(mail.attachments[0].data, request.data() + layout.dataArea);
}

// ---------------------------------------------------------------------------
// Counts that the request cannot hold, rejected before anything is sized

TEST_F(MailDecoder, RecipientCountsAtTheSmallestRecordSizeAreDecoded) {
    // Three records of two empty strings: exactly 2 bytes each.
    MailRequestWriter writer;
    for (int i = 0; i < 3; ++i) writer.AddRecipient(Group::To, "", "");
    Bytes request = writer.Build();
    ASSERT_EQ(request.size(), 66u + 6u);
    EXPECT_EQ(Decode(request).recipients.size(), 3u);

    // One more record promised than the remaining bytes can hold.
    MailRequestWriter::Overrides o;
    o.recipientCounts[size_t(Group::Bcc)] = 1;
    EXPECT_EQ(ErrorOf(writer.Override(o).Build()), kTooManyRecordsMessage);
}

TEST_F(MailDecoder, AttachmentCountAtTheSmallestRecordSizeIsDecoded) {
    // One 17-byte record lying in the data area and naming itself as data:
    // the request is exactly 64 + 2 + 17 bytes long.
    Bytes request(83, 0);
    sdk::PutUint64LE(request.data() + 8, 83);
    sdk::PutUint64LE(request.data() + 16, 66);
    sdk::PutUint32LE(request.data() + 52, 1);
    sdk::PutUint64LE(request.data() + 66, 0);   // offset: starts at dataOffset
    sdk::PutUint64LE(request.data() + 74, 17);  // size: up to the last byte
    MailRequest mail = Decode(request);
    ASSERT_EQ(mail.attachments.size(), 1u);
    EXPECT_EQ(mail.attachments[0].data, request.data() + 66);
    EXPECT_EQ(mail.attachments[0].size, 17u);

    sdk::PutUint32LE(request.data() + 52, 2);
    EXPECT_EQ(ErrorOf(request), kTooManyRecordsMessage);
}

TEST_F(MailDecoder, PossibleCountsKeepTheirRuleMessages) {
    // Two bytes are enough for one record of empty strings, but these are not
    // terminated: the record is read and fails as a string.
    Bytes noTerminator = MailRequestWriter().Trailer({'a', 'b'}).Override(WithDataOffset(66)).Build();
    sdk::PutUint32LE(noTerminator.data() + 40, 1);
    EXPECT_EQ(ErrorOf(noTerminator), "invalid string input");

    // 22 bytes after the header hold 1 attachment at the smallest size, but
    // the subject takes 11 of them: fewer than 17 remain for the record.
    Bytes shortRecord =
        MailRequestWriter().Subject("abcdefghij").Trailer(Repeat('z', 9)).Override(WithDataOffset(76)).Build();
    shortRecord.push_back(0);
    sdk::PutUint64LE(shortRecord.data() + 8, shortRecord.size());
    sdk::PutUint32LE(shortRecord.data() + 52, 1);
    ASSERT_EQ(shortRecord.size(), 64u + 22u);
    EXPECT_EQ(ErrorOf(shortRecord), "buffer overflow 2");
}

TEST_F(MailDecoder, CountsAreCheckedAfterTheHeaderRules) {
    MailRequestWriter::Overrides o;
    o.attachmentCount = 0xFFFFFFFF;
    o.dataOffset = 1000;
    EXPECT_EQ(ErrorOf(MailRequestWriter().Override(o).Build()), "Invalid file offset!");
    o.dataOffset.reset();
    o.totalSize = 1;
    EXPECT_EQ(ErrorOf(MailRequestWriter().Override(o).Build()), "missing some data");
}

TEST_F(MailDecoder, HugeCountsInASmallRequestAllocateNothing) {
    // Without the early check these would size buffers of many gigabytes,
    // which the sanitizer's allocator reports as a failure.
    Bytes request = MailRequestWriter().Trailer(Repeat(0, 34)).Build();
    ASSERT_EQ(request.size(), 100u);
    for (size_t field : {32, 36, 40, 44, 48, 52}) {
        Bytes bytes = request;
        sdk::PutUint32LE(bytes.data() + field, 0xFFFFFFFF);
        EXPECT_EQ(ErrorOf(bytes), kTooManyRecordsMessage) << "field " << field;
    }
}

TEST_F(MailDecoder, RecipientCountsThatWrapIn32BitsAreRejected) {
    // 0xFFFFFFFF + 1 wraps to 0: decoding it as "no recipients" would leave
    // group counts that index far beyond the recipients.
    Bytes request = MailRequestWriter().Trailer(Repeat(0, 34)).Build();
    sdk::PutUint32LE(request.data() + 32, 0xFFFFFFFF);
    sdk::PutUint32LE(request.data() + 40, 1);
    EXPECT_EQ(ErrorOf(request), kTooManyRecordsMessage);
    for (size_t field = 32; field <= 48; field += 4) sdk::PutUint32LE(request.data() + field, 0x33333334);
    EXPECT_EQ(ErrorOf(request), kTooManyRecordsMessage);
}

// ---------------------------------------------------------------------------
// String reading

TEST_F(MailDecoder, StringEndingAtTheLastByteIsAccepted) {
    Bytes request = MailRequestWriter().AddRecipient(Group::To, "Ann", "ann@x").Build();
    ASSERT_EQ(request.back(), 0);
    MailRequest mail = Decode(request);
    EXPECT_EQ(Text(mail.recipients[0].address), u"ann@x");
}

TEST_F(MailDecoder, StringAfterTheLastByteIsInvalidInput) {
    // The address would start at the request's length.
    Bytes request = MailRequestWriter().AddRecipient(Group::To, "Ann", "ann@x").Build();
    sdk::PutUint32LE(request.data() + 40, 2);
    // 12 bytes after the header allow 2 recipients at the smallest size.
    EXPECT_EQ(ErrorOf(request), "invalid string input");
}

TEST_F(MailDecoder, BodyStartingAtTheEndIsInvalidInput) {
    Bytes bytes = MailRequestWriter().Build();
    bytes.pop_back();  // the body's terminator
    sdk::PutUint64LE(bytes.data() + 8, bytes.size());
    sdk::PutUint64LE(bytes.data() + 16, 0);
    EXPECT_EQ(ErrorOf(bytes), "invalid string input");
}

TEST_F(MailDecoder, StringsAreBoundedByTheRequestNotByDataOffset) {
    // The recipient's strings lie entirely in the data area.
    Bytes request = MailRequestWriter().AddRecipient(Group::Cc, "Name", "a@b").Override(WithDataOffset(66)).Build();
    MailRequest mail = Decode(request);
    EXPECT_EQ(Text(mail.recipients[0].displayName), u"Name");
}

TEST_F(MailDecoder, RecordRunningPastTheEndIsInvalidInput) {
    // The address has no terminator before the end (the data area's last
    // byte, which is 0, is the display name's terminator).
    Bytes request = MailRequestWriter().Trailer({'n', 0, 'a', 'd', 'r'}).Override(WithDataOffset(66)).Build();
    sdk::PutUint32LE(request.data() + 40, 1);
    EXPECT_EQ(ErrorOf(request), "invalid string input");
}

// ---------------------------------------------------------------------------
// String conversion and the capacity of the text buffer

TEST_F(MailDecoder, MalformedUtf8IsReplacedNotRejected) {
    Bytes request = MailRequestWriter()
                        .Subject(
                            "a\xFF"
                            "b")
                        .Body("\xC3")
                        .Build();
    MailRequest mail = Decode(request);
    EXPECT_EQ(Text(mail.subject), u"a\uFFFDb");
    EXPECT_EQ(Text(mail.body), u"\uFFFD");
}

TEST_F(MailDecoder, FourByteSequencesBecomeSurrogatePairs) {
    Bytes request = MailRequestWriter().Subject("\xF0\x9F\x98\x80 \xE2\x82\xAC \xC3\xA9").Build();
    EXPECT_EQ(Text(Decode(request).subject), u"\U0001F600 \u20AC \u00E9");
}

TEST_F(MailDecoder, SubjectFillingTheBufferLeavesNoRoomForTheBody) {
    // dataOffset 4: capacity 8 units; a 7-character subject uses all of them.
    Bytes request = MailRequestWriter().Subject("abcdefg").Override(WithDataOffset(4)).Build();
    EXPECT_EQ(ErrorOf(request), "invalid string conversion");
    Bytes fits = MailRequestWriter().Subject("abcdef").Override(WithDataOffset(4)).Build();
    EXPECT_EQ(ErrorOf(fits), kAccepted);
}

// dataOffset 66, one recipient whose strings lie in the data area:
// capacity 2 * 66 + 5 = 137 units, subject and body use 2.
Bytes CapacityExample(size_t nameLength, const std::string& address) {
    return MailRequestWriter()
        .AddRecipient(Group::To, Chars('n', nameLength), address)
        .Override(WithDataOffset(66))
        .Build();
}

TEST_F(MailDecoder, CapacityExampleNameOf130LeavesNoRoomForThePrefix) {
    EXPECT_EQ(ErrorOf(CapacityExample(130, "")), "buffer overflow 1");
    EXPECT_EQ(ErrorOf(CapacityExample(131, "")), "buffer overflow 1");
}

TEST_F(MailDecoder, CapacityExampleNameOf128LeavesRoomForAnEmptyAddressOnly) {
    Bytes request = CapacityExample(128, "");
    MailRequest mail = Decode(request);
    EXPECT_EQ(mail.textCapacity, 137u);
    EXPECT_EQ(Text(mail.recipients[0].smtpAddress), u"SMTP:");
    EXPECT_EQ(mail.recipients[0].address + 1, mail.text.get() + mail.textCapacity);

    EXPECT_EQ(ErrorOf(CapacityExample(128, "x")), "invalid string conversion");
    // 129 characters leave 5 units: no room for prefix and terminator.
    EXPECT_EQ(ErrorOf(CapacityExample(129, "")), "buffer overflow 1");
}

TEST_F(MailDecoder, NameOverflowingTheBufferIsAConversionFailure) {
    // 135 units are left after subject and body.
    EXPECT_EQ(ErrorOf(CapacityExample(134, "")), "buffer overflow 1");
    EXPECT_EQ(ErrorOf(CapacityExample(135, "")), "invalid string conversion");
}

TEST_F(MailDecoder, StringsArePackedBackToBackFromTheBufferStart) {
    Bytes request = MailRequestWriter().Subject("abc").AddRecipient(Group::To, "n", "a").Build();
    MailRequest mail = Decode(request);
    // "abc", "", "n", "SMTP:a": 4 + 1 + 2 + 7 units.
    const size_t used = 14;
    EXPECT_EQ(Text(mail.recipients[0].smtpAddress), u"SMTP:a");
    EXPECT_EQ(mail.recipients[0].smtpAddress + 7, mail.text.get() + used);
    ASSERT_EQ(mail.textCapacity, 2 * request.size() + 5);
    // Every unit up to the last terminator was written by the decoder (the
    // rest of the buffer is not initialised and never handed out).
    EXPECT_EQ(mail.subject, mail.text.get());
    EXPECT_EQ(mail.body, mail.text.get() + 4);
    EXPECT_EQ(mail.recipients[0].displayName, mail.text.get() + 5);
    EXPECT_EQ(mail.text[used - 1], 0);
}

TEST_F(MailDecoder, StringsBeforeDataOffsetAlwaysFit) {
    // Three-byte characters (1 unit each) and four-byte ones (2 units each)
    // never need more units than bytes.
    std::string text;
    for (int i = 0; i < 50; ++i) text += "\xE2\x82\xAC\xF0\x9F\x98\x80\xFF";
    MailRequestWriter writer;
    writer.Subject(text).Body(text);
    for (int i = 0; i < 3; ++i) writer.AddRecipient(Group::To, text, text);
    writer.AddAttachment(text, {1});
    EXPECT_EQ(ErrorOf(writer.Build()), kAccepted);
}

// ---------------------------------------------------------------------------
// Recipients

TEST_F(MailDecoder, EmptyRecordYieldsPrefixAlone) {
    Bytes request = MailRequestWriter().AddRecipient(Group::To, "", "").Build();
    MailRequest mail = Decode(request);
    const MailRecipient& r = mail.recipients[0];
    EXPECT_EQ(Text(r.displayName), u"");
    EXPECT_EQ(Text(r.address), u"");
    EXPECT_EQ(Text(r.smtpAddress), u"SMTP:");
}

TEST_F(MailDecoder, AddressIsTheTailOfTheSmtpAddress) {
    Bytes request = MailRequestWriter()
                        .AddRecipient(Group::From, "Ann", "ann@example.com")
                        .AddRecipient(Group::Bcc, "", "SMTP:bob@example.com")
                        .Build();
    MailRequest mail = Decode(request);
    EXPECT_EQ(mail.recipients[0].address, mail.recipients[0].smtpAddress + 5);
    EXPECT_EQ(Text(mail.recipients[0].smtpAddress), u"SMTP:ann@example.com");
    EXPECT_EQ(Text(mail.recipients[0].address), u"ann@example.com");
    // A prefix that is already there is not recognised.
    EXPECT_EQ(Text(mail.recipients[1].smtpAddress), u"SMTP:SMTP:bob@example.com");
}

TEST_F(MailDecoder, RecipientsStandInGroupOrder) {
    Bytes request = MailRequestWriter()
                        .AddRecipient(Group::Bcc, "", "bcc")
                        .AddRecipient(Group::To, "", "to1")
                        .AddRecipient(Group::From, "", "from")
                        .AddRecipient(Group::Cc, "", "cc")
                        .AddRecipient(Group::To, "", "to2")
                        .AddRecipient(Group::Sender, "", "sender")
                        .Build();
    MailRequest mail = Decode(request);
    EXPECT_EQ(mail.fromCount, 1u);
    EXPECT_EQ(mail.senderCount, 1u);
    EXPECT_EQ(mail.toCount, 2u);
    EXPECT_EQ(mail.ccCount, 1u);
    EXPECT_EQ(mail.bccCount, 1u);
    EXPECT_EQ(mail.recipientCount, 6u);
    std::vector<std::u16string> order;
    for (const MailRecipient& r : mail.recipients) order.push_back(Text(r.address));
    EXPECT_EQ(order, (std::vector<std::u16string>{u"from", u"sender", u"to1", u"to2", u"cc", u"bcc"}));
}

// ---------------------------------------------------------------------------
// Attachments

TEST_F(MailDecoder, AttachmentDataPointsIntoTheRequest) {
    MailRequestLayout layout;
    Bytes request = MailRequestWriter()
                        .AddAttachment("b.bin", {})
                        .AddAttachment("dir\\sub/report.pdf", {'%', 'P', 'D', 'F'})
                        .Build(&layout);
    MailRequest mail = Decode(request);
    ASSERT_EQ(mail.attachments.size(), 2u);
    EXPECT_EQ(mail.attachments[0].size, 0u);
    EXPECT_EQ(mail.attachments[1].data, request.data() + layout.attachments[1].data);
    EXPECT_EQ(mail.attachments[1].size, 4u);
    EXPECT_EQ(Text(mail.attachments[1].fileName), u"dir\\sub/report.pdf");
    for (const MailAttachment& a : mail.attachments) EXPECT_EQ(a.stagedPath, nullptr);
}

TEST_F(MailDecoder, OverlappingAttachmentsAndUnreferencedBytesAreAccepted) {
    Bytes request = MailRequestWriter()
                        .AddAttachment("a", {1, 2, 3, 4}, {uint64_t(0), uint64_t(4)})
                        .AddAttachment("b", {}, {uint64_t(1), uint64_t(2)})
                        .Padding({'p', 'p', 'p', 0})
                        .Trailer(Repeat('t', 9))
                        .Build();
    MailRequest mail = Decode(request);
    EXPECT_EQ(mail.attachments[1].data, mail.attachments[0].data + 1);
}

TEST_F(MailDecoder, ReservedHeaderBytesAreIgnored) {
    MailRequestWriter::Overrides o;
    o.reserved1 = ~uint64_t(0);
    o.reserved2 = 0x1122334455667788;
    EXPECT_EQ(ErrorOf(MailRequestWriter().Subject("s").Override(o).Build()), kAccepted);
}

TEST_F(MailDecoder, AttachmentWithoutDataAreaHasNoFirstByte) {
    // dataOffset 0 means the data area starts at the end: even size 0 fails.
    MailRequestWriter::Overrides o;
    o.dataOffset = 0;
    Bytes request = MailRequestWriter().AddAttachment("a", {}, {uint64_t(0), std::nullopt}).Override(o).Build();
    EXPECT_EQ(ErrorOf(request), "buffer overflow 3");
}

TEST_F(MailDecoder, EmptyAttachmentAtTheLastByteIsAccepted) {
    MailRequestLayout layout;
    Bytes request = MailRequestWriter().AddAttachment("a", {}).Trailer({0}).Build(&layout);
    MailRequest mail = Decode(request);
    EXPECT_EQ(mail.attachments[0].data, request.data() + request.size() - 1);

    // Its data start moved to the request's length.
    sdk::PutUint64LE(request.data() + layout.attachments[0].record, 1);
    EXPECT_EQ(ErrorOf(request), "buffer overflow 3");
}

TEST_F(MailDecoder, OffsetWrappingAround64BitsIsBeyondTheEnd) {
    for (uint64_t offset : {~uint64_t(0), ~uint64_t(0) - 60, uint64_t(1) << 32}) {
        Bytes request = MailRequestWriter().AddAttachment("a", {1}, {offset, std::nullopt}).Build();
        EXPECT_EQ(ErrorOf(request), "buffer overflow 3") << offset;
    }
}

TEST_F(MailDecoder, RecordWithFewerThan17BytesLeftOverflows) {
    // Exactly 16 bytes after the body, the last of them 0.
    Bytes request =
        MailRequestWriter().Subject(Chars('s', 20)).Trailer(Repeat(0, 16)).Override(WithDataOffset(0)).Build();
    sdk::PutUint32LE(request.data() + 52, 1);
    EXPECT_EQ(ErrorOf(request), "buffer overflow 2");
}

TEST_F(MailDecoder, RecordOfExactly17BytesReadsItsName) {
    // The record is the request's last 17 bytes; its data lies in the string
    // area (dataOffset 66, offset 0, size 1).
    Bytes request(83, 0);
    sdk::PutUint64LE(request.data() + 8, 83);
    sdk::PutUint64LE(request.data() + 16, 66);
    sdk::PutUint32LE(request.data() + 52, 1);
    sdk::PutUint64LE(request.data() + 74, 1);
    EXPECT_EQ(ErrorOf(request), kAccepted);
}

TEST_F(MailDecoder, SizeIsCheckedBeforeTheFileName) {
    // Empty subject and body, dataOffset 66, then one record: offset 0,
    // size 0x80000000, and a file name without terminator up to the end.
    Bytes request(66 + 16 + 4, 'x');
    std::memset(request.data(), 0, 66);
    sdk::PutUint64LE(request.data() + 8, request.size());
    sdk::PutUint64LE(request.data() + 16, 66);
    sdk::PutUint32LE(request.data() + 52, 1);
    sdk::PutUint64LE(request.data() + 66, 0);
    sdk::PutUint64LE(request.data() + 74, 0x80000000);
    EXPECT_EQ(ErrorOf(request), "file too big");

    sdk::PutUint64LE(request.data() + 74, 0x7FFFFFFF);
    EXPECT_EQ(ErrorOf(request), "invalid string input");
}

TEST_F(MailDecoder, DataOnePastTheEndIsCheckedAfterTheFileName) {
    Bytes request = MailRequestWriter().AddAttachment("report.txt", {1, 2, 3}, {std::nullopt, uint64_t(4)}).Build();
    zobrik::testing::TakeDebugLines();
    EXPECT_EQ(ErrorOf(request), "buffer overflow 4");
    const std::vector<std::string> lines = zobrik::testing::TakeDebugLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "report.txt");

    Bytes tooBig = MailRequestWriter().AddAttachment("a", {1}, {std::nullopt, uint64_t(0x7FFFFFFF)}).Build();
    EXPECT_EQ(ErrorOf(tooBig), "buffer overflow 4");
}

TEST_F(MailDecoder, AttachmentRecordsMayContinueIntoTheDataArea) {
    // dataOffset 66: the whole record, name included, lies in the data area.
    Bytes request = MailRequestWriter().AddAttachment("a.txt", {'h', 'i'}).Override(WithDataOffset(66)).Build();
    MailRequest mail = Decode(request);
    EXPECT_EQ(Text(mail.attachments[0].fileName), u"a.txt");
    EXPECT_EQ(std::memcmp(mail.attachments[0].data, "hi", 2), 0);
}

// ---------------------------------------------------------------------------
// Debug trace

TEST_F(MailDecoder, EveryDecodedStringIsTracedInOrder) {
    Bytes request = MailRequestWriter()
                        .Subject("Subj \xC3\xA9")
                        .Body("Body")
                        .AddRecipient(Group::To, "Ann", "ann@x")
                        .AddRecipient(Group::Cc, "", "")
                        .AddAttachment("f.bin", {9})
                        .Build();
    Decode(request);
    EXPECT_EQ(zobrik::testing::TakeDebugLines(),
              (std::vector<std::string>{"Subj \xC3\xA9", "Body", "Ann", "ann@x", "", "", "f.bin"}));
}

TEST_F(MailDecoder, TraceStopsAtTheFailingString) {
    Bytes request = CapacityExample(128, "x");
    EXPECT_EQ(ErrorOf(request), "invalid string conversion");
    EXPECT_EQ(zobrik::testing::TakeDebugLines(), (std::vector<std::string>{"", "", Chars('n', 128)}));
}

TEST_F(MailDecoder, RejectedHeaderTracesNothing) {
    EXPECT_EQ(ErrorOf(MailRequestWriter().Subject("s").Flags(8).Build()), "Invalid header version");
    EXPECT_TRUE(zobrik::testing::TakeDebugLines().empty());
}

}  // namespace
}  // namespace zobrik
