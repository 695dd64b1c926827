// One call per request: open a text on the client computer, or hand a mail to
// its mail program, over any ChannelTransport, and get the decoded reply.
//
// Header-only, C++17 standard library only. wts_channel.h adds the same
// calls over the channel of the current Remote Desktop session.
//
//   zobrik::sdk::ExecReply reply = zobrik::sdk::OpenOnClient(transport, message);
//   zobrik::sdk::MailReply reply = zobrik::sdk::SendMail(transport, std::move(mail));
//
// Channel failures, and no reply within the time limit, throw ChannelError;
// a reply that the plug-in did send is returned, whatever it says (a
// ProtocolError reply when it is not one of the plug-in's replies).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "channel_transport.h"
#include "channels.h"
#include "exec_message.h"
#include "mail_message.h"
#include "mail_request_writer.h"
#include "replies.h"

namespace zobrik::sdk {

// The exec channel's default wait for its reply. The plug-in answers as soon
// as the shell returns, or, when the client's administrator has the user
// confirm every text, when the user has answered.
inline constexpr std::chrono::milliseconds kDefaultExecTimeout = std::chrono::seconds(60);

struct SendOptions {
    // The size of the channel writes (at least kMinMailChunkSize).
    size_t chunkSize = kDefaultMailChunkSize;
    // The mail reply comes when the user has closed the mail program's
    // window, so the default waits without limit.
    std::chrono::milliseconds timeout = kWaitForever;
    // Called after every write with the bytes written so far and the total.
    std::function<void(uint64_t sent, uint64_t total)> progress;
};

// "3 seconds", "1 second", "1500 ms".
inline std::string DescribeWait(std::chrono::milliseconds wait) {
    const long long ms = static_cast<long long>(wait.count());
    if (ms % 1000 != 0) return std::to_string(ms) + " ms";
    return std::to_string(ms / 1000) + (ms == 1000 ? " second" : " seconds");
}

namespace client_calls_detail {

inline std::vector<uint8_t> ReadReply(ChannelTransport& transport, std::chrono::milliseconds timeout) {
    std::optional<std::vector<uint8_t>> message = transport.Read(timeout);
    if (!message) {
        throw ChannelError(ChannelErrorKind::NoReply, "no reply from the plug-in within " + DescribeWait(timeout));
    }
    return std::move(*message);
}

}  // namespace client_calls_detail

// Sends an exec message (ExecMessage() makes one from a text) and returns the
// plug-in's reply.
inline ExecReply OpenOnClient(ChannelTransport& transport, const std::vector<uint8_t>& message,
                              std::chrono::milliseconds timeout = kDefaultExecTimeout) {
    std::vector<uint8_t> reply;
    {
        ScopedChannel channel(transport, kExecChannelName);
        transport.Write(message.data(), message.size());
        reply = client_calls_detail::ReadReply(transport, timeout);
    }
    return ParseExecReply(reply);
}

// Sends a mail request on `transport`, which the caller has opened on
// kMailChannelName and closes, and returns the plug-in's reply: for a caller
// that opens the channel first to learn whether there is one at all. The
// request's memory is released before the wait.
inline MailReply SendMailRequestOnOpenChannel(ChannelTransport& transport, std::vector<uint8_t> request,
                                              const SendOptions& options = {}) {
    if (options.chunkSize < kMinMailChunkSize)
        throw std::invalid_argument("the chunk size must be at least " + std::to_string(kMinMailChunkSize));
    const uint64_t total = request.size();
    uint64_t sent = 0;
    ForEachChunk(request, options.chunkSize, [&](const uint8_t* data, size_t size) {
        transport.Write(data, size);
        sent += size;
        if (options.progress) options.progress(sent, total);
    });
    std::vector<uint8_t>().swap(request);
    return ParseMailReply(client_calls_detail::ReadReply(transport, options.timeout));
}

// Sends a mail request (BuildMailRequest() makes one) in chunks and returns
// the plug-in's reply. The request's memory is released before the wait.
inline MailReply SendMailRequest(ChannelTransport& transport, std::vector<uint8_t> request,
                                 const SendOptions& options = {}) {
    if (options.chunkSize < kMinMailChunkSize)
        throw std::invalid_argument("the chunk size must be at least " + std::to_string(kMinMailChunkSize));
    ScopedChannel channel(transport, kMailChannelName);
    return SendMailRequestOnOpenChannel(transport, std::move(request), options);
}

// Builds the request of `mail` (throws MailRequestError for a mail the
// plug-in would refuse) and sends it.
inline MailReply SendMail(ChannelTransport& transport, MailMessage mail, const SendOptions& options = {}) {
    return SendMailRequest(transport, BuildMailRequest(std::move(mail)), options);
}

}  // namespace zobrik::sdk
