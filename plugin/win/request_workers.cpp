#include "request_workers.h"

#include <memory>
#include <utility>

#include "exec/win/exec_refusal.h"
#include "exec/win/exec_worker.h"
#include "include/event_log.h"
#include "include/request_limits.h"
#include "mail/win/mail_processing.h"
#include "plugin/request_admission.h"
#include "worker_thread.h"

namespace zobrik {

namespace {

class WindowsRequestServer final : public RequestServer {
public:
    const ExecReply& ServeExec(const std::string& text, const AdminPolicy& policy) const noexcept override {
        return ServeExecRequest(text, policy);
    }

    int32_t ProcessMail(uint32_t length, uint8_t* request, const AdminPolicy& policy) const override {
        return ProcessMailRequest(length, request, policy);
    }

    void ReportExecBusy(const std::string& text) const noexcept override {
        try {
            ReportExecRefused(L"too many requests at once", ExecTextForEvent(text));
        } catch (...) {
            // Out of memory: the debugger line stands alone.
        }
    }
};

// The module's one server lives as long as the module: the requests share
// it without owning it (an empty owner), so making a context never fails.
RequestContext ContextFor(const SharedChannelSlot& channel, const SharedAdminPolicy& policy) noexcept {
    static const WindowsRequestServer server;
    return {channel, policy, std::shared_ptr<const RequestServer>(std::shared_ptr<const RequestServer>(), &server)};
}

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

}  // namespace

BoundedWorkers::Admission SubmitExecRequest(std::string text, const SharedChannelSlot& channel,
                                            const SharedAdminPolicy& policy) noexcept {
    return SubmitExecRequest(&ExecWorkers, std::move(text), ContextFor(channel, policy));
}

BoundedWorkers::Admission SubmitMailRequest(MailReassembly::CompleteRequest request, const SharedChannelSlot& channel,
                                            BufferBudget& budget, const SharedAdminPolicy& policy) noexcept {
    return SubmitMailRequest(&MailWorkers, std::move(request), budget, ContextFor(channel, policy));
}

}  // namespace zobrik
