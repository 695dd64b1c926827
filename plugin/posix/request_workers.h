// The add-in's workers of the exec and mail channels: threads of their own,
// with the admission of plugin/request_admission.h, as in the Windows
// plug-in.
#pragma once

#include <memory>
#include <string>

#include "plugin/bounded_workers.h"
#include "plugin/buffer_budget.h"
#include "plugin/mail_reassembly.h"
#include "plugin/request_frame.h"

namespace zobrik {

// The add-in's server of requests: xdg-open and xdg-email, with the staging
// area under `stagingRoot`.
std::shared_ptr<const RequestServer> MakeRequestServer(std::string stagingRoot);

BoundedWorkers::Admission SubmitExecRequest(std::string text, const RequestContext& context) noexcept;

BoundedWorkers::Admission SubmitMailRequest(MailReassembly::CompleteRequest request, BufferBudget& budget,
                                            const RequestContext& context) noexcept;

// The budget of all mail channels' request buffers.
BufferBudget& MailBufferBudget() noexcept;

}  // namespace zobrik
