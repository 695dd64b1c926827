// ZobrikMapi.dll's Simple MAPI functions. Windows' MAPI stub (MAPI32.dll)
// routes a program's Simple MAPI calls here when the provider's key under
// HKLM\Software\Clients\Mail is the default mail client, or for the
// programs listed under HKLM\Software\Microsoft\Windows Messaging
// Subsystem\MSMapiApps ("Mapi32 Stub Library", "Explicitly Mapping MAPI
// Calls to MAPI DLLs", learn.microsoft.com/previous-versions/windows/
// desktop/windowsmapi/). The functions follow "MAPISendMail function",
// "MAPISendMailW function", "MAPISendDocuments function", "MAPILogon
// function", "MAPIResolveName function" and "MAPIFreeBuffer function"
// (learn.microsoft.com/windows/win32/api/mapi/).
//
// In a Remote Desktop session whose client has the plug-in, a mail goes on
// the "Zobrik/mail" channel to the client's mail program; otherwise the
// call goes, as it came, to the mail client that was the default before.
// No exception leaves an export: every failure is a Simple MAPI error and a
// debugger line "ZobrikMapi: ...".
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <type_traits>
#include <vector>

#include "attachment_files.h"
#include "include/simple_mapi_types.h"
#include "previous_client.h"
#include "sdk/zobrik/wts_channel.h"
#include "server/mapi/mail_hand_over.h"
#include "server/mapi/program_mail.h"
#include "windows_text.h"

