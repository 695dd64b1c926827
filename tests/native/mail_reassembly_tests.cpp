#include "plugin/mail_reassembly.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "mail_request.h"

namespace zobrik {
namespace {

using State = MailReassembly::State;

// A request of `size` bytes whose header announces `announced` bytes; the
// other bytes count up so that misplaced bytes are noticed.
std::vector<uint8_t> Request(size_t size, uint64_t announced) {
    std::vector<uint8_t> bytes(size);
    std::iota(bytes.begin(), bytes.end(), uint8_t(1));
    if (size >= MAIL_TOTAL_SIZE_END) {
        for (int i = 0; i < 8; ++i) {
            bytes[MAIL_TOTAL_SIZE_OFFSET + i] = uint8_t(announced >> (8 * i));
        }
    }
    return bytes;
}

std::vector<uint8_t> Request(size_t size) { return Request(size, size); }

TEST(MailReassembly, OneChunkWhoseTotalMatchesIsHandedOverAtOnce) {
    MailReassembly r;
    auto bytes = Request(100);
    auto complete = r.Append(bytes.data(), bytes.size());
    ASSERT_TRUE(complete);
    EXPECT_EQ(complete->length, 100u);
    EXPECT_EQ(complete->bytes, bytes);
    EXPECT_EQ(r.GetState(), State::HandedOver);
    EXPECT_EQ(r.Buffered(), 0u) << "the buffer moves to the worker";
}

TEST(MailReassembly, ThreeChunksCompleteOnlyWithTheThird) {
    MailReassembly r;
    auto bytes = Request(300);
    EXPECT_FALSE(r.Append(bytes.data(), 100));
    EXPECT_EQ(r.GetState(), State::Collecting);
    EXPECT_FALSE(r.Append(bytes.data() + 100, 100));
    auto complete = r.Append(bytes.data() + 200, 100);
    ASSERT_TRUE(complete);
    EXPECT_EQ(complete->bytes, bytes);
}

TEST(MailReassembly, FirstChunksShorterThanTheTotalFieldWaitForIt) {
    MailReassembly r;
    auto bytes = Request(70);
    EXPECT_FALSE(r.Append(bytes.data(), 5));
    EXPECT_EQ(r.GetState(), State::WaitingForHeader);
    EXPECT_FALSE(r.Append(bytes.data() + 5, 10));
    EXPECT_EQ(r.GetState(), State::WaitingForHeader) << "15 bytes do not hold bytes 8 to 15";
    EXPECT_FALSE(r.Append(bytes.data() + 15, 2));
    EXPECT_EQ(r.GetState(), State::Collecting);
    EXPECT_EQ(r.TotalSize(), 70u);
    auto complete = r.Append(bytes.data() + 17, 53);
    ASSERT_TRUE(complete);
    EXPECT_EQ(complete->bytes, bytes);
}

TEST(MailReassembly, ByteByByteDeliveryGivesTheSameRequest) {
    MailReassembly r;
    auto bytes = Request(90);
    std::optional<MailReassembly::CompleteRequest> complete;
    for (size_t i = 0; i < bytes.size(); ++i) {
        ASSERT_FALSE(complete) << "completed early at byte " << i;
        complete = r.Append(&bytes[i], 1);
    }
    ASSERT_TRUE(complete);
    EXPECT_EQ(complete->bytes, bytes);
}

TEST(MailReassembly, OvershootingChunkStartsNothingAndKeepsNothing) {
    MailReassembly r;
    auto bytes = Request(120, 100);
    EXPECT_FALSE(r.Append(bytes.data(), 60));
    EXPECT_FALSE(r.Append(bytes.data() + 60, 60));
    EXPECT_EQ(r.GetState(), State::Overrun);
    EXPECT_EQ(r.Buffered(), 0u);
    EXPECT_FALSE(r.Append(bytes.data(), 10)) << "no later chunk completes the request";
    EXPECT_EQ(r.Received(), 130u);
}

TEST(MailReassembly, ChunksAfterHandOverAreOnlyCounted) {
    MailReassembly r;
    auto bytes = Request(64);
    ASSERT_TRUE(r.Append(bytes.data(), bytes.size()));
    EXPECT_FALSE(r.Append(nullptr, 0)) << "an empty chunk must not hand the request over twice";
    EXPECT_EQ(r.GetState(), State::HandedOver);
    EXPECT_FALSE(r.Append(bytes.data(), bytes.size())) << "a second request on the channel is not processed";
    EXPECT_EQ(r.GetState(), State::Overrun);
    EXPECT_EQ(r.Buffered(), 0u);
}

TEST(MailReassembly, ResetStartsOverWithTheNextChunksTotal) {
    MailReassembly r;
    auto first = Request(200);
    EXPECT_FALSE(r.Append(first.data(), 50));
    r.Reset();
    EXPECT_EQ(r.GetState(), State::WaitingForHeader);
    auto second = Request(80);
    auto complete = r.Append(second.data(), second.size());
    ASSERT_TRUE(complete);
    EXPECT_EQ(complete->bytes, second);
}

TEST(MailReassembly, ResetAfterHandOverOrOverrunServesTheNextRequest) {
    // The mail callback resets its reassembly on OnClose; the next request on
    // the same object must be taken like the first.
    MailReassembly handedOver;
    auto first = Request(64);
    ASSERT_TRUE(handedOver.Append(first.data(), first.size()));
    handedOver.Reset();
    auto second = Request(72);
    auto complete = handedOver.Append(second.data(), second.size());
    ASSERT_TRUE(complete) << "the hand-over of the first request must be forgotten";
    EXPECT_EQ(complete->bytes, second);

    MailReassembly overrun;
    auto tooLong = Request(40, 30);
    EXPECT_FALSE(overrun.Append(tooLong.data(), tooLong.size()));
    ASSERT_EQ(overrun.GetState(), State::Overrun);
    overrun.Reset();
    complete = overrun.Append(second.data(), second.size());
    ASSERT_TRUE(complete) << "the overrun of the first request must be forgotten";
    EXPECT_EQ(complete->bytes, second);
}

TEST(MailReassembly, SmallestReadableTotalCompletesWithItsOneChunk) {
    // 16 bytes: the total field itself is the whole request.
    MailReassembly whole;
    auto bytes = Request(MAIL_TOTAL_SIZE_END);
    auto complete = whole.Append(bytes.data(), bytes.size());
    ASSERT_TRUE(complete);
    EXPECT_EQ(complete->length, 16u);
    EXPECT_EQ(complete->bytes, bytes);
    EXPECT_EQ(whole.GetState(), State::HandedOver);

    // The same when the total field arrives split.
    MailReassembly split;
    EXPECT_FALSE(split.Append(bytes.data(), 9));
    complete = split.Append(bytes.data() + 9, 7);
    ASSERT_TRUE(complete);
    EXPECT_EQ(complete->bytes, bytes);
}

TEST(MailReassembly, AnnouncedTotalBelowWhatArrivedNeverCompletes) {
    for (uint64_t announced : {uint64_t(0), uint64_t(10), uint64_t(15)}) {
        MailReassembly r;
        auto bytes = Request(16, announced);
        EXPECT_FALSE(r.Append(bytes.data(), bytes.size())) << announced;
        EXPECT_EQ(r.GetState(), State::Overrun) << announced;
        EXPECT_FALSE(r.Append(bytes.data(), bytes.size())) << announced;
    }
}

TEST(MailReassembly, EmptyChunkWhileWaitingChangesNothing) {
    MailReassembly r;
    EXPECT_FALSE(r.Append(nullptr, 0));
    EXPECT_EQ(r.GetState(), State::WaitingForHeader);
    EXPECT_EQ(r.Received(), 0u);
}

TEST(MailReassembly, RequestOf4GiBOrMoreKeepsOnlyItsHeader) {
    MailReassembly r;
    const uint64_t announced = (uint64_t(1) << 32) + 10;
    std::vector<uint8_t> chunk(1 << 20, 0xAB);
    auto header = Request(MAIL_HEADER_SIZE, announced);
    std::copy(header.begin(), header.end(), chunk.begin());
    uint64_t sent = 0;
    std::optional<MailReassembly::CompleteRequest> complete;
    while (sent < announced) {
        size_t n = size_t(std::min<uint64_t>(chunk.size(), announced - sent));
        ASSERT_FALSE(complete);
        complete = r.Append(chunk.data(), n);
        sent += n;
        ASSERT_LE(r.Buffered(), MAIL_HEADER_SIZE);
        std::memset(chunk.data(), 0xAB, MAIL_HEADER_SIZE);
    }
    ASSERT_TRUE(complete);
    EXPECT_EQ(complete->length, MAIL_HEADER_SIZE);
    EXPECT_EQ(complete->bytes, header) << "the header is what the decoder judges";
}

TEST(MailReassembly, RequestOfExactly4GiBKeepsOnlyItsHeaderAndHandsOnItsLength) {
    // 2^32 is the first total whose length no longer fits the 32-bit count
    // handed to the decoder; it is treated like every larger one.
    MailReassembly r;
    const uint64_t announced = uint64_t(1) << 32;
    std::vector<uint8_t> chunk(1 << 20, 0xCD);
    auto header = Request(MAIL_HEADER_SIZE, announced);
    std::copy(header.begin(), header.end(), chunk.begin());
    std::optional<MailReassembly::CompleteRequest> complete;
    for (uint64_t sent = 0; sent < announced; sent += chunk.size()) {
        ASSERT_FALSE(complete) << "completed after " << sent << " bytes";
        complete = r.Append(chunk.data(), chunk.size());
        ASSERT_LE(r.Buffered(), MAIL_HEADER_SIZE) << "after " << sent + chunk.size() << " bytes";
        std::memset(chunk.data(), 0xCD, MAIL_HEADER_SIZE);
    }
    ASSERT_TRUE(complete) << "exactly the announced total arrived";
    EXPECT_EQ(r.Received(), announced);
    EXPECT_EQ(complete->length, MAIL_HEADER_SIZE) << "not the total cut to 32 bits, which is 0";
    EXPECT_EQ(complete->bytes, header);
}

TEST(MailReassembly, LargestDecodableRequestKeepsEveryByteThatArrived) {
    // 2^32 - 1 bytes still fit the decoder's length: nothing is cut to the
    // header, only the buffer grows with what arrives.
    MailReassembly r;
    auto bytes = Request(size_t(1) << 20, (uint64_t(1) << 32) - 1);
    for (size_t pos = 0; pos < bytes.size(); pos += 1600) {
        EXPECT_FALSE(r.Append(bytes.data() + pos, std::min<size_t>(1600, bytes.size() - pos)));
    }
    EXPECT_EQ(r.GetState(), State::Collecting);
    EXPECT_EQ(r.Buffered(), bytes.size());
}

TEST(MailReassembly, AnnouncementAloneReservesNothingBeyondWhatArrived) {
    MailReassembly r;
    auto header = Request(16, uint64_t(3) << 30);
    EXPECT_FALSE(r.Append(header.data(), header.size()));
    EXPECT_EQ(r.GetState(), State::Collecting);
    EXPECT_LE(r.Reserved(), 4096u);
}

TEST(MailReassembly, BufferTakesTheWholeTotalOnlyAfterAnEighthArrived) {
    const uint64_t total = 64 << 20;
    EXPECT_EQ(MailReassembly::NextCapacity(100, 0, total), 4096u);
    EXPECT_EQ(MailReassembly::NextCapacity(5000, 4096, total), 8192u);
    EXPECT_EQ(MailReassembly::NextCapacity(total / 8, total / 16, total), total / 8);
    EXPECT_EQ(MailReassembly::NextCapacity(total / 8 + 1, total / 8, total), total);
    EXPECT_EQ(MailReassembly::NextCapacity(70, 0, 80), 80u) << "small requests are reserved whole";

    // Fed in 1,600-byte chunks, the last growth holds at most 1.125 times the request.
    MailReassembly r;
    auto bytes = Request(size_t(8) << 20);
    size_t largestBefore = 0;
    for (size_t pos = 0; pos < bytes.size(); pos += 1600) {
        size_t before = r.Reserved();
        r.Append(bytes.data() + pos, std::min<size_t>(1600, bytes.size() - pos));
        if (r.Reserved() != before && r.Reserved() == bytes.size()) {
            largestBefore = before;
        }
    }
    EXPECT_LE(largestBefore, bytes.size() / 8);
}

}  // namespace
}  // namespace zobrik

namespace zobrik {
namespace {

TEST(MailReassembly, ResetAndOverrunGiveTheBufferStorageBack) {
    auto bytes = Request(100000);
    MailReassembly closed;
    closed.Append(bytes.data(), 60000);
    ASSERT_GE(closed.Reserved(), 60000u);
    closed.Reset();
    EXPECT_EQ(closed.Reserved(), 0u) << "a closed channel keeps no storage";

    MailReassembly overrun;
    overrun.Append(bytes.data(), 60000);
    overrun.Append(bytes.data(), 60000);
    ASSERT_EQ(overrun.GetState(), State::Overrun);
    EXPECT_EQ(overrun.Reserved(), 0u) << "a request that can never complete keeps no storage";
}

}  // namespace
}  // namespace zobrik
