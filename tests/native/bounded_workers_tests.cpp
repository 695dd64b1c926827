#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "plugin/bounded_workers.h"
#include "plugin/buffer_budget.h"

namespace zobrik {
namespace {

// What happened to the requests of one test, in order: "run 3",
// "refused 7", "wait 5" (PrepareToWait asked).
class Journal {
public:
    void Note(const std::string& event) {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
    }
    std::vector<std::string> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    size_t Count(const std::string& event) const {
        std::lock_guard lock(mutex_);
        return size_t(std::count(events_.begin(), events_.end(), event));
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

class NotedRequest : public WorkRequest {
public:
    NotedRequest(Journal& journal, int id, bool mayWait = true) : journal_(journal), id_(id), mayWait_(mayWait) {}
    void Run() noexcept override { journal_.Note("run " + std::to_string(id_)); }
    void Refuse() noexcept override { journal_.Note("refused " + std::to_string(id_)); }
    bool PrepareToWait() noexcept override {
        journal_.Note("wait " + std::to_string(id_));
        return mayWait_;
    }

protected:
    Journal& journal_;
    const int id_;
    const bool mayWait_;
};

// Starts no thread: the test runs the started workers when it chooses.
class ManualStarter final : public WorkerStarter {
public:
    bool StartWorker(BoundedWorkers& workers) noexcept override {
        ++calls_;
        if (beforeStart_) {
            auto hook = std::move(beforeStart_);
            beforeStart_ = nullptr;
            hook();
        }
        if (failures_ > 0) {
            --failures_;
            return false;
        }
        started_.push_back(&workers);
        return true;
    }
    // The next `count` starts fail.
    void Fail(int count) { failures_ = count; }
    // Runs once inside the next start, before it succeeds or fails.
    void BeforeNextStart(std::function<void()> hook) { beforeStart_ = std::move(hook); }
    size_t Calls() const { return calls_; }
    size_t Pending() const { return started_.size(); }
    // Runs the oldest started worker to its end on this thread.
    void RunOne() {
        ASSERT_FALSE(started_.empty());
        BoundedWorkers* workers = started_.front();
        started_.erase(started_.begin());
        workers->Work();
    }
    void RunAll() {
        while (!started_.empty()) {
            RunOne();
        }
    }

private:
    std::vector<BoundedWorkers*> started_;
    std::function<void()> beforeStart_;
    size_t calls_ = 0;
    int failures_ = 0;
};

using Admission = BoundedWorkers::Admission;

std::vector<std::string> Runs(int first, int last) {
    std::vector<std::string> runs;
    for (int i = first; i <= last; ++i) {
        runs.push_back("run " + std::to_string(i));
    }
    return runs;
}

TEST(BoundedWorkers, StartsAWorkerPerRequestUpToTheLimitThenQueuesThenRefuses) {
    Journal journal;
    ManualStarter starter;
    BoundedWorkers workers({2, 3}, starter);
    EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 1)), Admission::Served);
    EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 2)), Admission::Served);
    EXPECT_EQ(starter.Calls(), 2u);
    for (int id = 3; id <= 5; ++id) {
        EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, id)), Admission::Waiting) << id;
    }
    EXPECT_EQ(starter.Calls(), 2u) << "no worker beyond the limit";
    EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 6)), Admission::Refused);
    EXPECT_EQ(journal.Events(), (std::vector<std::string>{"wait 3", "wait 4", "wait 5", "refused 6"}))
        << "answered at once, on the submitting thread; only the waiting ones are asked to wait";
    EXPECT_EQ(workers.Workers(), 2u);
    EXPECT_EQ(workers.Waiting(), 5u);
}

TEST(BoundedWorkers, WaitingRequestsAreServedInArrivalOrderEachOnce) {
    Journal journal;
    ManualStarter starter;
    BoundedWorkers workers({1, 10}, starter);
    for (int id = 1; id <= 8; ++id) {
        workers.Submit(std::make_unique<NotedRequest>(journal, id, true));
    }
    EXPECT_EQ(starter.Pending(), 1u);
    starter.RunAll();
    auto events = journal.Events();
    events.erase(std::remove_if(events.begin(), events.end(), [](const std::string& e) { return e[0] == 'w'; }),
                 events.end());
    EXPECT_EQ(events, Runs(1, 8));
    EXPECT_EQ(workers.Workers(), 0u);
    EXPECT_EQ(workers.Serving(), 0u);
    EXPECT_EQ(workers.Waiting(), 0u);
}

