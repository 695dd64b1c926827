// MAPI32 stand-in that records every MAPISendMailW call for the tests.
// Each call is turned into a text record (mapi_record_format.h) at the moment
// of the call, including the bytes of every attachment file as they are on disk
// then. The stand-in answers a configurable code and can hold calls until it is
// told to release them, as a modal compose dialog would.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "include/simple_mapi_types.h"
#include "include/win/owners.h"
#include "mapi_record_format.h"
#include "mapi_standin_exports.h"

namespace {

namespace rec = zobrik::mapirecord;

// Most records that a caller's counts make the stand-in read; a larger count
// would be a caller's fault and is recorded as it came, reading stops there.
constexpr uint32_t kMaxEntries = 4096;
// Largest attachment whose bytes are recorded.
constexpr uint64_t kMaxFileBytes = 256ull * 1024 * 1024;
constexpr ULONG kMapiFailure = 2;  // MAPI_E_FAILURE

// Storage that is built on first use and never destroyed, so that calls
// arriving while the process exits still find it.
template <class T>
class NeverDestroyed {
public:
    NeverDestroyed() { new (storage_) T(); }
    T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> records;
    ULONG result = 0;
    bool blocking = false;
    ULONG blocked = 0;
    uint64_t releaseGeneration = 0;
};

State& TheState() {
    static NeverDestroyed<State> state;
    return state.get();
}

using Handle = zobrik::UniqueHandle;

std::string Hex64(uint64_t value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), rec::HexDigit(static_cast<unsigned>(value & 0xF)));
        value >>= 4;
    } while (value != 0);
    return "0x" + digits;
}

void Field(std::string& out, const std::string& key, const std::string& value) {
    out += key;
    out += '=';
    out += value;
    out += '\n';
}

void Field(std::string& out, const std::string& key, uint64_t value) { Field(out, key, std::to_string(value)); }

std::string Presence(const void* pointer) { return pointer == nullptr ? "null" : "present"; }

// With ZOBRIK_MAPI_CONTENT=size only the number of bytes read is recorded,
// so that large attachments (benchmarks) cost no memory here.
bool RecordSizeOnly() {
    wchar_t mode[16];
    DWORD n = GetEnvironmentVariableW(L"ZOBRIK_MAPI_CONTENT", mode, 16);
    return n > 0 && n < 16 && std::wstring(mode) == L"size";
}

// The file's bytes as "hex:...", its size as "size:<n>", or "error:<Win32 code>".
std::string FileContent(const wchar_t* path) {
    if (path == nullptr) {
        return "error:" + std::to_string(ERROR_INVALID_PARAMETER);
    }
    Handle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!bool(file)) {
        return "error:" + std::to_string(GetLastError());
    }
    const bool sizeOnly = RecordSizeOnly();
    uint64_t total = 0;
    std::vector<uint8_t> bytes;
    uint8_t buffer[64 * 1024];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), buffer, sizeof(buffer), &got, nullptr)) {
            return "error:" + std::to_string(GetLastError());
        }
        if (got == 0) {
            break;
        }
        total += got;
        if (sizeOnly) {
            continue;
        }
        if (bytes.size() + got > kMaxFileBytes) {
            return "error:" + std::to_string(ERROR_FILE_TOO_LARGE);
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    if (sizeOnly) {
        return "size:" + std::to_string(total);
    }
    return "hex:" + rec::ToHex(bytes.data(), bytes.size());
}

void Recipient(std::string& out, const std::string& prefix, const zobrik::MapiRecipDescW& recipient) {
    Field(out, prefix + ".ulReserved", recipient.ulReserved);
    Field(out, prefix + ".recipClass", recipient.ulRecipClass);
    Field(out, prefix + ".name", rec::QuoteText(recipient.lpszName));
    Field(out, prefix + ".address", rec::QuoteText(recipient.lpszAddress));
    Field(out, prefix + ".eidSize", recipient.ulEIDSize);
    Field(out, prefix + ".entryID", Presence(recipient.lpEntryID));
}

