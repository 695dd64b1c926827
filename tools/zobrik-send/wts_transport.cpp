#include "wts_transport.h"

#include <wtsapi32.h>

#include <algorithm>
#include <string>

#include "zobrik/channels.h"

namespace zobrik::send {
namespace {

// The channel handle of wtsapi32, and memory it hands out.
using WtsChannel = UniqueResource<NullEmptyTraits<HANDLE, WTSVirtualChannelClose>>;
using WtsMemory = UniqueResource<NullEmptyTraits<void*, WTSFreeMemory>>;

std::string SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    UniqueLocalMemory<wchar_t> owned(text);
    std::string result = "error " + std::to_string(error);
    if (n > 0 && text != nullptr) {
        std::wstring message(text, n);
        while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
            message.pop_back();
        const int size = WideCharToMultiByte(CP_UTF8, 0, message.data(), static_cast<int>(message.size()), nullptr, 0,
                                             nullptr, nullptr);
        std::string utf8(size > 0 ? size_t(size) : 0, '\0');
        if (size > 0)
            WideCharToMultiByte(CP_UTF8, 0, message.data(), static_cast<int>(message.size()), utf8.data(), size,
                                nullptr, nullptr);
        result += ": " + utf8;
    }
    return result;
}

[[noreturn]] void Fail(const std::string& what, DWORD error) {
    throw TransportError(what + " (" + SystemMessage(error) + ")");
}

// Room for the largest piece of a message plus its header.
constexpr DWORD kReadBufferSize = 64 * 1024;

}  // namespace

void WtsTransport::Open(const std::string& name) {
    Close();
    name_ = name;
    std::string mutableName = name;  // the API takes a non-const pointer
    WtsChannel channel(WTSVirtualChannelOpenEx(WTS_CURRENT_SESSION, mutableName.data(), sdk::kWtsChannelOptionDynamic));
    if (channel.get() == nullptr) {
        Fail("the channel \"" + name +
                 "\" is not available: this must run in a Remote Desktop session whose client has the Zobrik "
                 "plug-in installed",
             GetLastError());
    }
    WtsMemory buffer;
    DWORD length = 0;
    if (!WTSVirtualChannelQuery(channel.get(), WTSVirtualFileHandle, reinterpret_cast<LPVOID*>(buffer.Put()),
                                &length) ||
        length != sizeof(HANDLE) || buffer.get() == nullptr) {
        Fail("the file handle of the channel \"" + name + "\" cannot be obtained", GetLastError());
    }
    HANDLE channelFile = *static_cast<const HANDLE*>(buffer.get());
    HANDLE duplicate = nullptr;
    // The duplicate stays usable after the channel handle is closed.
    if (!DuplicateHandle(GetCurrentProcess(), channelFile, GetCurrentProcess(), &duplicate, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        Fail("the file handle of the channel \"" + name + "\" cannot be duplicated", GetLastError());
    }
    file_.Reset(duplicate);
    event_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event_) {
        const DWORD error = GetLastError();
        file_.Reset();
        Fail("no event for the channel's I/O", error);
    }
    joiner_ = {};
}

void WtsTransport::Write(const uint8_t* data, size_t size) {
    if (!file_) throw TransportError("the channel is not open");
    if (size > MAXDWORD) throw TransportError("a message of more than 4 GiB cannot be written");
    OVERLAPPED overlapped{};
    overlapped.hEvent = event_.get();
    ResetEvent(event_.get());
    DWORD written = 0;
    if (!WriteFile(file_.get(), data, static_cast<DWORD>(size), &written, &overlapped)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) Fail("writing to the channel \"" + name_ + "\" failed", error);
        if (!GetOverlappedResult(file_.get(), &overlapped, &written, TRUE))
            Fail("writing to the channel \"" + name_ + "\" failed", GetLastError());
    }
    if (written != size) throw TransportError("the channel \"" + name_ + "\" took only part of a message");
}

std::optional<std::vector<uint8_t>> WtsTransport::Read(std::chrono::milliseconds timeout) {
    if (!file_) throw TransportError("the channel is not open");
    const auto deadline = timeout == kWaitForever ? std::chrono::steady_clock::time_point::max()
                                                  : std::chrono::steady_clock::now() + timeout;
    std::vector<uint8_t> buffer(kReadBufferSize);
    for (;;) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event_.get();
        ResetEvent(event_.get());
        DWORD got = 0;
        if (!ReadFile(file_.get(), buffer.data(), kReadBufferSize, &got, &overlapped)) {
            const DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING) Fail("reading from the channel \"" + name_ + "\" failed", error);
            DWORD wait = INFINITE;
            if (deadline != std::chrono::steady_clock::time_point::max()) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
                wait = static_cast<DWORD>(std::clamp<long long>(left.count(), 0, INFINITE - 1));
            }
            if (WaitForSingleObject(event_.get(), wait) != WAIT_OBJECT_0) {
                // Time is up: cancel the read and wait until the system no
                // longer writes into `buffer`.
                CancelIo(file_.get());
                GetOverlappedResult(file_.get(), &overlapped, &got, TRUE);
                return std::nullopt;
            }
            if (!GetOverlappedResult(file_.get(), &overlapped, &got, FALSE))
                Fail("reading from the channel \"" + name_ + "\" failed", GetLastError());
        }
        try {
            if (joiner_.Add(buffer.data(), got)) return joiner_.TakeMessage();
        } catch (const sdk::ChannelPduError& e) {
            throw TransportError("the channel \"" + name_ + "\" delivered a malformed message: " + e.what());
        }
    }
}

void WtsTransport::Close() noexcept {
    file_.Reset();
    event_.Reset();
}

}  // namespace zobrik::send
