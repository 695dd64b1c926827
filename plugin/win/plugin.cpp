#include "plugin.h"

#include <memory>
#include <new>

#include "admin_policy_registry.h"
#include "channel_listeners.h"
#include "include/debug_output.h"
#include "include/win/com_errors.h"
#include "module_objects.h"
#include "sdk/zobrik/channels.h"

using zobrik::DebugEvent;

HRESULT STDMETHODCALLTYPE CWTSDVCPlugin::QueryInterface(REFIID, void**) {
    DebugEvent(L"QueryInterface");
    return E_NOTIMPL;
}

ULONG STDMETHODCALLTYPE CWTSDVCPlugin::AddRef() {
    DebugEvent(L"AddRef");
    return 0;
}

ULONG STDMETHODCALLTYPE CWTSDVCPlugin::Release() {
    DebugEvent(L"Release");
    return 0;
}

namespace {

// Registers one listener; the listener object stays with the module whatever
// the manager answers.
template <class Listener>
HRESULT RegisterListener(IWTSVirtualChannelManager* manager, const char* channelName,
                         const zobrik::SharedAdminPolicy& policy) {
    Listener* listener = zobrik::ModuleObjects::Create<Listener>(policy);
    IWTSListener* registered = nullptr;
    HRESULT hr = manager->CreateListener(channelName, 0, listener, &registered);
    if (hr == S_OK) {
        listener->SetListener(registered);
    }
    return hr;
}

}  // namespace

HRESULT STDMETHODCALLTYPE CWTSDVCPlugin::Initialize(IWTSVirtualChannelManager* manager) {
    DebugEvent(L"Initialize");
    if (!manager) {
        return E_INVALIDARG;
    }
    return zobrik::ComBoundary([&] {
        // The policy is read once per plug-in object: it holds for every
        // channel of this connection.
        const auto policy = std::make_shared<const zobrik::AdminPolicy>(zobrik::ReadAdminPolicy());
        // Without the exec listener the mail channel still works, so only
        // the mail listener's result reaches the client.
        if (policy->execChannel) {
            RegisterListener<CWTSDVCL>(manager, zobrik::sdk::kExecChannelName, policy);
        } else {
            DebugEvent(L"exec channel not offered (policy ExecChannel)", zobrik::DebugLevel::Info);
        }
        if (!policy->mailChannel) {
            DebugEvent(L"mail channel not offered (policy MailChannel)", zobrik::DebugLevel::Info);
            return S_OK;
        }
        return RegisterListener<CWTSDVCLM>(manager, zobrik::sdk::kMailChannelName, policy);
    });
}

HRESULT STDMETHODCALLTYPE CWTSDVCPlugin::Connected() {
    DebugEvent(L"Connected");
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CWTSDVCPlugin::Disconnected(DWORD) {
    DebugEvent(L"Disconnected");
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CWTSDVCPlugin::Terminated() {
    DebugEvent(L"Terminated");
    return E_NOTIMPL;
}
