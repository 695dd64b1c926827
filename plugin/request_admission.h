// Admission of exec and mail requests to their workers (bounded_workers.h,
// with the limits of request_limits.h), and what each request does when a
// worker takes it or when it is refused. The frames own the workers and the
// budget; the decisions are made here.
#pragma once

#include <string>

#include "bounded_workers.h"
#include "buffer_budget.h"
#include "mail_reassembly.h"
#include "request_frame.h"

namespace zobrik {

// The frame's workers of one channel kind, made on first use (which may
// fail for want of memory: the request is then answered as refused).
using WorkersGetter = BoundedWorkers& (*)();

// Serves the exec text on an exec worker, or answers "failed" at once when
// as many requests wait as may. A request that had to wait is dropped
// unanswered when its channel has closed by the time a worker takes it: the
// server that asked has gone, and nothing is opened for it.
BoundedWorkers::Admission SubmitExecRequest(WorkersGetter workers, std::string text,
                                            const RequestContext& context) noexcept;

// Serves the complete mail request on a mail worker, or answers it at once
// with kMailRequestsBusy. While it waits for a worker its bytes count
// against `budget`. A request whose channel closes is still handed over;
// only its reply is dropped.
BoundedWorkers::Admission SubmitMailRequest(WorkersGetter workers, MailReassembly::CompleteRequest request,
                                            BufferBudget& budget, const RequestContext& context) noexcept;

}  // namespace zobrik
