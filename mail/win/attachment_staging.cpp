#include "attachment_staging.h"

#include <windows.h>

#include <bcrypt.h>
#include <sddl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <utility>

#include "include/debug_output.h"
#include "include/win/owners.h"
#include "include/win/staging_location.h"
#include "mail/staged_file_names.h"
#include "mail/staging_ledgers.h"
#include "mail/staging_rules.h"

namespace zobrik {

namespace {

constexpr DWORD kPathBufferSize = 512;  // paths up to 511 characters
constexpr wchar_t kZoneStream[] = L":Zone.Identifier";

// OwnerOnlySecurityText of the current user.
UniqueLocalMemory<void> OwnerOnlySecurityDescriptor() {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) {
        return {};
    }
    UniqueHandle token(rawToken);
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    std::unique_ptr<BYTE[]> user(new (std::nothrow) BYTE[size]);
    if (!user || !GetTokenInformation(token.Get(), TokenUser, user.get(), size, &size)) {
        return {};
    }
    wchar_t* rawSid = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.get())->User.Sid, &rawSid)) {
        return {};
    }
    UniqueLocalMemory<wchar_t> sid(rawSid);
    const std::wstring sddl = OwnerOnlySecurityText(sid.Get());
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return {};
    }
    return UniqueLocalMemory<void>(descriptor);
}

// Makes the existing shared directory the current user's alone: its owner
// and owner-only access list are set again, as one found there may come
// from an older version or from someone else in a shared temp folder. The
// directory itself is opened, never what a link would lead to; the list is
// set on it alone (children that other processes keep are left as they are).
void ClaimSharedDirectory(const wchar_t* path) {
    UniqueHandle directory(CreateFileW(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (!directory || !GetFileInformationByHandle(directory.Get(), &information)) {
        RaiseMailError("staging directory is not the user's own");
    }
    // Windows shows a link on the handle. Wine opens what a Unix symbolic
    // link leads to even so and shows the link by its path alone; a path
    // that is gone by now counts as a link too (all attribute bits set).
    const DWORD attributesByPath = GetFileAttributesW(path);
    if ((information.dwFileAttributes | attributesByPath) & FILE_ATTRIBUTE_REPARSE_POINT) {
        RaiseMailError("staging directory is a link");
    }
    if (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        RaiseMailError("unable to create temporary directory");
    }
    UniqueLocalMemory<void> descriptor = OwnerOnlySecurityDescriptor();
    if (!descriptor || !SetKernelObjectSecurity(directory.Get(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                                descriptor.Get())) {
        RaiseMailError("staging directory is not the user's own");
    }
}

// Creates the shared directory for the current user alone, or claims the one
// that exists. A link (junction or symbolic link) there could lead the
// attachments anywhere: then nothing is written.
void EnsureSharedDirectory(const wchar_t* path) {
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        UniqueLocalMemory<void> descriptor = OwnerOnlySecurityDescriptor();
        SECURITY_ATTRIBUTES security{sizeof(security), descriptor.Get(), FALSE};
        int result = SHCreateDirectoryExW(nullptr, path, descriptor ? &security : nullptr);
        // Another request or client may have created it at the same moment.
        if (result != ERROR_SUCCESS && GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
            RaiseMailError("unable to create temporary directory");
        }
    }
    ClaimSharedDirectory(path);
}

// The shared staging directory, "...\Temp\Ema1.tmp\".
std::wstring PrepareSharedDirectory() {
    wchar_t tempFolder[kPathBufferSize];
    DWORD length = GetTempPathW(kPathBufferSize, tempFolder);
    if (length - 1 > 260 - 1) {  // 0 and above 260 both fail
        RaiseMailError("temp path too long");
    }
    if (!PathFileExistsW(tempFolder) && SHCreateDirectory(nullptr, tempFolder) != ERROR_SUCCESS) {
        RaiseMailError("unable to ensure temp directory exists");
    }
    std::wstring name = StagingDirectoryPath();
    if (name.empty()) {
        RaiseMailError("unable to create temporary file for directory");
    }
    // A plain file of that name is in the way of the directory.
    if (DeleteFileW(name.c_str()) && RemoveDirectoryW(name.c_str())) {
        RaiseMailError("unable to delete temporary file for directory");
    }
    EnsureSharedDirectory(name.c_str());
    if (name.size() + 1 >= kPathBufferSize) {
        RaiseMailError("unable to create temp path var");
    }
    return name + L"\\";
}

// Reserves the bytes against the free space that other workers have not
// reserved yet (staging_ledgers.h).
DiskReservation ReserveFreeSpace(const std::wstring& directory, uint64_t bytesToWrite) {
    return ReserveStagingSpace(bytesToWrite, [&] {
        ULARGE_INTEGER available{}, total{};
        if (!GetDiskFreeSpaceExW(directory.c_str(), &available, &total, nullptr)) {
            RaiseMailError("unable to read the free disk space");
        }
        return VolumeSpace{available.QuadPart, total.QuadPart};
    });
}

bool SupportsNamedStreams(const std::wstring& directory) {
    wchar_t root[MAX_PATH + 1];
    DWORD flags = 0;
    return GetVolumePathNameW(directory.c_str(), root, MAX_PATH + 1) &&
           GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
           (flags & FILE_NAMED_STREAMS);
}

uint64_t RandomBits() {
    uint64_t value = 0;
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&value), sizeof(value),
                                        BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        RaiseMailError("unable to create temporary directory");
    }
    return value;
}

