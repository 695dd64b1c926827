#include "mail_reassembly.h"

#include <algorithm>
#include <new>

#include "mail_request.h"

namespace zobrik {

namespace {

// Empties the buffer and gives its storage back; assigning {} would keep
// the capacity.
void Release(std::vector<uint8_t>& buffer) noexcept {
    std::vector<uint8_t>().swap(buffer);
}

// A request of 4 GiB or more cannot be decoded (its length travels as 32
// bits); only its header is kept, so that it is answered by the decoder's
// header checks without buffering gigabytes.
constexpr uint64_t kFirstUndecodableSize = uint64_t(1) << 32;

}  // namespace

std::optional<MailReassembly::CompleteRequest> MailReassembly::Append(const uint8_t* data, size_t size) {
    if (handedOver_ || abandoned_) {
        received_ += size;
        return std::nullopt;
    }
    if (!totalKnown_) {
        // Wait until the bytes that carry the total have arrived, however
        // the sender split them.
        size_t headerPart = std::min<size_t>(size, MAIL_TOTAL_SIZE_END - std::min<size_t>(buffer_.size(), MAIL_TOTAL_SIZE_END));
        Keep(data, headerPart);
        received_ += headerPart;
        data += headerPart;
        size -= headerPart;
        if (buffer_.size() < MAIL_TOTAL_SIZE_END) {
            return std::nullopt;
        }
        ReadTotalFromHeader();
    }
    if (received_ + size > total_) {
        // Overshoots the total: this request can never complete.
        received_ += size;
        abandoned_ = true;
        Release(buffer_);
        return std::nullopt;
    }
    try {
        Keep(data, size);
    } catch (...) {
        received_ += size;
        abandoned_ = true;
        Release(buffer_);
        throw;
    }
    received_ += size;
    if (received_ != total_) {
        return std::nullopt;
    }
    handedOver_ = true;
    CompleteRequest complete{uint32_t(buffer_.size()), std::move(buffer_)};
    Release(buffer_);
    return complete;
}

void MailReassembly::ReadTotalFromHeader() {
    totalKnown_ = true;
    total_ = ReadUint64LE(buffer_.data() + MAIL_TOTAL_SIZE_OFFSET);
    if (total_ < buffer_.size()) {
        // An announced total below what has already arrived (0 included)
        // can never be met.
        abandoned_ = true;
        Release(buffer_);
        return;
    }
}

uint64_t MailReassembly::NextCapacity(uint64_t needed, uint64_t capacity, uint64_t total) noexcept {
    const uint64_t eighth = total / 8;
    if (needed > eighth) {
        return total;
    }
    return std::min(eighth, std::max({needed, capacity * 2, uint64_t(4096)}));
}

void MailReassembly::Keep(const uint8_t* data, size_t size) {
    if (size == 0) {
        return;
    }
    if (totalKnown_ && total_ >= kFirstUndecodableSize) {
        size_t room = MAIL_HEADER_SIZE - std::min(buffer_.size(), MAIL_HEADER_SIZE);
        buffer_.insert(buffer_.end(), data, data + std::min(size, room));
        return;
    }
    if (totalKnown_ && buffer_.capacity() - buffer_.size() < size) {
        buffer_.reserve(size_t(NextCapacity(buffer_.size() + size, buffer_.capacity(), total_)));
    }
    buffer_.insert(buffer_.end(), data, data + size);
}

void MailReassembly::Reset() noexcept {
    Release(buffer_);
    total_ = 0;
    totalKnown_ = false;
    received_ = 0;
    handedOver_ = false;
    abandoned_ = false;
}

MailReassembly::State MailReassembly::GetState() const noexcept {
    if (!totalKnown_) {
        return State::WaitingForHeader;
    }
    if (received_ > total_ || (abandoned_ && !handedOver_)) {
        return State::Overrun;
    }
    if (handedOver_) {
        return State::HandedOver;
    }
    return State::Collecting;
}

}  // namespace zobrik

