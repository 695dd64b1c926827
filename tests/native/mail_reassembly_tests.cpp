#include <cstring>
#include <numeric>

#include <gtest/gtest.h>

#include "include/mail_request.h"
#include "include/request_limits.h"
#include "plugin/mail_reassembly.h"

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

std::vector<uint8_t> Bytes(const RequestBuffer& buffer) {
    return std::vector<uint8_t>(buffer.Data(), buffer.Data() + buffer.Size());
}

TEST(MailReassembly, OneChunkWhoseTotalMatchesIsHandedOverAtOnce) {
    MailReassembly r;
    auto bytes = Request(100);
    auto complete = r.Append(bytes.data(), bytes.size());
    ASSERT_TRUE(complete);
    EXPECT_EQ(complete->length, 100u);
    EXPECT_EQ(Bytes(complete->bytes), bytes);
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
    EXPECT_EQ(Bytes(complete->bytes), bytes);
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
    EXPECT_EQ(Bytes(complete->bytes), bytes);
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
    EXPECT_EQ(Bytes(complete->bytes), bytes);
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
    EXPECT_EQ(Bytes(complete->bytes), second);
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
    EXPECT_EQ(Bytes(complete->bytes), second);

    MailReassembly overrun;
    auto tooLong = Request(40, 30);
    EXPECT_FALSE(overrun.Append(tooLong.data(), tooLong.size()));
    ASSERT_EQ(overrun.GetState(), State::Overrun);
    overrun.Reset();
    complete = overrun.Append(second.data(), second.size());
    ASSERT_TRUE(complete) << "the overrun of the first request must be forgotten";
    EXPECT_EQ(Bytes(complete->bytes), second);
}

TEST(MailReassembly, SmallestReadableTotalCompletesWithItsOneChunk) {
    // 16 bytes: the total field itself is the whole request.
    MailReassembly whole;
    auto bytes = Request(MAIL_TOTAL_SIZE_END);
    auto complete = whole.Append(bytes.data(), bytes.size());
    ASSERT_TRUE(complete);
    EXPECT_EQ(complete->length, 16u);
    EXPECT_EQ(Bytes(complete->bytes), bytes);
    EXPECT_EQ(whole.GetState(), State::HandedOver);

    // The same when the total field arrives split.
    MailReassembly split;
    EXPECT_FALSE(split.Append(bytes.data(), 9));
    complete = split.Append(bytes.data() + 9, 7);
    ASSERT_TRUE(complete);
    EXPECT_EQ(Bytes(complete->bytes), bytes);
}

TEST(MailReassembly, AnnouncedTotalBelowWhatArrivedNeverCompletes) {
    for (uint64_t announced : {uint64_t(0), uint64_t(10), uint64_t(15)}) {
        MailReassembly r;
        auto bytes = Request(16, announced);
        EXPECT_FALSE(r.Append(bytes.data(), bytes.size())) << announced;
        EXPECT_EQ(r.GetState(), State::Overrun) << announced;
        EXPECT_EQ(r.TakeRefusal(), nullptr) << announced << ": dropped without a reply, not as busy";
        EXPECT_EQ(r.Committed(), 0u) << announced;
        EXPECT_FALSE(r.Append(bytes.data(), bytes.size())) << announced;
    }
}

TEST(MailReassembly, EmptyChunkWhileWaitingChangesNothing) {
    MailReassembly r;
    EXPECT_FALSE(r.Append(nullptr, 0));
    EXPECT_EQ(r.GetState(), State::WaitingForHeader);
    EXPECT_EQ(r.Received(), 0u);
}

TEST(MailReassembly, RequestAboveTheLimitIsRefusedAfterItsFirstChunkAndNotBuffered) {
    for (uint64_t announced : {kMaxMailRequestSize + 1, uint64_t(1) << 32, ~uint64_t(0)}) {
        MailReassembly r;
        auto first = Request(4000, announced);
        EXPECT_FALSE(r.Append(first.data(), first.size()));
        EXPECT_EQ(r.GetState(), State::Refused) << announced;
        EXPECT_STREQ(r.TakeRefusal(), "request too large");
        EXPECT_EQ(r.TakeRefusal(), nullptr) << "answered once";
        EXPECT_EQ(r.Committed(), 0u);
        EXPECT_FALSE(r.Append(first.data(), first.size()));
        EXPECT_EQ(r.Committed(), 0u) << "the rest is dropped";
        EXPECT_EQ(r.Received(), 8000u);
        r.Reset();
        auto next = Request(100);
        EXPECT_TRUE(r.Append(next.data(), next.size())) << "a closed channel starts over";
    }
    // The limit itself is accepted.
    MailReassembly r;
    auto header = Request(16, kMaxMailRequestSize);
    EXPECT_FALSE(r.Append(header.data(), header.size()));
    EXPECT_EQ(r.GetState(), State::Collecting);
    EXPECT_EQ(r.TakeRefusal(), nullptr);
}

