#include "request_buffer.h"

#include <cstring>
#include <utility>

namespace zobrik {

namespace {

size_t RoundUpToPage(size_t bytes, size_t page) noexcept {
    const size_t remainder = bytes % page;
    return remainder == 0 ? bytes : bytes + (page - remainder);
}

}  // namespace

RequestBuffer::RequestBuffer(RequestBuffer&& other) noexcept
    : range_(std::move(other.range_)),
      committed_(std::exchange(other.committed_, 0)),
      size_(std::exchange(other.size_, 0)) {}

RequestBuffer& RequestBuffer::operator=(RequestBuffer&& other) noexcept {
    if (this != &other) {
        range_ = std::move(other.range_);
        committed_ = std::exchange(other.committed_, 0);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

bool RequestBuffer::Reserve(size_t capacity) noexcept {
    Release();
    const size_t page = AddressSpacePageSize();
    if (capacity == 0 || capacity > SIZE_MAX - page) {
        return false;
    }
    range_.Reset(ReserveAddressSpace(RoundUpToPage(capacity, page)));
    return bool(range_);
}

size_t RequestBuffer::CommittedFor(size_t bytes) const noexcept {
    if (bytes <= committed_) {
        return committed_;
    }
    if (bytes >= Capacity()) {
        return Capacity();
    }
    return RoundUpToPage(bytes, AddressSpacePageSize());
}

bool RequestBuffer::CommitUpTo(size_t bytes) noexcept {
    if (bytes <= committed_) {
        return true;
    }
    if (bytes > Capacity()) {
        return false;
    }
    const size_t next = CommittedFor(bytes);
    if (!CommitAddressSpace(range_.Get(), committed_, next - committed_)) {
        return false;
    }
    committed_ = next;
    return true;
}

bool RequestBuffer::Append(const uint8_t* bytes, size_t size) noexcept {
    if (size > committed_ - size_) {
        return false;
    }
    if (size != 0) {
        std::memcpy(range_.Get().base + size_, bytes, size);
        size_ += size;
    }
    return true;
}

void RequestBuffer::Release() noexcept {
    range_.Reset();
    committed_ = 0;
    size_ = 0;
}

}  // namespace zobrik
