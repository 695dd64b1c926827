#include "attachment_files.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "include/win/owners.h"
#include "windows_text.h"

namespace zobrik::mapi {

namespace {

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
           error == ERROR_BAD_NETPATH || error == ERROR_INVALID_DRIVE;
}

AttachmentFile Failed(AttachmentFile::Kind kind, DWORD error) {
    AttachmentFile file;
    file.kind = kind;
    file.systemError = error;
    return file;
}

// Reads `size` bytes from the start of `file` into `out`, 16 MiB at a time.
void ReadWhole(HANDLE file, uint8_t* out, size_t size, const std::string& path) {
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN))
        throw AttachmentReadError("attachment \"" + path + "\" cannot be read (system error " +
                                  std::to_string(GetLastError()) + ")");
    size_t done = 0;
    while (done < size) {
        const DWORD ask = DWORD(std::min<size_t>(size - done, size_t(16) << 20));
        DWORD got = 0;
        if (!ReadFile(file, out + done, ask, &got, nullptr))
            throw AttachmentReadError("attachment \"" + path + "\" could not be read (system error " +
                                      std::to_string(GetLastError()) + ")");
        if (got == 0) throw AttachmentReadError("attachment \"" + path + "\" became shorter while it was read");
        done += got;
    }
}

}  // namespace

AttachmentFile OpenAttachmentFile(const std::string& utf8Path) {
    const std::wstring path = WideFromUtf8(utf8Path);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return Failed(IsMissing(error) ? AttachmentFile::Kind::Missing : AttachmentFile::Kind::Unreadable, error);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Failed(AttachmentFile::Kind::Folder, 0);
    // Others may keep writing or even remove the file while it is read; its
    // size is taken now, and a file that shrinks is refused.
    auto handle = std::make_shared<UniqueHandle>(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!*handle) {
        const DWORD error = GetLastError();
        return Failed(IsMissing(error) ? AttachmentFile::Kind::Missing : AttachmentFile::Kind::Unreadable, error);
    }
    if (GetFileType(handle->Get()) != FILE_TYPE_DISK) return Failed(AttachmentFile::Kind::Device, 0);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle->Get(), &size)) return Failed(AttachmentFile::Kind::Unreadable, GetLastError());
    AttachmentFile file;
    file.kind = AttachmentFile::Kind::File;
    file.size = uint64_t(size.QuadPart);
    file.fill = [handle, utf8Path](uint8_t* out, size_t bytes) { ReadWhole(handle->Get(), out, bytes, utf8Path); };
    return file;
}

}  // namespace zobrik::mapi