TEST(MailReassembly, AnnouncementAloneReservesNothingBeyondWhatArrived) {
    MailReassembly r;
    auto header = Request(16, kMaxMailRequestSize);
    EXPECT_FALSE(r.Append(header.data(), header.size()));
    EXPECT_EQ(r.GetState(), State::Collecting);
    EXPECT_LE(r.Committed(), 4096u);
}

TEST(MailReassembly, BufferHoldsWhatArrivedPlusOneBoundedStep) {
    const uint64_t total = 64 << 20;
    EXPECT_EQ(MailReassembly::NextCapacity(100, 0, total), 4096u);
    EXPECT_EQ(MailReassembly::NextCapacity(5000, 4096, total), 8192u);
    EXPECT_EQ(MailReassembly::NextCapacity(9000, 8192, total), 16384u);
    EXPECT_EQ(MailReassembly::NextCapacity((32 << 20) + 1, 32 << 20, total), (48u << 20)) << "the step is capped";
    EXPECT_EQ(MailReassembly::NextCapacity(70, 0, 80), 80u) << "never beyond the total";
    EXPECT_EQ(MailReassembly::NextCapacity(1 << 20, 4096, total), 1u << 20) << "at least what is needed";

    MailReassembly r;
    auto bytes = Request(size_t(40) << 20);
    for (size_t pos = 0; pos < bytes.size(); pos += 1600) {
        r.Append(bytes.data() + pos, std::min<size_t>(1600, bytes.size() - pos));
        if (r.GetState() == State::Collecting) {
            const size_t arrived = r.Buffered();
            ASSERT_LE(r.Committed(), arrived + std::min<size_t>(std::max<size_t>(arrived, 4096), kMaxBufferGrowthStep))
                << "after " << arrived << " bytes";
        }
    }
    EXPECT_EQ(r.GetState(), State::HandedOver);
}

TEST(MailReassembly, ChannelsShareOneBudgetAndGiveItBack) {
    BufferBudget budget(64 * 1024);
    MailReassembly first(&budget), second(&budget);
    auto big = Request(60000);
    auto other = Request(20000);
    EXPECT_FALSE(first.Append(big.data(), 50000));
    EXPECT_GE(budget.Used(), 50000u);
    EXPECT_FALSE(second.Append(other.data(), 19000));
    EXPECT_EQ(second.GetState(), State::Refused) << "the second channel would pass the budget";
    EXPECT_STREQ(second.TakeRefusal(), "too many requests at once");
    EXPECT_EQ(second.Committed(), 0u);

    auto complete = first.Append(big.data() + 50000, 10000);
    ASSERT_TRUE(complete) << "the first one is not disturbed";
    EXPECT_EQ(Bytes(complete->bytes), big);
    EXPECT_EQ(budget.Used(), 0u) << "a request handed to its worker leaves the budget";

    second.Reset();
    EXPECT_TRUE(second.Append(other.data(), other.size())) << "room again";
    MailReassembly closed(&budget);
    closed.Append(big.data(), 30000);
    closed.Reset();
    EXPECT_EQ(budget.Used(), 0u) << "a closed channel gives its share back";
}

}  // namespace
}  // namespace zobrik

namespace zobrik {
namespace {

TEST(MailReassembly, ResetAndOverrunGiveTheBufferStorageBack) {
    auto bytes = Request(100000);
    MailReassembly closed;
    closed.Append(bytes.data(), 60000);
    ASSERT_GE(closed.Committed(), 60000u);
    closed.Reset();
    EXPECT_EQ(closed.Committed(), 0u) << "a closed channel keeps no storage";

    MailReassembly overrun;
    overrun.Append(bytes.data(), 60000);
    overrun.Append(bytes.data(), 60000);
    ASSERT_EQ(overrun.GetState(), State::Overrun);
    EXPECT_EQ(overrun.Committed(), 0u) << "a request that can never complete keeps no storage";
}

}  // namespace
}  // namespace zobrik

namespace zobrik {
namespace {

TEST(MailReassembly, ALowerLimitRefusesWhatPassesItAndTakesWhatMeetsIt) {
    MailReassembly limited(nullptr, 100);
    auto over = Request(101);
    EXPECT_FALSE(limited.Append(over.data(), 16));
    EXPECT_EQ(limited.GetState(), MailReassembly::State::Refused);
    EXPECT_STREQ(limited.TakeRefusal(), "request too large");
    EXPECT_EQ(limited.Committed(), 0u);

    limited.Reset();
    auto exact = Request(100);
    auto complete = limited.Append(exact.data(), exact.size());
    ASSERT_TRUE(complete);
    EXPECT_EQ(Bytes(complete->bytes), exact);
}

}  // namespace
}  // namespace zobrik

