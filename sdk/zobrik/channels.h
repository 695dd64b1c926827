// Zobrik channels: the names an application in the remote session opens and
// the limits of what it may send on them.
//
// Header-only, C++17 standard library only.
//
// Both are dynamic virtual channels. On the remote computer a program opens
// one with
//
//   HANDLE channel = WTSVirtualChannelOpenEx(WTS_CURRENT_SESSION,
//                                            "Zobrik/mail", WTS_CHANNEL_OPTION_DYNAMIC);
//
// and exchanges messages with the Zobrik plug-in of the user's Remote Desktop
// client. Every write is delivered to the plug-in as one message.
//
//   "Zobrik/exec"  one message = a path or address, text in the ANSI code page;
//                  the client's shell opens it; the reply is 8 bytes (replies.h)
//   "Zobrik/mail"  one mail request (mail_request_writer.h, mail_message.h),
//                  written in one or more chunks; the reply is one status byte
//                  or an error text (replies.h)
#pragma once

#include <cstddef>
#include <cstdint>

namespace zobrik::sdk {

inline constexpr const char kExecChannelName[] = "Zobrik/exec";
inline constexpr const char kMailChannelName[] = "Zobrik/mail";

// The option of WTSVirtualChannelOpenEx that opens a dynamic channel (some
// SDK headers do not define WTS_CHANNEL_OPTION_DYNAMIC).
inline constexpr uint32_t kWtsChannelOptionDynamic = 0x00000001;

// A mail request is at most 2^32 - 1 bytes long (the plug-in carries its
// length as a 32-bit count), and an attachment at most 2^31 - 1 bytes.
inline constexpr uint64_t kMaxMailRequestSize = 0xFFFFFFFFull;
inline constexpr uint64_t kMaxAttachmentSize = 0x7FFFFFFFull;

// What the plug-in accepts, below what the format could carry: a longer
// request is answered "request too large", more records "too many records"
// (recipients count in all five groups, originators included). The client's
// administrator may lower each of them; BuildMailRequest refuses what passes
// them.
inline constexpr uint64_t kPluginMaxMailRequestSize = uint64_t(128) << 20;
inline constexpr size_t kPluginMaxRecipients = 1000;
inline constexpr size_t kPluginMaxAttachments = 250;

// Chunk size that zobrik-send uses for mail requests. Any size of 16 bytes or
// more works: the plug-in joins the chunks until the request's announced
// length is reached. Larger chunks mean fewer channel messages.
inline constexpr size_t kDefaultMailChunkSize = size_t{64} * 1024;

// The first mail chunk must hold the request's length field (bytes 8 to 15).
inline constexpr size_t kMinMailChunkSize = 16;

}  // namespace zobrik::sdk
