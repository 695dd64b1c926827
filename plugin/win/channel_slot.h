// The channel a callback serves, shared between the client's thread and the
// workers that reply on it. The client may free the channel once OnClose has
// returned, so a worker's check-and-Write and OnClose's emptying of the slot
// exclude each other: no Write runs on a channel after its OnClose returned.
#pragma once

#include <windows.h>

#include <tsvirtualchannels.h>

#include <memory>

#include "include/win/owners.h"
#include "plugin/request_frame.h"

namespace zobrik {

class ChannelSlot final : public ReplyChannel {
public:
    explicit ChannelSlot(IWTSVirtualChannel* channel) noexcept : channel_(channel) {}

    ChannelSlot(const ChannelSlot&) = delete;
    ChannelSlot& operator=(const ChannelSlot&) = delete;

    // Writes one message if the channel is still open; returns whether it
    // was written. The result of Write itself is not examined.
    bool WriteIfOpen(const void* bytes, size_t count) noexcept override;

    // Empties the slot; waits for a Write in progress to return.
    void Close() noexcept;

    bool IsOpen() const noexcept override;

private:
    // A slim reader/writer lock needs no handle and no clean-up, so a slot
    // costs nothing but its memory however often it was contended.
    mutable SlimLock lock_;
    IWTSVirtualChannel* channel_;
};

using SharedChannelSlot = std::shared_ptr<ChannelSlot>;

}  // namespace zobrik