namespace {

namespace mapi = zobrik::mapi;
namespace sdk = zobrik::sdk;

// <mapi.h>'s names for the types of the exports (its macros would clash
// with include/simple_mapi_types.h; server/mapi/win/mapi_layout.cpp checks the layouts).
using LHANDLE = ULONG_PTR;
using FLAGS = ULONG;
using MapiMessage = mapi::MapiMessageA;
using MapiRecipDesc = mapi::MapiRecipDescA;
using MapiFileDesc = mapi::MapiFileDescA;
using lpMapiMessage = MapiMessage*;
using lpMapiRecipDesc = MapiRecipDesc*;
using LPLHANDLE = LHANDLE*;
using LPULONG = ULONG*;
constexpr ULONG MAPI_DIALOG = mapi::kMapiDialog;

using SendMailA = ULONG(WINAPI*)(LHANDLE, ULONG_PTR, lpMapiMessage, FLAGS, ULONG);
using SendMailW = ULONG(WINAPI*)(LHANDLE, ULONG_PTR, zobrik::MapiMessageW*, FLAGS, ULONG);
using SendDocuments = ULONG(WINAPI*)(ULONG_PTR, LPSTR, LPSTR, LPSTR, ULONG);

std::optional<std::string> DecodeAnsi(const char* text) { return mapi::Utf8FromAnsi(text); }

ULONG Answer(const mapi::Outcome& outcome) {
    if (!outcome.Succeeded()) mapi::WriteDebugLine(outcome.line);
    return outcome.code;
}

template <class Function>
Function Find(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// An ANSI message as the wide structures, for a previous client that has
// only MAPISendMailW: ANSI code page to UTF-16 loses nothing.
class WideCopy {
public:
    explicit WideCopy(const MapiMessage& message) {
        message_.ulReserved = message.ulReserved;
        message_.lpszSubject = Text(message.lpszSubject);
        message_.lpszNoteText = Text(message.lpszNoteText);
        message_.lpszMessageType = Text(message.lpszMessageType);
        message_.lpszDateReceived = Text(message.lpszDateReceived);
        message_.lpszConversationID = Text(message.lpszConversationID);
        message_.flFlags = message.flFlags;
        message_.nRecipCount = message.nRecipCount;
        message_.nFileCount = message.nFileCount;
        if (message.lpOriginator != nullptr) {
            originator_ = Recipient(*message.lpOriginator);
            message_.lpOriginator = &originator_;
        }
        if (message.lpRecips != nullptr) {
            for (ULONG i = 0; i < message.nRecipCount; ++i) recipients_.push_back(Recipient(message.lpRecips[i]));
            message_.lpRecips = recipients_.data();
        }
        if (message.lpFiles != nullptr) {
            for (ULONG i = 0; i < message.nFileCount; ++i) {
                const MapiFileDesc& file = message.lpFiles[i];
                zobrik::MapiFileDescW copy{};
                copy.ulReserved = file.ulReserved;
                copy.flFlags = file.flFlags;
                copy.nPosition = file.nPosition;
                copy.lpszPathName = Text(file.lpszPathName);
                copy.lpszFileName = Text(file.lpszFileName);
                copy.lpFileType = file.lpFileType;
                files_.push_back(copy);
            }
            message_.lpFiles = files_.data();
        }
    }
    zobrik::MapiMessageW* Get() noexcept { return &message_; }

private:
    wchar_t* Text(const char* text) {
        if (text == nullptr) return nullptr;
        const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
        std::wstring& copy = texts_.emplace_back(size_t(units > 0 ? units : 1), L'\0');
        if (units > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, copy.data(), units);
        return copy.data();
    }
    zobrik::MapiRecipDescW Recipient(const MapiRecipDesc& recipient) {
        zobrik::MapiRecipDescW copy{};
        copy.ulReserved = recipient.ulReserved;
        copy.ulRecipClass = recipient.ulRecipClass;
        copy.lpszName = Text(recipient.lpszName);
        copy.lpszAddress = Text(recipient.lpszAddress);
        copy.ulEIDSize = recipient.ulEIDSize;
        copy.lpEntryID = recipient.lpEntryID;
        return copy;
    }

    zobrik::MapiMessageW message_{};
    zobrik::MapiRecipDescW originator_{};
    std::vector<zobrik::MapiRecipDescW> recipients_;
    std::vector<zobrik::MapiFileDescW> files_;
    std::deque<std::wstring> texts_;  // stays put as it grows
};

// MAPISendDocuments' files as a wide message without recipients.
class DocumentsMessage {
public:
    explicit DocumentsMessage(const mapi::ProgramMail& mail) {
        for (const mapi::ProgramAttachment& attachment : mail.attachments) {
            zobrik::MapiFileDescW file{};
            file.nPosition = 0xFFFFFFFF;
            file.lpszPathName = texts_.emplace_back(mapi::WideFromUtf8(attachment.path)).data();
            file.lpszFileName = texts_.emplace_back(mapi::WideFromUtf8(attachment.fileName)).data();
            files_.push_back(file);
        }
        message_.nFileCount = ULONG(files_.size());
        message_.lpFiles = files_.empty() ? nullptr : files_.data();
    }
    zobrik::MapiMessageW* Get() noexcept { return &message_; }

private:
    zobrik::MapiMessageW message_{};
    std::vector<zobrik::MapiFileDescW> files_;
    std::deque<std::wstring> texts_;
};

// Hands the call to the previous default mail client through `call`, which
// returns the client's answer, or nullopt when the client lacks the
// function. The session handle is the provider's, which means nothing to
// that client: it gets 0, a session of its own for the call.
template <class Call>
ULONG CallPreviousClient(const char* function, const std::string& why, Call call) {
    mapi::PreviousClient client = mapi::LoadPreviousClient();
    if (!client.module) {
        mapi::WriteDebugLine(std::string("ZobrikMapi: ") + function + " has no way to the client (" + why +
                             ") and no other mail client to go to: " + client.problem);
        return mapi::kMapiFailure;
    }
    mapi::WriteDebugLine(std::string("ZobrikMapi: ") + function + " goes to the previous default mail client \"" +
                         mapi::Utf8FromWide(client.name) + "\" (" + why + ")");
    // A modeless window of that client may outlive the call: its DLL stays.
    const HMODULE module = client.module.Release();
    std::optional<ULONG> answer;
    {
        mapi::HandOverMark mark;
        answer = call(module);
    }
    if (!answer) {
        mapi::WriteDebugLine(std::string("ZobrikMapi: the previous default mail client has no ") + function);
        return mapi::kMapiNotSupported;
    }
    return *answer;
}

// The common road of the three sending functions: the channel if there is
// one, else the previous client; `read` reads the program's message.
template <class Read, class Forward>
ULONG Serve(const char* function, uint32_t flags, Read read, Forward forward) noexcept {
    try {
        if (mapi::HandingOver()) {
            mapi::WriteDebugLine(std::string("ZobrikMapi: ") + function +
                                 " came back to ZobrikMapi from the previous mail client; refused");
            return mapi::kMapiFailure;
        }
        sdk::WtsChannel channel;
        try {
            channel.Open(sdk::kMailChannelName);
        } catch (const sdk::ChannelError& e) {
            if (e.Kind() != sdk::ChannelErrorKind::NotAvailable)
                return Answer(mapi::Refuse(mapi::kMapiFailure, std::string("the channel failed: ") + e.what()));
            return CallPreviousClient(function, "no \"Zobrik/mail\" channel to the client", forward);
        }
        mapi::ProgramMail mail;
        const mapi::Outcome read_ = read(mail);
        if (!read_.Succeeded()) return Answer(read_);
        return Answer(mapi::HandOver(std::move(mail), flags, mapi::OpenAttachmentFile, channel));
    } catch (const std::bad_alloc&) {
        mapi::WriteDebugLine(std::string("ZobrikMapi: ") + function + " ran out of memory");
        return mapi::kMapiInsufficientMemory;
    } catch (const std::exception& e) {
        mapi::WriteDebugLine(std::string("ZobrikMapi: ") + function + " failed: " + e.what());
        return mapi::kMapiFailure;
    } catch (...) {
        mapi::WriteDebugLine(std::string("ZobrikMapi: ") + function + " failed");
        return mapi::kMapiFailure;
    }
}

// The buffers MAPIResolveName hands out, until MAPIFreeBuffer takes them
// back; a pointer the provider did not hand out is not freed.
class Buffers {
public:
    void* Allocate(size_t size) {
        auto block = std::make_unique<std::byte[]>(size);
        void* address = block.get();
        std::lock_guard lock(mutex_);
        blocks_.emplace(address, std::move(block));
        return address;
    }
    bool Free(void* address) {
        std::lock_guard lock(mutex_);
        return blocks_.erase(address) == 1;
    }

private:
    std::mutex mutex_;
    std::map<void*, std::unique_ptr<std::byte[]>> blocks_;
};

Buffers& TheBuffers() {
    static Buffers buffers;
    return buffers;
}

// UTF-8 in the ANSI code page, or nullopt when a character has no exact form.
std::optional<std::string> AnsiFromUtf8(const std::string& utf8) {
    const std::wstring wide = mapi::WideFromUtf8(utf8);
    if (wide.empty()) return std::string();
    BOOL usedDefault = FALSE;
    const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), int(wide.size()), nullptr, 0,
                                          nullptr, &usedDefault);
    if (bytes <= 0 || usedDefault) return std::nullopt;
    std::string out(size_t(bytes), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), int(wide.size()), out.data(), bytes, nullptr,
                        &usedDefault);
    if (usedDefault) return std::nullopt;
    return out;
}

