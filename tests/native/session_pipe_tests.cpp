// The pieces in which the session host hands a reply to a program in a test
// session: what a read of a dynamic channel returns, and what the SDK's
// joiner puts together again.
#include <gtest/gtest.h>

#include "standins/wtsapi32/session_pipe.h"
#include "zobrik/channel_pdu.h"

namespace zobrik::session {
namespace {

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + 1);
    return bytes;
}

uint32_t U32(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

TEST(SessionPipe, PiecesCarryTheWholeLengthAndMarkFirstAndLast) {
    struct Case {
        size_t size;
        std::vector<size_t> pieceData;  // data bytes of each piece
    };
    const Case cases[] = {
        {0, {0}},
        {1, {1}},
        {1600, {1600}},
        {1601, {1600, 1}},
        {4800, {1600, 1600, 1600}},
        {5000, {1600, 1600, 1600, 200}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const std::vector<uint8_t> message = Pattern(c.size);
        const auto pieces = SplitIntoPieces(message.data(), message.size());
        ASSERT_EQ(pieces.size(), c.pieceData.size());
        sdk::ChannelMessageJoiner joiner;
        for (size_t i = 0; i < pieces.size(); ++i) {
            ASSERT_EQ(pieces[i].size(), kPieceHeaderSize + c.pieceData[i]) << i;
            EXPECT_EQ(U32(pieces[i], 0), c.size) << i;
            const uint32_t flags = U32(pieces[i], 4);
            EXPECT_EQ((flags & kFlagFirst) != 0, i == 0) << i;
            EXPECT_EQ((flags & kFlagLast) != 0, i + 1 == pieces.size()) << i;
            EXPECT_EQ(joiner.Add(pieces[i]), i + 1 == pieces.size()) << i;
        }
        EXPECT_EQ(joiner.TakeMessage(), message);
    }
}

}  // namespace
}  // namespace zobrik::session