TEST(BoundedWorkers, RoomComesBackWhenRequestsFinish) {
    Journal journal;
    ManualStarter starter;
    BoundedWorkers workers({1, 1}, starter);
    EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 1)), Admission::Served);
    EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 2)), Admission::Waiting);
    EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 3)), Admission::Refused);
    starter.RunAll();
    EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 4)), Admission::Served);
    EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 5)), Admission::Waiting);
    starter.RunAll();
    EXPECT_EQ(journal.Count("run 4") + journal.Count("run 5"), 2u);
    EXPECT_EQ(starter.Calls(), 2u);
}

// Requests that arrive while the started workers have not yet taken theirs
// are served by them: no worker is started for a request that one already
// started will take, and none is left without a request for long.
TEST(BoundedWorkers, AStartedWorkerTakesOneRequestAndTheRestAreCountedAsWaiting) {
    Journal journal;
    ManualStarter starter;
    BoundedWorkers workers({3, 2}, starter);
    for (int id = 1; id <= 3; ++id) {
        EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, id)), Admission::Served);
    }
    EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 4)), Admission::Waiting);
    EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 5)), Admission::Waiting);
    EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 6)), Admission::Refused)
        << "three served and two waiting are all there may be, though no worker has begun yet";
    // The first worker serves everything; the two others find nothing left.
    starter.RunAll();
    auto events = journal.Events();
    events.erase(std::remove_if(events.begin(), events.end(), [](const std::string& e) { return e[0] != 'r'; }),
                 events.end());
    auto expected = Runs(1, 5);
    expected.insert(expected.begin(), "refused 6");
    EXPECT_EQ(events, expected);
    EXPECT_EQ(workers.Workers(), 0u);
}

// Submits the next request while it runs, as a request arriving from
// another thread at that moment would; notes the admission (0 served, 1
// waiting).
class SubmittingRequest final : public NotedRequest {
public:
    SubmittingRequest(Journal& journal, int id, BoundedWorkers& workers, std::function<WorkRequestPtr()> next)
        : NotedRequest(journal, id), workers_(workers), next_(std::move(next)) {}
    void Run() noexcept override {
        NotedRequest::Run();
        journal_.Note("submitted " + std::to_string(int(workers_.Submit(next_()))));
    }

private:
    BoundedWorkers& workers_;
    std::function<WorkRequestPtr()> next_;
};

TEST(BoundedWorkers, ARequestSubmittedWhileAllWorkersServeIsTakenByOneOfThem) {
    Journal journal;
    ManualStarter starter;
    BoundedWorkers workers({1, 1}, starter);
    workers.Submit(std::make_unique<SubmittingRequest>(journal, 1, workers,
                                                       [&] { return std::make_unique<NotedRequest>(journal, 2); }));
    starter.RunOne();
    EXPECT_EQ(journal.Events(), (std::vector<std::string>{"run 1", "wait 2", "submitted 1", "run 2"}));
    EXPECT_EQ(starter.Calls(), 1u);
}

// A worker started for a request that another worker took first takes the
// next request: that one is served without waiting, and no worker is
// started for it.
TEST(BoundedWorkers, ARequestArrivingWhileAStartedWorkerHasNoneYetIsServedByIt) {
    Journal journal;
    ManualStarter starter;
    BoundedWorkers workers({2, 2}, starter);
    auto third = [&] { return std::make_unique<NotedRequest>(journal, 3); };
    auto second = [&] { return std::make_unique<SubmittingRequest>(journal, 2, workers, third); };
    workers.Submit(std::make_unique<SubmittingRequest>(journal, 1, workers, second));
    starter.RunOne();  // serves 1, which submits 2, which submits 3
    EXPECT_EQ(journal.Events(), (std::vector<std::string>{"run 1", "submitted 0", "run 2", "submitted 0", "run 3"}));
    EXPECT_EQ(starter.Calls(), 2u) << "one more for the second request, none for the third";
    starter.RunAll();
    EXPECT_EQ(workers.Workers(), 0u);
}

