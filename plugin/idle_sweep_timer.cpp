#include "idle_sweep_timer.h"

#include <windows.h>

#include <mutex>
#include <utility>

#include "include/request_limits.h"
#include "include/win_owners.h"

namespace zobrik {

namespace {

class IdleSweepTimer {
public:
    static IdleSweepTimer& Instance() {
        static IdleSweepTimer timer;
        return timer;
    }

    void Watch(const std::shared_ptr<WatchedMailRequest>& request) {
        sweep_.Watch(request);
        std::lock_guard lock(mutex_);
        if (timer_ || stopped_) {
            return;
        }
        // No callback library: the pool would then keep the module loaded for
        // as long as the timer exists. Unloading stops the timer.
        timer_ = CreateThreadpoolTimer(&OnTimer, nullptr, nullptr);
        if (!timer_) {
            return;  // requests then end when their channel closes
        }
        const int64_t due100ns = -int64_t(kIdleRequestSweepMilliseconds * 10000);
        FILETIME dueTime{DWORD(uint64_t(due100ns)), DWORD(uint64_t(due100ns) >> 32)};
        SetThreadpoolTimer(timer_, &dueTime, DWORD(kIdleRequestSweepMilliseconds), 1000);
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

    IdleRequestSweep sweep_{kMailRequestIdleMilliseconds};
    SlimLock mutex_;
    PTP_TIMER timer_ = nullptr;
    bool stopped_ = false;
};

}  // namespace

void WatchForIdleness(const std::shared_ptr<WatchedMailRequest>& request) { IdleSweepTimer::Instance().Watch(request); }

void StopIdleSweep(bool processEnding) noexcept { IdleSweepTimer::Instance().Stop(processEnding); }

}  // namespace zobrik
