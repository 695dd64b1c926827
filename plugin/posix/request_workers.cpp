#include "request_workers.h"

#include <new>
#include <thread>
#include <utility>

#include "exec/posix/exec_worker.h"
#include "include/request_limits.h"
#include "mail/posix/mail_processing.h"
#include "plugin/request_admission.h"

namespace zobrik {

namespace {

class PosixRequestServer final : public RequestServer {
public:
    explicit PosixRequestServer(std::string stagingRoot) : stagingRoot_(std::move(stagingRoot)) {}

    const ExecReply& ServeExec(const std::string& text, const AdminPolicy& policy) const noexcept override {
        return ServeExecRequest(text, policy, stagingRoot_);
    }

    int32_t ProcessMail(uint32_t length, uint8_t* request, const AdminPolicy& policy) const override {
        return ProcessMailRequest(length, request, policy, stagingRoot_);
    }

    // The add-in has no event log: the debugger line, in FreeRDP's log, is
    // the whole report.
    void ReportExecBusy(const std::string&) const noexcept override {}

private:
    const std::string stagingRoot_;
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

}  // namespace

std::shared_ptr<const RequestServer> MakeRequestServer(std::string stagingRoot) {
    return std::make_shared<const PosixRequestServer>(std::move(stagingRoot));
}

BufferBudget& MailBufferBudget() noexcept {
    // Never destroyed: detached workers may still give their share back
    // while the process exits. Built in static storage, so that taking it
    // cannot fail.
    alignas(BufferBudget) static unsigned char storage[sizeof(BufferBudget)];
    static BufferBudget* const budget = ::new (storage) BufferBudget(kMailBufferBudget);
    return *budget;
}

BoundedWorkers::Admission SubmitExecRequest(std::string text, const RequestContext& context) noexcept {
    return SubmitExecRequest(&ExecWorkers, std::move(text), context);
}

BoundedWorkers::Admission SubmitMailRequest(MailReassembly::CompleteRequest request, BufferBudget& budget,
                                            const RequestContext& context) noexcept {
    return SubmitMailRequest(&MailWorkers, std::move(request), budget, context);
}

}  // namespace zobrik