std::atomic<LHANDLE> gNextSession{1};

ULONG NotSupported(const char* function) noexcept {
    mapi::WriteDebugLine(std::string("ZobrikMapi: ") + function +
                         " is not supported: the provider composes mail, it has no mailbox or address book");
    return mapi::kMapiNotSupported;
}

}  // namespace

extern "C" {

ULONG WINAPI MAPISendMail(LHANDLE lhSession, ULONG_PTR ulUIParam, lpMapiMessage lpMessage, FLAGS flFlags,
                          ULONG ulReserved) {
    (void)lhSession;
    return Serve(
        "MAPISendMail", flFlags,
        [&](mapi::ProgramMail& mail) { return mapi::ReadProgramMail(lpMessage, DecodeAnsi, mail); },
        [&](HMODULE client) -> std::optional<ULONG> {
            if (auto ansi = Find<SendMailA>(client, "MAPISendMail"))
                return ansi(0, ulUIParam, lpMessage, flFlags, ulReserved);
            auto wide = Find<SendMailW>(client, "MAPISendMailW");
            if (!wide) return std::nullopt;
            if (lpMessage == nullptr) return wide(0, ulUIParam, nullptr, flFlags, ulReserved);
            WideCopy copy(*lpMessage);
            return wide(0, ulUIParam, copy.Get(), flFlags, ulReserved);
        });
}

ULONG WINAPI MAPISendMailW(LHANDLE lhSession, ULONG_PTR ulUIParam, zobrik::MapiMessageW* lpMessage, FLAGS flFlags,
                           ULONG ulReserved) {
    (void)lhSession;
    return Serve(
        "MAPISendMailW", flFlags, [&](mapi::ProgramMail& mail) { return mapi::ReadProgramMail(lpMessage, mail); },
        [&](HMODULE client) -> std::optional<ULONG> {
            auto wide = Find<SendMailW>(client, "MAPISendMailW");
            if (!wide) return std::nullopt;
            return wide(0, ulUIParam, lpMessage, flFlags, ulReserved);
        });
}

// Its cover note is a compose window: MAPI_DIALOG.
ULONG WINAPI MAPISendDocuments(ULONG_PTR ulUIParam, LPSTR lpszDelimChar, LPSTR lpszFilePaths, LPSTR lpszFileNames,
                               ULONG ulReserved) {
    return Serve(
        "MAPISendDocuments", MAPI_DIALOG,
        [&](mapi::ProgramMail& mail) {
            return mapi::ReadSentDocuments(lpszDelimChar, lpszFilePaths, lpszFileNames, DecodeAnsi, mail);
        },
        [&](HMODULE client) -> std::optional<ULONG> {
            if (auto documents = Find<SendDocuments>(client, "MAPISendDocuments"))
                return documents(ulUIParam, lpszDelimChar, lpszFilePaths, lpszFileNames, ulReserved);
            // A client with only MAPISendMailW gets what MAPISendDocuments
            // stands for: its files in a compose window.
            auto wide = Find<SendMailW>(client, "MAPISendMailW");
            if (!wide) return std::nullopt;
            mapi::ProgramMail mail;
            const mapi::Outcome read =
                mapi::ReadSentDocuments(lpszDelimChar, lpszFilePaths, lpszFileNames, DecodeAnsi, mail);
            if (!read.Succeeded()) return Answer(read);
            DocumentsMessage message(mail);
            return wide(0, ulUIParam, message.Get(), MAPI_DIALOG, 0);
        });
}

// A session handle without a logon dialog: the client's mail program has
// its own logon.
ULONG WINAPI MAPILogon(ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG, LPLHANDLE lplhSession) {
    if (lplhSession == nullptr)
        return Answer(mapi::Refuse(mapi::kMapiFailure, "MAPILogon got no place for the session"));
    *lplhSession = gNextSession.fetch_add(1);
    return mapi::kMapiSuccess;
}

ULONG WINAPI MAPILogoff(LHANDLE, ULONG_PTR, FLAGS, ULONG) { return mapi::kMapiSuccess; }

ULONG WINAPI MAPIResolveName(LHANDLE, ULONG_PTR, LPSTR lpszName, FLAGS, ULONG, lpMapiRecipDesc* lppRecip) {
    try {
        if (lpszName == nullptr || lppRecip == nullptr)
            return Answer(mapi::Refuse(mapi::kMapiFailure, "MAPIResolveName got no name or no place for the result"));
        const std::optional<std::string> name = mapi::Utf8FromAnsi(lpszName);
        zobrik::sdk::Recipient recipient;
        std::string problem;
        if (!name) problem = "the name is not text in the program's character set";
        if (!name || !mapi::ResolveName(*name, recipient, problem))
            return Answer(mapi::Refuse(mapi::kMapiUnknownRecipient,
                                       "MAPIResolveName cannot resolve \"" + name.value_or("") + "\": " + problem));
        const std::optional<std::string> display =
            AnsiFromUtf8(recipient.displayName.empty() ? recipient.address : recipient.displayName);
        const std::optional<std::string> address = AnsiFromUtf8("SMTP:" + recipient.address);
        if (!display || !address)
            return Answer(mapi::Refuse(mapi::kMapiUnknownRecipient,
                                       "MAPIResolveName: the address has no form in the program's code page"));
        // One block: the descriptor, then its two strings.
        const size_t size = sizeof(MapiRecipDesc) + display->size() + 1 + address->size() + 1;
        auto* block = static_cast<std::byte*>(TheBuffers().Allocate(size));
        auto* result = new (block) MapiRecipDesc{};
        char* text = reinterpret_cast<char*>(block + sizeof(MapiRecipDesc));
        display->copy(text, display->size());
        text[display->size()] = '\0';
        result->lpszName = text;
        text += display->size() + 1;
        address->copy(text, address->size());
        text[address->size()] = '\0';
        result->lpszAddress = text;
        result->ulRecipClass = mapi::kMapiTo;
        *lppRecip = result;
        return mapi::kMapiSuccess;
    } catch (const std::bad_alloc&) {
        return Answer(mapi::Refuse(mapi::kMapiInsufficientMemory, "MAPIResolveName ran out of memory"));
    } catch (...) {
        return Answer(mapi::Refuse(mapi::kMapiFailure, "MAPIResolveName failed"));
    }
}

ULONG WINAPI MAPIFreeBuffer(LPVOID pv) {
    try {
        if (pv == nullptr || TheBuffers().Free(pv)) return mapi::kMapiSuccess;
        return Answer(mapi::Refuse(mapi::kMapiFailure, "MAPIFreeBuffer got a buffer that ZobrikMapi did not hand out"));
    } catch (...) {
        return mapi::kMapiFailure;
    }
}

ULONG WINAPI MAPIFindNext(LHANDLE, ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG, LPSTR) {
    return NotSupported("MAPIFindNext");
}
ULONG WINAPI MAPIReadMail(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG, lpMapiMessage*) {
    return NotSupported("MAPIReadMail");
}
ULONG WINAPI MAPISaveMail(LHANDLE, ULONG_PTR, lpMapiMessage, FLAGS, ULONG, LPSTR) {
    return NotSupported("MAPISaveMail");
}
ULONG WINAPI MAPIDeleteMail(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG) { return NotSupported("MAPIDeleteMail"); }
ULONG WINAPI MAPIAddress(LHANDLE, ULONG_PTR, LPSTR, ULONG, LPSTR, ULONG, lpMapiRecipDesc, FLAGS, ULONG, LPULONG,
                         lpMapiRecipDesc*) {
    return NotSupported("MAPIAddress");
}
ULONG WINAPI MAPIDetails(LHANDLE, ULONG_PTR, lpMapiRecipDesc, FLAGS, ULONG) { return NotSupported("MAPIDetails"); }

}  // extern "C"

// The exports have the signatures that callers use.
static_assert(std::is_same_v<decltype(&MAPISendMail), SendMailA>);
static_assert(std::is_same_v<decltype(&MAPISendMailW), SendMailW>);
static_assert(std::is_same_v<decltype(&MAPISendDocuments), SendDocuments>);
