#include "attachment_staging.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <utility>

#include "staged_file_names.h"

namespace zobrik {

namespace {

constexpr DWORD kPathBufferSize = 512;  // paths up to 511 characters
constexpr DWORD kLongestTempPath = 260;
constexpr wchar_t kDirectoryPrefix[] = L"Email-Attachment-";

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) noexcept : handle_(handle) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { Close(); }

    bool Valid() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const noexcept { return handle_; }
    bool Close() noexcept {
        if (!Valid()) {
            return true;
        }
        return CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) != FALSE;
    }

private:
    HANDLE handle_;
};

// Creates the directory unless it exists. The shared staging directory is
// never removed by a request, so once it exists it stays; a directory that
// another request or client creates at the same moment is no failure.
void EnsureDirectory(const wchar_t* path) {
    if (PathIsDirectoryW(path)) {
        return;
    }
    int result = SHCreateDirectory(nullptr, path);
    if (result != ERROR_SUCCESS && !((result == ERROR_ALREADY_EXISTS || result == ERROR_FILE_EXISTS) && PathIsDirectoryW(path))) {
        RaiseMailError("unable to create temporary directory");
    }
}

// The shared staging directory: the temp folder's "Ema1.tmp".
std::wstring PrepareSharedDirectory() {
    wchar_t tempFolder[kPathBufferSize];
    DWORD length = GetTempPathW(kPathBufferSize, tempFolder);
    if (length - 1 > kLongestTempPath - 1) {  // 0 and above 260 both fail
        RaiseMailError("temp path too long");
    }
    if (!PathFileExistsW(tempFolder) && SHCreateDirectory(nullptr, tempFolder) != ERROR_SUCCESS) {
        RaiseMailError("unable to ensure temp directory exists");
    }
    wchar_t name[kPathBufferSize];
    if (GetTempFileNameW(tempFolder, kDirectoryPrefix, 1, name) == 0) {
        RaiseMailError("unable to create temporary file for directory");
    }
    // A plain file of that name is in the way of the directory.
    if (DeleteFileW(name) && RemoveDirectoryW(name)) {
        RaiseMailError("unable to delete temporary file for directory");
    }
    EnsureDirectory(name);
    if (wcscpy_s(tempFolder, kPathBufferSize, name) != 0 || wcscat_s(tempFolder, kPathBufferSize, L"\\") != 0) {
        RaiseMailError("unable to create temp path var");
    }
    return tempFolder;
}

// A directory of this request's own inside the shared one, created new: an
// existing directory is never reused.
std::wstring CreateRequestDirectory(const std::wstring& shared) {
    static volatile LONG counter = 0;
    const DWORD process = GetCurrentProcessId();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        wchar_t name[64];
        _snwprintf(name, std::size(name), L"%lx-%lx", static_cast<unsigned long>(process),
                   static_cast<unsigned long>(InterlockedIncrement(&counter)));
        std::wstring path = shared + name;
        if (path.size() >= kPathBufferSize - 1) {
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

void WriteStagedFile(const wchar_t* path, const MailAttachment& attachment) {
    FileHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        RaiseMailError("unable to write temporary file");
    }
    DWORD written = 0;
    if (!WriteFile(file.Get(), attachment.data, DWORD(attachment.size), &written, nullptr)) {
        file.Close();
        RaiseMailError("unable to write to temporary file");
    }
    if (written != attachment.size) {
        file.Close();
        RaiseMailError("short write to temporary file");
    }
    if (!file.Close()) {
        RaiseMailError("error closing temporary file");
    }
}

}  // namespace

void StageAttachments(MailRequest& request, StagingArea& area) {
    area.sharedDirectory = PrepareSharedDirectory();
    area.directory = CreateRequestDirectory(area.sharedDirectory);
    area.files.assign(request.attachments.size(), std::wstring());

    std::vector<WideString> names = StagedFileNames(request.attachments);
    for (size_t j = 0; j < request.attachments.size(); ++j) {
        wchar_t path[kPathBufferSize];
        if (wcscpy_s(path, kPathBufferSize, area.directory.c_str()) != 0) {
            RaiseMailError("unable to create temp file var");
        }
        if (wcscat_s(path, kPathBufferSize, names[j].c_str()) != 0) {
            RaiseMailError("unable to create temp file name");
        }
        WriteStagedFile(path, request.attachments[j]);
        area.files[j] = path;
        request.attachments[j].stagedPath = area.files[j].c_str();
    }
}

void RemoveStagedFiles(const StagingArea& area, uint32_t count) noexcept {
    for (uint32_t j = 0; j < count && j < area.files.size(); ++j) {
        if (!area.files[j].empty()) {
            DeleteFileW(area.files[j].c_str());
        }
    }
    if (!area.directory.empty()) {
        RemoveDirectoryW(area.directory.c_str());
    }
}

}  // namespace zobrik