// Every field after "index=", up to and including "end".
std::string RecordBody(uintptr_t session, uintptr_t uiParam, const zobrik::MapiMessageW* message, uint32_t flags,
                       uint32_t reserved, uint32_t result, bool blocking) {
    std::string out;
    Field(out, "threadId", GetCurrentThreadId());
    Field(out, "lhSession", Hex64(session));
    Field(out, "ulUIParam", Hex64(uiParam));
    Field(out, "flFlags", flags);
    Field(out, "ulReserved", reserved);
    Field(out, "result", result);
    Field(out, "blocking", blocking ? 1 : 0);
    Field(out, "message", Presence(message));
    if (message != nullptr) {
        Field(out, "message.ulReserved", message->ulReserved);
        Field(out, "message.subject", rec::QuoteText(message->lpszSubject));
        Field(out, "message.noteText", rec::QuoteText(message->lpszNoteText));
        Field(out, "message.messageType", rec::QuoteText(message->lpszMessageType));
        Field(out, "message.dateReceived", rec::QuoteText(message->lpszDateReceived));
        Field(out, "message.conversationID", rec::QuoteText(message->lpszConversationID));
        Field(out, "message.flFlags", message->flFlags);
        Field(out, "message.originator", Presence(message->lpOriginator));
        if (message->lpOriginator != nullptr) {
            Recipient(out, "originator", *message->lpOriginator);
        }
        Field(out, "message.recipCount", message->nRecipCount);
        Field(out, "message.recips", Presence(message->lpRecips));
        if (message->lpRecips != nullptr) {
            const uint32_t count = message->nRecipCount < kMaxEntries ? message->nRecipCount : kMaxEntries;
            for (uint32_t i = 0; i < count; ++i) {
                Recipient(out, "recip[" + std::to_string(i) + "]", message->lpRecips[i]);
            }
        }
        Field(out, "message.fileCount", message->nFileCount);
        Field(out, "message.files", Presence(message->lpFiles));
        if (message->lpFiles != nullptr) {
            const uint32_t count = message->nFileCount < kMaxEntries ? message->nFileCount : kMaxEntries;
            for (uint32_t i = 0; i < count; ++i) {
                const zobrik::MapiFileDescW& file = message->lpFiles[i];
                const std::string prefix = "file[" + std::to_string(i) + "]";
                Field(out, prefix + ".ulReserved", file.ulReserved);
                Field(out, prefix + ".flFlags", file.flFlags);
                Field(out, prefix + ".position", file.nPosition);
                Field(out, prefix + ".pathName", rec::QuoteText(file.lpszPathName));
                Field(out, prefix + ".fileName", rec::QuoteText(file.lpszFileName));
                Field(out, prefix + ".fileType", Presence(file.lpFileType));
                Field(out, prefix + ".content", FileContent(file.lpszPathName));
            }
        }
    }
    out += rec::kLastLine;
    out += '\n';
    return out;
}

// Appends the record to the file named by ZOBRIK_MAPI_LOG, if that is set.
void AppendToLog(const std::string& record) {
    wchar_t path[MAX_PATH * 2];
    const DWORD length = GetEnvironmentVariableW(L"ZOBRIK_MAPI_LOG", path, MAX_PATH * 2);
    if (length == 0 || length >= MAX_PATH * 2) {
        return;
    }
    Handle log(CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!bool(log)) {
        return;
    }
    DWORD written = 0;
    WriteFile(log.Get(), record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
}

template <class Predicate>
BOOL WaitUntil(ULONG timeoutMs, Predicate predicate) {
    State& state = TheState();
    std::unique_lock lock(state.mutex);
    return state.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), predicate) ? TRUE : FALSE;
}

void ReleaseAllLocked(State& state) {
    ++state.releaseGeneration;
    state.changed.notify_all();
}

}  // namespace

