#include "include/win/staging_location.h"

#include <windows.h>

namespace zobrik {

namespace {

constexpr DWORD kPathBufferSize = 512;
constexpr DWORD kLongestTempPath = 260;

}  // namespace

std::wstring StagingDirectoryPath() {
    wchar_t tempFolder[kPathBufferSize];
    const DWORD length = GetTempPathW(kPathBufferSize, tempFolder);
    if (length - 1 > kLongestTempPath - 1) {  // 0 and above 260 both fail
        return {};
    }
    // With a unique number other than 0 this only composes the name
    // ("<temp>\Ema1.tmp"); it creates and tests nothing.
    wchar_t name[kPathBufferSize];
    if (GetTempFileNameW(tempFolder, L"Email-Attachment-", 1, name) == 0) {
        return {};
    }
    return name;
}

}  // namespace zobrik
