// What one server may ask of the plug-in: the limits on requests, buffers
// and workers, in one place. Each is answered with a reply of its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zobrik {

// The largest mail request. The largest messages that common mail services
// accept are 150 MB (Exchange Online; others take 20 to 50 MB), which after
// base64 encoding is about 112 MB of attachments; 128 MiB covers that. A
// request that announces more is answered "request too large" after its
// first chunk, and the rest of it is dropped unbuffered.
inline constexpr uint64_t kMaxMailRequestSize = uint64_t(128) << 20;

// Records per mail request, answered "too many records": large mail
// services limit a message to 500 or 1,000 recipients, and a mail with more
// than a few hundred attachments is no mail a person composes.
inline constexpr uint32_t kMaxMailRecipients = 1000;
inline constexpr uint32_t kMaxMailAttachments = 250;

// The bytes that all mail channels of one plug-in may hold in their request
// buffers at once: four requests of the largest size. A request that would
// pass it is answered "too many requests at once" and dropped.
inline constexpr uint64_t kMailBufferBudget = 4 * kMaxMailRequestSize;

// A request buffer grows by doubling, by at most this much at a time, so
// that it never holds much more than what has arrived.
inline constexpr uint64_t kMaxBufferGrowthStep = uint64_t(16) << 20;

// A decoded string goes to the debugger output cut to this many characters.
inline constexpr size_t kTracedStringLength = 1024;

}  // namespace zobrik
