// The workers of the add-in's exec and mail channels, with the limits of
// request_limits.h, as in the Windows plug-in: at most so many requests are
// served at once, so many more wait, and the rest are answered at once.
#pragma once

#include <string>

#include "channel_link.h"
#include "include/admin_policy.h"
#include "plugin/bounded_workers.h"
#include "plugin/buffer_budget.h"
#include "plugin/mail_reassembly.h"

namespace zobrik {

// What a request needs besides its bytes.
struct RequestContext {
    SharedChannelLink channel;
    SharedAdminPolicy policy;
    std::string stagingRoot;
};

BoundedWorkers::Admission SubmitPosixExecRequest(std::string text, const RequestContext& context) noexcept;

BoundedWorkers::Admission SubmitPosixMailRequest(MailReassembly::CompleteRequest request, BufferBudget& budget,
                                                 const RequestContext& context) noexcept;

// Answers a mail request with the error text of `message` (a limit).
void ReplyWithMailRefusal(const SharedChannelLink& channel, const char* message) noexcept;

// The budget of all mail channels' request buffers.
BufferBudget& PosixMailBufferBudget() noexcept;

}  // namespace zobrik
