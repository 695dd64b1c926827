#include "request_admission.h"

#include <memory>
#include <utility>

#include "include/debug_output.h"
#include "include/request_limits.h"
#include "mail_reply.h"

namespace zobrik {

namespace {

void AnswerExecFailed(ReplyChannel& channel) noexcept {
    channel.WriteIfOpen(kExecReplyFailed.data(), kExecReplyFailed.size());
}

class ExecRequest final : public WorkRequest {
public:
    ExecRequest(std::string text, const RequestContext& context) : text_(std::move(text)), context_(context) {}

    void Run() noexcept override {
        if (waited_ && !context_.channel->IsOpen()) {
            DebugEvent(ZOBRIK_WIDE("exec request dropped: its channel closed while it waited"));
            return;
        }
        const ExecReply& reply = context_.server->ServeExec(text_, *context_.policy);
        context_.channel->WriteIfOpen(reply.data(), reply.size());
    }

    void Refuse() noexcept override {
        DebugEvent(ZOBRIK_WIDE("exec refused: too many requests at once"), DebugLevel::Info);
        context_.server->ReportExecBusy(text_);
        AnswerExecFailed(*context_.channel);
    }

    bool PrepareToWait() noexcept override {
        waited_ = true;
        return true;
    }

private:
    std::string text_;
    RequestContext context_;
    bool waited_ = false;
};

class MailRequest final : public WorkRequest {
public:
    MailRequest(MailReassembly::CompleteRequest request, BufferBudget& budget, const RequestContext& context)
        : request_(std::move(request)), budget_(budget), context_(context) {}

    void Run() noexcept override {
        waitingShare_.GiveBack();  // a worker holds the bytes now, and workers are few
        ServeMailRequest(request_.length, std::move(request_.bytes), context_);
    }

    void Refuse() noexcept override {
        DebugEvent(ZOBRIK_WIDE("Mail: refused, too many requests at once"), DebugLevel::Info);
        ReplyWithRefusal(*context_.channel, kMailRequestsBusy);
    }

    bool PrepareToWait() noexcept override { return waitingShare_.Take(budget_, request_.bytes.Committed()); }

private:
    MailReassembly::CompleteRequest request_;
    BufferBudget& budget_;
    RequestContext context_;
    BudgetShare waitingShare_;  // given back when a worker takes the request, or with it
};

void NoteNotStarted(BoundedWorkers::Admission admission) noexcept {
    if (admission == BoundedWorkers::Admission::NotStarted) {
        DebugEvent(ZOBRIK_WIDE("worker thread could not be started"), DebugLevel::Warning);
    }
}

}  // namespace

BoundedWorkers::Admission SubmitExecRequest(WorkersGetter workers, std::string text,
                                            const RequestContext& context) noexcept {
    try {
        auto admission = workers().Submit(std::make_unique<ExecRequest>(std::move(text), context));
        NoteNotStarted(admission);
        return admission;
    } catch (...) {
        // No memory for the request: it is answered like one that cannot wait.
        AnswerExecFailed(*context.channel);
        return BoundedWorkers::Admission::Refused;
    }
}

BoundedWorkers::Admission SubmitMailRequest(WorkersGetter workers, MailReassembly::CompleteRequest request,
                                            BufferBudget& budget, const RequestContext& context) noexcept {
    try {
        auto admission = workers().Submit(std::make_unique<MailRequest>(std::move(request), budget, context));
        NoteNotStarted(admission);
        return admission;
    } catch (...) {
        ReplyWithRefusal(*context.channel, kMailRequestsBusy);
        return BoundedWorkers::Admission::Refused;
    }
}

}  // namespace zobrik
