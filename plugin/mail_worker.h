// The body of the thread that serves one complete mail request.
#pragma once

#include <cstdint>
#include <vector>

#include "channel_slot.h"
#include "include/admin_policy.h"

namespace zobrik {

// Processes the request and answers on the channel, if it is still open:
// the status byte 00 when processing completed, otherwise the UTF-8 text of
// the error followed by a zero byte.
void MailWorker(uint32_t length, std::vector<uint8_t> request, const SharedChannelSlot& channel,
                const AdminPolicy& policy) noexcept;

// Answers a request refused before it reached a worker with the error text
// of `message`, in the same form as the worker's.
void ReplyWithRefusal(const SharedChannelSlot& channel, const char* message) noexcept;

}  // namespace zobrik
