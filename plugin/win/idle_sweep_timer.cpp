#include "idle_sweep_timer.h"

#include <windows.h>

#include <algorithm>
#include <mutex>
#include <utility>

#include "include/request_limits.h"
#include "include/win/owners.h"

namespace zobrik {

namespace {

class IdleSweepTimer {
public:
    static IdleSweepTimer& Instance() {
        static IdleSweepTimer timer;
        return timer;
    }

    // Starts the timer with the first request, and makes it run more often
    // when a request with a shorter idle time comes.
    void Watch(const std::shared_ptr<WatchedMailRequest>& request) {
        sweep_.Watch(request);
        const uint64_t interval = sweep_.Interval();
        std::lock_guard lock(mutex_);
        if (stopped_ || (timer_ && interval >= period_)) {
            return;
        }
        if (!timer_) {
            // No callback library: the pool would then keep the module loaded
            // for as long as the timer exists. Unloading stops the timer.
            timer_ = CreateThreadpoolTimer(&OnTimer, nullptr, nullptr);
            if (!timer_) {
                return;  // requests then end when their channel closes
            }
        }
        period_ = interval;
        const int64_t due100ns = -int64_t(interval * 10000);
        FILETIME dueTime{DWORD(uint64_t(due100ns)), DWORD(uint64_t(due100ns) >> 32)};
        // The pool may run the sweep up to a quarter period (at most 1 s) late.
        SetThreadpoolTimer(timer_, &dueTime, DWORD(interval), DWORD(std::min<uint64_t>(1000, interval / 4)));
    }

    void Stop(bool processEnding) noexcept {
        PTP_TIMER timer = nullptr;
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
            timer = std::exchange(timer_, nullptr);
        }
        if (timer && !processEnding) {
            SetThreadpoolTimer(timer, nullptr, 0, 0);
            WaitForThreadpoolTimerCallbacks(timer, TRUE);
            CloseThreadpoolTimer(timer);
        }
    }

private:
    static void CALLBACK OnTimer(PTP_CALLBACK_INSTANCE, void*, PTP_TIMER) { Instance().sweep_.Sweep(GetTickCount64()); }

    IdleRequestSweep sweep_;
    SlimLock mutex_;
    PTP_TIMER timer_ = nullptr;
    uint64_t period_ = 0;
    bool stopped_ = false;
};

}  // namespace

void WatchForIdleness(const std::shared_ptr<WatchedMailRequest>& request) { IdleSweepTimer::Instance().Watch(request); }

void StopIdleSweep(bool processEnding) noexcept { IdleSweepTimer::Instance().Stop(processEnding); }

}  // namespace zobrik
