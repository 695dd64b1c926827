// The listeners of the two channels. Both accept every channel the server
// side opens and give the client a fresh channel callback for it; the shared
// body lives in ChannelListener, each listener names only its callback.
#pragma once

#include <windows.h>

#include <tsvirtualchannels.h>

#include <new>

#include "channel_callbacks.h"
#include "include/admin_policy.h"
#include "include/debug_output.h"
#include "include/win/com_errors.h"
#include "module_objects.h"
#include "uncounted_interface.h"

template <class Callback>
class ChannelListener : public UncountedInterface<IWTSListenerCallback> {
public:
    ChannelListener(const wchar_t* connectionEvent, zobrik::SharedAdminPolicy policy) noexcept
        : connectionEvent_(connectionEvent), policy_(std::move(policy)) {}

    // The listener that CreateListener returned; kept, never used.
    void SetListener(IWTSListener* listener) noexcept { listener_ = listener; }

    HRESULT STDMETHODCALLTYPE OnNewChannelConnection(IWTSVirtualChannel* channel, BSTR, BOOL* accept,
                                                     IWTSVirtualChannelCallback** callback) override {
        zobrik::DebugEvent(connectionEvent_);
        if (!accept || !callback) {
            return E_POINTER;
        }
        *accept = FALSE;
        return zobrik::ComBoundary([&] {
            *callback = zobrik::ModuleObjects::Create<Callback>(channel, policy_);
            *accept = TRUE;
            return S_OK;
        });
    }

private:
    const wchar_t* connectionEvent_;
    zobrik::SharedAdminPolicy policy_;
    IWTSListener* listener_ = nullptr;
};

class CWTSDVCL : public ChannelListener<CWTSDVCVC> {
public:
    explicit CWTSDVCL(zobrik::SharedAdminPolicy policy) noexcept
        : ChannelListener(L"NewChannelConnection for Exec", std::move(policy)) {}
};

class CWTSDVCLM : public ChannelListener<CWTSDVCVCM> {
public:
    explicit CWTSDVCLM(zobrik::SharedAdminPolicy policy) noexcept
        : ChannelListener(L"NewChannelConnection for Mail", std::move(policy)) {}
};
