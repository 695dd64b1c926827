// Attachments whose bytes are written straight into the request while it is
// built (Attachment::fill, MailRequestWriter::AddAttachment with a fill):
// the same request as with the bytes in memory, one allocation, and a fill
// that fails builds nothing.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "zobrik/mail_message.h"

namespace zobrik::sdk {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(i * 31 + 7);
    return bytes;
}

Attachment Filled(const std::string& name, const Bytes& bytes, int* calls = nullptr) {
    Attachment a;
    a.fileName = name;
    a.fillSize = bytes.size();
    a.fill = [bytes, calls](uint8_t* out, size_t size) {
        ASSERT_EQ(size, bytes.size());
        std::copy(bytes.begin(), bytes.end(), out);
        if (calls != nullptr) ++*calls;
    };
    return a;
}

MailMessage Base() {
    MailMessage m;
    m.subject = "Scan";
    m.body = "Page 1";
    m.to.push_back({"Ann", "ann@example.com"});
    return m;
}

TEST(AttachmentFill, BuildsTheSameRequestAsBytesInMemory) {
    // Sizes around the special cases: empty attachments point at the data
    // area's start, and a request of only empty ones carries one extra byte.
    const std::vector<std::vector<size_t>> layouts = {{0}, {0, 0}, {1}, {5000, 0, 17}, {0, 3}};
    for (const auto& sizes : layouts) {
        MailMessage inMemory = Base();
        MailMessage filled = Base();
        int calls = 0;
        for (size_t i = 0; i < sizes.size(); ++i) {
            const Bytes bytes = Pattern(sizes[i]);
            inMemory.attachments.push_back({"f" + std::to_string(i) + ".bin", bytes});
            filled.attachments.push_back(Filled("f" + std::to_string(i) + ".bin", bytes, &calls));
        }
        EXPECT_EQ(MailRequestSize(filled), MailRequestSize(inMemory));
        const Bytes request = BuildMailRequest(filled);
        EXPECT_EQ(request, BuildMailRequest(inMemory));
        EXPECT_EQ(request.size(), MailRequestSize(inMemory));
        // A fill writes its bytes once; empty attachments need no call.
        size_t nonEmpty = 0;
        for (size_t size : sizes) nonEmpty += size > 0;
        EXPECT_EQ(size_t(calls), nonEmpty);
    }
}

TEST(AttachmentFill, TheRequestIsAllocatedOnceAtItsFinalSize) {
    MailMessage m = Base();
    m.attachments.push_back(Filled("big.bin", Pattern(1 << 20)));
    const Bytes request = BuildMailRequest(std::move(m));
    EXPECT_EQ(request.capacity(), request.size());
}

TEST(AttachmentFill, LimitsCountTheFilledSizeBeforeAnyByteIsWritten) {
    MailMessage m = Base();
    Attachment huge;
    huge.fileName = "huge.bin";
    huge.fillSize = kPluginMaxMailRequestSize;
    bool called = false;
    huge.fill = [&called](uint8_t*, size_t) { called = true; };
    m.attachments.push_back(huge);
    EXPECT_NE(MailMessageProblem(m).find("more than the plug-in's"), std::string::npos);
    EXPECT_THROW(BuildMailRequest(m), MailRequestError);
    EXPECT_FALSE(called);
}

TEST(AttachmentFill, AFillThatThrowsEndsTheBuild) {
    MailMessage m = Base();
    Attachment broken;
    broken.fileName = "gone.bin";
    broken.fillSize = 10;
    broken.fill = [](uint8_t*, size_t) { throw std::runtime_error("the file went away"); };
    m.attachments.push_back(broken);
    EXPECT_THROW(BuildMailRequest(std::move(m)), std::runtime_error);
    EXPECT_THROW(MailRequestWriter().AddAttachment("x", 1, AttachmentFill()), std::invalid_argument);
}

}  // namespace
}  // namespace zobrik::sdk
