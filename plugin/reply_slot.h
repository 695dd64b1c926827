// The channel a request replies on, shared between the thread that serves
// the channel and the workers that answer on it. The client may free the
// channel once its OnClose has returned, so a worker's check-and-write and
// OnClose's emptying of the slot exclude each other: no write reaches a
// channel after its OnClose returned. Each frame supplies its channel type
// and lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "plugin/request_frame.h"

namespace zobrik {

// `Channel` names the frame's channel pointer (`Pointer`) and how one
// message is written on it (`Write`, noexcept); `Lock` is a lock whose
// lock() and unlock() do not throw.
template <class Channel, class Lock>
class ReplySlot final : public ReplyChannel {
public:
    using Pointer = typename Channel::Pointer;

    explicit ReplySlot(Pointer channel) noexcept : channel_(channel) {}
    ReplySlot(const ReplySlot&) = delete;
    ReplySlot& operator=(const ReplySlot&) = delete;

    // Writes one message of at least one byte if the channel is still open;
    // returns whether it was written. The result of the write itself is not
    // examined. Every reply has a byte at least; a write of none means
    // something else to some clients (FreeRDP 3: the channel's close).
    bool WriteIfOpen(const void* data, size_t size) noexcept override {
        std::lock_guard<Lock> lock(lock_);
        if (channel_ == nullptr || size == 0 || size > UINT32_MAX) {
            return false;
        }
        Channel::Write(channel_, data, uint32_t(size));
        return true;
    }

    bool IsOpen() const noexcept override {
        std::lock_guard<Lock> lock(lock_);
        return channel_ != nullptr;
    }

    // From OnClose: empties the slot, after a write in progress has returned.
    void Close() noexcept {
        std::lock_guard<Lock> lock(lock_);
        channel_ = nullptr;
    }

private:
    mutable Lock lock_;
    Pointer channel_;
};

}  // namespace zobrik
