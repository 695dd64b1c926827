// The plug-in object handed to the Remote Desktop client.
#pragma once

#include <windows.h>

#include <tsvirtualchannels.h>

class CWTSDVCPlugin : public IWTSPlugin {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Initialize(IWTSVirtualChannelManager* manager) override;
    HRESULT STDMETHODCALLTYPE Connected() override;
    HRESULT STDMETHODCALLTYPE Disconnected(DWORD code) override;
    HRESULT STDMETHODCALLTYPE Terminated() override;
};
