// What a frame (the Windows plug-in, the Linux add-in) supplies to the
// request handling both share: the channel a reply goes to, and the
// platform calls that serve a request. Free of platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "exec/exec_reply.h"
#include "include/admin_policy.h"

namespace zobrik {

// The channel a request arrived on, shared between the frame's thread and
// the workers that reply on it. The frame may lose the channel at any time;
// a reply written after that is dropped.
class ReplyChannel {
public:
    // Writes one message if the channel is still open; returns whether it
    // was written.
    virtual bool WriteIfOpen(const void* bytes, size_t count) noexcept = 0;
    virtual bool IsOpen() const noexcept = 0;

protected:
    ~ReplyChannel() = default;
};

using SharedReplyChannel = std::shared_ptr<ReplyChannel>;

// The platform's part of serving a request.
class RequestServer {
public:
    // Opens the exec text, or refuses it; never throws.
    virtual const ExecReply& ServeExec(const std::string& text, const AdminPolicy& policy) const noexcept = 0;
    // Hands the complete mail request over; returns the status byte's value,
    // or throws what the reply's error text tells.
    virtual int32_t ProcessMail(uint32_t length, uint8_t* request, const AdminPolicy& policy) const = 0;
    // Tells the administrator of an exec text refused because as many
    // requests wait as may (its debugger line is written already).
    virtual void ReportExecBusy(const std::string& text) const noexcept = 0;

protected:
    ~RequestServer() = default;
};

// What a request needs besides its bytes.
struct RequestContext {
    SharedReplyChannel channel;
    SharedAdminPolicy policy;
    std::shared_ptr<const RequestServer> server;
};

}  // namespace zobrik
