// Test-side access to the recording MAPI32 stand-in (tests/standins): wraps
// its ZobrikMapiStandIn_* exports and parses its call records.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zobrik::standin {

// One MapiRecipDescW as MAPISendMailW received it.
struct RecordedRecipient {
    uint32_t reserved = 0;
    uint32_t recipClass = 0;
    std::optional<std::wstring> name;     // lpszName; nullopt for a null pointer
    std::optional<std::wstring> address;  // lpszAddress
    uint32_t eidSize = 0;
    bool hasEntryId = false;  // lpEntryID not null

    bool operator==(const RecordedRecipient&) const = default;
};

// One MapiFileDescW, with the file's bytes as they were during the call.
struct RecordedFile {
    uint32_t reserved = 0;
    uint32_t flags = 0;
    uint32_t position = 0;
    std::optional<std::wstring> pathName;
    std::optional<std::wstring> fileName;
    bool hasFileType = false;      // lpFileType not null
    bool contentRead = false;      // the file at pathName could be opened and read
    uint32_t openError = 0;        // the Win32 error otherwise
    std::vector<uint8_t> content;  // its bytes when contentRead (unless only the size was recorded)
    uint64_t contentSize = 0;      // number of bytes read
};

struct RecordedMapiCall {
    uint32_t index = 0;     // 0 for the first call since load or Reset
    uint32_t threadId = 0;  // the calling thread
    uint64_t session = 0;   // lhSession
    uint64_t uiParam = 0;   // ulUIParam
    uint32_t flags = 0;     // flFlags
    uint32_t reserved = 0;  // ulReserved
    uint32_t result = 0;    // what the stand-in answered
    bool blocking = false;  // the call was held until released

    bool hasMessage = false;  // lpMessage not null; the fields below only then
    uint32_t messageReserved = 0;
    std::optional<std::wstring> subject;
    std::optional<std::wstring> noteText;
    std::optional<std::wstring> messageType;
    std::optional<std::wstring> dateReceived;
    std::optional<std::wstring> conversationId;
    uint32_t messageFlags = 0;
    std::optional<RecordedRecipient> originator;  // nullopt for a null lpOriginator
    uint32_t recipCount = 0;                      // nRecipCount
    bool hasRecips = false;                       // lpRecips not null
    std::vector<RecordedRecipient> recips;        // the entries read from lpRecips
    uint32_t fileCount = 0;                       // nFileCount
    bool hasFiles = false;                        // lpFiles not null
    std::vector<RecordedFile> files;
};

// Parses one record of the stand-in; nullopt when it is malformed.
std::optional<RecordedMapiCall> ParseMapiRecord(const std::string& record);

// The stand-in in this process. Every call is safe on an invalid object
// (counts 0, waits fail, no records).
class MapiStandIn {
public:
    // The loaded module named MAPI32 (GetModuleHandleW(L"MAPI32")), if it is the
    // recording stand-in; otherwise an invalid object.
    static MapiStandIn Find();
    // Wraps `module` if it has the stand-in's exports.
    explicit MapiStandIn(HMODULE module);
    MapiStandIn();

    bool Valid() const;
    HMODULE Module() const;

    void SetResult(ULONG result) const;
    void SetBlocking(bool blocking) const;  // false also releases blocked calls
    void ReleaseBlocked() const;            // lets every call blocked now return
    void Reset() const;                     // releases, forgets records, result 0, not blocking
    ULONG CallCount() const;
    bool WaitForCalls(ULONG count, std::chrono::milliseconds timeout) const;
    ULONG BlockedCount() const;
    bool WaitForBlocked(ULONG count, std::chrono::milliseconds timeout) const;

    std::optional<std::string> RawCall(ULONG index) const;  // the record's text
    std::optional<RecordedMapiCall> Call(ULONG index) const;
    std::vector<RecordedMapiCall> Calls() const;  // every parsable record, in order

private:
    HMODULE module_ = nullptr;
    FARPROC setResult_ = nullptr;
    FARPROC setBlocking_ = nullptr;
    FARPROC releaseBlocked_ = nullptr;
    FARPROC reset_ = nullptr;
    FARPROC callCount_ = nullptr;
    FARPROC waitForCalls_ = nullptr;
    FARPROC blockedCount_ = nullptr;
    FARPROC waitForBlocked_ = nullptr;
    FARPROC getCall_ = nullptr;
};

// Folder of a MAPI32 stand-in beside the running exe: MapiStandInDir(L"mapi-recording").
std::wstring MapiStandInDir(const std::wstring& name);

}  // namespace zobrik::standin
