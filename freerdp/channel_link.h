// A FreeRDP channel as the add-in's requests reply on it: a ReplySlot
// (plugin/reply_slot.h). FreeRDP frees the channel right after its OnClose;
// workers that answer later find the link closed and write nothing. The slot
// never writes an empty message, which FreeRDP 3 takes as the client closing
// the channel (and answers with OnClose from inside that write, on the
// worker's thread and under the slot's lock).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include <freerdp/dvc.h>

#include "plugin/reply_slot.h"

namespace zobrik {

struct FreeRdpChannelWrite {
    using Pointer = IWTSVirtualChannel*;
    static void Write(Pointer channel, const void* data, uint32_t size) noexcept {
        channel->Write(channel, ULONG(size), static_cast<const BYTE*>(data), nullptr);
    }
};

using ChannelLink = ReplySlot<FreeRdpChannelWrite, std::mutex>;
using SharedChannelLink = std::shared_ptr<ChannelLink>;

}  // namespace zobrik
