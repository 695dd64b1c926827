#include "request_workers_posix.h"

#include <memory>
#include <thread>
#include <utility>

#include "exec/exec_posix.h"
#include "include/debug_output.h"
#include "include/request_limits.h"
#include "include/utf_conversion.h"
#include "mail/mail_processing_posix.h"
#include "plugin/exception_text.h"

namespace zobrik {

namespace {

// The reply to a mail request that finds as many others waiting as may wait.
constexpr char kMailRequestsBusy[] = "too many requests at once";

// The text "Exception: <label> <value>" as UTF-8 with its zero byte; the
// status byte 2 when there is none.
void WriteErrorText(const SharedChannelLink& channel, const WideString& text) noexcept {
    try {
        DebugOutput(text.c_str());
        const std::string reply = Utf16ToUtf8(text);
        if (!reply.empty()) {
            channel->WriteIfOpen(reply.c_str(), reply.size() + 1);
            return;
        }
    } catch (...) {
    }
    const uint8_t statusByte = 2;
    channel->WriteIfOpen(&statusByte, 1);
}

void MailWorker(MailReassembly::CompleteRequest request, const RequestContext& context) noexcept {
    int32_t status = 2;
    WideString text;
    try {
        status = ProcessMailRequestPosix(request.length, request.bytes.data(), *context.policy, context.stagingRoot);
    } catch (...) {
        text = FormatExceptionText(std::current_exception());
    }
    std::vector<uint8_t>().swap(request.bytes);
    if (!text.empty()) {
        WriteErrorText(context.channel, text);
        return;
    }
    const uint8_t statusByte = uint8_t(status & 0xFF);
    context.channel->WriteIfOpen(&statusByte, 1);
}

class ExecRequest final : public WorkRequest {
public:
    ExecRequest(std::string text, const RequestContext& context) : text_(std::move(text)), context_(context) {}

    void Run() noexcept override {
        if (waited_ && !context_.channel->IsOpen()) {
            DebugEvent(ZOBRIK_WIDE("exec request dropped: its channel closed while it waited"));
            return;
        }
        const ExecReply& reply = ServeExecRequestPosix(text_, *context_.policy, context_.stagingRoot);
        context_.channel->WriteIfOpen(reply.data(), reply.size());
    }

    void Refuse() noexcept override {
        DebugEvent(ZOBRIK_WIDE("exec refused: too many requests at once"));
        context_.channel->WriteIfOpen(kExecReplyFailed.data(), kExecReplyFailed.size());
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
        MailWorker(std::move(request_), context_);
    }

    void Refuse() noexcept override {
        DebugEvent(ZOBRIK_WIDE("Mail: refused, too many requests at once"));
        ReplyWithMailRefusal(context_.channel, kMailRequestsBusy);
    }

    bool PrepareToWait() noexcept override { return waitingShare_.Take(budget_, request_.bytes.capacity()); }

private:
    MailReassembly::CompleteRequest request_;
    BufferBudget& budget_;
    RequestContext context_;
    BudgetShare waitingShare_;
};

// Workers are threads of their own, detached: FreeRDP never unloads an
// add-in, so their code stays while they finish.
class ThreadStarter final : public WorkerStarter {
public:
    bool StartWorker(BoundedWorkers& workers) noexcept override {
        try {
            std::thread([&workers] { workers.Work(); }).detach();
            return true;
        } catch (...) {
            return false;
        }
    }
};

BoundedWorkers& ExecWorkers() {
    static ThreadStarter starter;
    static BoundedWorkers* workers = new BoundedWorkers({kMaxExecWorkers, kMaxWaitingExecRequests}, starter);
    return *workers;  // used by detached threads; never destroyed
}

BoundedWorkers& MailWorkers() {
    static ThreadStarter starter;
    static BoundedWorkers* workers = new BoundedWorkers({kMaxMailWorkers, kMaxWaitingMailRequests}, starter);
    return *workers;
}

void NoteNotStarted(BoundedWorkers::Admission admission) noexcept {
    if (admission == BoundedWorkers::Admission::NotStarted)
        DebugEvent(ZOBRIK_WIDE("worker thread could not be started"));
}

}  // namespace

void ReplyWithMailRefusal(const SharedChannelLink& channel, const char* message) noexcept {
    WriteErrorText(channel, FormatExceptionText(std::make_exception_ptr(message)));
}

BufferBudget& PosixMailBufferBudget() noexcept {
    static BufferBudget* budget = new BufferBudget(kMailBufferBudget);
    return *budget;
}

BoundedWorkers::Admission SubmitPosixExecRequest(std::string text, const RequestContext& context) noexcept {
    try {
        auto admission = ExecWorkers().Submit(std::make_unique<ExecRequest>(std::move(text), context));
        NoteNotStarted(admission);
        return admission;
    } catch (...) {
        context.channel->WriteIfOpen(kExecReplyFailed.data(), kExecReplyFailed.size());
        return BoundedWorkers::Admission::Refused;
    }
}

BoundedWorkers::Admission SubmitPosixMailRequest(MailReassembly::CompleteRequest request, BufferBudget& budget,
                                                 const RequestContext& context) noexcept {
    try {
        auto admission = MailWorkers().Submit(std::make_unique<MailRequest>(std::move(request), budget, context));
        NoteNotStarted(admission);
        return admission;
    } catch (...) {
        ReplyWithMailRefusal(context.channel, kMailRequestsBusy);
        return BoundedWorkers::Admission::Refused;
    }
}

}  // namespace zobrik
