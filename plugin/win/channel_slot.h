// The Windows client's channel as the requests reply on it: a ReplySlot
// (plugin/reply_slot.h) over IWTSVirtualChannel.
#pragma once

#include <windows.h>

#include <tsvirtualchannels.h>

#include <cstdint>
#include <memory>

#include "include/win/owners.h"
#include "plugin/reply_slot.h"

namespace zobrik {

struct WtsChannelWrite {
    using Pointer = IWTSVirtualChannel*;
    // Write takes a non-const buffer but only copies it.
    static void Write(Pointer channel, const void* data, uint32_t size) noexcept {
        channel->Write(ULONG(size), static_cast<BYTE*>(const_cast<void*>(data)), nullptr);
    }
};

// A slim reader/writer lock needs no handle and no clean-up, so a slot costs
// nothing but its memory however often it was contended.
using ChannelSlot = ReplySlot<WtsChannelWrite, SlimLock>;
using SharedChannelSlot = std::shared_ptr<ChannelSlot>;

}  // namespace zobrik
