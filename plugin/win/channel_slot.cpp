#include "channel_slot.h"

#include <mutex>

namespace zobrik {

bool ChannelSlot::WriteIfOpen(const void* bytes, size_t count) noexcept {
    std::lock_guard lock(lock_);
    if (!channel_ || count > ULONG(-1)) {
        return false;
    }
    // Write takes a non-const buffer but only copies it.
    channel_->Write(ULONG(count), static_cast<BYTE*>(const_cast<void*>(bytes)), nullptr);
    return true;
}

void ChannelSlot::Close() noexcept {
    std::lock_guard lock(lock_);
    channel_ = nullptr;
}

bool ChannelSlot::IsOpen() const noexcept {
    std::lock_guard lock(lock_);
    return channel_ != nullptr;
}

}  // namespace zobrik
