#include "channel_callbacks.h"

#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "exec/exec_policy.h"
#include "include/com_errors.h"
#include "include/debug_output.h"
#include "include/request_limits.h"
#include "mail_worker.h"
#include "request_workers.h"

using zobrik::DebugEvent;

namespace {

zobrik::BufferBudget& MailBufferBudget() {
    static zobrik::BufferBudget budget(zobrik::kMailBufferBudget);
    return budget;
}

// A request within the built-in limit refused as too large was refused by
// the policy's lower one.
void ReportPolicyLimit(const zobrik::MailReassembly& request) {
    if (request.TotalSize() > request.MaxRequestSize() && request.TotalSize() <= zobrik::kMaxMailRequestSize) {
        const std::wstring line = L"mail refused: request of " + std::to_wstring(request.TotalSize()) +
                                  L" bytes, at most " + std::to_wstring(request.MaxRequestSize()) +
                                  L" (policy MailMaxRequestBytes)";
        DebugEvent(line.c_str());
    }
}

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
      request_(&MailBufferBudget(), policy_->mailMaxRequestBytes) {}

HRESULT STDMETHODCALLTYPE CWTSDVCVCM::OnDataReceived(ULONG count, BYTE* bytes) {
    DebugEvent(L"Mail: OnDataReceived");
    if (!bytes && count != 0) {
        return E_POINTER;
    }
    return zobrik::ComBoundary([&] {
        std::optional<zobrik::MailReassembly::CompleteRequest> complete;
        try {
            complete = request_.Append(bytes, count);
        } catch (const std::bad_alloc&) {
            DebugEvent(L"Mail: request too large for the memory available");
            throw;
        }
        if (const char* refusal = request_.TakeRefusal()) {
            ReportPolicyLimit(request_);
            // Answered at once; the rest of the request is dropped unbuffered.
            zobrik::ReplyWithRefusal(channel_, refusal);
            return S_OK;
        }
        if (complete) {
            zobrik::SubmitMailRequest(std::move(*complete), channel_, MailBufferBudget(), policy_);
        }
        return S_OK;
    });
}