TEST(BoundedWorkers, ARequestThatCannotWaitIsRefusedAndOnlyWaitingOnesAreAsked) {
    Journal journal;
    ManualStarter starter;
    BoundedWorkers workers({1, 4}, starter);
    EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 1, false)), Admission::Served)
        << "a request served at once is not asked whether it can wait";
    EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 2, false)), Admission::Refused);
    EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 3, true)), Admission::Waiting);
    starter.RunAll();
    EXPECT_EQ(journal.Events(), (std::vector<std::string>{"wait 2", "refused 2", "wait 3", "run 1", "run 3"}));
}

TEST(BoundedWorkers, WhenNoWorkerCanStartTheRequestIsRefusedAndTheNextTriesAgain) {
    Journal journal;
    ManualStarter starter;
    BoundedWorkers workers({2, 2}, starter);
    starter.Fail(1);
    EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 1)), Admission::NotStarted);
    EXPECT_EQ(journal.Events(), std::vector<std::string>{"refused 1"});
    EXPECT_EQ(workers.Workers(), 0u);
    EXPECT_EQ(workers.Waiting(), 0u);
    EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 2)), Admission::Served);
    starter.RunAll();
    EXPECT_EQ(journal.Count("run 2"), 1u);
}

TEST(BoundedWorkers, AWorkerThatCannotStartLeavesItsRequestToTheWorkersLeft) {
    Journal journal;
    ManualStarter starter;
    BoundedWorkers workers({2, 2}, starter);
    workers.Submit(std::make_unique<NotedRequest>(journal, 1));
    starter.Fail(1);
    EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 2)), Admission::NotStarted);
    EXPECT_EQ(journal.Count("refused 2"), 0u);
    EXPECT_EQ(workers.Workers(), 1u);
    starter.RunAll();
    EXPECT_EQ(journal.Events(), Runs(1, 2));
}

// A request that arrives while the only worker is being started waits for
// it; when that start fails, it is answered as well, once.
TEST(BoundedWorkers, WhenTheLastWorkerCannotStartEveryWaitingRequestIsRefusedOnce) {
    Journal journal;
    ManualStarter starter;
    BoundedWorkers workers({1, 4}, starter);
    starter.Fail(1);
    starter.BeforeNextStart([&] {
        EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 2)), Admission::Waiting);
        EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 3)), Admission::Waiting);
    });
    EXPECT_EQ(workers.Submit(std::make_unique<NotedRequest>(journal, 1)), Admission::NotStarted);
    EXPECT_EQ(journal.Events(), (std::vector<std::string>{"wait 2", "wait 3", "refused 1", "refused 2", "refused 3"}));
    EXPECT_EQ(workers.Waiting(), 0u);
    EXPECT_EQ(starter.Pending(), 0u);
}

// Workers on threads of their own: requests block until the test opens a
// gate, as a compose window blocks a mail worker.
class ThreadStarter final : public WorkerStarter {
public:
    ~ThreadStarter() { JoinAll(); }
    bool StartWorker(BoundedWorkers& workers) noexcept override {
        std::lock_guard lock(mutex_);
        threads_.emplace_back([&workers] { workers.Work(); });
        return true;
    }
    void JoinAll() {
        std::vector<std::thread> threads;
        {
            std::lock_guard lock(mutex_);
            threads.swap(threads_);
        }
        for (auto& thread : threads) {
            thread.join();
        }
    }

private:
    std::mutex mutex_;
    std::vector<std::thread> threads_;
};

class Gate {
public:
    void Pass(Journal& journal, int id) {
        std::unique_lock lock(mutex_);
        ++inside_;
        most_ = std::max(most_, inside_);
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_; });
        --inside_;
        journal.Note("run " + std::to_string(id));
    }
    void WaitForInside(int count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return inside_ >= count; });
    }
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    int Most() {
        std::lock_guard lock(mutex_);
        return most_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int inside_ = 0;
    int most_ = 0;
    bool open_ = false;
};

