// Joining the reads of a virtual channel into messages.
//
// Header-only, C++17 standard library only.
//
// On the remote computer, every read of a virtual channel (ReadFile on the
// handle from WTSVirtualChannelQuery(WTSVirtualFileHandle), or
// WTSVirtualChannelRead) returns one piece of a message, prefixed with an
// 8-byte CHANNEL_PDU_HEADER:
//
//   0  u32 length   length of the whole message (all its pieces together)
//   4  u32 flags    CHANNEL_FLAG_FIRST (1) on the first piece,
//                   CHANNEL_FLAG_LAST (2) on the last; both on a message
//                   that arrives in one piece
//   8  ...          this piece's bytes (the rest of the read)
//
// ChannelMessageJoiner gathers the pieces until the last one:
//
//   zobrik::sdk::ChannelMessageJoiner joiner;
//   for (;;) {
//       DWORD got = ReadPiece(buffer, sizeof(buffer));
//       if (joiner.Add(buffer, got)) return joiner.TakeMessage();
//   }
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace zobrik::sdk {

inline constexpr size_t kChannelPduHeaderSize = 8;
inline constexpr uint32_t kChannelFlagFirst = 0x01;
inline constexpr uint32_t kChannelFlagLast = 0x02;

// Raised by ChannelMessageJoiner::Add for a read that does not fit the
// message being joined; the joiner is then empty again.
class ChannelPduError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ChannelMessageJoiner {
public:
    // Adds one read (header and piece). Returns true when it completed a
    // message, which TakeMessage() then hands out. Raises ChannelPduError for
    // a read shorter than the header, a piece without a first piece before
    // it, a first piece while a message is still open, or pieces whose bytes
    // do not add up to the announced length.
    bool Add(const uint8_t* read, size_t size) {
        if (size < kChannelPduHeaderSize) Fail("a read of " + std::to_string(size) + " bytes has no complete header");
        const uint32_t length = ReadU32(read);
        const uint32_t flags = ReadU32(read + 4);
        const uint8_t* piece = read + kChannelPduHeaderSize;
        const size_t pieceSize = size - kChannelPduHeaderSize;
        if (flags & kChannelFlagFirst) {
            if (open_) Fail("a new message began before the previous one ended");
            open_ = true;
            complete_ = false;
            expected_ = length;
            message_.clear();
            message_.reserve(length < kReserveLimit ? length : kReserveLimit);
        } else if (!open_) {
            Fail("a piece arrived without the first piece of its message");
        }
        if (pieceSize > expected_ - message_.size()) Fail("the pieces hold more bytes than the message's length");
        message_.insert(message_.end(), piece, piece + pieceSize);
        if (flags & kChannelFlagLast) {
            if (message_.size() != expected_) Fail("the message ended before its announced length");
            open_ = false;
            complete_ = true;
        }
        return complete_;
    }
    bool Add(const std::vector<uint8_t>& read) { return Add(read.data(), read.size()); }

    // The message that the last Add completed; empties the joiner.
    std::vector<uint8_t> TakeMessage() {
        if (!complete_) throw std::logic_error("no complete message");
        complete_ = false;
        return std::exchange(message_, {});
    }

    // A message has begun and its last piece has not arrived yet.
    bool Open() const noexcept { return open_; }

private:
    // A header's length is not trusted for more memory than this up front.
    static constexpr size_t kReserveLimit = 1u << 20;

    static uint32_t ReadU32(const uint8_t* p) noexcept {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    [[noreturn]] void Fail(const std::string& what) {
        open_ = false;
        complete_ = false;
        message_.clear();
        throw ChannelPduError(what);
    }

    bool open_ = false;
    bool complete_ = false;
    size_t expected_ = 0;
    std::vector<uint8_t> message_;
};

// One read as the channel delivers it: header and piece (for tests of readers).
inline std::vector<uint8_t> MakeChannelPdu(uint32_t messageLength, uint32_t flags, const std::vector<uint8_t>& piece) {
    std::vector<uint8_t> read(kChannelPduHeaderSize);
    for (int i = 0; i < 4; ++i) {
        read[i] = static_cast<uint8_t>(messageLength >> (8 * i));
        read[4 + i] = static_cast<uint8_t>(flags >> (8 * i));
    }
    read.insert(read.end(), piece.begin(), piece.end());
    return read;
}

}  // namespace zobrik::sdk
