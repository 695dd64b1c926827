// Remote Desktop client stand-in: loads a dynamic virtual channel plug-in DLL
// and drives it the way the Remote Desktop client does (factory, Initialize,
// Connected, listeners, channels, Disconnected, Terminated), using the
// platform's <tsvirtualchannels.h> interfaces. It also captures the debugger
// output of the process, which is the plug-in's only diagnostic channel.
#pragma once

#include <windows.h>

#include <oleauto.h>
#include <tsvirtualchannels.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "slim_sync.h"

namespace zobrik::standin {

// Debugger output capture: a vectored exception handler sees OutputDebugStringW/A.
// Under Wine 8 OutputDebugStringW arrives as DBG_PRINTEXCEPTION_C (0x40010006)
// with the text converted to the ANSI code page; Windows 10 and later raise
// DBG_PRINTEXCEPTION_WIDE_C (0x4001000A) first, with the wide text. Both are
// handled (EXCEPTION_CONTINUE_EXECUTION) and every output is stored as one
// entry, converted to UTF-8. Should Windows pass the narrow copy of a wide
// output on to OutputDebugStringA as well, that repeat (same thread, same
// buffer, same text) is not stored twice.
class DebugCapture {
public:
    // Installs the handler once; idempotent and thread-safe. The capture's
    // state is never destroyed, so output during process exit (a DLL's
    // detach) is still safe to capture.
    static void Install();
    static std::vector<std::string> Lines();  // every captured output, in order
    static void Clear();
    static size_t Count(const std::string& exact);  // entries equal to `exact`
    // Waits until at least `count` entries equal `exact`; true if reached in time.
    static bool WaitFor(const std::string& exact, size_t count, std::chrono::milliseconds timeout);
    // Also print each captured entry to stdout as "debug: <entry>" (a trailing
    // newline of the entry is dropped, one newline is added, further lines of
    // the entry are indented by 7 spaces).
    static void SetEcho(bool echo);

    // How many outputs arrived by each exception code since Install (not reset by Clear).
    static size_t NarrowCount();  // DBG_PRINTEXCEPTION_C
    static size_t WideCount();    // DBG_PRINTEXCEPTION_WIDE_C
};

class StandInChannel;

// One dynamic virtual channel as the client holds it. Write() records the
// plug-in's messages; Send()/CloseFromServer() play the server side.
class StandInChannel : public IWTSVirtualChannel {
public:
    StandInChannel(std::string name, uint64_t id);
    virtual ~StandInChannel();
    StandInChannel(const StandInChannel&) = delete;
    StandInChannel& operator=(const StandInChannel&) = delete;

    // IUnknown: reference counted, but the object is owned by the stand-in
    // (kept for the life of the process), so the count never frees it.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IWTSVirtualChannel. Write copies the bytes and wakes waiters; after
    // Close had OnClose called and returned, a Write is a violation: counted,
    // not recorded, and answered E_UNEXPECTED. Close records the call, S_OK.
    HRESULT STDMETHODCALLTYPE Write(ULONG cbSize, BYTE* pBuffer, IUnknown* pReserved) override;
    HRESULT STDMETHODCALLTYPE Close() override;

    std::vector<std::vector<uint8_t>> Writes() const;  // the recorded replies, in order
    bool WaitForWrites(size_t count, std::chrono::milliseconds timeout) const;
    size_t WritesAfterClose() const;
    size_t CloseCalls() const;  // how often the plug-in called IWTSVirtualChannel::Close

    // Holds the plug-in's Writes on this channel: each waits inside Write
    // until ReleaseWrites, as with a client whose connection is congested,
    // and is then recorded as usual. Release before CloseFromServer: the
    // plug-in's OnClose waits for a Write in progress.
    void HoldWrites();
    void ReleaseWrites();
    bool WaitForHeldWrites(size_t count, std::chrono::milliseconds timeout) const;  // Writes held now

    // Delivers one message: one OnDataReceived call with a heap copy of the
    // bytes, which is overwritten with 0xDD and freed right after the call
    // returns, so a plug-in that keeps the pointer is caught. Calls on one
    // channel are serialised, as the client does. E_UNEXPECTED once closed
    // or when the channel has no callback.
    HRESULT Send(const void* data, size_t size);
    HRESULT Send(const std::vector<uint8_t>& bytes);
    HRESULT Send(const std::string& text);  // the text's bytes, without a NUL
    // Consecutive OnDataReceived calls of `chunkSize` bytes (the last one
    // shorter); stops at the first failure and returns it. An empty input
    // sends one empty message. chunkSize 0 is E_INVALIDARG.
    HRESULT SendChunks(const std::vector<uint8_t>& bytes, size_t chunkSize);
    // One OnDataReceived per entry of `sizes` (0 gives an empty message);
    // bytes left after the sizes are sent as one final chunk. Sizes that add
    // up to more than the input are E_INVALIDARG (nothing is sent).
    HRESULT SendChunks(const std::vector<uint8_t>& bytes, const std::vector<size_t>& sizes);
    // The server closes the channel: calls the callback's OnClose, then
    // poisons the channel and releases the client's reference on the
    // callback. Returns OnClose's result; S_FALSE when already closed.
    HRESULT CloseFromServer();
    bool Closed() const;  // OnClose has returned

    IWTSVirtualChannelCallback* Callback() const;  // valid until CloseFromServer
    const std::string& Name() const;
    uint64_t Id() const;  // unique per channel in the process

