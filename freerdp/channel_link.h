// A FreeRDP channel as the add-in's requests see it: replies are written
// only while the channel is open. FreeRDP frees the channel right after its
// OnClose; workers that answer later find the link closed and write nothing.
//
// An empty message is never written: FreeRDP 3 takes a write of no bytes as
// the client closing the channel, and calls OnClose from inside that write,
// on the worker's thread and under this link's lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include <freerdp/dvc.h>

#include "plugin/request_frame.h"

namespace zobrik {

class ChannelLink final : public ReplyChannel {
public:
    explicit ChannelLink(IWTSVirtualChannel* channel) noexcept : channel_(channel) {}
    ChannelLink(const ChannelLink&) = delete;
    ChannelLink& operator=(const ChannelLink&) = delete;

    // Writes one message of at least one byte when the channel is still
    // open; returns whether it was written. The result of Write itself is
    // not examined.
    bool WriteIfOpen(const void* data, size_t size) noexcept override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (channel_ == nullptr || size == 0 || size > UINT32_MAX) return false;
        channel_->Write(channel_, ULONG(size), static_cast<const BYTE*>(data), nullptr);
        return true;
    }

    bool IsOpen() const noexcept override {
        std::lock_guard<std::mutex> lock(mutex_);
        return channel_ != nullptr;
    }

    // From OnClose: no write reaches the channel after this returns.
    void Close() noexcept {
        std::lock_guard<std::mutex> lock(mutex_);
        channel_ = nullptr;
    }

private:
    mutable std::mutex mutex_;
    IWTSVirtualChannel* channel_;
};

using SharedChannelLink = std::shared_ptr<ChannelLink>;

}  // namespace zobrik