// A directory of this request's own inside the shared one, with a random
// name, created new: an existing directory is never reused.
std::wstring CreateRequestDirectory(const std::wstring& shared) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::wstring path = shared + RequestDirectoryName(GetCurrentProcessId(), RandomBits());
        if (path.size() + 1 >= kPathBufferSize) {
            RaiseMailError("unable to create temp path var");
        }
        if (CreateDirectoryW(path.c_str(), nullptr)) {
            return path + L"\\";
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    RaiseMailError("unable to create temporary directory");
}

std::wstring FilePath(const std::wstring& directory, const WideString& name) {
    wchar_t path[kPathBufferSize];
    if (wcscpy_s(path, kPathBufferSize, directory.c_str()) != 0) {
        RaiseMailError("unable to create temp file var");
    }
    if (wcscat_s(path, kPathBufferSize, name.c_str()) != 0) {
        RaiseMailError("unable to create temp file name");
    }
    return path;
}

bool NameTaken(DWORD error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }

// Creates the attachment's file under its name, or, when a file of that
// name exists (only one of this request's own can: the directory is new),
// under the next numbered name. Case pairs beyond Latin-1 and short 8.3
// aliases name the same file on Windows; CREATE_NEW finds them all.
UniqueHandle CreateStagedFile(StagingArea& area, const WideString& name) {
    if (name.empty()) {
        RaiseMailError("unable to write temporary file");  // the path would be the directory itself
    }
    for (unsigned n = 1; n <= area.Files().size() + 1; ++n) {
        std::wstring path = FilePath(area.Directory(), n == 1 ? name : NumberedFileName(name, n));
        UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            area.TakeFile(std::move(path));
            return file;
        }
        if (!NameTaken(GetLastError())) {
            break;
        }
    }
    RaiseMailError("unable to write temporary file");
}

void WriteAll(UniqueHandle& file, const void* data, DWORD size) {
    DWORD written = 0;
    if (!WriteFile(file.Get(), data, size, &written, nullptr)) {
        CloseReporting(file);
        RaiseMailError("unable to write to temporary file");
    }
    if (written != size) {
        CloseReporting(file);
        RaiseMailError("short write to temporary file");
    }
    if (!CloseReporting(file)) {
        RaiseMailError("error closing temporary file");
    }
}

