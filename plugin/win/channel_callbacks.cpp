#include "channel_callbacks.h"

#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "exec/exec_policy.h"
#include "idle_sweep_timer.h"
#include "include/debug_output.h"
#include "include/request_limits.h"
#include "include/win/com_errors.h"
#include "plugin/mail_reply.h"
#include "request_workers.h"

using zobrik::DebugEvent;

namespace {

zobrik::BufferBudget& MailBufferBudget() {
    static zobrik::BufferBudget budget(zobrik::kMailBufferBudget);
    return budget;
}

// A request within the built-in limit refused as too large was refused by
// the policy's lower one.
void ReportPolicyLimit(const zobrik::WatchedMailRequest::Arrival& arrival) {
    if (arrival.totalSize > arrival.maxRequestSize && arrival.totalSize <= zobrik::kMaxMailRequestSize) {
        const std::wstring line = L"mail refused: request of " + std::to_wstring(arrival.totalSize) +
                                  L" bytes, at most " + std::to_wstring(arrival.maxRequestSize) +
                                  L" (policy MailMaxRequestBytes)";
        DebugEvent(line.c_str(), zobrik::DebugLevel::Info);
    }
}

// A mail channel's request, answered on its channel when it times out.
class MailChannelRequest final : public zobrik::WatchedMailRequest {
public:
    MailChannelRequest(const zobrik::SharedChannelSlot& channel, const zobrik::AdminPolicy& policy)
        : WatchedMailRequest(&MailBufferBudget(), policy.mailMaxRequestBytes,
                             uint64_t(policy.mailRequestIdleSeconds) * 1000),
          channel_(channel) {}

private:
    void Answer(const char* text) noexcept override {
        DebugEvent(L"Mail: request timed out, nothing arrived for its idle time (MailRequestIdleSeconds)",
                   zobrik::DebugLevel::Info);
        zobrik::ReplyWithRefusal(*channel_, text);
    }

    zobrik::SharedChannelSlot channel_;
};

}  // namespace

HRESULT STDMETHODCALLTYPE ChannelCallback::OnClose() {
    DebugEvent(closeEvent_);
    channel_->Close();
    Closed();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CWTSDVCVC::OnDataReceived(ULONG count, BYTE* bytes) {
    DebugEvent(L"OnDataReceived");
    if (!bytes && count != 0) {
        return E_POINTER;
    }
    return zobrik::ComBoundary([&] {
        // The text ends at the first NUL byte or at the end of the message.
        // A text longer than the shell takes is refused whatever follows, so
        // a request keeps one byte more than that at most while it waits.
        auto text = zobrik::ExecText(std::string_view(reinterpret_cast<const char*>(bytes), count));
        std::string request(text.substr(0, zobrik::kLongestExecText + 1));
        zobrik::DebugOutputNarrow(request.c_str());
        zobrik::SubmitExecRequest(std::move(request), channel_, policy_);
        return S_OK;
    });
}

CWTSDVCVCM::CWTSDVCVCM(IWTSVirtualChannel* channel, zobrik::SharedAdminPolicy policy)
    : ChannelCallback(channel, std::move(policy), L"Mail: OnClose"),
      request_(std::make_shared<MailChannelRequest>(channel_, *policy_)) {
    zobrik::WatchForIdleness(request_);
}

HRESULT STDMETHODCALLTYPE CWTSDVCVCM::OnDataReceived(ULONG count, BYTE* bytes) {
    DebugEvent(L"Mail: OnDataReceived");
    if (!bytes && count != 0) {
        return E_POINTER;
    }
    return zobrik::ComBoundary([&] {
        zobrik::WatchedMailRequest::Arrival arrival;
        try {
            arrival = request_->Append(bytes, count, GetTickCount64());
        } catch (const std::bad_alloc&) {
            DebugEvent(L"Mail: request too large for the memory available", zobrik::DebugLevel::Warning);
            throw;
        }
        if (arrival.refusal) {
            ReportPolicyLimit(arrival);
            // Answered at once; the rest of the request is dropped unbuffered.
            zobrik::ReplyWithRefusal(*channel_, arrival.refusal);
            return S_OK;
        }
        if (arrival.complete) {
            zobrik::SubmitMailRequest(std::move(*arrival.complete), channel_, MailBufferBudget(), policy_);
        }
        return S_OK;
    });
}
