#include "bounded_workers.h"

#include <utility>

namespace zobrik {

BoundedWorkers::BoundedWorkers(Limits limits, WorkerStarter& starter) noexcept : limits_(limits), starter_(starter) {}

BoundedWorkers::Admission BoundedWorkers::Submit(WorkRequestPtr request) noexcept {
    Admission admission = Admission::Refused;
    bool start = false;
    {
        std::lock_guard lock(mutex_);
        // Every worker that has started but not yet taken a request takes
        // one of the waiting ones.
        const size_t starting = workers_ - serving_;
        const bool workerFree = waiting_.size() < starting || workers_ < limits_.workers;
        const bool room = waiting_.size() + serving_ < limits_.workers + limits_.waiting;
        if (room && (workerFree || request->PrepareToWait())) {
            try {
                waiting_.push_back(std::move(request));
                admission = workerFree ? Admission::Served : Admission::Waiting;
                if (waiting_.size() > starting && workers_ < limits_.workers) {
                    ++workers_;
                    start = true;
                }
            } catch (...) {
                // Out of memory: the request is still ours and is refused.
            }
        }
    }
    // Still held when it was not admitted, or when push_back threw before
    // taking it; a moved-from pointer is empty.
    // NOLINTBEGIN(bugprone-use-after-move)
    if (request) {
        request->Refuse();
        return Admission::Refused;
    }
    // NOLINTEND(bugprone-use-after-move)
    if (start && !starter_.StartWorker(*this)) {
        {
            std::lock_guard lock(mutex_);
            --workers_;
        }
        RefuseStranded();
        return Admission::NotStarted;
    }
    return admission;
}

void BoundedWorkers::Work() noexcept {
    bool serving = false;
    for (;;) {
        WorkRequestPtr next;
        {
            std::lock_guard lock(mutex_);
            if (waiting_.empty()) {
                --workers_;
                if (serving) {
                    --serving_;
                }
                return;
            }
            next = std::move(waiting_.front());
            waiting_.pop_front();
            if (!serving) {
                serving = true;
                ++serving_;
            }
        }
        next->Run();
        // `next` goes here, outside the lock.
    }
}

void BoundedWorkers::RefuseStranded() noexcept {
    for (;;) {
        WorkRequestPtr next;
        {
            std::lock_guard lock(mutex_);
            // A worker started since then serves whatever still waits.
            if (workers_ != 0 || waiting_.empty()) {
                return;
            }
            next = std::move(waiting_.front());
            waiting_.pop_front();
        }
        next->Refuse();
    }
}

size_t BoundedWorkers::Workers() const {
    std::lock_guard lock(mutex_);
    return workers_;
}

size_t BoundedWorkers::Serving() const {
    std::lock_guard lock(mutex_);
    return serving_;
}

size_t BoundedWorkers::Waiting() const {
    std::lock_guard lock(mutex_);
    return waiting_.size();
}

}  // namespace zobrik
