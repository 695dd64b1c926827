#include "mail_reassembly.h"

#include <algorithm>
#include <new>

#include "include/mail_request.h"
#include "include/request_limits.h"

namespace zobrik {

namespace {

constexpr uint64_t kSmallestGrowth = 4096;

}  // namespace

std::optional<MailReassembly::CompleteRequest> MailReassembly::Append(const uint8_t* data, size_t size) {
    if (handedOver_ || abandoned_) {
        received_ += size;
        return std::nullopt;
    }
    if (!totalKnown_) {
        // Wait until the bytes that carry the total have arrived, however
        // the sender split them.
        size_t headerPart =
            std::min<size_t>(size, MAIL_TOTAL_SIZE_END - std::min<size_t>(buffer_.size(), MAIL_TOTAL_SIZE_END));
        Keep(data, headerPart);
        received_ += headerPart;
        data += headerPart;
        size -= headerPart;
        if (buffer_.size() < MAIL_TOTAL_SIZE_END) {
            return std::nullopt;
        }
        ReadTotalFromHeader();
        if (abandoned_) {
            received_ += size;
            return std::nullopt;
        }
    }
    if (received_ + size > total_) {
        // Overshoots the total: this request can never complete.
        received_ += size;
        Abandon(nullptr);
        return std::nullopt;
    }
    try {
        Keep(data, size);
    } catch (...) {
        received_ += size;
        Abandon(nullptr);
        throw;
    }
    received_ += size;
    if (abandoned_ || received_ != total_) {
        return std::nullopt;
    }
    handedOver_ = true;
    CompleteRequest complete{uint32_t(buffer_.size()), std::move(buffer_)};
    ReleaseBuffer();  // the worker owns the bytes now; the budget is theirs no longer
    return complete;
}

void MailReassembly::ReadTotalFromHeader() {
    totalKnown_ = true;
    total_ = ReadUint64LE(buffer_.data() + MAIL_TOTAL_SIZE_OFFSET);
    if (total_ > maxRequestSize_) {
        Abandon("request too large");
    } else if (total_ < buffer_.size()) {
        // An announced total below what has already arrived (0 included)
        // can never be met.
        Abandon(nullptr);
    }
}

uint64_t MailReassembly::NextCapacity(uint64_t needed, uint64_t capacity, uint64_t total) noexcept {
    const uint64_t step = std::clamp(capacity, kSmallestGrowth, kMaxBufferGrowthStep);
    return std::min(total, std::max(needed, capacity + step));
}

bool MailReassembly::Grow(size_t needed) {
    const uint64_t limit = totalKnown_ ? total_ : MAIL_TOTAL_SIZE_END;
    const uint64_t next = NextCapacity(needed, buffer_.capacity(), std::max<uint64_t>(limit, needed));
    if (budget_ && next > charged_) {
        if (!budget_->TryTake(next - charged_)) {
            return false;
        }
        charged_ = next;
    }
    buffer_.reserve(size_t(next));
    return true;
}

void MailReassembly::Keep(const uint8_t* data, size_t size) {
    if (size == 0) {
        return;
    }
    if (buffer_.capacity() - buffer_.size() < size && !Grow(buffer_.size() + size)) {
        Abandon(kMailRequestsBusy);
        return;
    }
    buffer_.insert(buffer_.end(), data, data + size);
}

void MailReassembly::Abandon(const char* refusal) noexcept {
    abandoned_ = true;
    if (refusal) {
        refused_ = true;
        refusal_ = refusal;
    }
    ReleaseBuffer();
}

// Empties the buffer and gives its storage back (assigning {} would keep
// the capacity), and its share of the budget.
void MailReassembly::ReleaseBuffer() noexcept {
    std::vector<uint8_t>().swap(buffer_);
    if (budget_ && charged_ != 0) {
        budget_->Give(charged_);
    }
    charged_ = 0;
}

void MailReassembly::Reset() noexcept {
    ReleaseBuffer();
    total_ = 0;
    totalKnown_ = false;
    received_ = 0;
    handedOver_ = false;
    abandoned_ = false;
    refused_ = false;
    refusal_ = nullptr;
}

bool MailReassembly::TimeOut() noexcept {
    if (!Unfinished()) {
        return false;
    }
    Abandon(kMailRequestTimedOut);
    return true;
}

const char* MailReassembly::TakeRefusal() noexcept {
    const char* refusal = refusal_;
    refusal_ = nullptr;
    return refusal;
}

MailReassembly::State MailReassembly::GetState() const noexcept {
    if (refused_) {
        return State::Refused;
    }
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
