// Stand-in wtsapi32.dll: the session side of a dynamic virtual channel for
// programs under Wine, whose own wtsapi32 opens no channel. Installed as
// system32\wtsapi32.dll (64-bit) and syswow64\wtsapi32.dll (32-bit) of a test
// prefix; programs "in the session" run with WINEDLLOVERRIDES=wtsapi32=n.
// Each channel is a connection to the session host's named pipe (see
// session_pipe.h), which hands the messages to the real plug-in.
//
// It follows Microsoft's documentation of the calls a remote program makes:
//   - WTSVirtualChannelOpenEx function (wtsapi32.h),
//     https://learn.microsoft.com/en-us/windows/win32/api/wtsapi32/nf-wtsapi32-wtsvirtualchannelopenex
//     (WTS_CURRENT_SESSION, WTS_CHANNEL_OPTION_DYNAMIC; NULL and
//     GetLastError when the channel cannot be opened);
//   - WTSVirtualChannelQuery function (wtsapi32.h),
//     https://learn.microsoft.com/en-us/windows/win32/api/wtsapi32/nf-wtsapi32-wtsvirtualchannelquery
//     (WTSVirtualFileHandle gives a buffer holding the channel's file handle,
//     usable for overlapped ReadFile/WriteFile, freed with WTSFreeMemory);
//   - WTSVirtualChannelClose function (wtsapi32.h),
//     https://learn.microsoft.com/en-us/windows/win32/api/wtsapi32/nf-wtsapi32-wtsvirtualchannelclose
//   - WTSFreeMemory function (wtsapi32.h),
//     https://learn.microsoft.com/en-us/windows/win32/api/wtsapi32/nf-wtsapi32-wtsfreememory
//   - CHANNEL_PDU_HEADER structure (pchannel.h),
//     https://learn.microsoft.com/en-us/windows/win32/api/pchannel/ns-pchannel-channel_pdu_header
//     (every read of a dynamic channel starts with it; CHANNEL_FLAG_FIRST and
//     CHANNEL_FLAG_LAST mark the first and last piece of one write);
//   - DVC Server Module Example,
//     https://learn.microsoft.com/en-us/windows/win32/termserv/dvc-server-component-example
//     (duplicates the file handle, closes the channel handle at once and
//     keeps using the duplicate; reads up to CHANNEL_PDU_LENGTH and takes the
//     header's length as the length of the whole message).
//
// The file handle is the session end of a message-mode pipe, opened for
// overlapped I/O: a WriteFile is one message, a ReadFile returns one piece
// (header and at most 1,600 bytes) as the host wrote it. Duplicates of it
// stay usable after WTSVirtualChannelClose, as kernel handles do.
#include <windows.h>

#include <wtsapi32.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "include/win/owners.h"
#include "session_pipe.h"

#define STANDIN_EXPORT extern "C" __declspec(dllexport)

namespace {

// How long an open waits for the host's answer, and for a free pipe instance.
constexpr DWORD kOpenWaitMs = 30000;
constexpr DWORD kChannelMagic = 0x5A574348;  // "ZWCH"
constexpr size_t kLongestDynamicName = MAX_PATH;
constexpr DWORD kChannelOptionDynamic = 0x00000001;  // WTS_CHANNEL_OPTION_DYNAMIC

struct Channel {
    DWORD magic = kChannelMagic;
    zobrik::UniqueHandle file;
};

std::wstring PipeName() {
    wchar_t value[512];
    const DWORD n = GetEnvironmentVariableW(zobrik::session::kPipeVariable, value, 512);
    return n > 0 && n < 512 ? std::wstring(value, n) : std::wstring();
}

// One overlapped call on `file`, waited for at most `waitMs`.
bool Finish(HANDLE file, OVERLAPPED& overlapped, BOOL started, DWORD& transferred, DWORD waitMs) {
    if (!started) {
        if (GetLastError() != ERROR_IO_PENDING) return false;
        if (WaitForSingleObject(overlapped.hEvent, waitMs) != WAIT_OBJECT_0) {
            CancelIo(file);
            GetOverlappedResult(file, &overlapped, &transferred, TRUE);
            SetLastError(ERROR_TIMEOUT);
            return false;
        }
    }
    return GetOverlappedResult(file, &overlapped, &transferred, FALSE) != FALSE;
}

bool WriteMessage(HANDLE file, std::string_view bytes) {
    zobrik::UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) return false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.Get();
    DWORD written = 0;
    const BOOL started = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &overlapped);
    return Finish(file, overlapped, started, written, kOpenWaitMs) && written == bytes.size();
}

