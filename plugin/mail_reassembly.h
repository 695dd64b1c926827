// Joins the chunks of one mail request. The total size is announced in bytes
// 8 to 15 of the request (its header); the request is complete when exactly
// that many bytes have arrived. A mail channel carries one request: once it
// is complete, or the chunks have overshot the total, further chunks are only
// counted. Reset starts over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace zobrik {

class MailReassembly {
public:
    enum class State { WaitingForHeader, Collecting, HandedOver, Overrun };

    // A complete request, handed over by move.
    struct CompleteRequest {
        uint32_t length;  // the request length as the decoder receives it
        std::vector<uint8_t> bytes;
    };

    // Takes one chunk. Returns the request when this chunk completes it.
    // Throws std::bad_alloc when the buffer cannot grow; the request is then
    // abandoned and only counted until Reset.
    std::optional<CompleteRequest> Append(const uint8_t* data, size_t size);

    void Reset() noexcept;

    State GetState() const noexcept;
    uint64_t TotalSize() const noexcept { return total_; }
    uint64_t Received() const noexcept { return received_; }
    size_t Buffered() const noexcept { return buffer_.size(); }
    size_t Reserved() const noexcept { return buffer_.capacity(); }

    // The buffer's next capacity when `needed` bytes must fit: it doubles up
    // to an eighth of the total and then takes the whole total at once. So
    // the announcement alone reserves nothing, a sender must deliver an
    // eighth of a request before all of it is reserved, and the last growth
    // holds at most 1.125 times the request.
    static uint64_t NextCapacity(uint64_t needed, uint64_t capacity, uint64_t total) noexcept;

private:
    void ReadTotalFromHeader();
    void Keep(const uint8_t* data, size_t size);

    std::vector<uint8_t> buffer_;
    uint64_t total_ = 0;        // 0 while not yet known
    bool totalKnown_ = false;
    uint64_t received_ = 0;     // every byte since Reset, kept or not
    bool handedOver_ = false;
    bool abandoned_ = false;    // the bytes can never form a request
};

}  // namespace zobrik
