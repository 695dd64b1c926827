// The Linux add-in's own pieces below the FreeRDP add-in: the request
// buffers' address space, and the exec and mail workers with their limits.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "include/mail_request.h"
#include "include/request_limits.h"
#include "plugin/mail_reply.h"
#include "plugin/posix/idle_sweep_timer.h"
#include "plugin/posix/request_workers.h"
#include "plugin/request_buffer.h"
#include "zobrik/mail_request_writer.h"

namespace zobrik {
namespace {

// The protection of the mapping that holds `address` as /proc/self/maps
// shows it ("rw-p", "---p"), or "" when no mapping holds it.
std::string Protection(const uint8_t* address) {
    std::ifstream maps("/proc/self/maps");
    const uintptr_t at = reinterpret_cast<uintptr_t>(address);
    for (std::string line; std::getline(maps, line);) {
        std::istringstream fields(line);
        uintptr_t start = 0;
        uintptr_t end = 0;
        char dash = 0;
        std::string protection;
        fields >> std::hex >> start >> dash >> end >> protection;
        if (at >= start && at < end) return protection;
    }
    return "";
}

TEST(PosixAddressSpace, OnlyCommittedPagesAreWritableAndAReleasedRangeIsGone) {
    const size_t page = AddressSpacePageSize();
    ASSERT_EQ(page, size_t(sysconf(_SC_PAGESIZE)));
    const size_t pages = 256;
    const AddressRange range = ReserveAddressSpace(pages * page);
    ASSERT_NE(range.base, nullptr);
    EXPECT_EQ(range.size, pages * page);
    ASSERT_TRUE(CommitAddressSpace(range, 2 * page, page));
    range.base[2 * page] = 7;
    range.base[3 * page - 1] = 9;
    EXPECT_EQ(range.base[2 * page] + range.base[3 * page - 1], 16);
    const struct {
        size_t page;
        const char* protection;
    } samples[] = {{0, "---p"}, {1, "---p"}, {2, "rw-p"}, {3, "---p"}, {pages - 1, "---p"}};
    for (const auto& s : samples) EXPECT_EQ(Protection(range.base + s.page * page), s.protection) << "page " << s.page;
    ReleaseAddressSpace(range);
    // Other threads may map something of their own into the freed range at
    // once, but no page of it stays reserved for the buffer.
    for (const auto& s : samples)
        EXPECT_NE(Protection(range.base + s.page * page), "---p") << "page " << s.page << " is still reserved";
}

TEST(PosixAddressSpace, ARangeTheSystemCannotGiveIsEmpty) {
    const AddressRange range = ReserveAddressSpace(size_t(1) << 62);
    EXPECT_EQ(range.base, nullptr);
    EXPECT_EQ(range.size, 0u);
}

// A request server whose requests wait until the test opens the gate, and a
// channel that counts the replies.
class GatedServer final : public RequestServer {
public:
    const ExecReply& ServeExec(const std::string&, const AdminPolicy&) const noexcept override {
        WaitForTheGate();
        ++served_;
        return kExecReplyOkay;
    }
    size_t Served() const { return served_; }
    int32_t ProcessMail(uint32_t, uint8_t*, const AdminPolicy&) const override {
        WaitForTheGate();
        return 0;
    }
    void ReportExecBusy(const std::string&) const noexcept override {}

    void Open() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            open_ = true;
        }
        opened_.notify_all();
    }

private:
    void WaitForTheGate() const {
        std::unique_lock<std::mutex> lock(mutex_);
        opened_.wait(lock, [this] { return open_; });
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable opened_;
    bool open_ = false;
    mutable std::atomic<size_t> served_{0};
};

class CountingChannel final : public ReplyChannel {
public:
    bool WriteIfOpen(const void*, size_t) noexcept override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++replies_;
        }
        written_.notify_all();
        return true;
    }
    bool IsOpen() const noexcept override { return open_; }
    void Close() { open_ = false; }
    size_t Replies() {
        std::lock_guard<std::mutex> lock(mutex_);
        return replies_;
    }

    bool WaitForReplies(size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return written_.wait_for(lock, std::chrono::seconds(30), [&] { return replies_ >= count; });
    }

private:
    std::mutex mutex_;
    std::condition_variable written_;
    size_t replies_ = 0;
    std::atomic<bool> open_{true};
};

struct AdmissionCounts {
    size_t served = 0;
    size_t waiting = 0;
    size_t refused = 0;
};

// Submits `count` requests through `submit` while every worker is held.
template <class Submit>
AdmissionCounts SubmitHeld(size_t count, Submit submit) {
    AdmissionCounts counts;
    for (size_t i = 0; i < count; ++i) {
        switch (submit()) {
            case BoundedWorkers::Admission::Served:
                ++counts.served;
                break;
            case BoundedWorkers::Admission::Waiting:
                ++counts.waiting;
                break;
            case BoundedWorkers::Admission::Refused:
            case BoundedWorkers::Admission::NotStarted:
                ++counts.refused;
                break;
        }
    }
    return counts;
}

