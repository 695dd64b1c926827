#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "include/mail_request.h"
#include "include/request_limits.h"
#include "plugin/idle_mail_requests.h"

namespace zobrik {
namespace {

using State = MailReassembly::State;

constexpr uint64_t kIdle = 1000;  // the limit, shortened: times are given, never slept

// The first `sent` bytes of a request that announces `announced`.
std::vector<uint8_t> RequestStart(size_t sent, uint64_t announced) {
    std::vector<uint8_t> bytes(sent, 0x5A);
    for (size_t i = 0; i < 8 && MAIL_TOTAL_SIZE_OFFSET + i < sent; ++i)
        bytes[MAIL_TOTAL_SIZE_OFFSET + i] = uint8_t(announced >> (8 * i));
    return bytes;
}

// A channel's request whose answers are recorded.
class RecordedRequest final : public WatchedMailRequest {
public:
    explicit RecordedRequest(BufferBudget& budget, uint64_t idleLimit = kIdle)
        : WatchedMailRequest(&budget, kMaxMailRequestSize, idleLimit) {}
    std::vector<std::string> answers;

private:
    void Answer(const char* text) noexcept override { answers.emplace_back(text); }
};

struct Fixture : ::testing::Test {
    BufferBudget budget{kMailBufferBudget};
    IdleRequestSweep sweep;

