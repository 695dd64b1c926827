// Remote Desktop client stand-in: see client_standin.h.
#include "client_standin.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace zobrik::standin {

namespace {

constexpr DWORD kPrintException = 0x40010006;      // DBG_PRINTEXCEPTION_C
constexpr DWORD kPrintExceptionWide = 0x4001000A;  // DBG_PRINTEXCEPTION_WIDE_C
constexpr uint8_t kPoison = 0xDD;
// More plug-ins than this from one factory is taken as a broken count.
constexpr ULONG kMaxPlugins = 1024;

// Storage that is built on first use and never destroyed: the debugger
// output handler and plug-in threads may still use it while the process exits.
template <class T>
class NeverDestroyed {
public:
    NeverDestroyed() { new (storage_) T(); }
    T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

// Objects handed to the plug-in live as long as the process: the plug-in
// may keep pointers to them (channels, listeners, the manager) and use them
// from threads that nobody waits for.
struct KeepAlive {
    std::mutex mutex;
    std::vector<std::shared_ptr<void>> objects;
};

void KeepForever(std::shared_ptr<void> object) {
    static NeverDestroyed<KeepAlive> keep;
    std::lock_guard lock(keep.get().mutex);
    keep.get().objects.push_back(std::move(object));
}

std::string WideToUtf8(const wchar_t* text, size_t length) {
    if (length == 0) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), size, nullptr, nullptr);
    }
    return out;
}

std::wstring MultiByteToWide(UINT codePage, const char* text, size_t length) {
    if (length == 0) {
        return {};
    }
    const int size = MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), nullptr, 0);
    std::wstring out(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0) {
        MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), out.data(), size);
    }
    return out;
}

// ---- debugger output capture ----------------------------------------------

struct CaptureState {
    std::timed_mutex mutex;
    std::condition_variable_any changed;
    std::vector<std::string> lines;
    bool echo = false;
    size_t narrow = 0;
    size_t wide = 0;
    // Per thread: the narrow copy that came with the last wide output. Should
    // Windows pass that very buffer on to OutputDebugStringA (it does when the
    // wide exception is not handled), the repeat, recognised by the same
    // buffer address and text, is not stored a second time.
    struct Repeat {
        DWORD thread;
        ULONG_PTR buffer;
        std::string text;
    };
    std::vector<Repeat> pendingRepeats;
};

CaptureState& Capture() {
    static NeverDestroyed<CaptureState> state;
    return state.get();
}

