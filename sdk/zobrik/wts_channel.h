// The channels of the current Remote Desktop session (Windows): WtsChannel,
// the ChannelTransport over wtsapi32, and the one-call functions over it.
//
// Header-only; needs <windows.h> and wtsapi32 (link with -lwtsapi32 or
// wtsapi32.lib; MSVC links it through the pragma below).
//
//   zobrik::sdk::ExecReply opened = zobrik::sdk::OpenOnClient("C:\\Reports\\q3.xlsx");
//   zobrik::sdk::MailReply mailed = zobrik::sdk::SendMail(std::move(mail));
//
// Both throw ChannelError when the channel is not available (not in a Remote
// Desktop session, no plug-in on the client, or its administrator switched
// the channel off), breaks, or no reply comes in time.
#pragma once

#if !defined(_WIN32)
#error "zobrik/wts_channel.h is for Windows programs in a Remote Desktop session"
#endif

#include <windows.h>

#include <wtsapi32.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "channel_pdu.h"
#include "channel_transport.h"
#include "client_calls.h"
#include "exec_message.h"

#if defined(_MSC_VER)
#pragma comment(lib, "wtsapi32.lib")
#endif

namespace zobrik::sdk {

// UTF-16 <-> UTF-8; invalid sequences become U+FFFD.
inline std::string WideToUtf8(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), size, nullptr, nullptr);
    return out;
}
inline std::wstring Utf8ToWide(std::string_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    if (size <= 0) return {};
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, out.data(), size);
    return out;
}

// The text in this computer's ANSI code page, or nullopt when a character has
// no exact form there (no best-fit substitutes: "é" never becomes "e").
inline std::optional<std::string> AnsiFormOf(std::string_view utf8) {
    if (utf8.empty()) return std::string();
    const UINT codePage = GetACP();
    if (codePage == CP_UTF8) return std::string(utf8);
    const std::wstring wide = Utf8ToWide(utf8);
    if (wide.empty() || wide.size() > INT_MAX) return std::nullopt;
    const int length = static_cast<int>(wide.size());
    BOOL usedDefault = FALSE;
    const int size =
        WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault) return std::nullopt;
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), length, out.data(), size, nullptr, &usedDefault);
    if (usedDefault) return std::nullopt;
    return out;
}

// "error 5: Access is denied."
inline std::string SystemErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    std::string result = "error " + std::to_string(error);
    if (!message.empty()) result += ": " + WideToUtf8(message);
    return result;
}

namespace wts_channel_detail {

// Owns one handle and closes it with `Close`.
template <typename Handle, auto Close>
class Owned {
public:
    Owned() = default;
    explicit Owned(Handle handle) noexcept : handle_(handle) {}
    ~Owned() { Reset(); }
    Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.handle_, Handle{}));
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle Get() const noexcept { return handle_; }
    Handle* Put() noexcept {
        Reset();
        return &handle_;
    }
    void Reset(Handle handle = Handle{}) noexcept {
        if (handle_ != Handle{}) Close(handle_);
        handle_ = handle;
    }
    explicit operator bool() const noexcept { return handle_ != Handle{}; }

private:
    Handle handle_{};
};

using ChannelHandle = Owned<HANDLE, WTSVirtualChannelClose>;
using WtsMemory = Owned<void*, WTSFreeMemory>;
using KernelHandle = Owned<HANDLE, CloseHandle>;

[[noreturn]] inline void Fail(ChannelErrorKind kind, const std::string& what, DWORD error) {
    throw ChannelError(kind, what + " (" + SystemErrorText(error) + ")", error);
}

}  // namespace wts_channel_detail

// A dynamic virtual channel of the current Remote Desktop session:
// WTSVirtualChannelOpenEx(WTS_CURRENT_SESSION, name, dynamic), its file
// handle from WTSVirtualChannelQuery(WTSVirtualFileHandle), overlapped
// WriteFile and ReadFile on it. Every read returns a CHANNEL_PDU_HEADER and
// one piece of a message; Read() joins the pieces. One thread at a time.
class WtsChannel : public ChannelTransport {
public:
    WtsChannel() = default;
    ~WtsChannel() override { Close(); }
    WtsChannel(const WtsChannel&) = delete;
    WtsChannel& operator=(const WtsChannel&) = delete;

