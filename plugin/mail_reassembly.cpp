#include "mail_reassembly.h"

#include <algorithm>
#include <cstdint>

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
        const size_t headerPart = std::min<size_t>(size, MAIL_TOTAL_SIZE_END - headerSize_);
        std::copy_n(data, headerPart, header_ + headerSize_);
        headerSize_ += headerPart;
        received_ += headerPart;
        data += headerPart;
        size -= headerPart;
        if (headerSize_ < MAIL_TOTAL_SIZE_END) {
            return std::nullopt;
        }
        ReadTotalFromHeader();
        if (!abandoned_) {
            StartBuffer();
        }
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
    Keep(data, size);
    received_ += size;
    if (abandoned_ || received_ != total_) {
        return std::nullopt;
    }
    handedOver_ = true;
    CompleteRequest complete{uint32_t(buffer_.Size()), std::move(buffer_)};
    ReleaseBuffer();  // the worker owns the bytes now; the budget is theirs no longer
    return complete;
}

void MailReassembly::ReadTotalFromHeader() {
    static_assert(kTotalEnd == MAIL_TOTAL_SIZE_END);
    totalKnown_ = true;
    total_ = ReadUint64LE(header_ + MAIL_TOTAL_SIZE_OFFSET);
    if (total_ > maxRequestSize_) {
        Abandon("request too large");
    } else if (total_ < MAIL_TOTAL_SIZE_END) {
        // An announced total below what has already arrived (0 included)
        // can never be met.
        Abandon(nullptr);
    }
}

// Takes address space for the whole total, committing none of it, and moves
// the header bytes there. Without address space left the request is refused
// as when the budget is exhausted.
void MailReassembly::StartBuffer() noexcept {
    if (total_ > SIZE_MAX || !buffer_.Reserve(size_t(total_))) {
        Abandon(kMailRequestsBusy);
        return;
    }
    Keep(header_, headerSize_);
    headerSize_ = 0;
}

uint64_t MailReassembly::NextCapacity(uint64_t needed, uint64_t capacity, uint64_t total) noexcept {
    const uint64_t step = std::clamp(capacity, kSmallestGrowth, kMaxBufferGrowthStep);
    return std::min(total, std::max(needed, capacity + step));
}

// Commits the next step, charging the budget first: the charge always covers
// what is committed.
bool MailReassembly::Grow(size_t needed) noexcept {
    const size_t next = buffer_.CommittedFor(size_t(NextCapacity(needed, buffer_.Committed(), total_)));
    if (budget_ && next > charged_) {
        if (!budget_->TryTake(next - charged_)) {
            return false;
        }
        charged_ = next;
    }
    return buffer_.CommitUpTo(next);
}

void MailReassembly::Keep(const uint8_t* data, size_t size) noexcept {
    if (size == 0) {
        return;
    }
    const size_t needed = buffer_.Size() + size;
    if (needed > buffer_.Committed() && !Grow(needed)) {
        Abandon(kMailRequestsBusy);
        return;
    }
    if (!buffer_.Append(data, size)) {
        Abandon(kMailRequestsBusy);  // never drops bytes and hands over a shorter request
    }
}

void MailReassembly::Abandon(const char* refusal) noexcept {
    abandoned_ = true;
    if (refusal) {
        refused_ = true;
        refusal_ = refusal;
    }
    ReleaseBuffer();
}

// Gives the buffer's address space and memory back, and its share of the
// budget.
void MailReassembly::ReleaseBuffer() noexcept {
    buffer_.Release();
    headerSize_ = 0;
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