// "debug: <entry>": a trailing newline is dropped; further lines of the same
// entry are indented, so that one entry stays recognisable as one.
void EchoLine(const std::string& line) {
    std::string out = "debug: ";
    const size_t length = !line.empty() && line.back() == '\n' ? line.size() - 1 : line.size();
    for (size_t i = 0; i < length; ++i) {
        out += line[i];
        if (line[i] == '\n') {
            out += "       ";
        }
    }
    out += '\n';
    const HANDLE stdoutHandle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (stdoutHandle == nullptr || stdoutHandle == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(stdoutHandle, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
}

// One output as it arrived: a wide one may carry its narrow copy
// (`repeatBuffer`, `repeatText`); a narrow one has its buffer and text.
struct Arrival {
    bool wide = false;
    std::string utf8;
    ULONG_PTR buffer = 0;  // narrow: its buffer; wide: the narrow copy's buffer (0 without one)
    std::string narrow;    // narrow: its text; wide: the narrow copy's text
};

void StoreOutput(Arrival arrival) {
    CaptureState& state = Capture();
    std::unique_lock lock(state.mutex, std::defer_lock);
    // Bounded wait: a thread killed at process exit while holding the lock
    // must not hang the output of a DLL's detach.
    if (!lock.try_lock_for(std::chrono::seconds(2))) {
        return;
    }
    const DWORD thread = GetCurrentThreadId();
    auto pending = std::find_if(state.pendingRepeats.begin(), state.pendingRepeats.end(),
                                [&](const CaptureState::Repeat& entry) { return entry.thread == thread; });
    if (arrival.wide) {
        ++state.wide;
        if (pending != state.pendingRepeats.end()) {
            state.pendingRepeats.erase(pending);
        }
        if (arrival.buffer != 0) {
            state.pendingRepeats.push_back({thread, arrival.buffer, arrival.narrow});
        }
    } else {
        ++state.narrow;
        if (pending != state.pendingRepeats.end()) {
            const bool repeat = pending->buffer == arrival.buffer && pending->text == arrival.narrow;
            state.pendingRepeats.erase(pending);
            if (repeat) {
                return;
            }
        }
    }
    if (state.echo) {
        EchoLine(arrival.utf8);
    }
    state.lines.push_back(std::move(arrival.utf8));
    lock.unlock();
    state.changed.notify_all();
}

LONG CALLBACK DebugOutputHandler(EXCEPTION_POINTERS* info) {
    if (info == nullptr || info->ExceptionRecord == nullptr) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    const EXCEPTION_RECORD& record = *info->ExceptionRecord;
    if (record.ExceptionCode != kPrintException && record.ExceptionCode != kPrintExceptionWide) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    try {
        Arrival arrival;
        if (record.ExceptionCode == kPrintException) {
            if (record.NumberParameters >= 2 && record.ExceptionInformation[1] != 0) {
                const auto* text = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
                const size_t limit = static_cast<size_t>(record.ExceptionInformation[0]);
                arrival.buffer = record.ExceptionInformation[1];
                arrival.narrow.assign(text, strnlen(text, limit));
            }
            const std::wstring wide = MultiByteToWide(CP_ACP, arrival.narrow.data(), arrival.narrow.size());
            arrival.utf8 = WideToUtf8(wide.data(), wide.size());
        } else {
            arrival.wide = true;
            std::wstring wide;
            if (record.NumberParameters >= 2 && record.ExceptionInformation[1] != 0) {
                const auto* text = reinterpret_cast<const wchar_t*>(record.ExceptionInformation[1]);
                const size_t limit = static_cast<size_t>(record.ExceptionInformation[0]);
                wide.assign(text, wcsnlen(text, limit));
            }
            if (record.NumberParameters >= 4 && record.ExceptionInformation[3] != 0) {
                const auto* text = reinterpret_cast<const char*>(record.ExceptionInformation[3]);
                const size_t limit = static_cast<size_t>(record.ExceptionInformation[2]);
                arrival.buffer = record.ExceptionInformation[3];
                arrival.narrow.assign(text, strnlen(text, limit));
            }
            arrival.utf8 = WideToUtf8(wide.data(), wide.size());
        }
        StoreOutput(std::move(arrival));
    } catch (...) {
        // Out of memory: the output is lost, the program goes on.
    }
    return EXCEPTION_CONTINUE_EXECUTION;
}

// ---- listener object handed to the plug-in --------------------------------

class StandInListener : public IWTSListener {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IWTSListener)) {
            *object = static_cast<IWTSListener*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Counted, but owned by the stand-in for the life of the process.
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return references_ > 0 ? --references_ : 0; }
    HRESULT STDMETHODCALLTYPE GetConfiguration(IPropertyBag** bag) override {
        if (bag != nullptr) {
            *bag = nullptr;
        }
        return E_NOTIMPL;
    }
    virtual ~StandInListener() = default;

private:
    std::atomic<ULONG> references_{1};
};

using GetInstanceFunction = HRESULT(WINAPI*)(REFIID, ULONG*, void**);

}  // namespace

// ---- DebugCapture -----------------------------------------------------------

void DebugCapture::Install() {
    static const bool installed = [] {
        Capture();  // build the state before the first output can arrive
        return AddVectoredExceptionHandler(1, DebugOutputHandler) != nullptr;
    }();
    (void)installed;
}

std::vector<std::string> DebugCapture::Lines() {
    CaptureState& state = Capture();
    std::lock_guard lock(state.mutex);
    return state.lines;
}

void DebugCapture::Clear() {
    CaptureState& state = Capture();
    std::lock_guard lock(state.mutex);
    state.lines.clear();
}

size_t DebugCapture::Count(const std::string& exact) {
    CaptureState& state = Capture();
    std::lock_guard lock(state.mutex);
    return static_cast<size_t>(std::count(state.lines.begin(), state.lines.end(), exact));
}

bool DebugCapture::WaitFor(const std::string& exact, size_t count, std::chrono::milliseconds timeout) {
    CaptureState& state = Capture();
    std::unique_lock lock(state.mutex);
    return state.changed.wait_for(lock, timeout, [&] {
        return static_cast<size_t>(std::count(state.lines.begin(), state.lines.end(), exact)) >= count;
    });
}

void DebugCapture::SetEcho(bool echo) {
    CaptureState& state = Capture();
    std::lock_guard lock(state.mutex);
    state.echo = echo;
}

size_t DebugCapture::NarrowCount() {
    CaptureState& state = Capture();
    std::lock_guard lock(state.mutex);
    return state.narrow;
}

