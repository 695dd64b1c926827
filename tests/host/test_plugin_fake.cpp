// A minimal dynamic virtual channel plug-in for testing the client stand-in.
// It registers one listener, "Fake/echo". Each message is written back as it
// came, except "later:<ms>", which is answered "late" from another thread after
// <ms> milliseconds, even when the channel has been closed in the meantime (the
// callback keeps its channel pointer on purpose). A connection whose data is
// "reject" is refused.
#include <windows.h>

#include <oleauto.h>
#include <tsvirtualchannels.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

class FakeCallback : public IWTSVirtualChannelCallback {
public:
    explicit FakeCallback(IWTSVirtualChannel* channel) : channel_(channel) {}
    virtual ~FakeCallback() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE OnDataReceived(ULONG size, BYTE* bytes) override {
        try {
            const std::string message(reinterpret_cast<const char*>(bytes), size);
            if (message.rfind("later:", 0) == 0) {
                const int delay = std::atoi(message.c_str() + 6);
                IWTSVirtualChannel* channel = channel_;
                std::thread([channel, delay] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
                    BYTE late[] = {'l', 'a', 't', 'e'};
                    channel->Write(sizeof(late), late, nullptr);
                }).detach();
                return S_OK;
            }
            return channel_->Write(size, bytes, nullptr);
        } catch (...) {
            return E_FAIL;
        }
    }

    HRESULT STDMETHODCALLTYPE OnClose() override {
        OutputDebugStringA("fake: OnClose\n");
        return S_OK;
    }

private:
    IWTSVirtualChannel* channel_;
};

class FakeListener : public IWTSListenerCallback {
public:
    virtual ~FakeListener() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE OnNewChannelConnection(IWTSVirtualChannel* channel, BSTR data, BOOL* accept,
                                                     IWTSVirtualChannelCallback** callback) override {
        try {
            if (data != nullptr && std::wstring(data) == L"reject") {
                *accept = FALSE;
                return S_OK;
            }
            std::lock_guard lock(mutex_);
            callbacks_.push_back(std::make_unique<FakeCallback>(channel));
            *accept = TRUE;
            *callback = callbacks_.back().get();
            return S_OK;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

private:
    std::mutex mutex_;
    // Callbacks stay until the DLL is unloaded: late writers still use them.
    std::vector<std::unique_ptr<FakeCallback>> callbacks_;
};

class FakePlugin : public IWTSPlugin {
public:
    virtual ~FakePlugin() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE Initialize(IWTSVirtualChannelManager* manager) override {
        // A sentinel shows whether a failing CreateListener wrote the out pointer.
        auto* const sentinel = reinterpret_cast<IWTSListener*>(static_cast<uintptr_t>(0x5E17));
        IWTSListener* listener = sentinel;
        const HRESULT result = manager->CreateListener("Fake/echo", 0, &listener_, &listener);
        if (FAILED(result) && listener == sentinel) {
            OutputDebugStringA("fake: listener untouched\n");
        }
        return result;
    }
    HRESULT STDMETHODCALLTYPE Connected() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Disconnected(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Terminated() override { return S_OK; }

private:
    FakeListener listener_;
};

}  // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI VirtualChannelGetInstance(REFIID, ULONG* count, void** objects) {
    static FakePlugin plugin;
    if (count == nullptr) {
        return E_INVALIDARG;
    }
    if (objects != nullptr) {
        if (*count == 0) {
            return E_INVALIDARG;
        }
        objects[0] = static_cast<IWTSPlugin*>(&plugin);
    }
    *count = 1;
    return S_OK;
}
