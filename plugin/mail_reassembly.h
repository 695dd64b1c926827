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

    // Largest buffer reserved ahead of the data; bigger requests grow as
    // their bytes arrive, so an announcement alone cannot claim gigabytes.
    static constexpr uint64_t kMaxUpfrontReserve = uint64_t(128) << 20;

    // Takes one chunk. Returns the request when this chunk completes it.
    // Throws std::bad_alloc when the buffer cannot grow; the request is then
    // abandoned and only counted until Reset.
    std::optional<CompleteRequest> Append(const uint8_t* data, size_t size);

    void Reset() noexcept;

    State GetState() const noexcept;
    uint64_t TotalSize() const noexcept { return total_; }
    uint64_t Received() const noexcept { return received_; }
    size_t Buffered() const noexcept { return buffer_.size(); }

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
