// The listeners of the two channels. Both accept every channel the server
// side opens and give the client a fresh channel callback for it; the shared
// body lives in ChannelListener, each listener names only its callback.
#pragma once

#include <windows.h>
#include <tsvirtualchannels.h>

#include <new>

#include "channel_callbacks.h"
#include "debug_output.h"
#include "module_objects.h"
#include "uncounted_interface.h"

inline constexpr char kExecChannelName[] = "Zobrik/exec";
inline constexpr char kMailChannelName[] = "Zobrik/mail";

template <class Callback>
class ChannelListener : public UncountedInterface<IWTSListenerCallback> {
public:
    explicit ChannelListener(const wchar_t* connectionEvent) noexcept : connectionEvent_(connectionEvent) {}

    // The listener that CreateListener returned; kept, never used.
    void SetListener(IWTSListener* listener) noexcept { listener_ = listener; }

    HRESULT STDMETHODCALLTYPE OnNewChannelConnection(IWTSVirtualChannel* channel, BSTR, BOOL* accept,
                                                     IWTSVirtualChannelCallback** callback) override {
        zobrik::DebugEvent(connectionEvent_);
        if (!accept || !callback) {
            return E_POINTER;
        }
        *accept = FALSE;
        try {
            *callback = zobrik::ModuleObjects::Create<Callback>(channel);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
        *accept = TRUE;
        return S_OK;
    }

private:
    const wchar_t* connectionEvent_;
    IWTSListener* listener_ = nullptr;
};

class CWTSDVCL : public ChannelListener<CWTSDVCVC> {
public:
    CWTSDVCL() noexcept : ChannelListener(L"NewChannelConnection for Exec") {}
};

class CWTSDVCLM : public ChannelListener<CWTSDVCVCM> {
public:
    CWTSDVCLM() noexcept : ChannelListener(L"NewChannelConnection for Mail") {}
};