size_t DebugCapture::WideCount() {
    CaptureState& state = Capture();
    std::lock_guard lock(state.mutex);
    return state.wide;
}

// ---- StandInChannel -------------------------------------------------------

StandInChannel::StandInChannel(std::string name, uint64_t id) : name_(std::move(name)), id_(id) {}

StandInChannel::~StandInChannel() = default;

HRESULT StandInChannel::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (riid == __uuidof(IUnknown) || riid == __uuidof(IWTSVirtualChannel)) {
        *object = static_cast<IWTSVirtualChannel*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG StandInChannel::AddRef() { return ++references_; }

ULONG StandInChannel::Release() {
    ULONG current = references_.load();
    while (current > 0 && !references_.compare_exchange_weak(current, current - 1)) {
    }
    return current > 0 ? current - 1 : 0;
}

HRESULT StandInChannel::Write(ULONG cbSize, BYTE* pBuffer, IUnknown*) {
    if (pBuffer == nullptr && cbSize != 0) {
        return E_POINTER;
    }
    try {
        std::unique_lock lock(mutex_);
        if (holdingWrites_) {
            ++heldWrites_;
            written_.notify_all();
            while (!written_.wait_for(lock, std::chrono::hours(1), [&] { return !holdingWrites_; })) {
            }
            --heldWrites_;
        }
        if (closed_) {
            ++writesAfterClose_;
            written_.notify_all();
            return E_UNEXPECTED;
        }
        writes_.emplace_back(pBuffer, pBuffer + cbSize);
        written_.notify_all();
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT StandInChannel::Close() {
    std::lock_guard lock(mutex_);
    ++closeCalls_;
    return S_OK;
}

std::vector<std::vector<uint8_t>> StandInChannel::Writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

bool StandInChannel::WaitForWrites(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return written_.wait_for(lock, timeout, [&] { return writes_.size() >= count; });
}

size_t StandInChannel::WritesAfterClose() const {
    std::lock_guard lock(mutex_);
    return writesAfterClose_;
}

size_t StandInChannel::CloseCalls() const {
    std::lock_guard lock(mutex_);
    return closeCalls_;
}

void StandInChannel::HoldWrites() {
    std::lock_guard lock(mutex_);
    holdingWrites_ = true;
}

void StandInChannel::ReleaseWrites() {
    std::lock_guard lock(mutex_);
    holdingWrites_ = false;
    written_.notify_all();
}

bool StandInChannel::WaitForHeldWrites(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return written_.wait_for(lock, timeout, [&] { return heldWrites_ >= count; });
}

HRESULT StandInChannel::Send(const void* data, size_t size) {
    if (size > std::numeric_limits<ULONG>::max() || (data == nullptr && size != 0)) {
        return E_INVALIDARG;
    }
    std::lock_guard call(callMutex_);
    IWTSVirtualChannelCallback* callback = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (closed_ || callback_ == nullptr) {
            return E_UNEXPECTED;
        }
        callback = callback_;
    }
    // A heap copy of its own for this call, never shorter than one byte so
    // that an empty message also comes with a valid pointer.
    const size_t allocated = size > 0 ? size : 1;
    std::unique_ptr<uint8_t[]> copy;
    try {
        copy = std::make_unique_for_overwrite<uint8_t[]>(allocated);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    if (size > 0) {
        std::memcpy(copy.get(), data, size);
    }
    const HRESULT result = callback->OnDataReceived(static_cast<ULONG>(size), copy.get());
    // Poison before freeing; volatile so that the stores are not dropped as dead.
    volatile uint8_t* poison = copy.get();
    for (size_t i = 0; i < allocated; ++i) {
        poison[i] = kPoison;
    }
    return result;
}

HRESULT StandInChannel::Send(const std::vector<uint8_t>& bytes) { return Send(bytes.data(), bytes.size()); }

HRESULT StandInChannel::Send(const std::string& text) { return Send(text.data(), text.size()); }

HRESULT StandInChannel::SendChunks(const std::vector<uint8_t>& bytes, size_t chunkSize) {
    if (chunkSize == 0) {
        return E_INVALIDARG;
    }
    if (bytes.empty()) {
        return Send(bytes.data(), 0);
    }
    for (size_t offset = 0; offset < bytes.size(); offset += chunkSize) {
        const HRESULT result = Send(bytes.data() + offset, std::min(chunkSize, bytes.size() - offset));
        if (FAILED(result)) {
            return result;
        }
    }
    return S_OK;
}

HRESULT StandInChannel::SendChunks(const std::vector<uint8_t>& bytes, const std::vector<size_t>& sizes) {
    size_t total = 0;
    for (const size_t size : sizes) {
        if (size > bytes.size() - total) {
            return E_INVALIDARG;
        }
        total += size;
    }
    size_t offset = 0;
    for (const size_t size : sizes) {
        const HRESULT result = Send(bytes.data() + offset, size);
        if (FAILED(result)) {
            return result;
        }
        offset += size;
    }
    if (offset < bytes.size()) {
        return Send(bytes.data() + offset, bytes.size() - offset);
    }
    return S_OK;
}

HRESULT StandInChannel::CloseFromServer() {
    std::lock_guard call(callMutex_);
    IWTSVirtualChannelCallback* callback = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return S_FALSE;
        }
        callback = callback_;
    }
    const HRESULT result = callback != nullptr ? callback->OnClose() : S_OK;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        callback_ = nullptr;
        written_.notify_all();
    }
    if (callback != nullptr) {
        callback->Release();  // the client's reference from OnNewChannelConnection
    }
    return result;
}

