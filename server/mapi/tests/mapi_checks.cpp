// ZobrikMapi.dll as programs meet it: a program (this one, built 64-bit and
// 32-bit) calls MAPISendMail, MAPISendMailW and MAPISendDocuments of Wine's
// own mapi32.dll, which dispatches them to the prefix's default mail client,
// registered here as ZobrikMapi.dll. A plain checker rather than a
// GoogleTest program, so that the 32-bit tree needs nothing more.
//
// usage: zobrik_mapi_checks outside <ZobrikMapi.dll> <recording MAPI32.dll>
//          no session channel: the call goes to the previous mail client
//        zobrik_mapi_checks session <ZobrikMapi.dll>
//          in a test session (tests/wine/run-in-session.sh): the mail reaches
//          the recording Simple MAPI stand-in of the client side
//        zobrik_mapi_checks refused <ZobrikMapi.dll>
//          in a test session whose plug-in takes one recipient at most
// The DLL paths are Linux paths. Prints "ok: ..." or "FAIL: ..." per check;
// the exit status is the number of failed checks.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "include/simple_mapi_types.h"
#include "server/mapi/mapi_results.h"
#include "server/mapi/simple_mapi_ansi.h"
#include "server/server_registry.h"
#include "tests/standins/mapi_record_format.h"

namespace {

namespace mapi = zobrik::mapi;
namespace rec = zobrik::mapirecord;

int gFailures = 0;

void Check(bool ok, const std::string& what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok) ++gFailures;
}

// ---- Debugger lines (OutputDebugStringW raises them as exceptions) ----------

std::mutex gLinesMutex;
std::vector<std::string> gLines;

LONG CALLBACK CatchDebugLine(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    const DWORD code = record->ExceptionCode;
    if ((code != 0x40010006 && code != 0x4001000A) || record->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
    const size_t length = size_t(record->ExceptionInformation[0]);
    std::string line;
    if (code == 0x40010006) {
        line.assign(reinterpret_cast<const char*>(record->ExceptionInformation[1]), length ? length - 1 : 0);
    } else {
        const auto* wide = reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]);
        for (size_t i = 0; i + 1 < length; ++i) line += wide[i] < 0x80 ? char(wide[i]) : '?';
    }
    std::lock_guard lock(gLinesMutex);
    gLines.push_back(line);
    return EXCEPTION_CONTINUE_EXECUTION;
}

// Whether a debugger line since the last call holds `text`; forgets them.
bool DebugLineHas(const std::string& text) {
    std::lock_guard lock(gLinesMutex);
    bool found = false;
    for (const std::string& line : gLines) found = found || line.find(text) != std::string::npos;
    gLines.clear();
    return found;
}

// ---- The prefix's registry -----------------------------------------------------

void SetString(HKEY root, const std::wstring& key, const wchar_t* value, const std::wstring& data, REGSAM view = 0,
               DWORD type = REG_SZ) {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &opened, nullptr) !=
        ERROR_SUCCESS) {
        Check(false, "registry key can be written");
        return;
    }
    RegSetValueExW(opened, value, 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                   DWORD((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);
}

void DeleteValue(HKEY root, const std::wstring& key, const wchar_t* value, REGSAM view) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE | view, &opened) != ERROR_SUCCESS) return;
    RegDeleteValueW(opened, value);
    RegCloseKey(opened);
}

const std::wstring kClients = zobrik::server::kMailClientsKey;

// The mail client registered in this program's registry view.
void RegisterMailClient(const std::wstring& name, const std::wstring& dll, DWORD type = REG_SZ) {
    SetString(HKEY_LOCAL_MACHINE, kClients + L"\\" + name, L"DLLPath", dll, 0, type);
}

// The recorded previous default of this program's bitness (always in the
// 64-bit view, as setup writes it); nullopt removes it.
void SetPreviousMailClient(const std::optional<std::wstring>& name) {
    const wchar_t* value =
        sizeof(void*) == 8 ? zobrik::server::kPreviousMailClientValue : zobrik::server::kPreviousMailClient32Value;
    if (name)
        SetString(HKEY_LOCAL_MACHINE, zobrik::server::kPreviousDefaultsKey, value, *name, KEY_WOW64_64KEY);
    else
        DeleteValue(HKEY_LOCAL_MACHINE, zobrik::server::kPreviousDefaultsKey, value, KEY_WOW64_64KEY);
}

