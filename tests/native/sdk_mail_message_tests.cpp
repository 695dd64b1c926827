// MailMessage, BuildMailRequest and the file loaders of the SDK; requests are
// checked by decoding them with the plug-in's own decoder.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mail/mail_decoder.h"
#include "native/debug_output_recorder.h"
#include "zobrik/mail_message.h"
#include "zobrik/zobrik.h"

namespace zobrik {
namespace {

namespace fs = std::filesystem;
using sdk::Attachment;
using sdk::MailMessage;
using sdk::Recipient;
using Bytes = std::vector<uint8_t>;

std::u16string U16(const WideChar* p) { return p ? std::u16string(p) : u"(null)"; }

Bytes Pattern(size_t size, uint8_t seed) {
    Bytes bytes(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = uint8_t(x >> 16);
    }
    return bytes;
}

MailMessage FullMessage() {
    MailMessage m;
    m.subject = "Quarterly report \xc3\xa4";
    m.body = "<p>see attached</p>";
    m.htmlBody = true;
    m.preferOutlook = true;
    m.from = {{"Me", "me@example.com"}};
    m.sender = {{"Office", "office@example.com"}};
    m.to = {{"Ann", "ann@example.com"}, {"", "bob@example.com"}};
    m.cc = {{"Cy", "cy@example.com"}};
    m.bcc = {{"Di", "di@example.com"}};
    m.attachments = {{"summary.pdf", Pattern(5000, 1)}, {"data.csv", Pattern(70, 2)}, {"empty.txt", {}}};
    return m;
}

class SdkMailMessage : public ::testing::Test {
protected:
    void SetUp() override { testing::TakeDebugLines(); }
    void TearDown() override {
        testing::TakeDebugLines();
        std::error_code ignored;
        for (const auto& p : created_) fs::remove_all(p, ignored);
    }

    fs::path TempPath(const std::string& name) {
        fs::path p = fs::temp_directory_path() / ("zobrik-sdk-" + std::to_string(getpid()) + "-" + name);
        created_.push_back(p);
        return p;
    }
    fs::path WriteFile(const std::string& name, const Bytes& bytes) {
        fs::path p = TempPath(name);
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return p;
    }