void MarkAsFromTheInternet(const std::wstring& path) {
    std::wstring stream = path + kZoneStream;
    UniqueHandle mark(
        CreateFileW(stream.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!mark) {
        RaiseMailError("unable to mark temporary file");
    }
    WriteAll(mark, kInternetZoneIdentifier, DWORD(strlen(kInternetZoneIdentifier)));
}

// Deletes the files in `directory` (ending in a backslash), never what a
// link leads to, then the directory itself.
void RemoveDirectoryAndFiles(const std::wstring& directory) noexcept {
    WIN32_FIND_DATAW entry;
    UniqueFindHandle find(
        FindFirstFileExW((directory + L"*").c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0));
    if (find) {
        do {
            if (!(entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
                DeleteFileW((directory + entry.cFileName).c_str());
            }
        } while (FindNextFileW(find.Get(), &entry));
    }
    RemoveDirectoryW(directory.c_str());
}

}  // namespace

void WindowsStagingFiles::RemoveFile(const Path& file) noexcept { DeleteFileW(file.c_str()); }

void WindowsStagingFiles::RemoveEmptyDirectory(const Path& directory) noexcept { RemoveDirectoryW(directory.c_str()); }

void StageAttachments(MailRequest& request, uint64_t requestLength, StagingArea& area) {
    if (!AttachmentsFitTheRequest(request.attachments, requestLength)) {
        RaiseMailError("attachments larger than the request");
    }
    const std::wstring shared = PrepareSharedDirectory();
    DiskReservation space = ReserveFreeSpace(shared, StagedBytes(request.attachments));
    const bool markFiles = SupportsNamedStreams(shared);

    area.Remove();
    area.TakeDirectory(CreateRequestDirectory(shared), request.attachments.size());
    std::vector<WideString> names = StagedFileNames(request.attachments);
    for (size_t j = 0; j < request.attachments.size(); ++j) {
        MailAttachment& attachment = request.attachments[j];
        UniqueHandle file = CreateStagedFile(area, names[j]);
        WriteAll(file, attachment.data, DWORD(attachment.size));
        space.GiveBackPart(attachment.size);  // in the free space from now on
        if (markFiles) {
            MarkAsFromTheInternet(area.Files().back());
        }
        attachment.stagedPath = area.Files().back().c_str();
    }
}

// Kept areas, their removal when due and at unload.
namespace {

class KeptAreas {
public:
    static KeptAreas& Instance() {
        static KeptAreas* instance = new KeptAreas();  // used from DllMain; never destroyed
        return *instance;
    }

    void Keep(StagingArea area, KeptAreaReservation reservation) noexcept {
        ReservedArea<StagingArea> kept{std::move(reservation), std::move(area)};
        std::lock_guard lock(mutex_);
        try {
            if (!keeper_.Keep(kept, GetTickCount64())) {
                return;  // `kept` removes its files after the lock is released
            }
        } catch (...) {
            return;  // the area could not be kept and has removed its files
        }
        ReportNextRemovalLocked();
        ScheduleLocked();
    }

    void RemoveDue() noexcept {
        std::vector<ReservedArea<StagingArea>> due;
        std::lock_guard lock(mutex_);
        try {
            due = keeper_.TakeDue(GetTickCount64());
        } catch (...) {
        }
        ScheduleLocked();
    }  // `due` removes its files after the lock is released

    // At unload: the timer is stopped (a running callback is waited for, so
    // none runs once the module's code is gone) and every kept area goes.
    // When the process ends, the pool's threads are gone already.
    void RemoveAll(bool processEnding) noexcept {
        PTP_TIMER timer = nullptr;
        {
            std::lock_guard lock(mutex_);
            timer = std::exchange(timer_, nullptr);
        }
        if (timer && !processEnding) {
            SetThreadpoolTimer(timer, nullptr, 0, 0);
            WaitForThreadpoolTimerCallbacks(timer, TRUE);
            CloseThreadpoolTimer(timer);
        }
        std::vector<ReservedArea<StagingArea>> all;
        std::lock_guard lock(mutex_);
        try {
            all = keeper_.End();
        } catch (...) {
        }
    }

private:
    static void CALLBACK OnTimer(PTP_CALLBACK_INSTANCE, void*, PTP_TIMER) { Instance().RemoveDue(); }

    // The debugger line after an area was kept: when the next kept files go.
    void ReportNextRemovalLocked() const noexcept {
        const auto next = keeper_.NextDeadline();
        if (!next) {
            return;
        }
        const uint64_t now = GetTickCount64();
        const unsigned long seconds = static_cast<unsigned long>((*next > now ? *next - now : 0) / 1000);
        wchar_t line[96];
        _snwprintf(line, std::size(line), L"Mail: attachments kept for an open compose window, next removal in %lu s",
                   seconds);
        line[std::size(line) - 1] = L'\0';
        DebugEvent(line);
    }

    void ScheduleLocked() noexcept {
        auto next = keeper_.NextDeadline();
        if (!next) {
            if (timer_) {
                SetThreadpoolTimer(timer_, nullptr, 0, 0);
            }
            return;
        }
        if (!timer_) {
            // No callback library: the pool would then keep the module loaded
            // for as long as the timer exists. Unloading stops the timer.
            timer_ = CreateThreadpoolTimer(&OnTimer, nullptr, nullptr);
            if (!timer_) {
                return;  // removed at unload instead
            }
        }
        const uint64_t now = GetTickCount64();
        const int64_t wait100ns = -int64_t((*next > now ? *next - now : 0) * 10000);
        FILETIME dueTime{DWORD(uint64_t(wait100ns)), DWORD(uint64_t(wait100ns) >> 32)};
        SetThreadpoolTimer(timer_, &dueTime, 0, 1000);
    }

    SlimLock mutex_;
    StagingKeeper<StagingArea> keeper_;
    PTP_TIMER timer_ = nullptr;
};

// Whether the process `id` runs and was started before `since`: a process
// started later only reuses the id of the one that made the directory.
bool ProcessRunsSince(DWORD id, const FILETIME& since) {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    if (!process) {
        return GetLastError() == ERROR_ACCESS_DENIED;  // it exists; leave its files alone
    }
    DWORD exitCode = 0;
    FILETIME created, exited, kernel, user;
    if (!GetExitCodeProcess(process.Get(), &exitCode) || exitCode != STILL_ACTIVE) {
        return false;
    }
    if (!GetProcessTimes(process.Get(), &created, &exited, &kernel, &user)) {
        return true;
    }
    return CompareFileTime(&created, &since) <= 0;
}

// The shared staging directory as SweepAbandonedRequestDirectories sees it.
class WindowsStagingRoot {
public:
    struct Entry {
        WideString name;
        bool isDirectory = false;  // and not a link
        FILETIME created{};
    };

    bool IsUsable() {
        path_ = StagingDirectoryPath();
        const DWORD attributes = path_.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path_.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            return false;
        }
        path_ += L"\\";
        return true;
    }

    template <class Visit>
    void ForEachEntry(Visit visit) const {
        WIN32_FIND_DATAW entry;
        UniqueFindHandle find(
            FindFirstFileExW((path_ + L"*").c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0));
        if (!find) {
            return;
        }
        do {
            const bool isDirectory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                                     !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
            visit(Entry{entry.cFileName, isDirectory, entry.ftCreationTime});
        } while (FindNextFileW(find.Get(), &entry));
    }

    static uint32_t ThisProcess() noexcept { return GetCurrentProcessId(); }
    static bool StillRuns(uint32_t owner, const Entry& entry) { return ProcessRunsSince(owner, entry.created); }
    void RemoveDirectoryAndFiles(const Entry& entry) const noexcept {
        try {
            zobrik::RemoveDirectoryAndFiles(path_ + entry.name + L"\\");
        } catch (...) {
        }
    }

private:
    std::wstring path_;  // ends in a backslash once usable
};

}  // namespace

void KeepForTheMailProgram(StagingArea area, KeptAreaReservation reservation) noexcept {
    KeptAreas::Instance().Keep(std::move(area), std::move(reservation));
}

void RemoveKeptStagingAreas(bool processEnding) noexcept { KeptAreas::Instance().RemoveAll(processEnding); }

void SweepAbandonedStagingAreas() noexcept {
    WindowsStagingRoot root;
    SweepAbandonedRequestDirectories(root);
}

}  // namespace zobrik
