// A mutex and a condition variable on the slim Win32 primitives. Unlike the
// C++ runtime's (which allocate event and semaphore handles on first
// contention), they hold no handle, so the stand-in's channels, kept for the
// life of the process, leave the process's handle count alone and tests can
// check the plug-in's own.
#pragma once

#include <windows.h>

#include <chrono>
#include <mutex>

namespace zobrik::standin {

class SlimMutex {
public:
    SlimMutex() noexcept = default;
    SlimMutex(const SlimMutex&) = delete;
    SlimMutex& operator=(const SlimMutex&) = delete;

    void lock() noexcept { AcquireSRWLockExclusive(&lock_); }
    bool try_lock() noexcept { return TryAcquireSRWLockExclusive(&lock_) != FALSE; }
    void unlock() noexcept { ReleaseSRWLockExclusive(&lock_); }
    SRWLOCK* native() noexcept { return &lock_; }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class SlimConditionVariable {
public:
    SlimConditionVariable() noexcept = default;
    SlimConditionVariable(const SlimConditionVariable&) = delete;
    SlimConditionVariable& operator=(const SlimConditionVariable&) = delete;

    void notify_all() noexcept { WakeAllConditionVariable(&condition_); }
    void notify_one() noexcept { WakeConditionVariable(&condition_); }

    // Waits until `ready()` holds or the time is up; returns ready().
    template <class Rep, class Period, class Predicate>
    bool wait_for(std::unique_lock<SlimMutex>& lock, std::chrono::duration<Rep, Period> timeout, Predicate ready) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!ready()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return ready();
            }
            SleepConditionVariableSRW(&condition_, lock.mutex()->native(), DWORD(left.count()), 0);
        }
        return true;
    }

private:
    CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
};

}  // namespace zobrik::standin
