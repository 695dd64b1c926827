// The answer to a mail request: the status byte 00 when the mail program
// took the mail, otherwise the UTF-8 text of the error ("Exception: ...")
// followed by a zero byte; a status byte other than 00 when no text can be
// formed.
#pragma once

#include <cstdint>

#include "request_buffer.h"
#include "request_frame.h"

namespace zobrik {

// The body of the worker that serves one complete mail request: processes
// it with the frame's server, frees its bytes, and answers on the channel
// if it is still open.
void ServeMailRequest(uint32_t length, RequestBuffer request, const RequestContext& context) noexcept;

// Answers a request refused before it reached a worker with the error text
// of `message`, in the same form as the worker's.
void ReplyWithRefusal(ReplyChannel& channel, const char* message) noexcept;

}  // namespace zobrik
