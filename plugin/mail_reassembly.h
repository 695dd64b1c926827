// Joins the chunks of one mail request. The total size is announced in bytes
// 8 to 15 of the request (its header); the request is complete when exactly
// that many bytes have arrived. A mail channel carries one request: once it
// is complete, refused, or the chunks have overshot the total, further
// chunks are only counted. Reset starts over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "buffer_budget.h"
#include "include/request_limits.h"
#include "request_buffer.h"

namespace zobrik {

class MailReassembly {
public:
    enum class State { WaitingForHeader, Collecting, HandedOver, Overrun, Refused };

    // A complete request, handed over by move.
    struct CompleteRequest {
        uint32_t length;  // the request length as the decoder receives it
        RequestBuffer bytes;
    };

    // `budget`, if given, is shared with the other channels' buffers: every
    // committed byte is taken from it and given back when the buffer is
    // released or handed over. A request that announces more than
    // `maxRequestSize` bytes is refused as "request too large".
    explicit MailReassembly(BufferBudget* budget = nullptr, uint64_t maxRequestSize = kMaxMailRequestSize) noexcept
        : budget_(budget), maxRequestSize_(maxRequestSize) {}
    MailReassembly(const MailReassembly&) = delete;
    MailReassembly& operator=(const MailReassembly&) = delete;
    ~MailReassembly() { Reset(); }

    // Takes one chunk. Returns the request when this chunk completes it.
    // When the address space for the announced total or the memory for the
    // chunk cannot be had (from the system or from the budget), the request
    // is refused as "too many requests at once" and only counted until Reset.
    std::optional<CompleteRequest> Append(const uint8_t* data, size_t size);
    void Reset() noexcept;

    // The reply text of a request refused by a limit, once: right after the
    // chunk that showed it ("request too large", "too many requests at
    // once"), or after TimeOut ("request timed out"); nullptr otherwise.
    const char* TakeRefusal() noexcept;

    // Ends a request that has begun to arrive and is neither complete nor
    // refused: its buffer and budget are released, it is refused as
    // "request timed out", and further chunks are only counted until Reset.
    // Returns whether it ended one.
    bool TimeOut() noexcept;
    bool Unfinished() const noexcept { return received_ != 0 && !handedOver_ && !abandoned_; }

    State GetState() const noexcept;
    uint64_t TotalSize() const noexcept { return total_; }
    uint64_t MaxRequestSize() const noexcept { return maxRequestSize_; }
    uint64_t Received() const noexcept { return received_; }
    size_t Buffered() const noexcept { return headerSize_ + buffer_.Size(); }
    // The memory committed for the request, all of it charged to the budget.
    size_t Committed() const noexcept { return buffer_.Committed(); }
    // The address space taken for the announced total; none of it counts
    // until it is committed.
    size_t AddressSpace() const noexcept { return buffer_.Capacity(); }

    // The bytes to commit when `needed` bytes must fit (before rounding up
    // to whole pages): the committed size doubles, by at most
    // kMaxBufferGrowthStep at a time, and never beyond the total. So the
    // announcement alone commits nothing, and the buffer never holds more
    // than what has arrived plus one bounded step.
    static uint64_t NextCapacity(uint64_t needed, uint64_t capacity, uint64_t total) noexcept;

private:
    void ReadTotalFromHeader();
    void StartBuffer() noexcept;
    void Keep(const uint8_t* data, size_t size) noexcept;
    bool Grow(size_t needed) noexcept;
    void Abandon(const char* refusal) noexcept;
    void ReleaseBuffer() noexcept;

    BufferBudget* budget_;
    uint64_t maxRequestSize_;
    // The bytes up to the total's end (MAIL_TOTAL_SIZE_END), held here until
    // the total is known.
    static constexpr size_t kTotalEnd = 16;
    uint8_t header_[kTotalEnd] = {};
    size_t headerSize_ = 0;
    RequestBuffer buffer_;  // reserved for the total once it is known
    uint64_t charged_ = 0;  // committed bytes taken from the budget
    uint64_t total_ = 0;    // 0 while not yet known
    bool totalKnown_ = false;
    uint64_t received_ = 0;  // every byte since Reset, kept or not
    bool handedOver_ = false;
    bool abandoned_ = false;         // the bytes can never form a request
    bool refused_ = false;           // abandoned by a limit
    const char* refusal_ = nullptr;  // not yet taken
};

}  // namespace zobrik