std::wstring WindowsPath(const char* linuxPath) {
    std::wstring out = L"Z:";
    for (const char* c = linuxPath; *c; ++c) out += *c == '/' ? L'\\' : wchar_t(static_cast<unsigned char>(*c));
    return out;
}

// ---- Wine's mapi32 ---------------------------------------------------------------

using SendMailA = ULONG(WINAPI*)(ULONG_PTR, ULONG_PTR, mapi::MapiMessageA*, ULONG, ULONG);
using SendMailW = ULONG(WINAPI*)(ULONG_PTR, ULONG_PTR, zobrik::MapiMessageW*, ULONG, ULONG);
using SendDocuments = ULONG(WINAPI*)(ULONG_PTR, LPSTR, LPSTR, LPSTR, ULONG);

struct Mapi32 {
    HMODULE module = nullptr;
    SendMailA sendMail = nullptr;
    SendMailW sendMailW = nullptr;
    SendDocuments sendDocuments = nullptr;
};

template <class F>
F Find(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Loaded after the registry names ZobrikMapi the default: Wine's mapi32
// reads the default mail client when it attaches.
Mapi32 LoadMapi32(const std::wstring& provider) {
    SetString(HKEY_LOCAL_MACHINE, kClients, nullptr, zobrik::server::kMailClientName);
    RegisterMailClient(zobrik::server::kMailClientName, provider);
    // DLLPathEx too, as setup registers it: Wine's mapi32 takes
    // MAPIFreeBuffer from that DLL only.
    SetString(HKEY_LOCAL_MACHINE, kClients + L"\\" + zobrik::server::kMailClientName, L"DLLPathEx", provider);
    Mapi32 m;
    m.module = LoadLibraryW(L"mapi32.dll");
    Check(m.module != nullptr, "Wine's mapi32.dll loads");
    if (!m.module) return m;
    m.sendMail = Find<SendMailA>(m.module, "MAPISendMail");
    m.sendMailW = Find<SendMailW>(m.module, "MAPISendMailW");
    m.sendDocuments = Find<SendDocuments>(m.module, "MAPISendDocuments");
    Check(m.sendMail && m.sendMailW && m.sendDocuments, "mapi32 exports the three sending functions");
    Check(GetModuleHandleW(L"ZobrikMapi.dll") != nullptr, "mapi32 loaded ZobrikMapi.dll as the default mail client");
    return m;
}

// ---- Records of the recording stand-in (ZOBRIK_MAPI_LOG) ------------------------

using Record = std::map<std::string, std::string>;

std::wstring LogPath() {
    wchar_t path[MAX_PATH * 2] = {};
    GetEnvironmentVariableW(L"ZOBRIK_MAPI_LOG", path, MAX_PATH * 2);
    return path;
}

std::vector<Record> Records() {
    std::vector<Record> records;
    std::ifstream in(LogPath().c_str(), std::ios::binary);
    std::string line;
    Record current;
    while (std::getline(in, line)) {
        if (line == rec::kLastLine) {
            records.push_back(current);
            current.clear();
            continue;
        }
        const size_t eq = line.find('=');
        if (eq != std::string::npos) current[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return records;
}

// A quoted text field as UTF-8 ("(null)" for null, "(malformed)" otherwise).
std::string Text(const Record& r, const std::string& key) {
    const auto found = r.find(key);
    if (found == r.end()) return "(missing)";
    const auto text = rec::UnquoteText(found->second);
    if (!text) return "(malformed)";
    if (!*text) return "(null)";
    std::string utf8;
    for (const char16_t c : **text) {
        if (c < 0x80) {
            utf8 += char(c);
        } else if (c < 0x800) {
            utf8 += char(0xC0 | (c >> 6));
            utf8 += char(0x80 | (c & 0x3F));
        } else {
            utf8 += char(0xE0 | (c >> 12));
            utf8 += char(0x80 | ((c >> 6) & 0x3F));
            utf8 += char(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

std::string Field(const Record& r, const std::string& key) {
    const auto found = r.find(key);
    return found == r.end() ? "(missing)" : found->second;
}

// ---- Files --------------------------------------------------------------------

std::wstring TempFolder() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"zobrik-mapi-checks-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::string Narrow(const std::wstring& wide) {
    std::string out;
    for (const wchar_t c : wide) out += char(c);  // the test's paths are ASCII
    return out;
}

void WriteFile(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(i * 13 + 5);
    return bytes;
}

std::string Hex(const std::vector<uint8_t>& bytes) { return "hex:" + rec::ToHex(bytes.data(), bytes.size()); }

// ---- A program's messages -----------------------------------------------------

// The message most programs send: two recipients and one attachment.
struct AnsiMail {
    std::string subject = "Invoice 42";
    std::string body = "Please find the invoice attached.";
    std::string toName = "Bob Stone";
    std::string toAddress = "SMTP:bob@example.com";
    std::string ccAddress = "carol@example.com";
    std::string path;
    std::string fileName = "invoice.pdf";
    mapi::MapiRecipDescA recips[2] = {};
    mapi::MapiFileDescA file = {};
    mapi::MapiMessageA message = {};

    explicit AnsiMail(const std::string& attachment) : path(attachment) {}
    mapi::MapiMessageA* Get() {
        recips[0] = {0, mapi::kMapiTo, toName.data(), toAddress.data(), 0, nullptr};
        recips[1] = {0, mapi::kMapiCc, nullptr, ccAddress.data(), 0, nullptr};
        file = {0, 0, 0xFFFFFFFF, path.data(), fileName.data(), nullptr};
        message.lpszSubject = subject.data();
        message.lpszNoteText = body.data();
        message.nRecipCount = 2;
        message.lpRecips = recips;
        message.nFileCount = 1;
        message.lpFiles = &file;
        return &message;
    }
};

struct WideMail {
    std::wstring subject = L"R\u00e9sum\u00e9 \u2013 draft";
    std::wstring body = L"Line 1\r\nLine 2 \u00fc";
    std::wstring toName = L"Z\u00f6e";
    std::wstring toAddress = L"zoe@example.com";
    std::wstring bccAddress = L"SMTP:audit@example.com";
    std::wstring path;
    zobrik::MapiRecipDescW recips[2] = {};
    zobrik::MapiFileDescW file = {};
    zobrik::MapiMessageW message = {};

    explicit WideMail(const std::wstring& attachment) : path(attachment) {}
    zobrik::MapiMessageW* Get() {
        recips[0] = {0, mapi::kMapiTo, toName.data(), toAddress.data(), 0, nullptr};
        recips[1] = {0, mapi::kMapiBcc, nullptr, bccAddress.data(), 0, nullptr};
        file = {0, 0, 0xFFFFFFFF, path.data(), nullptr, nullptr};
        message.lpszSubject = subject.data();
        message.lpszNoteText = body.data();
        message.nRecipCount = 2;
        message.lpRecips = recips;
        message.nFileCount = 1;
        message.lpFiles = &file;
        return &message;
    }
};

std::string Utf8(const std::wstring& text) {
    std::string out;
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    out.resize(size_t(n));
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// ---- Logon, names, buffers, and what a compose-only provider cannot do --------

using Logon = ULONG(WINAPI*)(ULONG_PTR, LPSTR, LPSTR, ULONG, ULONG, ULONG_PTR*);
using Logoff = ULONG(WINAPI*)(ULONG_PTR, ULONG_PTR, ULONG, ULONG);
using ResolveName = ULONG(WINAPI*)(ULONG_PTR, ULONG_PTR, LPSTR, ULONG, ULONG, mapi::MapiRecipDescA**);
using FreeBuffer = ULONG(WINAPI*)(LPVOID);
using ReadMail = ULONG(WINAPI*)(ULONG_PTR, ULONG_PTR, LPSTR, ULONG, ULONG, mapi::MapiMessageA**);

void SessionAndAddresses(const Mapi32& m) {
    const auto logon = Find<Logon>(m.module, "MAPILogon");
    const auto logoff = Find<Logoff>(m.module, "MAPILogoff");
    const auto resolve = Find<ResolveName>(m.module, "MAPIResolveName");
    const auto free = Find<FreeBuffer>(m.module, "MAPIFreeBuffer");
    const auto read = Find<ReadMail>(m.module, "MAPIReadMail");
    if (!logon || !logoff || !resolve || !free || !read) {
        Check(false, "mapi32 exports MAPILogon, MAPILogoff, MAPIResolveName, MAPIFreeBuffer, MAPIReadMail");
        return;
    }
    ULONG_PTR session = 0;
    Check(logon(0, nullptr, nullptr, 0x1, 0, &session) == mapi::kMapiSuccess && session != 0 &&
              logoff(session, 0, 0, 0) == mapi::kMapiSuccess,
          "MAPILogon gives a session handle without a dialog; MAPILogoff ends it");
    ULONG_PTR next = 0;
    Check(logon(0, nullptr, nullptr, 0x1, 0, &next) == mapi::kMapiSuccess && next != 0 && next != session,
          "every MAPILogon gives a session handle of its own");
    std::string name = "Ann Lee <ann@example.com>";
    mapi::MapiRecipDescA* recipient = nullptr;
    const ULONG resolved = resolve(0, 0, name.data(), 0, 0, &recipient);
    Check(resolved == mapi::kMapiSuccess && recipient != nullptr &&
              std::string(recipient->lpszAddress) == "SMTP:ann@example.com" &&
              std::string(recipient->lpszName) == "Ann Lee" && recipient->ulRecipClass == mapi::kMapiTo,
          "MAPIResolveName resolves an address to itself");
    if (resolved == mapi::kMapiSuccess) {
        Check(free(recipient) == mapi::kMapiSuccess, "MAPIFreeBuffer frees what MAPIResolveName handed out");
        Check(free(recipient) == mapi::kMapiFailure, "a buffer freed twice is refused, not freed again");
    }
    std::string person = "Ann Lee";
    recipient = nullptr;
    Check(resolve(0, 0, person.data(), 0, 0, &recipient) == mapi::kMapiUnknownRecipient && recipient == nullptr &&
              DebugLineHas("MAPIResolveName cannot resolve \"Ann Lee\""),
          "a name that is no address is MAPI_E_UNKNOWN_RECIPIENT");
    mapi::MapiMessageA* message = nullptr;
    Check(
        read(0, 0, nullptr, 0, 0, &message) == mapi::kMapiNotSupported && DebugLineHas("MAPIReadMail is not supported"),
        "MAPIReadMail is MAPI_E_NOT_SUPPORTED");
}

// ---- Outside a session ----------------------------------------------------------

void Outside(const std::wstring& provider, const std::wstring& recorder) {
    const std::wstring folder = TempFolder();
    // Under a name of its own: a file named MAPI32.dll would be taken for
    // the system's mapi32, which is loaded already.
    const std::wstring recorderCopy = folder + L"\\RecordingMail.dll";
    Check(CopyFileW(recorder.c_str(), recorderCopy.c_str(), FALSE) != FALSE, "the recording stand-in is copied");
    const std::wstring log = folder + L"\\mapi.log";
    DeleteFileW(log.c_str());  // of an earlier run with the same process id
    SetEnvironmentVariableW(L"ZOBRIK_MAPI_LOG", log.c_str());
    SetEnvironmentVariableW(L"ZOBRIK_RECORDER_DIR", folder.c_str());
    // The previous client's path as setup may find it: with a variable.
    // DLLPathEx, where a client has it, is the DLL; its DLLPath is for older
    // stubs (here a file that does not exist).
    RegisterMailClient(L"Recorder", L"%ZOBRIK_RECORDER_DIR%\\NoSuchMail.dll", REG_EXPAND_SZ);
    SetString(HKEY_LOCAL_MACHINE, kClients + L"\\Recorder", L"DLLPathEx", L"%ZOBRIK_RECORDER_DIR%\\RecordingMail.dll",
              0, REG_EXPAND_SZ);
    RegisterMailClient(L"Looping", provider);
    const std::wstring attachment = folder + L"\\invoice.pdf";
    const std::vector<uint8_t> bytes = Pattern(3000);
    WriteFile(attachment, bytes);

    Mapi32 m = LoadMapi32(provider);
    if (!m.module) return;

    SetPreviousMailClient(L"Recorder");
    AnsiMail ansi(Narrow(attachment));
    Check(m.sendMail(0, 0, ansi.Get(), mapi::kMapiDialog, 0) == mapi::kMapiSuccess,
          "outside a session MAPISendMail answers what the previous mail client answered");
    Check(DebugLineHas("MAPISendMail goes to the previous default mail client \"Recorder\""),
          "a debugger line names the previous mail client");
    std::vector<Record> records = Records();
    Check(records.size() == 1, "the previous mail client got the call (as MAPISendMailW: it has no ANSI form)");
    if (records.size() == 1) {
        const Record& r = records[0];
        Check(Text(r, "message.subject") == "Invoice 42" && Text(r, "message.noteText") == ansi.body,
              "subject and text arrive as the program wrote them");
        Check(Text(r, "recip[0].name") == "Bob Stone" && Text(r, "recip[0].address") == "SMTP:bob@example.com" &&
                  Field(r, "recip[1].recipClass") == "2" && Text(r, "recip[1].address") == "carol@example.com",
              "recipients arrive unchanged, with their classes");
        Check(Text(r, "file[0].pathName") == Narrow(attachment) && Field(r, "file[0].content") == Hex(bytes),
              "the attachment is the program's own file");
        Check(Field(r, "flFlags") == std::to_string(mapi::kMapiDialog) && Field(r, "lhSession") == "0x0",
              "the flags pass on; the session is the previous client's own");
    }

    // The program's session handle (here one of the provider's) means
    // nothing to the previous client: it gets 0.
    WideMail wide(attachment);
    Check(m.sendMailW(7, 0, wide.Get(), mapi::kMapiDialogModeless, 0) == mapi::kMapiSuccess,
          "outside a session MAPISendMailW reaches the previous mail client");
    records = Records();
    Check(records.size() == 2 && Text(records.back(), "message.subject") == Utf8(wide.subject) &&
              Text(records.back(), "recip[0].name") == Utf8(wide.toName) &&
              Field(records.back(), "flFlags") == std::to_string(mapi::kMapiDialogModeless) &&
              Field(records.back(), "lhSession") == "0x0",
          "the wide call arrives unchanged, in a session of the previous client's own");

    std::string delimiter = ";";
    std::string paths = Narrow(attachment);
    std::string names = "scan.pdf";
    Check(m.sendDocuments(0, delimiter.data(), paths.data(), names.data(), 0) == mapi::kMapiSuccess,
          "outside a session MAPISendDocuments reaches the previous mail client");
    records = Records();
    Check(records.size() == 3 && Field(records.back(), "flFlags") == std::to_string(mapi::kMapiDialog) &&
              Field(records.back(), "message.recipCount") == "0" &&
              Text(records.back(), "file[0].fileName") == "scan.pdf" &&
              Field(records.back(), "file[0].content") == Hex(bytes),
          "a client without MAPISendDocuments gets its files as MAPISendMailW with a compose window");
    DebugLineHas("");

    struct NoWay {
        std::optional<std::wstring> previous;
        const char* line;
        const char* what;
    };
    const NoWay noWays[] = {
        {std::nullopt, "no mail client was the default before", "no previous mail client"},
        {L"", "no mail client was the default before", "an empty record"},
        {L"zobrik", "is ZobrikMapi itself", "the provider recorded as its own previous client"},
        {L"Looping", "is ZobrikMapi itself", "a previous client whose DLL is the provider"},
        {L"Vanished", "is no longer registered", "a previous client that is gone"},
    };
    for (const NoWay& c : noWays) {
        SetPreviousMailClient(c.previous);
        const size_t before = Records().size();
        Check(m.sendMailW(0, 0, wide.Get(), 0, 0) == mapi::kMapiFailure && DebugLineHas(c.line) &&
                  Records().size() == before,
              std::string("MAPI_E_FAILURE and a debugger line for ") + c.what);
    }
    SetPreviousMailClient(std::nullopt);
    SessionAndAddresses(m);
}

// ---- In a session ------------------------------------------------------------------

void InSession(const std::wstring& provider) {
    const std::wstring folder = TempFolder();
    SetPreviousMailClient(std::nullopt);
    Mapi32 m = LoadMapi32(provider);
    if (!m.module) return;
    const std::wstring attachment = folder + L"\\invoice.pdf";
    const std::vector<uint8_t> bytes = Pattern(200000);
    WriteFile(attachment, bytes);

    WideMail wide(attachment);
    Check(m.sendMailW(0, 0, wide.Get(), 0, 0) == mapi::kMapiSuccess, "MAPISendMailW in a session: SUCCESS_SUCCESS");
    std::vector<Record> records = Records();
    Check(records.size() == 1, "the client's mail program got one mail");
    if (!records.empty()) {
        const Record& r = records.back();
        Check(Text(r, "message.subject") == Utf8(wide.subject) && Text(r, "message.noteText") == Utf8(wide.body),
              "subject and text arrive exactly");
        Check(Field(r, "recip[0].recipClass") == "1" && Text(r, "recip[0].name") == "zoe@example.com" &&
                  Text(r, "recip[0].address") == "SMTP:zoe@example.com" && Field(r, "recip[1].recipClass") == "3" &&
                  Text(r, "recip[1].address") == "SMTP:audit@example.com",
              "recipients arrive exactly, in their classes (the plug-in names each by its address)");
        Check(Text(r, "file[0].fileName") == "invoice.pdf" && Field(r, "file[0].content") == Hex(bytes),
              "the attachment's bytes arrive exactly");
        Check(Field(r, "flFlags") == std::to_string(mapi::kMapiDialog),
              "a call without MAPI_DIALOG asks for the client's modal compose window");
    }

    AnsiMail ansi(Narrow(attachment));
    Check(m.sendMail(0, 0, ansi.Get(), mapi::kMapiDialogModeless, 0) == mapi::kMapiSuccess,
          "MAPISendMail in a session: SUCCESS_SUCCESS");
    records = Records();
    Check(records.size() == 2 && Text(records.back(), "recip[0].address") == "SMTP:bob@example.com" &&
              Text(records.back(), "file[0].fileName") == "invoice.pdf" &&
              Field(records.back(), "flFlags") == std::to_string(mapi::kMapiDialog | mapi::kMapiDialogModeless),
          "MAPI_DIALOG_MODELESS gets the client's modeless hand-over");

    // Bad input: each its error, a debugger line, and nothing at the client.
    const std::wstring folderPath = folder + L"\\a folder";
    CreateDirectoryW(folderPath.c_str(), nullptr);
    const std::wstring empty = folder + L"\\empty.txt";
    WriteFile(empty, {});
    const std::wstring huge = folder + L"\\huge.bin";
    {
        // 129 MiB without writing them: a sparse file.
        HANDLE h = CreateFileW(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        LARGE_INTEGER size;
        size.QuadPart = LONGLONG(129) << 20;
        SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
        SetEndOfFile(h);
        CloseHandle(h);
    }
    struct Bad {
        const char* what;
        void (*spoil)(WideMail&, const std::wstring& folder);
        uint32_t code;
        const char* line;
    };
    const Bad bads[] = {
        {"a missing attachment", [](WideMail& w, const std::wstring& f) { w.path = f + L"\\missing.pdf", w.Get(); },
         mapi::kMapiAttachmentNotFound, "does not exist"},
        {"a folder", [](WideMail& w, const std::wstring& f) { w.path = f + L"\\a folder", w.Get(); },
         mapi::kMapiAttachmentOpenFailure, "is a folder"},
        {"a device name", [](WideMail& w, const std::wstring& f) { w.path = f + L"\\nul.txt", w.Get(); },
         mapi::kMapiAttachmentOpenFailure, "names a device"},
        {"the device namespace", [](WideMail& w, const std::wstring&) { w.path = L"\\\\.\\pipe\\x", w.Get(); },
         mapi::kMapiAttachmentOpenFailure, "names a device"},
        {"a file above the client's limit",
         [](WideMail& w, const std::wstring& f) { w.path = f + L"\\huge.bin", w.Get(); }, mapi::kMapiAttachmentTooLarge,
         "more than the client's plug-in takes"},
        {"an unknown recipient class", [](WideMail& w, const std::wstring&) { w.recips[1].ulRecipClass = 9; },
         mapi::kMapiBadRecipType, "has the class 9"},
        {"a name that is no address", [](WideMail& w, const std::wstring&) { w.toAddress.clear(), w.Get(); },
         mapi::kMapiUnknownRecipient, "no usable mail address"},
        {"recipients counted without a list",
         [](WideMail& w, const std::wstring&) { w.message.nRecipCount = 5, w.message.lpRecips = nullptr; },
         mapi::kMapiInvalidRecips, "passes no list"},
        {"1,001 recipients", [](WideMail& w, const std::wstring&) { w.message.nRecipCount = 1001; },
         mapi::kMapiTooManyRecipients, "more than the client's plug-in takes (1000)"},
        {"251 attachments", [](WideMail& w, const std::wstring&) { w.message.nFileCount = 251; },
         mapi::kMapiTooManyFiles, "more than the client's plug-in takes (250)"},
    };
    for (const Bad& bad : bads) {
        WideMail w(attachment);
        w.Get();
        bad.spoil(w, folder);
        const size_t before = Records().size();
        const ULONG result = m.sendMailW(0, 0, &w.message, 0, 0);
        Check(result == bad.code && DebugLineHas(bad.line) && Records().size() == before,
              std::string(bad.what) + ": error " + std::to_string(bad.code) + " (got " + std::to_string(result) +
                  "), a debugger line, nothing sent");
    }
    Check(m.sendMailW(0, 0, nullptr, 0, 0) == mapi::kMapiFailure && DebugLineHas("passed no message"),
          "a null message: MAPI_E_FAILURE");

    WideMail withEmpty(empty);
    Check(m.sendMailW(0, 0, withEmpty.Get(), 0, 0) == mapi::kMapiSuccess &&
              Field(Records().back(), "file[0].content") == "hex:",
          "an empty file is sent as an empty attachment");

    // Explorer's "Send to" and MAPISendDocuments name nobody: the client's
    // compose window opens with an empty To line.
    WideMail nobody(attachment);
    nobody.Get();
    nobody.message.nRecipCount = 0;
    Check(m.sendMailW(0, 0, &nobody.message, 0, 0) == mapi::kMapiSuccess &&
              Field(Records().back(), "message.recipCount") == "0" &&
              Field(Records().back(), "file[0].content") == Hex(bytes),
          "a mail without recipients reaches the client's mail program with its attachment");

    std::string delimiter = ";";
    std::string paths = Narrow(attachment) + ";" + Narrow(empty);
    std::string names = "scan.pdf;notes.txt";
    records = Records();
    const size_t before = records.size();
    Check(m.sendDocuments(0, delimiter.data(), paths.data(), names.data(), 0) == mapi::kMapiSuccess,
          "MAPISendDocuments in a session: SUCCESS_SUCCESS");
    records = Records();
    Check(records.size() == before + 1 && Field(records.back(), "message.recipCount") == "0" &&
              Field(records.back(), "flFlags") == std::to_string(mapi::kMapiDialog) &&
              Text(records.back(), "file[0].fileName") == "scan.pdf" &&
              Field(records.back(), "file[0].content") == Hex(bytes) &&
              Text(records.back(), "file[1].fileName") == "notes.txt" &&
              Field(records.back(), "file[1].content") == "hex:",
          "MAPISendDocuments' files arrive exactly, under their names, in the client's compose window");
}

// The client's plug-in takes one recipient at most (its administrator's
// policy): its refusal maps to MAPI_E_TOO_MANY_RECIPIENTS.
void Refused(const std::wstring& provider) {
    const std::wstring folder = TempFolder();
    SetPreviousMailClient(std::nullopt);
    Mapi32 m = LoadMapi32(provider);
    if (!m.module) return;
    const std::wstring attachment = folder + L"\\invoice.pdf";
    WriteFile(attachment, Pattern(10));
    WideMail wide(attachment);
    Check(m.sendMailW(0, 0, wide.Get(), 0, 0) == mapi::kMapiTooManyRecipients &&
              DebugLineHas("ZobrikMapi: the client refused the mail: Exception: char const *       too many records"),
          "the client's \"too many records\" is MAPI_E_TOO_MANY_RECIPIENTS with the client's text on a debugger line");
    Check(Records().empty(), "nothing reached the client's mail program");
}

}  // namespace

int main(int argc, char** argv) {
    AddVectoredExceptionHandler(1, CatchDebugLine);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "outside" && argc == 4) {
        Outside(WindowsPath(argv[2]), WindowsPath(argv[3]));
    } else if (mode == "session" && argc == 3) {
        InSession(WindowsPath(argv[2]));
    } else if (mode == "refused" && argc == 3) {
        Refused(WindowsPath(argv[2]));
    } else {
        std::fprintf(stderr, "usage: %s outside|session|refused <ZobrikMapi.dll> [<recording MAPI32.dll>]\n", argv[0]);
        return 100;
    }
    std::printf("%d failed\n", gFailures);
    return gFailures;
}