    // Used by the channel manager when a listener accepts the channel.
    void Attach(IWTSVirtualChannelCallback* callback);

private:
    const std::string name_;
    const uint64_t id_;
    std::atomic<ULONG> references_{1};
    SlimMutex callMutex_;  // serialises Send and CloseFromServer
    mutable SlimMutex mutex_;
    mutable SlimConditionVariable written_;
    std::vector<std::vector<uint8_t>> writes_;
    size_t writesAfterClose_ = 0;
    size_t closeCalls_ = 0;
    bool holdingWrites_ = false;
    size_t heldWrites_ = 0;
    bool closed_ = false;  // OnClose has returned
    IWTSVirtualChannelCallback* callback_ = nullptr;
};

// The client's channel manager, given to IWTSPlugin::Initialize.
class StandInChannelManager : public IWTSVirtualChannelManager {
public:
    struct ListenerRecord {
        std::string name;
        ULONG flags;
        IWTSListenerCallback* callback;
        HRESULT result;
    };

    StandInChannelManager();
    virtual ~StandInChannelManager();
    StandInChannelManager(const StandInChannelManager&) = delete;
    StandInChannelManager& operator=(const StandInChannelManager&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // Records the call. On success (S_OK) takes a reference on the callback,
    // kept for the life of the process, and returns a small IWTSListener of
    // the stand-in in *ppListener (GetConfiguration gives E_NOTIMPL). On
    // failure *ppListener is left untouched.
    HRESULT STDMETHODCALLTYPE CreateListener(const char* pszChannelName, ULONG uFlags,
                                             IWTSListenerCallback* pListenerCallback,
                                             IWTSListener** ppListener) override;

    void FailCreateListener(const std::string& name, HRESULT hr);      // that name's CreateListener returns hr
    std::vector<ListenerRecord> Listeners() const;                     // every CreateListener call, in order
    IWTSListenerCallback* ListenerFor(const std::string& name) const;  // latest successful one, or nullptr

private:
    std::atomic<ULONG> references_{1};
    mutable SlimMutex mutex_;
    std::vector<ListenerRecord> records_;
    std::vector<std::pair<std::string, HRESULT>> failures_;
};

struct ClientOptions {
    // Default: ZobrikWTSDVC.dll next to the running exe. The plug-in takes
    // Simple MAPI from the system directory alone, so a MAPI32 stand-in is
    // chosen by the Wine prefix (its system32\mapi32.dll), not here.
    std::wstring dllPath;
};

// The outcome of one OpenChannel call.
struct OpenResult {
    HRESULT result = E_FAIL;  // OnNewChannelConnection's HRESULT, or E_FAIL without a listener
    BOOL accepted = FALSE;
    bool hadListener = false;
};

class ClientStandIn {
public:
    // Installs DebugCapture and loads the DLL (LoadLibraryW).
    explicit ClientStandIn(ClientOptions options = {});
    // Does not unload the DLL: plug-in workers may still run. Unload() does.
    ~ClientStandIn();
    ClientStandIn(const ClientStandIn&) = delete;
    ClientStandIn& operator=(const ClientStandIn&) = delete;

    HMODULE Module() const;
    DWORD LoadError() const;  // GetLastError of a failed LoadLibraryW, else 0
    const std::wstring& DllPath() const;

    // Raw factory call: VirtualChannelGetInstance(riid, pNumObjs, ppObjArray).
    // E_FAIL without the module, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND) without the export.
    HRESULT GetInstance(REFIID riid, ULONG* count, IWTSPlugin** objects);
    // The client's start-up: count-only call, then a call with an array of that
    // size, Initialize(manager) on the first plug-in, then Connected(). Returns
    // the first failure, or S_FALSE when the factory handed out no plug-in.
    // Records Initialize's and Connected's HRESULT. Takes no reference itself.
    HRESULT Start();
    HRESULT InitializeResult() const;  // E_PENDING until Initialize was called
    HRESULT ConnectedResult() const;   // E_PENDING until Connected was called
    ULONG FactoryCount() const;        // the count the count-only call returned
    IWTSPlugin* Plugin() const;
    StandInChannelManager& Manager();

    // Opens a channel as the server side would: calls the listener registered
    // for `name` (OnNewChannelConnection with the given connection data) and
    // returns the channel, or nullptr when there is no listener, it failed,
    // rejected the channel or gave no callback. Channel objects are kept alive
    // for the life of the process (never freed), as the real client keeps them
    // until OnClose has returned, so late writes are detected rather than
    // being use-after-free.
    std::shared_ptr<StandInChannel> OpenChannel(const std::string& name, BSTR connectionData = nullptr);
    OpenResult LastOpenResult() const;
    // Every channel that OpenChannel returned, in order.
    std::vector<std::shared_ptr<StandInChannel>> Channels() const;

    HRESULT Stop();                      // Disconnected(0) then Terminated(); returns Terminated's result
    HRESULT DisconnectedResult() const;  // E_PENDING until called
    // Releases the plug-in (one Release) and unloads the DLL (FreeLibrary).
    void Unload();

private:
    ClientOptions options_;
    HMODULE module_ = nullptr;
    DWORD loadError_ = 0;
    IWTSPlugin* plugin_ = nullptr;
    ULONG factoryCount_ = 0;
    HRESULT initializeResult_ = E_PENDING;
    HRESULT connectedResult_ = E_PENDING;
    HRESULT disconnectedResult_ = E_PENDING;
    OpenResult lastOpen_;
    std::vector<std::shared_ptr<StandInChannel>> channels_;
    // Kept alive with the process, like the channels (listeners are in it).
    std::shared_ptr<StandInChannelManager> manager_;
};

std::wstring ExecutableDirectory();  // folder of the running exe, with trailing backslash
// "00 1f ff" (lower-case, one space between bytes); empty input gives "".
std::string HexDump(const std::vector<uint8_t>& bytes);
// UTF-8 <-> UTF-16 with the Windows converters (invalid input is replaced).
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace zobrik::standin