extern "C" {

// ULONG MAPISendMailW(ULONG_PTR lhSession, ULONG_PTR ulUIParam, MapiMessageW*, ULONG flFlags, ULONG ulReserved)
uint32_t ZOBRIK_WINAPI MAPISendMailW(uintptr_t lhSession, uintptr_t ulUIParam, zobrik::MapiMessageW* lpMessage,
                                     uint32_t flFlags, uint32_t ulReserved) {
    try {
        State& state = TheState();
        uint32_t result = 0;
        bool blocking = false;
        {
            std::lock_guard lock(state.mutex);
            result = state.result;
            blocking = state.blocking;
        }
        const std::string body = RecordBody(lhSession, ulUIParam, lpMessage, flFlags, ulReserved, result, blocking);
        std::unique_lock lock(state.mutex);
        std::string record(rec::kFirstLine);
        record += "\nindex=" + std::to_string(state.records.size()) + "\n" + body;
        state.records.push_back(record);
        AppendToLog(record);
        state.changed.notify_all();
        if (blocking) {
            const uint64_t generation = state.releaseGeneration;
            ++state.blocked;
            state.changed.notify_all();
            state.changed.wait(lock, [&] { return state.releaseGeneration != generation; });
            --state.blocked;
            state.changed.notify_all();
        }
        return result;
    } catch (...) {
        return kMapiFailure;
    }
}

void WINAPI ZobrikMapiStandIn_SetResult(ULONG result) {
    State& state = TheState();
    std::lock_guard lock(state.mutex);
    state.result = result;
}

void WINAPI ZobrikMapiStandIn_SetBlocking(BOOL blocking) {
    State& state = TheState();
    std::lock_guard lock(state.mutex);
    state.blocking = blocking != FALSE;
    if (!state.blocking) {
        ReleaseAllLocked(state);
    }
}

void WINAPI ZobrikMapiStandIn_ReleaseBlocked() {
    State& state = TheState();
    std::lock_guard lock(state.mutex);
    ReleaseAllLocked(state);
}

void WINAPI ZobrikMapiStandIn_Reset() {
    State& state = TheState();
    std::lock_guard lock(state.mutex);
    state.records.clear();
    state.result = 0;
    state.blocking = false;
    ReleaseAllLocked(state);
}

ULONG WINAPI ZobrikMapiStandIn_CallCount() {
    State& state = TheState();
    std::lock_guard lock(state.mutex);
    return static_cast<ULONG>(state.records.size());
}

BOOL WINAPI ZobrikMapiStandIn_WaitForCalls(ULONG count, ULONG timeoutMs) {
    State& state = TheState();
    return WaitUntil(timeoutMs, [&] { return state.records.size() >= count; });
}

ULONG WINAPI ZobrikMapiStandIn_BlockedCount() {
    State& state = TheState();
    std::lock_guard lock(state.mutex);
    return state.blocked;
}

BOOL WINAPI ZobrikMapiStandIn_WaitForBlocked(ULONG count, ULONG timeoutMs) {
    State& state = TheState();
    return WaitUntil(timeoutMs, [&] { return state.blocked >= count; });
}

ULONG WINAPI ZobrikMapiStandIn_GetCall(ULONG index, char* buffer, ULONG size) {
    try {
        State& state = TheState();
        std::lock_guard lock(state.mutex);
        if (index >= state.records.size()) {
            return 0;
        }
        const std::string& record = state.records[index];
        const ULONG needed = static_cast<ULONG>(record.size() + 1);
        if (buffer != nullptr && size >= needed) {
            record.copy(buffer, record.size());
            buffer[record.size()] = '\0';
        }
        return needed;
    } catch (...) {
        return 0;
    }
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        OutputDebugStringA("MAPI32 stand-in (recording) attached\n");
    } else if (reason == DLL_PROCESS_DETACH) {
        OutputDebugStringA("MAPI32 stand-in (recording) detached\n");
    }
    return TRUE;
}

}  // extern "C"

// The exported signatures must match the ones the callers use.
static_assert(std::is_same_v<decltype(&MAPISendMailW), zobrik::MapiSendMailWFunction>);
static_assert(std::is_same_v<decltype(&ZobrikMapiStandIn_SetResult), ZobrikMapiStandIn_SetResultFn>);
static_assert(std::is_same_v<decltype(&ZobrikMapiStandIn_SetBlocking), ZobrikMapiStandIn_SetBlockingFn>);
static_assert(std::is_same_v<decltype(&ZobrikMapiStandIn_ReleaseBlocked), ZobrikMapiStandIn_ReleaseBlockedFn>);
static_assert(std::is_same_v<decltype(&ZobrikMapiStandIn_Reset), ZobrikMapiStandIn_ResetFn>);
static_assert(std::is_same_v<decltype(&ZobrikMapiStandIn_CallCount), ZobrikMapiStandIn_CallCountFn>);
static_assert(std::is_same_v<decltype(&ZobrikMapiStandIn_WaitForCalls), ZobrikMapiStandIn_WaitForCallsFn>);
static_assert(std::is_same_v<decltype(&ZobrikMapiStandIn_BlockedCount), ZobrikMapiStandIn_BlockedCountFn>);
static_assert(std::is_same_v<decltype(&ZobrikMapiStandIn_WaitForBlocked), ZobrikMapiStandIn_WaitForBlockedFn>);
static_assert(std::is_same_v<decltype(&ZobrikMapiStandIn_GetCall), ZobrikMapiStandIn_GetCallFn>);
