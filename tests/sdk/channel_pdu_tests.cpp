// Joining channel reads (CHANNEL_PDU_HEADER and piece) into messages.
#include <vector>

#include <gtest/gtest.h>

#include "zobrik/channel_pdu.h"

namespace zobrik {
namespace {

using sdk::ChannelMessageJoiner;
using sdk::ChannelPduError;
using sdk::kChannelFlagFirst;
using sdk::kChannelFlagLast;
using sdk::MakeChannelPdu;
using Bytes = std::vector<uint8_t>;

TEST(SdkChannelPdu, OneReadMessage) {
    ChannelMessageJoiner j;
    EXPECT_TRUE(j.Add(MakeChannelPdu(8, kChannelFlagFirst | kChannelFlagLast, {'o', 'k', 'a', 'y', 0, 0, 0, 0})));
    EXPECT_FALSE(j.Open());
    EXPECT_EQ(j.TakeMessage(), (Bytes{'o', 'k', 'a', 'y', 0, 0, 0, 0}));
    EXPECT_THROW(j.TakeMessage(), std::logic_error) << "a message is handed out once";
}

TEST(SdkChannelPdu, HeaderBytesAreLittleEndian) {
    const Bytes read = MakeChannelPdu(0x01020304, 0x03, {9});
    EXPECT_EQ(Bytes(read.begin(), read.begin() + 8), (Bytes{4, 3, 2, 1, 3, 0, 0, 0}));
}

TEST(SdkChannelPdu, PiecesAreJoinedUntilTheLast) {
    ChannelMessageJoiner j;
    EXPECT_FALSE(j.Add(MakeChannelPdu(6, kChannelFlagFirst, {1, 2})));
    EXPECT_TRUE(j.Open());
    EXPECT_FALSE(j.Add(MakeChannelPdu(6, 0, {3})));
    EXPECT_FALSE(j.Add(MakeChannelPdu(6, 0, {})));
    EXPECT_TRUE(j.Add(MakeChannelPdu(6, kChannelFlagLast, {4, 5, 6})));
    EXPECT_EQ(j.TakeMessage(), (Bytes{1, 2, 3, 4, 5, 6}));
    // The next message starts afresh.
    EXPECT_TRUE(j.Add(MakeChannelPdu(1, kChannelFlagFirst | kChannelFlagLast, {0})));
    EXPECT_EQ(j.TakeMessage(), (Bytes{0}));
}

TEST(SdkChannelPdu, LengthsOfSeveralBytesAreRead) {
    // 70,000 bytes: the length's second and third bytes are not 0.
    Bytes message(70000);
    for (size_t i = 0; i < message.size(); ++i) message[i] = uint8_t(i * 7);
    ChannelMessageJoiner j;
    EXPECT_FALSE(j.Add(MakeChannelPdu(70000, kChannelFlagFirst, Bytes(message.begin(), message.begin() + 1600))));
    EXPECT_TRUE(j.Add(MakeChannelPdu(70000, kChannelFlagLast, Bytes(message.begin() + 1600, message.end()))));
    EXPECT_EQ(j.TakeMessage(), message);
}

TEST(SdkChannelPdu, MessageNotTakenIsReplacedByTheNextOne) {
    ChannelMessageJoiner j;
    EXPECT_TRUE(j.Add(MakeChannelPdu(2, kChannelFlagFirst | kChannelFlagLast, {1, 2})));
    EXPECT_FALSE(j.Add(MakeChannelPdu(3, kChannelFlagFirst, {3}))) << "the next message has only begun";
    EXPECT_THROW(j.TakeMessage(), std::logic_error);
    EXPECT_TRUE(j.Add(MakeChannelPdu(3, kChannelFlagLast, {4, 5})));
    EXPECT_EQ(j.TakeMessage(), (Bytes{3, 4, 5}));
}

TEST(SdkChannelPdu, EmptyMessage) {
    ChannelMessageJoiner j;
    EXPECT_TRUE(j.Add(MakeChannelPdu(0, kChannelFlagFirst | kChannelFlagLast, {})));
    EXPECT_EQ(j.TakeMessage(), Bytes());
}

TEST(SdkChannelPdu, MalformedReadsAreRefusedAndResetTheJoiner) {
    ChannelMessageJoiner j;
    EXPECT_THROW(j.Add(Bytes(7, 0)), ChannelPduError) << "shorter than the header";
    EXPECT_THROW(j.Add(MakeChannelPdu(2, 0, {1})), ChannelPduError) << "no first piece";
    EXPECT_THROW(j.Add(MakeChannelPdu(2, kChannelFlagLast, {1, 2})), ChannelPduError) << "no first piece";

    EXPECT_FALSE(j.Add(MakeChannelPdu(4, kChannelFlagFirst, {1})));
    EXPECT_THROW(j.Add(MakeChannelPdu(4, kChannelFlagFirst, {1})), ChannelPduError) << "first piece twice";
    EXPECT_FALSE(j.Open());

    EXPECT_FALSE(j.Add(MakeChannelPdu(2, kChannelFlagFirst, {1})));
    EXPECT_THROW(j.Add(MakeChannelPdu(2, 0, {2, 3})), ChannelPduError) << "more than announced";

    EXPECT_THROW(j.Add(MakeChannelPdu(3, kChannelFlagFirst | kChannelFlagLast, {1, 2})), ChannelPduError)
        << "ended short";
    EXPECT_THROW(j.Add(MakeChannelPdu(1, kChannelFlagFirst | kChannelFlagLast, {1, 2})), ChannelPduError)
        << "longer than announced";

    // After the errors the joiner works again.
    EXPECT_TRUE(j.Add(MakeChannelPdu(1, kChannelFlagFirst | kChannelFlagLast, {7})));
    EXPECT_EQ(j.TakeMessage(), (Bytes{7}));
}

TEST(SdkChannelPdu, AHugeAnnouncedLengthDoesNotAllocateUpFront) {
    ChannelMessageJoiner j;
    EXPECT_FALSE(j.Add(MakeChannelPdu(0xFFFFFFFFu, kChannelFlagFirst, {1, 2, 3})));
    EXPECT_TRUE(j.Open());
}

}  // namespace
}  // namespace zobrik