std::string ReadAnswer(HANDLE file) {
    zobrik::UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) return {};
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.Get();
    char answer[64];
    DWORD got = 0;
    const BOOL started = ReadFile(file, answer, sizeof answer, &got, &overlapped);
    if (!Finish(file, overlapped, started, got, kOpenWaitMs)) return {};
    return std::string(answer, got);
}

// The session end of a new pipe connection, or an empty handle.
zobrik::UniqueHandle ConnectToHost(const std::wstring& pipe) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        zobrik::UniqueHandle file(CreateFileW(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_OVERLAPPED, nullptr));
        if (file) return file;
        if (GetLastError() != ERROR_PIPE_BUSY || !WaitNamedPipeW(pipe.c_str(), kOpenWaitMs)) break;
    }
    return {};
}

Channel* ToChannel(HANDLE handle) {
    auto* channel = static_cast<Channel*>(handle);
    if (channel == nullptr || channel->magic != kChannelMagic) return nullptr;
    return channel;
}

}  // namespace

STANDIN_EXPORT HANDLE WINAPI WTSVirtualChannelOpenEx(DWORD SessionId, LPSTR pVirtualName, DWORD flags) {
    if (SessionId != WTS_CURRENT_SESSION || pVirtualName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const size_t nameLength = strnlen(pVirtualName, kLongestDynamicName + 1);
    if (nameLength == 0 || nameLength > kLongestDynamicName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Static channels are the client's own business: none is offered here.
    if ((flags & kChannelOptionDynamic) == 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    const std::wstring pipe = PipeName();
    if (pipe.empty()) {
        // Not in a Remote Desktop session.
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    zobrik::UniqueHandle file = ConnectToHost(pipe);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!SetNamedPipeHandleState(file.Get(), &mode, nullptr, nullptr) ||
        !WriteMessage(file.Get(), std::string_view(pVirtualName, nameLength))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (ReadAnswer(file.Get()) != zobrik::session::kChannelAccepted) {
        // The client has no listener for the name, or refused the channel.
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    try {
        auto channel = std::make_unique<Channel>();
        channel->file = std::move(file);
        SetLastError(ERROR_SUCCESS);
        return channel.release();  // owned by the caller until WTSVirtualChannelClose
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

STANDIN_EXPORT BOOL WINAPI WTSVirtualChannelQuery(HANDLE hChannelHandle, WTS_VIRTUAL_CLASS virtualClass,
                                                  PVOID* ppBuffer, DWORD* pBytesReturned) {
    Channel* channel = ToChannel(hChannelHandle);
    if (channel == nullptr || ppBuffer == nullptr || pBytesReturned == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (virtualClass != WTSVirtualFileHandle) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    auto* buffer = static_cast<HANDLE*>(LocalAlloc(LMEM_FIXED, sizeof(HANDLE)));
    if (buffer == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    *buffer = channel->file.Get();
    *ppBuffer = buffer;
    *pBytesReturned = sizeof(HANDLE);
    return TRUE;
}

STANDIN_EXPORT BOOL WINAPI WTSVirtualChannelClose(HANDLE hChannelHandle) {
    Channel* channel = ToChannel(hChannelHandle);
    if (channel == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    channel->magic = 0;
    std::unique_ptr<Channel> owned(channel);  // closes this handle; duplicates stay open
    return TRUE;
}

STANDIN_EXPORT void WINAPI WTSFreeMemory(PVOID pMemory) {
    if (pMemory != nullptr) LocalFree(pMemory);
}