// One request more than may be served and wait at once is refused; every
// request gets its reply once the workers go on. The limits are the ones
// the documentation gives users: 8 exec requests served and 64 waiting, 4
// mails served and 16 waiting.
TEST(PosixWorkers, EachChannelKindServesAndQueuesAsManyRequestsAsItsLimitsAllow) {
    const std::vector<uint8_t> mail = sdk::MailRequestWriter().Subject("S").Build();
    const struct {
        const char* kind;
        size_t workers;
        size_t waiting;
        bool isMail;
    } kinds[] = {
        {"exec", 8, 64, false},
        {"mail", 4, 16, true},
    };
    for (const auto& kind : kinds) {
        auto server = std::make_shared<GatedServer>();
        auto channel = std::make_shared<CountingChannel>();
        const RequestContext context{channel, std::make_shared<const AdminPolicy>(), server};
        const size_t submitted = kind.workers + kind.waiting + 1;
        const AdmissionCounts counts = SubmitHeld(submitted, [&] {
            if (!kind.isMail) return SubmitExecRequest("https://example.com/", context);
            MailReassembly reassembly(&MailBufferBudget());
            std::optional<MailReassembly::CompleteRequest> request = reassembly.Append(mail.data(), mail.size());
            if (!request) ADD_FAILURE() << "the mail request did not complete";
            return SubmitMailRequest(std::move(*request), MailBufferBudget(), context);
        });
        EXPECT_EQ(counts.served, kind.workers) << kind.kind;
        EXPECT_EQ(counts.waiting, kind.waiting) << kind.kind;
        EXPECT_EQ(counts.refused, 1u) << kind.kind;
        server->Open();
        EXPECT_TRUE(channel->WaitForReplies(submitted)) << kind.kind << ": a request got no reply";
    }
}

// A server that has gone gets nothing opened: an exec request that waited
// for a worker is dropped when its channel closed meanwhile.
TEST(PosixWorkers, AWaitingExecWhoseChannelClosedIsDropped) {
    auto server = std::make_shared<GatedServer>();
    auto held = std::make_shared<CountingChannel>();
    auto gone = std::make_shared<CountingChannel>();
    const auto policy = std::make_shared<const AdminPolicy>();
    const RequestContext holding{held, policy, server};
    const AdmissionCounts counts =
        SubmitHeld(kMaxExecWorkers, [&] { return SubmitExecRequest("https://example.com/", holding); });
    ASSERT_EQ(counts.served, kMaxExecWorkers);
    ASSERT_EQ(SubmitExecRequest("https://example.com/", RequestContext{gone, policy, server}),
              BoundedWorkers::Admission::Waiting);
    gone->Close();
    server->Open();
    EXPECT_TRUE(held->WaitForReplies(kMaxExecWorkers));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(server->Served(), kMaxExecWorkers) << "the closed channel's request was opened";
    EXPECT_EQ(gone->Replies(), 0u);
}

// A refusal goes out as its text in UTF-8 with one closing zero byte, in
// one message.
TEST(MailReply, RefusalIsItsTextWithOneClosingZero) {
    class RecordingChannel final : public ReplyChannel {
    public:
        bool WriteIfOpen(const void* data, size_t size) noexcept override {
            const auto* bytes = static_cast<const char*>(data);
            messages.emplace_back(bytes, bytes + size);
            return true;
        }
        bool IsOpen() const noexcept override { return true; }
        std::vector<std::string> messages;
    } channel;
    ReplyWithRefusal(channel, "request too large");
    ASSERT_EQ(channel.messages.size(), 1u);
    const std::string& reply = channel.messages[0];
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(reply.back(), '\0');
    EXPECT_EQ(reply.find('\0'), reply.size() - 1);
    EXPECT_NE(reply.find("request too large"), std::string::npos) << reply;
}

TEST(PosixWorkers, MailChannelsShareTheBudgetOfFourLargestRequests) {
    EXPECT_EQ(MailBufferBudget().Limit(), 4 * kMaxMailRequestSize);
}

// A request whose answer the idle sweep's thread records.
class AnsweredRequest final : public WatchedMailRequest {
public:
    AnsweredRequest(BufferBudget& budget, uint64_t idleLimit)
        : WatchedMailRequest(&budget, kMaxMailRequestSize, idleLimit) {}

    bool WaitForAnswer(std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(mutex_);
        return answered_.wait_for(lock, limit, [this] { return !answer_.empty(); });
    }

private:
    void Answer(const char* text) noexcept override {
        std::lock_guard<std::mutex> lock(mutex_);
        answer_ = text;
        answered_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable answered_;
    std::string answer_;
};

// The sweep's thread waits the longest interval while only requests of the
// built-in idle time are watched; a request with a shorter one wakes it, so
// that it is ended after its own idle time, long before that interval.
TEST(PosixIdleSweep, ARequestWithAShorterIdleTimeIsEndedAfterItsOwnTime) {
    BufferBudget budget{kMailBufferBudget};
    StartIdleSweep();
    std::vector<uint8_t> start(1024, 0x5A);
    for (size_t i = 0; i < 8; ++i) start[MAIL_TOTAL_SIZE_OFFSET + i] = i == 1 ? 0x10 : 0;  // 4 KiB of it announced
    auto usual = std::make_shared<AnsweredRequest>(budget, kMailRequestIdleMilliseconds);
    WatchForIdleness(usual);
    ASSERT_EQ(usual->Append(start.data(), start.size(), IdleClockNow()).refusal, nullptr);
    // The thread is waiting its interval by now, the longest one.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto shortened = std::make_shared<AnsweredRequest>(budget, kShortestIdleSweepMilliseconds);
    WatchForIdleness(shortened);
    ASSERT_EQ(shortened->Append(start.data(), start.size(), IdleClockNow()).refusal, nullptr);
    EXPECT_TRUE(shortened->WaitForAnswer(std::chrono::milliseconds(kIdleRequestSweepMilliseconds * 3 / 4)))
        << "not ended before the longest interval";
    EXPECT_FALSE(usual->WaitForAnswer(std::chrono::milliseconds(0)));
    StopIdleSweep();
}

}  // namespace
}  // namespace zobrik