namespace zobrik {
namespace {

TEST(MailReassembly, CommittedMemoryFollowsTheBytesThatArrivedNotTheAnnouncedTotal) {
    BufferBudget budget(kMailBufferBudget);
    MailReassembly r(&budget);
    const size_t total = size_t(8) << 20;
    auto bytes = Request(total);
    struct Step {
        size_t arrivedAfter;
        size_t mostCommitted;
    };
    // Each row: what has arrived so far and the most that may be committed
    // for it (what arrived plus one bounded step, in whole pages).
    const Step steps[] = {
        {16, 4096},         {4096, 4096}, {4097, 8192}, {100000, 200704}, {size_t(3) << 20, size_t(6) << 20},
        {total - 1, total},
    };
    size_t pos = 0;
    for (const Step& step : steps) {
        ASSERT_FALSE(r.Append(bytes.data() + pos, step.arrivedAfter - pos));
        pos = step.arrivedAfter;
        ASSERT_EQ(r.GetState(), State::Collecting) << pos;
        EXPECT_GE(r.Committed(), pos) << "every byte that arrived is held";
        EXPECT_LE(r.Committed(), step.mostCommitted) << pos;
        EXPECT_EQ(budget.Used(), r.Committed()) << "the budget is charged by what is committed, after " << pos;
        EXPECT_GE(r.AddressSpace(), total) << "address space for the whole total is taken at once";
    }
    auto complete = r.Append(bytes.data() + pos, total - pos);
    ASSERT_TRUE(complete);
    EXPECT_EQ(Bytes(complete->bytes), bytes);
    EXPECT_EQ(budget.Used(), 0u);
}

TEST(MailReassembly, LargestAnnouncementWithoutDataCommitsOneHeaderPage) {
    BufferBudget budget(kMailBufferBudget);
    MailReassembly r(&budget, ~uint64_t(0));
    for (uint64_t announced : {uint64_t(4) << 30, kMaxMailRequestSize}) {
        auto header = Request(16, announced);
        EXPECT_FALSE(r.Append(header.data(), header.size()));
        EXPECT_EQ(r.GetState(), State::Collecting) << announced;
        EXPECT_LE(r.Committed(), 4096u) << announced;
        EXPECT_EQ(budget.Used(), r.Committed()) << announced;
        r.Reset();
        EXPECT_EQ(budget.Used(), 0u) << "a closed channel gives everything back";
        EXPECT_EQ(r.AddressSpace(), 0u) << "a closed channel gives its address space back";
    }
}

TEST(MailReassembly, AnnouncementBeyondTheAddressSpaceIsRefusedAsBusy) {
    BufferBudget budget(kMailBufferBudget);
    MailReassembly r(&budget, ~uint64_t(0));
    auto header = Request(16, uint64_t(1) << 62);
    EXPECT_FALSE(r.Append(header.data(), header.size()));
    EXPECT_EQ(r.GetState(), State::Refused);
    EXPECT_STREQ(r.TakeRefusal(), kMailRequestsBusy);
    EXPECT_EQ(r.Committed(), 0u);
    EXPECT_EQ(budget.Used(), 0u);
}

TEST(RequestBuffer, CommitsWholePagesWithinTheReservationAndTakesOnlyWhatFits) {
    RequestBuffer buffer;
    ASSERT_TRUE(buffer.Reserve(10000));
    EXPECT_GE(buffer.Capacity(), 10000u);
    EXPECT_EQ(buffer.Committed(), 0u) << "reserving commits nothing";
    const uint8_t bytes[3] = {7, 8, 9};
    EXPECT_FALSE(buffer.Append(bytes, 1)) << "nothing fits before a commit";
    ASSERT_TRUE(buffer.CommitUpTo(1));
    EXPECT_EQ(buffer.Committed(), AddressSpacePageSize());
    EXPECT_FALSE(buffer.CommitUpTo(buffer.Capacity() + 1)) << "never beyond the reservation";
    EXPECT_EQ(buffer.Committed(), AddressSpacePageSize());
    EXPECT_EQ(buffer.CommittedFor(buffer.Capacity()), buffer.Capacity());

    std::vector<uint8_t> page(buffer.Committed(), 5);
    ASSERT_TRUE(buffer.Append(page.data(), page.size() - 1));
    EXPECT_FALSE(buffer.Append(bytes, 2)) << "past the committed pages";
    EXPECT_TRUE(buffer.Append(bytes, 1));
    ASSERT_TRUE(buffer.CommitUpTo(buffer.Capacity()));
    EXPECT_TRUE(buffer.Append(bytes + 1, 2)) << "writes continue in the next page";
    EXPECT_EQ(buffer.Size(), page.size() + 2);
    EXPECT_EQ(buffer.Data()[page.size() - 1], 7);
    EXPECT_EQ(buffer.Data()[page.size() + 1], 9);

    RequestBuffer moved(std::move(buffer));
    EXPECT_EQ(buffer.Data(), nullptr);
    EXPECT_EQ(buffer.Committed(), 0u);
    EXPECT_EQ(moved.Size(), page.size() + 2);
    moved.Release();
    EXPECT_EQ(moved.Capacity(), 0u);
    EXPECT_FALSE(moved.Reserve(0));
}

}  // namespace
}  // namespace zobrik
