// The workers of the exec and the mail channel, with the limits of
// request_limits.h. Each channel kind has workers of its own, shared by all
// channels of that kind in the module.
#pragma once

#include <string>

#include "bounded_workers.h"
#include "buffer_budget.h"
#include "channel_slot.h"
#include "include/admin_policy.h"
#include "mail_reassembly.h"

namespace zobrik {

// The reply text of a mail request that finds as many others waiting as may
// wait (and of one whose bytes do not fit into the budget while it waits):
// the same as for a request whose buffer would pass the budget.
inline constexpr char kMailRequestsBusy[] = "too many requests at once";

// Serves the exec text on an exec worker, or answers "failed" at once when
// as many requests wait as may. A request that had to wait is dropped
// unanswered when its channel has closed by the time a worker takes it: the
// server that asked has gone, and nothing is opened for it.
BoundedWorkers::Admission SubmitExecRequest(std::string text, const SharedChannelSlot& channel,
                                            const SharedAdminPolicy& policy) noexcept;

// Serves the complete mail request on a mail worker, or answers it at once
// with kMailRequestsBusy. While it waits for a worker its bytes count
// against `budget`. A request whose channel closes is still handed over;
// only its reply is dropped.
BoundedWorkers::Admission SubmitMailRequest(MailReassembly::CompleteRequest request, const SharedChannelSlot& channel,
                                            BufferBudget& budget, const SharedAdminPolicy& policy) noexcept;

}  // namespace zobrik
