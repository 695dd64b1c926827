#include "idle_sweep_timer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "include/request_limits.h"

namespace zobrik {

namespace {

class IdleSweepThread {
public:
    static IdleSweepThread& Instance() {
        static IdleSweepThread sweep;
        return sweep;
    }

    // A client that ends without Terminated: the thread is joined here, so
    // it never runs on a destroyed sweep.
    ~IdleSweepThread() {
        users_ = 1;
        Stop();
    }
    IdleSweepThread() = default;
    IdleSweepThread(const IdleSweepThread&) = delete;
    IdleSweepThread& operator=(const IdleSweepThread&) = delete;

    // A request with a shorter idle time than any before wakes the thread,
    // which then waits the shorter interval.
    void Watch(const std::shared_ptr<WatchedMailRequest>& request) {
        const uint64_t before = sweep_.Interval();
        sweep_.Watch(request);
        if (sweep_.Interval() < before) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                shortened_ = true;
            }
            wake_.notify_all();
        }
    }

    void Start() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (users_++ == 0) {
            stopping_ = false;
            try {
                thread_ = std::thread([this] { Run(); });
            } catch (...) {
                --users_;
                throw;
            }
        }
    }

    void Stop() noexcept {
        std::thread ending;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (users_ == 0 || --users_ != 0) return;
            stopping_ = true;
            ending = std::move(thread_);
        }
        wake_.notify_all();
        if (ending.joinable()) ending.join();
    }

private:
    void Run() noexcept {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stopping_) {
            shortened_ = false;
            const bool woken = wake_.wait_for(lock, std::chrono::milliseconds(sweep_.Interval()),
                                              [this] { return stopping_ || shortened_; });
            if (woken) continue;  // stopping, or a shorter interval to wait
            lock.unlock();
            sweep_.Sweep(IdleClockNow());
            lock.lock();
        }
    }

    IdleRequestSweep sweep_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    unsigned users_ = 0;
    bool stopping_ = false;
    bool shortened_ = false;
};

}  // namespace

uint64_t IdleClockNow() noexcept {
    return uint64_t(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

void WatchForIdleness(const std::shared_ptr<WatchedMailRequest>& request) {
    IdleSweepThread::Instance().Watch(request);
}

void StartIdleSweep() { IdleSweepThread::Instance().Start(); }

void StopIdleSweep() noexcept { IdleSweepThread::Instance().Stop(); }

}  // namespace zobrik
