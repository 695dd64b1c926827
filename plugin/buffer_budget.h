// A budget of bytes shared by the request buffers of all channels of one
// plug-in, so that many channels together cannot take unbounded memory.
#pragma once

#include <atomic>
#include <cstdint>

namespace zobrik {

class BufferBudget {
public:
    explicit BufferBudget(uint64_t limit) noexcept : limit_(limit) {}
    BufferBudget(const BufferBudget&) = delete;
    BufferBudget& operator=(const BufferBudget&) = delete;

    // Takes `bytes` from the budget; false, taking nothing, when that would
    // pass the limit.
    bool TryTake(uint64_t bytes) noexcept {
        uint64_t used = used_.load(std::memory_order_relaxed);
        do {
            if (bytes > limit_ - used) {
                return false;
            }
        } while (!used_.compare_exchange_weak(used, used + bytes, std::memory_order_relaxed));
        return true;
    }

    void Give(uint64_t bytes) noexcept { used_.fetch_sub(bytes, std::memory_order_relaxed); }

    uint64_t Used() const noexcept { return used_.load(std::memory_order_relaxed); }
    uint64_t Limit() const noexcept { return limit_; }

private:
    const uint64_t limit_;
    std::atomic<uint64_t> used_{0};
};

// Bytes taken from a budget for as long as this object holds them.
class BudgetShare {
public:
    BudgetShare() noexcept = default;
    BudgetShare(const BudgetShare&) = delete;
    BudgetShare& operator=(const BudgetShare&) = delete;
    ~BudgetShare() { GiveBack(); }

    // Gives back what it holds and takes `bytes` from `budget`; false,
    // holding nothing, when they do not fit.
    bool Take(BufferBudget& budget, uint64_t bytes) noexcept {
        GiveBack();
        if (!budget.TryTake(bytes)) {
            return false;
        }
        budget_ = &budget;
        bytes_ = bytes;
        return true;
    }

    void GiveBack() noexcept {
        if (budget_) {
            budget_->Give(bytes_);
            budget_ = nullptr;
            bytes_ = 0;
        }
    }

    uint64_t Held() const noexcept { return bytes_; }

private:
    BufferBudget* budget_ = nullptr;
    uint64_t bytes_ = 0;
};

}  // namespace zobrik
