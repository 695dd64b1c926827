#include "channel_slot.h"

namespace zobrik {

namespace {

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) noexcept : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& lock_;
};

}  // namespace

bool ChannelSlot::WriteIfOpen(const void* bytes, ULONG count) noexcept {
    ExclusiveLock lock(lock_);
    if (!channel_) {
        return false;
    }
    // Write takes a non-const buffer but only copies it.
    channel_->Write(count, static_cast<BYTE*>(const_cast<void*>(bytes)), nullptr);
    return true;
}

void ChannelSlot::Close() noexcept {
    ExclusiveLock lock(lock_);
    channel_ = nullptr;
}

bool ChannelSlot::IsOpen() const noexcept {
    ExclusiveLock lock(lock_);
    return channel_ != nullptr;
}

}  // namespace zobrik
