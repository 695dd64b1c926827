// The request writer: wire layout, overrides and chunking.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "include/mail_request.h"
#include "zobrik/mail_request_writer.h"

namespace zobrik {
namespace {

using sdk::MailRequestLayout;
using sdk::MailRequestWriter;
using Group = sdk::RecipientGroup;
using Bytes = std::vector<uint8_t>;

std::string StringAt(const Bytes& bytes, size_t offset) {
    return std::string(reinterpret_cast<const char*>(bytes.data() + offset));
}

TEST(MailRequestWriter, HeaderDescribesTheRequest) {
    Bytes request = MailRequestWriter()
                        .Flags(sdk::kMailFlagOutlook | sdk::kMailFlagHtmlBody)
                        .AddRecipient(Group::Bcc, "b", "b@x")
                        .AddRecipient(Group::To, "t", "t@x")
                        .AddRecipient(Group::To, "u", "u@x")
                        .AddAttachment("a", {1, 2, 3})
                        .Build();
    const MailRequestHeader h = ReadMailRequestHeader(request.data());
    EXPECT_EQ(h.version, 0u);
    EXPECT_EQ(h.flags, 5u);
    EXPECT_EQ(h.totalSize, request.size());
    EXPECT_EQ(h.dataOffset, request.size() - 3);
    EXPECT_EQ(h.fromCount, 0u);
    EXPECT_EQ(h.toCount, 2u);
    EXPECT_EQ(h.bccCount, 1u);
    EXPECT_EQ(h.attachmentCount, 1u);
}

TEST(MailRequestWriter, StringsAndRecordsStandBackToBackInGroupOrder) {
    MailRequestLayout layout;
    Bytes request = MailRequestWriter()
                        .Subject("subj")
                        .Body("body")
                        .AddRecipient(Group::Cc, "C", "c@x")
                        .AddRecipient(Group::From, "F", "f@x")
                        .AddAttachment("one.txt", {'1'})
                        .AddAttachment("two.txt", {'2', '2'})
                        .Build(&layout);
    EXPECT_EQ(layout.subject, 64u);
    EXPECT_EQ(layout.body, 69u);
    EXPECT_EQ(StringAt(request, layout.recipients[0].displayName), "F");
    EXPECT_EQ(StringAt(request, layout.recipients[1].address), "c@x");
    EXPECT_EQ(layout.attachments[0].record, layout.recipients[1].address + 4);
    EXPECT_EQ(layout.attachments[0].fileName, layout.attachments[0].record + 16);
    EXPECT_EQ(StringAt(request, layout.attachments[1].fileName), "two.txt");
    EXPECT_EQ(layout.dataArea, layout.stringAreaEnd);
    EXPECT_EQ(request[layout.attachments[1].data], '2');
    // Offsets count from dataOffset; sizes are the data lengths.
    EXPECT_EQ(ReadUint64LE(request.data() + layout.attachments[1].record), 1u);
    EXPECT_EQ(ReadUint64LE(request.data() + layout.attachments[1].record + 8), 2u);
}

TEST(MailRequestWriter, OverriddenDataOffsetKeepsOffsetsOnTheirBytes) {
    MailRequestLayout layout;
    MailRequestWriter::Overrides o;
    o.dataOffset = 66;
    Bytes request = MailRequestWriter().AddAttachment("a", {7}).Override(o).Build(&layout);
    EXPECT_EQ(ReadUint64LE(request.data() + 16), 66u);
    EXPECT_EQ(66 + ReadUint64LE(request.data() + layout.attachments[0].record), layout.attachments[0].data);

    o.dataOffset = 0;
    request = MailRequestWriter().AddAttachment("a", {7}).Override(o).Build(&layout);
    // With 0 written, offsets count from the request's end and wrap.
    EXPECT_EQ(ReadUint64LE(request.data() + layout.attachments[0].record), ~uint64_t(0));
}

TEST(MailRequestWriter, OverridesAreWrittenAsGiven) {
    MailRequestWriter::Overrides o;
    o.version = 3;
    o.totalSize = 12345;
    o.recipientCounts[size_t(Group::Sender)] = 9;
    o.attachmentCount = 0xFFFFFFFF;
    o.reserved1 = 1;
    o.reserved2 = 2;
    MailRequestLayout layout;
    Bytes request =
        MailRequestWriter().AddAttachment("a", {1}, {uint64_t(77), uint64_t(88)}).Override(o).Build(&layout);
    const MailRequestHeader h = ReadMailRequestHeader(request.data());
    EXPECT_EQ(h.version, 3u);
    EXPECT_EQ(h.totalSize, 12345u);
    EXPECT_EQ(h.senderCount, 9u);
    EXPECT_EQ(h.attachmentCount, 0xFFFFFFFFu);
    EXPECT_EQ(h.reserved1, 1u);
    EXPECT_EQ(h.reserved2, 2u);
    EXPECT_EQ(ReadUint64LE(request.data() + layout.attachments[0].record), 77u);
    EXPECT_EQ(ReadUint64LE(request.data() + layout.attachments[0].record + 8), 88u);
}

TEST(MailRequestWriter, UnterminatedLastStringDropsOnlyItsTerminator) {
    MailRequestWriter::Overrides o;
    o.unterminatedLastString = true;
    Bytes plain = MailRequestWriter().Body("xy").Build();
    Bytes cut = MailRequestWriter().Body("xy").Override(o).Build();
    ASSERT_EQ(cut.size() + 1, plain.size());
    EXPECT_EQ(cut.back(), 'y');
    EXPECT_EQ(ReadUint64LE(cut.data() + 8), cut.size());
}

TEST(MailRequestWriter, PaddingAndTrailerSurroundTheData) {
    MailRequestLayout layout;
    Bytes request = MailRequestWriter().AddAttachment("a", {'D'}).Padding({'P', 0}).Trailer({'T'}).Build(&layout);
    EXPECT_EQ(request[layout.stringAreaEnd], 'P');
    EXPECT_EQ(layout.dataArea, layout.stringAreaEnd + 2);
    EXPECT_EQ(request[layout.dataArea], 'D');
    EXPECT_EQ(request.back(), 'T');
    EXPECT_EQ(layout.length, request.size());
}

TEST(MailRequestWriter, ChunksJoinToTheRequest) {
    Bytes request = MailRequestWriter().Subject(std::string(100, 's')).Build();
    for (size_t size : {size_t(1), size_t(16), size_t(64), request.size(), request.size() + 5}) {
        const auto chunks = sdk::SplitIntoChunks(request, size);
        Bytes joined;
        for (size_t i = 0; i < chunks.size(); ++i) {
            if (i + 1 < chunks.size()) {
                EXPECT_EQ(chunks[i].size(), size);
            }
            EXPECT_FALSE(chunks[i].empty());
            joined.insert(joined.end(), chunks[i].begin(), chunks[i].end());
        }
        EXPECT_EQ(joined, request) << size;
        EXPECT_EQ(chunks.size(), (request.size() + size - 1) / size);
    }
    EXPECT_TRUE(sdk::SplitIntoChunks({}, 4).empty());
    EXPECT_THROW(sdk::SplitIntoChunks(request, 0), std::invalid_argument);
}

}  // namespace
}  // namespace zobrik
