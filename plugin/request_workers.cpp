#include "request_workers.h"

#include <memory>
#include <utility>

#include "exec/exec_policy_win.h"
#include "exec/exec_reply.h"
#include "exec/exec_worker.h"
#include "include/debug_output.h"
#include "include/event_log.h"
#include "include/request_limits.h"
#include "mail_worker.h"
#include "worker_thread.h"

namespace zobrik {

namespace {

void AnswerExecFailed(const SharedChannelSlot& channel) noexcept {
    channel->WriteIfOpen(kExecReplyFailed.data(), ULONG(kExecReplyFailed.size()));
}

class ExecRequest final : public WorkRequest {
public:
    ExecRequest(std::string text, const SharedChannelSlot& channel, const SharedAdminPolicy& policy)
        : text_(std::move(text)), channel_(channel), policy_(policy) {}

    void Run() noexcept override {
        if (waited_ && !channel_->IsOpen()) {
            DebugEvent(L"exec request dropped: its channel closed while it waited");
            return;
        }
        const ExecReply& reply = ServeExecRequest(text_, *policy_);
        channel_->WriteIfOpen(reply.data(), ULONG(reply.size()));
    }

    void Refuse() noexcept override {
        DebugEvent(L"exec refused: too many requests at once");
        try {
            ReportExecRefused(L"too many requests at once", ExecTextForEvent(text_));
        } catch (...) {
            // Out of memory: the debugger line stands alone.
        }
        AnswerExecFailed(channel_);
    }

    bool PrepareToWait() noexcept override {
        waited_ = true;
        return true;
    }

private:
    std::string text_;
    SharedChannelSlot channel_;
    SharedAdminPolicy policy_;
    bool waited_ = false;
};

class MailRequest final : public WorkRequest {
public:
    MailRequest(MailReassembly::CompleteRequest request, const SharedChannelSlot& channel, BufferBudget& budget,
                const SharedAdminPolicy& policy)
        : request_(std::move(request)), channel_(channel), budget_(budget), policy_(policy) {}

    void Run() noexcept override {
        waitingShare_.GiveBack();  // a worker holds the bytes now, and workers are few
        MailWorker(request_.length, std::move(request_.bytes), channel_, *policy_);
    }

    void Refuse() noexcept override {
        DebugEvent(L"Mail: refused, too many requests at once");
        ReplyWithRefusal(channel_, kMailRequestsBusy);
    }

    bool PrepareToWait() noexcept override { return waitingShare_.Take(budget_, request_.bytes.capacity()); }

private:
    MailReassembly::CompleteRequest request_;
    SharedChannelSlot channel_;
    BufferBudget& budget_;
    SharedAdminPolicy policy_;
    BudgetShare waitingShare_;  // given back when a worker takes the request, or with it
};

BoundedWorkers& ExecWorkers() {
    // An open may wait on an unreachable share, and a confirmation on the
    // user for up to an hour: the pool is told, so it does not wait for
    // these threads before serving other work of the process.
    static PoolWorkerStarter starter(PoolWorkerStarter::Duration::MayRunLong);
    static BoundedWorkers workers({kMaxExecWorkers, kMaxWaitingExecRequests}, starter);
    return workers;
}

BoundedWorkers& MailWorkers() {
    static PoolWorkerStarter starter(PoolWorkerStarter::Duration::MayRunLong);
    static BoundedWorkers workers({kMaxMailWorkers, kMaxWaitingMailRequests}, starter);
    return workers;
}

void NoteNotStarted(BoundedWorkers::Admission admission) noexcept {
    if (admission == BoundedWorkers::Admission::NotStarted) {
        DebugEvent(L"worker thread could not be started");
    }
}

}  // namespace

BoundedWorkers::Admission SubmitExecRequest(std::string text, const SharedChannelSlot& channel,
                                            const SharedAdminPolicy& policy) noexcept {
    try {
        auto admission = ExecWorkers().Submit(std::make_unique<ExecRequest>(std::move(text), channel, policy));
        NoteNotStarted(admission);
        return admission;
    } catch (...) {
        // No memory for the request: it is answered like one that cannot wait.
        AnswerExecFailed(channel);
        return BoundedWorkers::Admission::Refused;
    }
}

BoundedWorkers::Admission SubmitMailRequest(MailReassembly::CompleteRequest request, const SharedChannelSlot& channel,
                                            BufferBudget& budget, const SharedAdminPolicy& policy) noexcept {
    try {
        auto admission =
            MailWorkers().Submit(std::make_unique<MailRequest>(std::move(request), channel, budget, policy));
        NoteNotStarted(admission);
        return admission;
    } catch (...) {
        ReplyWithRefusal(channel, kMailRequestsBusy);
        return BoundedWorkers::Admission::Refused;
    }
}

}  // namespace zobrik
