// The callbacks of one exec channel and one mail channel. They never do the
// work of a request on the client's thread: each request goes to the workers
// of its kind (request_workers.h), or is refused at once when too many wait.
#pragma once

#include <windows.h>
#include <tsvirtualchannels.h>

#include "channel_slot.h"
#include "mail_reassembly.h"
#include "uncounted_interface.h"

// Exec channel: every message is one request.
class CWTSDVCVC : public UncountedInterface<IWTSVirtualChannelCallback> {
public:
    explicit CWTSDVCVC(IWTSVirtualChannel* channel);

    HRESULT STDMETHODCALLTYPE OnDataReceived(ULONG count, BYTE* bytes) override;
    HRESULT STDMETHODCALLTYPE OnClose() override;

private:
    zobrik::SharedChannelSlot channel_;
};

// Mail channel: chunks are joined into one request. The request buffers of
// all mail channels share one budget.
class CWTSDVCVCM : public UncountedInterface<IWTSVirtualChannelCallback> {
public:
    explicit CWTSDVCVCM(IWTSVirtualChannel* channel);

    HRESULT STDMETHODCALLTYPE OnDataReceived(ULONG count, BYTE* bytes) override;
    HRESULT STDMETHODCALLTYPE OnClose() override;

private:
    zobrik::SharedChannelSlot channel_;
    zobrik::MailReassembly request_;
};