    std::vector<fs::path> created_;
};

TEST_F(SdkMailMessage, FullMessageDecodesToTheSameMail) {
    const MailMessage m = FullMessage();
    Bytes request = sdk::BuildMailRequest(m);
    ASSERT_EQ(request.size(), sdk::MailRequestSize(m)) << "the size is known before building";

    MailRequest r = DecodeMailRequest(request.data(), uint32_t(request.size()));
    EXPECT_EQ(r.flags, MAIL_FLAG_HTML_BODY | MAIL_FLAG_OUTLOOK);
    EXPECT_EQ(U16(r.subject), u"Quarterly report \u00e4");
    EXPECT_EQ(U16(r.body), u"<p>see attached</p>");
    EXPECT_EQ(r.fromCount, 1u);
    EXPECT_EQ(r.senderCount, 1u);
    EXPECT_EQ(r.toCount, 2u);
    EXPECT_EQ(r.ccCount, 1u);
    EXPECT_EQ(r.bccCount, 1u);
    ASSERT_EQ(r.recipients.size(), 6u);
    const std::u16string expected[6][2] = {{u"Me", u"me@example.com"},   {u"Office", u"office@example.com"},
                                           {u"Ann", u"ann@example.com"}, {u"", u"bob@example.com"},
                                           {u"Cy", u"cy@example.com"},   {u"Di", u"di@example.com"}};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(U16(r.recipients[i].displayName), expected[i][0]) << i;
        EXPECT_EQ(U16(r.recipients[i].address), expected[i][1]) << i;
        EXPECT_EQ(U16(r.recipients[i].smtpAddress), u"SMTP:" + expected[i][1]) << i;
    }
    ASSERT_EQ(r.attachments.size(), 3u);
    EXPECT_EQ(U16(r.attachments[0].fileName), u"summary.pdf");
    EXPECT_EQ(Bytes(r.attachments[0].data, r.attachments[0].data + r.attachments[0].size), Pattern(5000, 1));
    EXPECT_EQ(U16(r.attachments[1].fileName), u"data.csv");
    EXPECT_EQ(Bytes(r.attachments[1].data, r.attachments[1].data + r.attachments[1].size), Pattern(70, 2));
    EXPECT_EQ(r.attachments[2].size, 0u);
}

// An empty attachment stored last would start at the request's end, which
// the receiver refuses; the builder points it at a byte inside the request.
TEST_F(SdkMailMessage, EmptyAttachmentsAreAcceptedWhereverTheyStand) {
    const std::vector<std::vector<Bytes>> layouts = {{{}}, {{}, {}}, {{1, 2}, {}}, {{}, {1, 2}}, {{}, {1}, {}}};
    for (const auto& contents : layouts) {
        MailMessage m;
        m.to = {{"", "t@x"}};
        for (size_t i = 0; i < contents.size(); ++i) m.attachments.push_back({"f" + std::to_string(i), contents[i]});
        Bytes request = sdk::BuildMailRequest(m);
        EXPECT_EQ(request.size(), sdk::MailRequestSize(m));
        MailRequest r;
        try {
            r = DecodeMailRequest(request.data(), uint32_t(request.size()));
        } catch (const char* message) {
            ADD_FAILURE() << contents.size() << " attachments: " << message;
            continue;
        }
        ASSERT_EQ(r.attachments.size(), contents.size());
        for (size_t i = 0; i < contents.size(); ++i) {
            EXPECT_EQ(Bytes(r.attachments[i].data, r.attachments[i].data + r.attachments[i].size), contents[i]);
        }
    }
}

TEST_F(SdkMailMessage, FlagsFollowTheThreeOptions) {
    MailMessage m;
    EXPECT_EQ(m.Flags(), 0u);
    m.htmlBody = true;
    EXPECT_EQ(m.Flags(), sdk::kMailFlagHtmlBody);
    m.htmlBody = false;
    m.sendImmediately = true;
    EXPECT_EQ(m.Flags(), sdk::kMailFlagImmediate);
    m.preferOutlook = true;
    EXPECT_EQ(m.Flags(), sdk::kMailFlagImmediate | sdk::kMailFlagOutlook);
}

TEST_F(SdkMailMessage, MinimalMessageWithOneRecipientIsAccepted) {
    MailMessage m;
    m.bcc = {{"", "x@y"}};
    Bytes request = sdk::BuildMailRequest(m);
    MailRequest r = DecodeMailRequest(request.data(), uint32_t(request.size()));
    EXPECT_EQ(r.flags, 0u);
    EXPECT_EQ(U16(r.subject), u"");
    EXPECT_EQ(r.bccCount, 1u);
    EXPECT_EQ(r.attachmentCount, 0u);
}

TEST_F(SdkMailMessage, MovingBuildLeavesTextsAndEmptiesAttachmentData) {
    MailMessage m = FullMessage();
    const Bytes copied = sdk::BuildMailRequest(m);
    const Bytes moved = sdk::BuildMailRequest(std::move(m));
    EXPECT_EQ(moved, copied);
    EXPECT_EQ(m.subject, "Quarterly report \xc3\xa4");  // NOLINT(bugprone-use-after-move): documented state
    EXPECT_TRUE(m.attachments[0].data.empty());
}

std::string ProblemOf(const MailMessage& m) {
    try {
        sdk::BuildMailRequest(m);
    } catch (const sdk::MailRequestError& e) {
        EXPECT_EQ(sdk::MailMessageProblem(m), e.what());
        return e.what();
    }
    EXPECT_EQ(sdk::MailMessageProblem(m), "");
    return "(built)";
}

// A mail without to, cc or bcc is a request like any other: the client opens
// the compose window and the user fills in the To line.
TEST_F(SdkMailMessage, MessageWithoutToCcOrBccIsBuiltForTheComposeWindow) {
    MailMessage originators;
    originators.from = {{"Me", "me@example.com"}};
    originators.sender = {{"", "office@example.com"}};
    originators.subject = "Scan";
    originators.attachments = {Attachment{"scan.pdf", Pattern(100, 4)}};
    for (const MailMessage& m : {originators, MailMessage()}) {
        EXPECT_FALSE(m.HasRecipient());
        ASSERT_EQ(ProblemOf(m), "(built)");
        Bytes bytes = sdk::BuildMailRequest(m);
        const MailRequest decoded = DecodeMailRequest(bytes.data(), uint32_t(bytes.size()));
        EXPECT_EQ(decoded.toCount + decoded.ccCount + decoded.bccCount, 0u);
        EXPECT_EQ(decoded.OriginatorEnd(), m.from.size() + m.sender.size());
        EXPECT_EQ(decoded.attachmentCount, m.attachments.size());
    }
}

TEST_F(SdkMailMessage, ZeroBytesAndEmptyPartsAreRefused) {
    MailMessage base;
    base.to = {{"", "t@x"}};

    MailMessage m = base;
    m.subject = std::string("a\0b", 3);
    EXPECT_EQ(ProblemOf(m), "the subject contains a zero byte");
    m = base;
    m.body = std::string("\0", 1);
    EXPECT_EQ(ProblemOf(m), "the body contains a zero byte");
    m = base;
    m.cc = {{std::string("N\0", 2), "c@x"}};
    EXPECT_EQ(ProblemOf(m), "the display name of a 'cc' recipient contains a zero byte");
    m = base;
    m.from = {{"Me", ""}};
    EXPECT_EQ(ProblemOf(m), "the address of a 'from' recipient is empty");
    m = base;
    m.bcc = {{"", std::string("b@x\0", 4)}};
    EXPECT_EQ(ProblemOf(m), "the address of a 'bcc' recipient contains a zero byte");
    m = base;
    m.attachments = {{"ok.txt", {1}}, {"", {2}}};
    EXPECT_EQ(ProblemOf(m), "attachment 2 (\"\") has no file name");
    m.attachments = {{"dir/", {2}}};
    EXPECT_EQ(ProblemOf(m), "attachment 1 (\"dir/\") has no file name");
    m.attachments = {{"dir\\", {2}}};
    EXPECT_EQ(ProblemOf(m), "attachment 1 (\"dir\\\") has no file name");
    m.attachments = {{"dir\\name.txt", {2}}};
    EXPECT_EQ(ProblemOf(m), "(built)") << "a leading path is the plug-in's to strip";
    m.attachments = {{std::string("a\0b", 3), {2}}};
    EXPECT_EQ(ProblemOf(m), "the file name of attachment 1 contains a zero byte");
}

TEST_F(SdkMailMessage, WhatThePluginRefusesByItsLimitsIsRefused) {
    MailMessage m;
    m.to.assign(sdk::kPluginMaxRecipients - 1, {"", "t@x"});
    m.from = {{"", "me@x"}};
    EXPECT_EQ(ProblemOf(m), "(built)");
    m.sender = {{"", "office@x"}};
    EXPECT_EQ(ProblemOf(m), "the mail has 1001 recipients, more than the plug-in's 1000");

    m = MailMessage();
    m.to = {{"", "t@x"}};
    m.attachments.assign(sdk::kPluginMaxAttachments, {"a.txt", {1}});
    EXPECT_EQ(ProblemOf(m), "(built)");
    m.attachments.push_back({"b.txt", {}});
    EXPECT_EQ(ProblemOf(m), "the mail has 251 attachments, more than the plug-in's 250");

    m.attachments = {{"big.bin", Bytes(sdk::kPluginMaxMailRequestSize - sdk::MailRequestSize(m) - 10, 0)}};
    const uint64_t size = sdk::MailRequestSize(m);
    EXPECT_LE(size, sdk::kPluginMaxMailRequestSize);
    EXPECT_EQ(sdk::MailMessageProblem(m), "");
    m.attachments[0].data.resize(m.attachments[0].data.size() + sdk::kPluginMaxMailRequestSize - size + 1);
    EXPECT_EQ(sdk::MailMessageProblem(m),
              "the request would be 134217729 bytes long, more than the plug-in's 134217728");
}

TEST_F(SdkMailMessage, ReadFileBytesReadsTheWholeFile) {
    const Bytes content = Pattern(200000, 3);
    const fs::path p = WriteFile("whole.bin", content);
    EXPECT_EQ(sdk::ReadFileBytes(p), content);
    EXPECT_EQ(sdk::ReadFileBytes(WriteFile("empty.bin", {})), Bytes());
}

TEST_F(SdkMailMessage, LoadAttachmentNamesItAfterTheFile) {
    const fs::path p = WriteFile("report \xc3\xa4.pdf", Pattern(10, 4));
    Attachment a = sdk::LoadAttachment(p);
    EXPECT_EQ(a.fileName, "zobrik-sdk-" + std::to_string(getpid()) + "-report \xc3\xa4.pdf");
    EXPECT_EQ(a.data, Pattern(10, 4));
    EXPECT_EQ(sdk::LoadAttachment(p, "other.pdf").fileName, "other.pdf");
}

std::string ReadError(const fs::path& p, uint64_t max = UINT64_MAX) {
    try {
        sdk::ReadFileBytes(p, max);
    } catch (const sdk::FileReadError& e) {
        EXPECT_EQ(e.path(), p);
        EXPECT_EQ(std::string(e.what()), "\"" + sdk::PathToUtf8(p) + "\": " + e.reason());
        return e.reason();
    }
    return "(read)";
}

TEST_F(SdkMailMessage, MissingDirectoryUnreadableAndTooLargeFilesAreNamed) {
    EXPECT_EQ(ReadError(TempPath("missing.txt")), "no such file");
    EXPECT_EQ(ReadError(TempPath("no-dir") / "missing.txt"), "no such file");

    const fs::path dir = TempPath("a-directory");
    fs::create_directory(dir);
    EXPECT_EQ(ReadError(dir), "is a directory, not a file");

    const fs::path big = WriteFile("eleven.bin", Bytes(11, 1));
    EXPECT_EQ(ReadError(big, 10), "is larger than 10 bytes");
    EXPECT_EQ(ReadError(big, 11), "(read)");

    if (geteuid() != 0) {  // root reads every file
        const fs::path locked = WriteFile("locked.bin", Bytes(3, 1));
        fs::permissions(locked, fs::perms::none);
        EXPECT_EQ(ReadError(locked), "cannot be opened for reading (no permission, or another program holds it open)");
    }
}

TEST_F(SdkMailMessage, Utf8PathsRoundTrip) {
    const std::string name = "d\xc3\xa9j\xc3\xa0 vu \xe2\x82\xac.txt";
    EXPECT_EQ(sdk::PathToUtf8(sdk::PathFromUtf8(name)), name);
}

TEST_F(SdkMailMessage, Utf8Validation) {
    EXPECT_TRUE(sdk::IsValidUtf8(""));
    EXPECT_TRUE(sdk::IsValidUtf8("plain ASCII"));
    EXPECT_TRUE(sdk::IsValidUtf8("\xc3\xa4 \xe2\x82\xac \xf0\x9f\x98\x80 \xf4\x8f\xbf\xbf"));
    EXPECT_FALSE(sdk::IsValidUtf8("\xe4"));              // Latin-1 a-umlaut
    EXPECT_FALSE(sdk::IsValidUtf8("\xc0\xaf"));          // overlong '/'
    EXPECT_FALSE(sdk::IsValidUtf8("\xe0\x80\xaf"));      // overlong, 3 bytes
    EXPECT_FALSE(sdk::IsValidUtf8("\xed\xa0\x80"));      // surrogate
    EXPECT_FALSE(sdk::IsValidUtf8("\xf4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(sdk::IsValidUtf8("\xe2\x82"));          // cut short
    EXPECT_FALSE(sdk::IsValidUtf8("\xe2\x28\xa1"));      // bad continuation
    EXPECT_FALSE(sdk::IsValidUtf8("\xe0\x9f\xbf"));      // overlong U+07FF
    EXPECT_TRUE(sdk::IsValidUtf8("\xe0\xa0\x80"));       // U+0800
    EXPECT_FALSE(sdk::IsValidUtf8("\xed\xbf\xbf"));      // last surrogate
    EXPECT_TRUE(sdk::IsValidUtf8("\xed\x9f\xbf"));       // U+D7FF
    // Cut short by the end of the view, whatever follows in memory.
    EXPECT_FALSE(sdk::IsValidUtf8(std::string_view("\xe2\x82\xac", 2)));
}

TEST_F(SdkMailMessage, ForEachChunkCoversTheRequestLikeSplitIntoChunks) {
    const Bytes request = sdk::BuildMailRequest(FullMessage());
    for (size_t size : {size_t(16), size_t(1590), request.size() - 1, request.size(), request.size() + 1}) {
        std::vector<Bytes> chunks;
        sdk::ForEachChunk(request, size, [&](const uint8_t* data, size_t n) { chunks.emplace_back(data, data + n); });
        EXPECT_EQ(chunks, sdk::SplitIntoChunks(request, size)) << size;
        Bytes joined;
        for (const auto& c : chunks) joined.insert(joined.end(), c.begin(), c.end());
        EXPECT_EQ(joined, request) << size;
    }
    EXPECT_THROW(sdk::ForEachChunk(request, 0, [](const uint8_t*, size_t) {}), std::invalid_argument);
    int calls = 0;
    sdk::ForEachChunk(Bytes(), 16, [&](const uint8_t*, size_t) { ++calls; });
    EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace zobrik
