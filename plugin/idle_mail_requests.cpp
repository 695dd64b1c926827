#include "idle_mail_requests.h"

#include <algorithm>

namespace zobrik {

WatchedMailRequest::Arrival WatchedMailRequest::Append(const uint8_t* data, size_t size, uint64_t now) {
    std::lock_guard<std::mutex> lock(mutex_);
    lastArrival_ = now;
    Arrival arrival;
    arrival.complete = request_.Append(data, size);
    arrival.refusal = request_.TakeRefusal();
    arrival.totalSize = request_.TotalSize();
    arrival.maxRequestSize = request_.MaxRequestSize();
    return arrival;
}

void WatchedMailRequest::Reset() noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    request_.Reset();
}

bool WatchedMailRequest::EndIfIdle(uint64_t now) noexcept {
    const char* reply = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // A chunk taken after the sweep read its time is newer than `now`.
        const bool idle = now >= lastArrival_ && now - lastArrival_ >= idleLimit_;
        if (!idle || !request_.TimeOut()) {
            return false;
        }
        reply = request_.TakeRefusal();
    }
    Answer(reply);
    return true;
}

MailReassembly::State WatchedMailRequest::GetState() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return request_.GetState();
}

void IdleRequestSweep::Watch(const std::shared_ptr<WatchedMailRequest>& request) {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
    shortestIdleLimit_ = std::min(shortestIdleLimit_, request->IdleLimit());
}

uint64_t IdleRequestSweep::Interval() const noexcept {
    std::lock_guard<std::mutex> lock(mutex_);
    return IdleSweepMilliseconds(shortestIdleLimit_);
}

size_t IdleRequestSweep::Sweep(uint64_t now) noexcept {
    // The requests are ended outside the sweep's lock: ending one answers on
    // its channel, and a channel opening meanwhile must not wait for that.
    std::vector<std::shared_ptr<WatchedMailRequest>> alive;
    size_t watched = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.erase(std::remove_if(requests_.begin(), requests_.end(),
                                       [](const std::weak_ptr<WatchedMailRequest>& r) { return r.expired(); }),
                        requests_.end());
        watched = requests_.size();
        try {
            alive.reserve(requests_.size());
        } catch (...) {
            return watched;  // looked at again at the next sweep
        }
        for (const auto& request : requests_) {
            if (auto strong = request.lock()) {
                alive.push_back(std::move(strong));
            }
        }
    }
    for (const auto& request : alive) {
        request->EndIfIdle(now);
    }
    return watched;
}

}  // namespace zobrik
