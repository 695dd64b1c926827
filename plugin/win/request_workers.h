// The Windows plug-in's workers of the exec and the mail channel, on the
// process's thread pool, with the admission of request_admission.h. Each
// channel kind has workers of its own, shared by all channels of that kind
// in the module.
#pragma once

#include <string>

#include "channel_slot.h"
#include "include/admin_policy.h"
#include "plugin/bounded_workers.h"
#include "plugin/buffer_budget.h"
#include "plugin/mail_reassembly.h"

namespace zobrik {

// Submits the exec text to the module's exec workers (request_admission.h).
BoundedWorkers::Admission SubmitExecRequest(std::string text, const SharedChannelSlot& channel,
                                            const SharedAdminPolicy& policy) noexcept;

// Submits the complete mail request to the module's mail workers; while it
// waits its bytes count against `budget` (request_admission.h).
BoundedWorkers::Admission SubmitMailRequest(MailReassembly::CompleteRequest request, const SharedChannelSlot& channel,
                                            BufferBudget& budget, const SharedAdminPolicy& policy) noexcept;

}  // namespace zobrik