bool StandInChannel::Closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

IWTSVirtualChannelCallback* StandInChannel::Callback() const {
    std::lock_guard lock(mutex_);
    return callback_;
}

const std::string& StandInChannel::Name() const { return name_; }

uint64_t StandInChannel::Id() const { return id_; }

void StandInChannel::Attach(IWTSVirtualChannelCallback* callback) {
    std::lock_guard lock(mutex_);
    callback_ = callback;
}

// ---- StandInChannelManager --------------------------------------------------

StandInChannelManager::StandInChannelManager() = default;

StandInChannelManager::~StandInChannelManager() = default;

HRESULT StandInChannelManager::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (riid == __uuidof(IUnknown) || riid == __uuidof(IWTSVirtualChannelManager)) {
        *object = static_cast<IWTSVirtualChannelManager*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// Counted, but owned by the stand-in for the life of the process.
ULONG StandInChannelManager::AddRef() { return ++references_; }

ULONG StandInChannelManager::Release() {
    ULONG current = references_.load();
    while (current > 0 && !references_.compare_exchange_weak(current, current - 1)) {
    }
    return current > 0 ? current - 1 : 0;
}

HRESULT StandInChannelManager::CreateListener(const char* pszChannelName, ULONG uFlags,
                                              IWTSListenerCallback* pListenerCallback, IWTSListener** ppListener) {
    try {
        const std::string name = pszChannelName != nullptr ? pszChannelName : "";
        HRESULT result = S_OK;
        if (pszChannelName == nullptr || pListenerCallback == nullptr) {
            result = E_INVALIDARG;
        }
        std::shared_ptr<StandInListener> listener;
        {
            std::lock_guard lock(mutex_);
            for (const auto& [failName, failResult] : failures_) {
                if (failName == name) {
                    result = failResult;
                }
            }
            if (result == S_OK) {
                listener = std::make_shared<StandInListener>();
            }
            records_.push_back({name, uFlags, pListenerCallback, result});
        }
        if (result != S_OK) {
            return result;
        }
        pListenerCallback->AddRef();  // the client keeps the callback
        KeepForever(listener);
        if (ppListener != nullptr) {
            *ppListener = listener.get();  // carries the listener's initial reference
        }
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

void StandInChannelManager::FailCreateListener(const std::string& name, HRESULT hr) {
    std::lock_guard lock(mutex_);
    failures_.emplace_back(name, hr);
}

std::vector<StandInChannelManager::ListenerRecord> StandInChannelManager::Listeners() const {
    std::lock_guard lock(mutex_);
    return records_;
}

IWTSListenerCallback* StandInChannelManager::ListenerFor(const std::string& name) const {
    std::lock_guard lock(mutex_);
    for (auto it = records_.rbegin(); it != records_.rend(); ++it) {
        if (it->name == name && it->result == S_OK) {
            return it->callback;
        }
    }
    return nullptr;
}

// ---- ClientStandIn ------------------------------------------------------

ClientStandIn::ClientStandIn(ClientOptions options) : options_(std::move(options)) {
    DebugCapture::Install();
    manager_ = std::make_shared<StandInChannelManager>();
    KeepForever(manager_);
    if (options_.dllPath.empty()) {
        options_.dllPath = ExecutableDirectory() + L"ZobrikWTSDVC.dll";
    }
    module_ = LoadLibraryW(options_.dllPath.c_str());
    loadError_ = module_ == nullptr ? GetLastError() : 0;
}

ClientStandIn::~ClientStandIn() = default;

HMODULE ClientStandIn::Module() const { return module_; }

DWORD ClientStandIn::LoadError() const { return loadError_; }

const std::wstring& ClientStandIn::DllPath() const { return options_.dllPath; }

HRESULT ClientStandIn::GetInstance(REFIID riid, ULONG* count, IWTSPlugin** objects) {
    if (module_ == nullptr) {
        return E_FAIL;
    }
    const FARPROC proc = GetProcAddress(module_, "VirtualChannelGetInstance");
    if (proc == nullptr) {
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }
    // Through a generic function pointer type, the documented way to convert
    // a GetProcAddress result without a cast-function-type warning.
    const auto factory = reinterpret_cast<GetInstanceFunction>(reinterpret_cast<void (*)()>(proc));
    return factory(riid, count, reinterpret_cast<void**>(objects));
}

HRESULT ClientStandIn::Start() {
    try {
        ULONG count = 0;
        HRESULT result = GetInstance(__uuidof(IWTSPlugin), &count, nullptr);
        factoryCount_ = count;
        if (FAILED(result)) {
            return result;
        }
        if (count == 0) {
            return S_FALSE;
        }
        if (count > kMaxPlugins) {
            return E_UNEXPECTED;
        }
        std::vector<IWTSPlugin*> objects(count, nullptr);
        ULONG received = count;
        result = GetInstance(__uuidof(IWTSPlugin), &received, objects.data());
        if (FAILED(result)) {
            return result;
        }
        if (objects[0] == nullptr) {
            return S_FALSE;
        }
        plugin_ = objects[0];
        initializeResult_ = plugin_->Initialize(manager_.get());
        if (FAILED(initializeResult_)) {
            return initializeResult_;
        }
        connectedResult_ = plugin_->Connected();
        return FAILED(connectedResult_) ? connectedResult_ : S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT ClientStandIn::InitializeResult() const { return initializeResult_; }

HRESULT ClientStandIn::ConnectedResult() const { return connectedResult_; }

ULONG ClientStandIn::FactoryCount() const { return factoryCount_; }

IWTSPlugin* ClientStandIn::Plugin() const { return plugin_; }

StandInChannelManager& ClientStandIn::Manager() { return *manager_; }

std::shared_ptr<StandInChannel> ClientStandIn::OpenChannel(const std::string& name, BSTR connectionData) {
    static std::atomic<uint64_t> nextId{1};
    lastOpen_ = {};
    IWTSListenerCallback* listener = manager_->ListenerFor(name);
    if (listener == nullptr) {
        return nullptr;
    }
    lastOpen_.hadListener = true;
    auto channel = std::make_shared<StandInChannel>(name, nextId++);
    KeepForever(channel);
    BOOL accept = FALSE;
    IWTSVirtualChannelCallback* callback = nullptr;
    lastOpen_.result = listener->OnNewChannelConnection(channel.get(), connectionData, &accept, &callback);
    lastOpen_.accepted = accept;
    if (FAILED(lastOpen_.result) || !accept || callback == nullptr) {
        if (callback != nullptr) {
            callback->Release();
        }
        return nullptr;
    }
    channel->Attach(callback);
    channels_.push_back(channel);
    return channel;
}

OpenResult ClientStandIn::LastOpenResult() const { return lastOpen_; }

std::vector<std::shared_ptr<StandInChannel>> ClientStandIn::Channels() const { return channels_; }

HRESULT ClientStandIn::Stop() {
    if (plugin_ == nullptr) {
        return E_UNEXPECTED;
    }
    disconnectedResult_ = plugin_->Disconnected(0);
    return plugin_->Terminated();
}

HRESULT ClientStandIn::DisconnectedResult() const { return disconnectedResult_; }

void ClientStandIn::Unload() {
    if (plugin_ != nullptr) {
        plugin_->Release();
        plugin_ = nullptr;
    }
    if (module_ != nullptr) {
        FreeLibrary(module_);
        module_ = nullptr;
    }
}

// ---- helpers ----------------------------------------------------------------

std::wstring ExecutableDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::string HexDump(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            out += ' ';
        }
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0xF];
    }
    return out;
}

std::string ToUtf8(const std::wstring& text) { return WideToUtf8(text.data(), text.size()); }

std::wstring FromUtf8(const std::string& text) { return MultiByteToWide(CP_UTF8, text.data(), text.size()); }

}  // namespace zobrik::standin