    std::shared_ptr<RecordedRequest> Channel(uint64_t idleLimit = kIdle) {
        auto request = std::make_shared<RecordedRequest>(budget, idleLimit);
        sweep.Watch(request);
        return request;
    }
};

using IdleMailRequests = Fixture;

// Ten channels send half of a request each and stop: their buffers hold
// the budget until the idle time has passed, then every one is answered and
// the budget is free again, without any channel closing.
TEST_F(IdleMailRequests, StalledRequestsAreAnsweredAndGiveTheirBudgetBack) {
    std::vector<std::shared_ptr<RecordedRequest>> channels;
    const std::vector<uint8_t> half = RequestStart(64 << 10, 127 << 10);
    for (int i = 0; i < 10; ++i) {
        channels.push_back(Channel());
        channels.back()->Append(half.data(), half.size(), 5000);
    }
    EXPECT_GE(budget.Used(), 10u * half.size());
    sweep.Sweep(5000 + kIdle - 1);
    EXPECT_GE(budget.Used(), 10u * half.size()) << "not yet idle for the limit";
    sweep.Sweep(5000 + kIdle);
    EXPECT_EQ(budget.Used(), 0u);
    for (const auto& channel : channels) {
        EXPECT_EQ(channel->answers, std::vector<std::string>{"request timed out"});
        EXPECT_EQ(channel->GetState(), State::Refused);
    }
    // The rest of a request that resumes is only counted; no second answer.
    auto more = channels[0]->Append(half.data(), half.size(), 9000);
    EXPECT_FALSE(more.complete);
    EXPECT_EQ(more.refusal, nullptr);
    EXPECT_EQ(budget.Used(), 0u);
}

TEST_F(IdleMailRequests, OnlyUnfinishedRequestsIdleForTheLimitEnd) {
    struct Case {
        const char* name;
        std::vector<std::pair<size_t, uint64_t>> chunks;  // bytes of a 4096-byte request, and when they arrived
        uint64_t sweptAt;
        bool ended;
    };
    const Case cases[] = {
        {"a request still receiving is not cut", {{1000, 0}, {1000, 900}, {1000, 1800}}, 2500, false},
        {"idle for the limit since its last chunk", {{1000, 0}, {1000, 900}}, 1900, true},
        {"header not yet complete, but bytes held", {{10, 0}}, 1000, true},
        {"nothing received: an idle channel holds nothing", {}, 100000, false},
        {"complete: handed over, not answered twice", {{4096, 0}}, 100000, false},
        {"refused as too large: already answered", {{16, 0}}, 100000, false},
        {"a chunk newer than the sweep's time", {{1000, 0}, {1000, 2000}}, 1999, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto channel = Channel();
        const bool tooLarge = std::string(c.name).find("too large") != std::string::npos;
        const std::vector<uint8_t> bytes = RequestStart(4096, tooLarge ? kMaxMailRequestSize + 1 : 4096);
        size_t offset = 0;
        for (const auto& [size, at] : c.chunks) {
            channel->Append(bytes.data() + offset, size, at);
            offset += size;
        }
        const size_t before = channel->answers.size();
        sweep.Sweep(c.sweptAt);
        EXPECT_EQ(channel->answers.size() - before, c.ended ? 1u : 0u);
        if (c.ended) {
            EXPECT_EQ(budget.Used(), 0u);
        }
        channel->Reset();
    }
    EXPECT_EQ(budget.Used(), 0u);
}

TEST_F(IdleMailRequests, TheSweepForgetsClosedChannels) {
    auto kept = Channel();
    {
        auto closed = Channel();
        const std::vector<uint8_t> start = RequestStart(100, 200);
        closed->Append(start.data(), start.size(), 0);
        EXPECT_EQ(sweep.Sweep(0), 2u);
    }
    EXPECT_EQ(budget.Used(), 0u) << "a closed channel's request gives its bytes back as it goes";
    EXPECT_EQ(sweep.Sweep(kIdle), 1u);
    EXPECT_TRUE(kept->answers.empty());
}

// Two plug-in objects with different policies share the module's sweep:
// each request ends after its own idle time.
TEST_F(IdleMailRequests, EachRequestEndsAfterItsOwnIdleTime) {
    auto shortIdle = Channel(kIdle);
    auto longIdle = Channel(10 * kIdle);
    const std::vector<uint8_t> start = RequestStart(100, 200);
    shortIdle->Append(start.data(), start.size(), 0);
    longIdle->Append(start.data(), start.size(), 0);
    sweep.Sweep(kIdle);
    EXPECT_EQ(shortIdle->answers.size(), 1u);
    EXPECT_TRUE(longIdle->answers.empty());
    sweep.Sweep(10 * kIdle);
    EXPECT_EQ(longIdle->answers.size(), 1u);
}

TEST(IdleSweepInterval, IsAQuarterOfTheIdleTimeFromOneToFifteenSeconds) {
    const std::pair<uint64_t, uint64_t> cases[] = {
        {kMailRequestIdleMilliseconds, 15000},  // the default: at most 15 s late
        {60000, 15000},
        {20000, 5000},
        {uint64_t(kShortestMailRequestIdleSeconds) * 1000, 1250},  // the shortest the policy allows
        {3000, 1000},
        {0, 1000},
    };
    for (const auto& [idle, interval] : cases) {
        EXPECT_EQ(IdleSweepMilliseconds(idle), interval) << idle;
    }
}

// The sweep runs as often as the shortest idle time watched needs, and
// stays so when that request goes.
TEST(IdleSweepInterval, FollowsTheShortestIdleTimeWatched) {
    BufferBudget budget(kMailBufferBudget);
    IdleRequestSweep sweep;
    EXPECT_EQ(sweep.Interval(), kIdleRequestSweepMilliseconds) << "before any request";
    auto defaultIdle = std::make_shared<RecordedRequest>(budget, kMailRequestIdleMilliseconds);
    sweep.Watch(defaultIdle);
    EXPECT_EQ(sweep.Interval(), kIdleRequestSweepMilliseconds);
    {
        auto shortIdle = std::make_shared<RecordedRequest>(budget, 8000);
        sweep.Watch(shortIdle);
        EXPECT_EQ(sweep.Interval(), 2000u);
        sweep.Watch(std::make_shared<RecordedRequest>(budget, 60000));
        EXPECT_EQ(sweep.Interval(), 2000u) << "a longer idle time does not slow it";
    }
    sweep.Sweep(0);
    EXPECT_EQ(sweep.Interval(), 2000u);
}

TEST(MailReassemblyTimeOut, EndsOnlyARequestInProgress) {
    BufferBudget budget(kMailBufferBudget);
    MailReassembly request(&budget);
    EXPECT_FALSE(request.TimeOut()) << "nothing arrived";
    const std::vector<uint8_t> start = RequestStart(100, 200);
    request.Append(start.data(), start.size());
    EXPECT_TRUE(request.TimeOut());
    EXPECT_STREQ(request.TakeRefusal(), kMailRequestTimedOut);
    EXPECT_EQ(budget.Used(), 0u);
    EXPECT_FALSE(request.TimeOut()) << "ended once";
    request.Reset();
    EXPECT_EQ(request.GetState(), State::WaitingForHeader);
}

}  // namespace
}  // namespace zobrik
