// The callbacks of one exec channel and one mail channel. They never do the
// work of a request on the client's thread: each request goes to the workers
// of its kind (request_workers.h), or is refused at once when too many wait.
#pragma once

#include <windows.h>
#include <tsvirtualchannels.h>

#include "admin_policy.h"
#include "channel_slot.h"
#include "mail_reassembly.h"
#include "uncounted_interface.h"

// Exec channel: every message is one request.
class CWTSDVCVC : public UncountedInterface<IWTSVirtualChannelCallback> {
public:
    CWTSDVCVC(IWTSVirtualChannel* channel, zobrik::SharedAdminPolicy policy);

    HRESULT STDMETHODCALLTYPE OnDataReceived(ULONG count, BYTE* bytes) override;
    HRESULT STDMETHODCALLTYPE OnClose() override;

private:
    zobrik::SharedChannelSlot channel_;
    zobrik::SharedAdminPolicy policy_;
};

// Mail channel: chunks are joined into one request. The request buffers of
// all mail channels share one budget.
class CWTSDVCVCM : public UncountedInterface<IWTSVirtualChannelCallback> {
public:
    CWTSDVCVCM(IWTSVirtualChannel* channel, zobrik::SharedAdminPolicy policy);

    HRESULT STDMETHODCALLTYPE OnDataReceived(ULONG count, BYTE* bytes) override;
    HRESULT STDMETHODCALLTYPE OnClose() override;

private:
    zobrik::SharedChannelSlot channel_;
    zobrik::SharedAdminPolicy policy_;
    zobrik::MailReassembly request_;
};
