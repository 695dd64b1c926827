#include "channel_callbacks.h"

#include <memory>
#include <new>
#include <string>

#include "debug_output.h"
#include "exec/exec_worker.h"
#include "mail_worker.h"
#include "request_limits.h"
#include "worker_thread.h"

using zobrik::DebugEvent;

namespace {

zobrik::BufferBudget& MailBufferBudget() {
    static zobrik::BufferBudget budget(zobrik::kMailBufferBudget);
    return budget;
}

HRESULT WorkerNotStarted() {
    DebugEvent(L"worker thread could not be started");
    return E_OUTOFMEMORY;
}

}  // namespace

CWTSDVCVC::CWTSDVCVC(IWTSVirtualChannel* channel) : channel_(std::make_shared<zobrik::ChannelSlot>(channel)) {}

HRESULT STDMETHODCALLTYPE CWTSDVCVC::OnDataReceived(ULONG count, BYTE* bytes) {
    DebugEvent(L"OnDataReceived");
    if (!bytes && count != 0) {
        return E_POINTER;
    }
    try {
        // The text ends at the first NUL byte or at the end of the message.
        std::string request(reinterpret_cast<const char*>(bytes), count);
        zobrik::DebugOutputNarrow(request.c_str());
        auto channel = channel_;
        bool started = zobrik::StartDetachedWorker(
            [request = std::move(request), channel = std::move(channel)]() mutable {
                zobrik::ExecWorker(std::move(request), channel);
            });
        return started ? S_OK : WorkerNotStarted();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT STDMETHODCALLTYPE CWTSDVCVC::OnClose() {
    DebugEvent(L"OnClose");
    channel_->Close();
    return S_OK;
}

CWTSDVCVCM::CWTSDVCVCM(IWTSVirtualChannel* channel)
    : channel_(std::make_shared<zobrik::ChannelSlot>(channel)), request_(&MailBufferBudget()) {}

HRESULT STDMETHODCALLTYPE CWTSDVCVCM::OnDataReceived(ULONG count, BYTE* bytes) {
    DebugEvent(L"Mail: OnDataReceived");
    if (!bytes && count != 0) {
        return E_POINTER;
    }
    try {
        auto complete = request_.Append(bytes, count);
        if (const char* refusal = request_.TakeRefusal()) {
            // Answered at once; the rest of the request is dropped unbuffered.
            zobrik::ReplyWithRefusal(channel_, refusal);
            return S_OK;
        }
        if (!complete) {
            return S_OK;
        }
        auto channel = channel_;
        bool started = zobrik::StartDetachedWorker(
            [request = std::move(*complete), channel = std::move(channel)]() mutable {
                zobrik::MailWorker(request.length, std::move(request.bytes), channel);
            });
        return started ? S_OK : WorkerNotStarted();
    } catch (const std::bad_alloc&) {
        DebugEvent(L"Mail: request too large for the memory available");
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT STDMETHODCALLTYPE CWTSDVCVCM::OnClose() {
    DebugEvent(L"Mail: OnClose");
    channel_->Close();
    request_.Reset();
    return S_OK;
}
