// Mail requests that stop arriving halfway. A channel's request is shared by
// the channel's callbacks (the client's thread) and the sweep that ends
// stalled requests (a timer's thread), so every access to it takes its
// lock. The sweep holds requests weakly: a channel that closes frees its
// request, and the sweep forgets it. The platform calls Sweep from one timer
// for all channels and gives the time (milliseconds on a monotonic clock).
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
    WatchedMailRequest(BufferBudget* budget, uint64_t maxRequestSize) noexcept : request_(budget, maxRequestSize) {}
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

    // Takes a chunk that arrived at `now`. Throws std::bad_alloc as
    // MailReassembly::Append does.
    Arrival Append(const uint8_t* data, size_t size, uint64_t now);

    // The channel closed: the request starts over, holding nothing.
    void Reset() noexcept;

    // Ends the request if it is unfinished and nothing arrived for
    // `idleLimit` milliseconds up to `now`, then answers it with
    // kMailRequestTimedOut (outside the lock). Returns whether it did.
    bool EndIfIdle(uint64_t now, uint64_t idleLimit) noexcept;

    // The request's state, for diagnostics and tests.
    MailReassembly::State GetState() const;

protected:
    // Writes the reply text on the request's channel, if it is still open.
    virtual void Answer(const char* text) noexcept = 0;

private:
    mutable std::mutex mutex_;
    MailReassembly request_;
    uint64_t lastArrival_ = 0;
};

class IdleRequestSweep {
public:
    explicit IdleRequestSweep(uint64_t idleLimit = kMailRequestIdleMilliseconds) noexcept : idleLimit_(idleLimit) {}
    IdleRequestSweep(const IdleRequestSweep&) = delete;
    IdleRequestSweep& operator=(const IdleRequestSweep&) = delete;

    // Watches `request` for as long as it exists. Throws std::bad_alloc.
    void Watch(const std::shared_ptr<WatchedMailRequest>& request);

    // Ends and answers every request idle for the limit at `now`, and
    // forgets those that are gone. Returns how many are still watched.
    size_t Sweep(uint64_t now) noexcept;

private:
    const uint64_t idleLimit_;
    std::mutex mutex_;
    std::vector<std::weak_ptr<WatchedMailRequest>> requests_;
};

}  // namespace zobrik