class GatedRequest final : public NotedRequest {
public:
    GatedRequest(Journal& journal, int id, Gate& gate) : NotedRequest(journal, id), gate_(gate) {}
    void Run() noexcept override { gate_.Pass(journal_, id_); }

private:
    Gate& gate_;
};

TEST(BoundedWorkersOnThreads, BlockedWorkersHoldTheirPlacesAndTheWaitingOnesFollowOnRelease) {
    Journal journal;
    Gate gate;
    ThreadStarter starter;
    BoundedWorkers workers({4, 16}, starter);
    for (int id = 1; id <= 4; ++id) {
        EXPECT_EQ(workers.Submit(std::make_unique<GatedRequest>(journal, id, gate)), Admission::Served);
    }
    gate.WaitForInside(4);
    for (int id = 5; id <= 20; ++id) {
        EXPECT_EQ(workers.Submit(std::make_unique<GatedRequest>(journal, id, gate)), Admission::Waiting) << id;
    }
    EXPECT_EQ(workers.Submit(std::make_unique<GatedRequest>(journal, 21, gate)), Admission::Refused);
    EXPECT_EQ(journal.Count("refused 21"), 1u) << "answered before Submit returned";
    EXPECT_EQ(workers.Serving(), 4u);
    EXPECT_EQ(workers.Waiting(), 16u);
    gate.Open();
    starter.JoinAll();
    for (int id = 1; id <= 20; ++id) {
        EXPECT_EQ(journal.Count("run " + std::to_string(id)), 1u) << id;
    }
    EXPECT_EQ(journal.Count("run 21"), 0u);
    EXPECT_EQ(gate.Most(), 4) << "never more than four at once";
    EXPECT_EQ(workers.Workers(), 0u);
}

TEST(BoundedWorkersOnThreads, ManySubmittersGetEveryRequestServedOrRefusedOnce) {
    Journal journal;
    Gate gate;
    gate.Open();
    ThreadStarter starter;
    BoundedWorkers workers({3, 5}, starter);
    std::vector<std::thread> submitters;
    std::mutex counts;
    size_t served = 0, refused = 0;
    for (int t = 0; t < 4; ++t) {
        submitters.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                auto admission = workers.Submit(std::make_unique<GatedRequest>(journal, t * 1000 + i, gate));
                std::lock_guard lock(counts);
                (admission == Admission::Refused ? refused : served) += 1;
            }
        });
    }
    for (auto& submitter : submitters) {
        submitter.join();
    }
    starter.JoinAll();
    EXPECT_EQ(served + refused, 2000u);
    size_t runs = 0, refusals = 0;
    for (const auto& event : journal.Events()) {
        runs += event.rfind("run ", 0) == 0;
        refusals += event.rfind("refused ", 0) == 0;
    }
    EXPECT_EQ(runs, served);
    EXPECT_EQ(refusals, refused);
    EXPECT_LE(gate.Most(), 3);
    EXPECT_EQ(workers.Workers(), 0u);
    EXPECT_EQ(workers.Serving(), 0u);
    EXPECT_EQ(workers.Waiting(), 0u);
}

TEST(BudgetShare, HoldsWhatItTookUntilGivenBackOrDestroyed) {
    BufferBudget budget(100);
    {
        BudgetShare share;
        EXPECT_TRUE(share.Take(budget, 60));
        EXPECT_EQ(budget.Used(), 60u);
        BudgetShare second;
        EXPECT_FALSE(second.Take(budget, 41)) << "would pass the limit";
        EXPECT_EQ(second.Held(), 0u);
        EXPECT_EQ(budget.Used(), 60u);
        share.GiveBack();
        EXPECT_EQ(budget.Used(), 0u);
        share.GiveBack();
        EXPECT_EQ(budget.Used(), 0u) << "given back once";
        EXPECT_TRUE(second.Take(budget, 41));
        EXPECT_TRUE(second.Take(budget, 100)) << "a new share replaces the old one";
        EXPECT_EQ(budget.Used(), 100u);
    }
    EXPECT_EQ(budget.Used(), 0u);
}

}  // namespace
}  // namespace zobrik
