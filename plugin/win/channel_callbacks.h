// The callbacks of one exec channel and one mail channel. They never do the
// work of a request on the client's thread: each request goes to the workers
// of its kind (request_workers.h), or is refused at once when too many wait.
// The shared part (the channel's slot, the policy, closing) lives in
// ChannelCallback; each callback adds how it takes data.
#pragma once

#include <windows.h>

#include <tsvirtualchannels.h>

#include <memory>

#include "channel_slot.h"
#include "include/admin_policy.h"
#include "plugin/idle_mail_requests.h"
#include "uncounted_interface.h"

class ChannelCallback : public UncountedInterface<IWTSVirtualChannelCallback> {
public:
    ChannelCallback(IWTSVirtualChannel* channel, zobrik::SharedAdminPolicy policy, const wchar_t* closeEvent)
        : channel_(std::make_shared<zobrik::ChannelSlot>(channel)),
          policy_(std::move(policy)),
          closeEvent_(closeEvent) {}

    // Empties the slot, so that no worker writes to the channel once this
    // returns, then lets the callback drop what it holds.
    HRESULT STDMETHODCALLTYPE OnClose() override;

protected:
    virtual void Closed() noexcept {}

    zobrik::SharedChannelSlot channel_;
    zobrik::SharedAdminPolicy policy_;

private:
    const wchar_t* closeEvent_;
};

// Exec channel: every message is one request.
class CWTSDVCVC : public ChannelCallback {
public:
    CWTSDVCVC(IWTSVirtualChannel* channel, zobrik::SharedAdminPolicy policy)
        : ChannelCallback(channel, std::move(policy), L"OnClose") {}

    HRESULT STDMETHODCALLTYPE OnDataReceived(ULONG count, BYTE* bytes) override;
};

// Mail channel: chunks are joined into one request. The request buffers of
// all mail channels share one budget. The module's idle sweep ends a request
// that stops arriving halfway (idle_sweep_timer.h).
class CWTSDVCVCM : public ChannelCallback {
public:
    CWTSDVCVCM(IWTSVirtualChannel* channel, zobrik::SharedAdminPolicy policy);

    HRESULT STDMETHODCALLTYPE OnDataReceived(ULONG count, BYTE* bytes) override;

private:
    // The request starts over holding nothing: a client that reuses the
    // callback after OnClose sends a new request on it. The sweep holds the
    // request only weakly and forgets it with the callback.
    void Closed() noexcept override { request_->Reset(); }

    const std::shared_ptr<zobrik::WatchedMailRequest> request_;
};
