// Mail requests that stop arriving halfway. A channel's request is shared by
// the channel's callbacks (the client's thread) and the sweep that ends
// stalled requests (a timer's thread), so every access to it takes its
// lock. The sweep holds requests weakly: a channel that closes frees its
// request, and the sweep forgets it. The platform calls Sweep from one timer
// for all channels, every Interval(), and gives the time (milliseconds on a
// monotonic clock). Each request has the idle time of its plug-in object's
// policy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "buffer_budget.h"
#include "include/request_limits.h"
#include "mail_reassembly.h"

namespace zobrik {

class WatchedMailRequest {
public:
    WatchedMailRequest(BufferBudget* budget, uint64_t maxRequestSize,
                       uint64_t idleLimit = kMailRequestIdleMilliseconds) noexcept
        : request_(budget, maxRequestSize), idleLimit_(idleLimit) {}
    virtual ~WatchedMailRequest() = default;
    WatchedMailRequest(const WatchedMailRequest&) = delete;
    WatchedMailRequest& operator=(const WatchedMailRequest&) = delete;

    // What one chunk brought: the complete request, or the text of a limit
    // that refused it (with the sizes that explain a refusal).
    struct Arrival {
        std::optional<MailReassembly::CompleteRequest> complete;
        const char* refusal = nullptr;
        uint64_t totalSize = 0;
        uint64_t maxRequestSize = 0;
    };

    // Takes a chunk that arrived at `now`. A request whose memory cannot be
    // had is refused as MailReassembly::Append describes.
    Arrival Append(const uint8_t* data, size_t size, uint64_t now);

    // The channel closed: the request starts over, holding nothing.
    void Reset() noexcept;

    // Ends the request if it is unfinished and nothing arrived for its idle
    // time up to `now`, then answers it with kMailRequestTimedOut (outside
    // the lock). Returns whether it did.
    bool EndIfIdle(uint64_t now) noexcept;

    // Milliseconds without a chunk after which the request ends.
    uint64_t IdleLimit() const noexcept { return idleLimit_; }

    // The request's state, for diagnostics and tests.
    MailReassembly::State GetState() const;

protected:
    // Writes the reply text on the request's channel, if it is still open.
    virtual void Answer(const char* text) noexcept = 0;

private:
    mutable std::mutex mutex_;
    MailReassembly request_;
    const uint64_t idleLimit_;
    uint64_t lastArrival_ = 0;
};

class IdleRequestSweep {
public:
    IdleRequestSweep() = default;
    IdleRequestSweep(const IdleRequestSweep&) = delete;
    IdleRequestSweep& operator=(const IdleRequestSweep&) = delete;

    // Watches `request` for as long as it exists. Throws std::bad_alloc.
    void Watch(const std::shared_ptr<WatchedMailRequest>& request);

    // Ends and answers every request idle for its limit at `now`, and
    // forgets those that are gone. Returns how many are still watched.
    size_t Sweep(uint64_t now) noexcept;

    // Milliseconds between two sweeps: IdleSweepMilliseconds of the
    // shortest idle time watched so far. It never grows back; a policy
    // holds for its plug-in object, and sweeping often costs little.
    uint64_t Interval() const noexcept;

private:
    mutable std::mutex mutex_;
    uint64_t shortestIdleLimit_ = kMailRequestIdleMilliseconds;
    std::vector<std::weak_ptr<WatchedMailRequest>> requests_;
};

}  // namespace zobrik