    void Open(const std::string& name) override {
        using namespace wts_channel_detail;
        Close();
        name_ = name;
        std::string mutableName = name;  // the API takes a non-const pointer
        ChannelHandle channel(
            WTSVirtualChannelOpenEx(WTS_CURRENT_SESSION, mutableName.data(), kWtsChannelOptionDynamic));
        if (!channel) {
            Fail(ChannelErrorKind::NotAvailable,
                 "the channel \"" + name +
                     "\" is not available: this must run in a Remote Desktop session whose client has the Zobrik "
                     "plug-in installed",
                 GetLastError());
        }
        WtsMemory buffer;
        DWORD length = 0;
        if (!WTSVirtualChannelQuery(channel.Get(), WTSVirtualFileHandle, reinterpret_cast<LPVOID*>(buffer.Put()),
                                    &length) ||
            length != sizeof(HANDLE) || !buffer) {
            Fail(ChannelErrorKind::NotAvailable, "the file handle of the channel \"" + name + "\" cannot be obtained",
                 GetLastError());
        }
        HANDLE channelFile = *static_cast<const HANDLE*>(buffer.Get());
        HANDLE duplicate = nullptr;
        // The duplicate stays usable after the channel handle is closed.
        if (!DuplicateHandle(GetCurrentProcess(), channelFile, GetCurrentProcess(), &duplicate, 0, FALSE,
                             DUPLICATE_SAME_ACCESS)) {
            Fail(ChannelErrorKind::NotAvailable, "the file handle of the channel \"" + name + "\" cannot be duplicated",
                 GetLastError());
        }
        KernelHandle file(duplicate);
        KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!event) Fail(ChannelErrorKind::NotAvailable, "no event for the channel's I/O", GetLastError());
        file_ = std::move(file);
        event_ = std::move(event);
        joiner_ = {};
    }

    void Write(const uint8_t* data, size_t size) override {
        using namespace wts_channel_detail;
        RequireOpen();
        if (size > MAXDWORD)
            throw ChannelError(ChannelErrorKind::TooLarge, "a message of more than 4 GiB cannot be written");
        OVERLAPPED overlapped{};
        overlapped.hEvent = event_.Get();
        ResetEvent(event_.Get());
        DWORD written = 0;
        if (!WriteFile(file_.Get(), data, static_cast<DWORD>(size), &written, &overlapped)) {
            const DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING) Fail(ChannelErrorKind::WriteFailed, WriteFailure(), error);
            if (!GetOverlappedResult(file_.Get(), &overlapped, &written, TRUE))
                Fail(ChannelErrorKind::WriteFailed, WriteFailure(), GetLastError());
        }
        if (written != size)
            throw ChannelError(ChannelErrorKind::WriteFailed,
                               "the channel \"" + name_ + "\" took only part of a message");
    }

    std::optional<std::vector<uint8_t>> Read(std::chrono::milliseconds timeout) override {
        using namespace wts_channel_detail;
        RequireOpen();
        const auto forever = std::chrono::steady_clock::time_point::max();
        const auto deadline = timeout == kWaitForever ? forever : std::chrono::steady_clock::now() + timeout;
        std::vector<uint8_t> buffer(kReadBufferSize);
        for (;;) {
            OVERLAPPED overlapped{};
            overlapped.hEvent = event_.Get();
            ResetEvent(event_.Get());
            DWORD got = 0;
            if (!ReadFile(file_.Get(), buffer.data(), kReadBufferSize, &got, &overlapped)) {
                const DWORD error = GetLastError();
                if (error != ERROR_IO_PENDING) Fail(ChannelErrorKind::ReadFailed, ReadFailure(), error);
                DWORD wait = INFINITE;
                if (deadline != forever) {
                    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now());
                    wait = static_cast<DWORD>((std::clamp<long long>)(left.count(), 0, INFINITE - 1));
                }
                if (WaitForSingleObject(event_.Get(), wait) != WAIT_OBJECT_0) {
                    // Time is up: cancel the read and wait until the system no
                    // longer writes into `buffer`.
                    CancelIo(file_.Get());
                    GetOverlappedResult(file_.Get(), &overlapped, &got, TRUE);
                    return std::nullopt;
                }
                if (!GetOverlappedResult(file_.Get(), &overlapped, &got, FALSE))
                    Fail(ChannelErrorKind::ReadFailed, ReadFailure(), GetLastError());
            }
            try {
                if (joiner_.Add(buffer.data(), got)) return joiner_.TakeMessage();
            } catch (const ChannelPduError& e) {
                throw ChannelError(ChannelErrorKind::MalformedMessage,
                                   "the channel \"" + name_ + "\" delivered a malformed message: " + e.what());
            }
        }
    }

    void Close() noexcept override {
        file_.Reset();
        event_.Reset();
    }

private:
    // Room for the largest piece of a message plus its header.
    static constexpr DWORD kReadBufferSize = 64 * 1024;

    void RequireOpen() const {
        if (!file_) throw ChannelError(ChannelErrorKind::NotOpen, "the channel is not open");
    }
    std::string WriteFailure() const { return "writing to the channel \"" + name_ + "\" failed"; }
    std::string ReadFailure() const { return "reading from the channel \"" + name_ + "\" failed"; }

    std::string name_;
    wts_channel_detail::KernelHandle file_;   // duplicate of the channel's file handle
    wts_channel_detail::KernelHandle event_;  // manual-reset event of the overlapped calls
    ChannelMessageJoiner joiner_;
};

// Opens the text `utf8` with the shell of the client computer: sent in the
// ANSI code page when it has a form there (clients with an older plug-in
// understand only that), else as UTF-8 behind the mark.
inline ExecReply OpenOnClient(std::string_view utf8, std::chrono::milliseconds timeout = kDefaultExecTimeout) {
    WtsChannel channel;
    return OpenOnClient(channel, ExecMessage(utf8, AnsiFormOf(utf8)), timeout);
}

// Hands `mail` to the mail program of the client computer.
inline MailReply SendMail(MailMessage mail, const SendOptions& options = {}) {
    WtsChannel channel;
    return SendMail(channel, std::move(mail), options);
}

}  // namespace zobrik::sdk
