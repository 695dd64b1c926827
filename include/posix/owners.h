// Owners of POSIX resources, of the same family as include/win/owners.h: file
// descriptors and directory streams. Each closes its resource once, when it
// goes.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include "include/unique_resource.h"

namespace zobrik {

struct FileDescriptorTraits {
    using Handle = int;
    static Handle Empty() noexcept { return -1; }
    static bool IsEmpty(Handle fd) noexcept { return fd < 0; }
    static void Close(Handle fd) noexcept { ::close(fd); }
};
using UniqueFd = UniqueResource<FileDescriptorTraits>;

struct DirectoryStreamTraits {
    using Handle = DIR*;
    static Handle Empty() noexcept { return nullptr; }
    static bool IsEmpty(Handle stream) noexcept { return stream == nullptr; }
    static void Close(Handle stream) noexcept { ::closedir(stream); }
};
using UniqueDirectoryStream = UniqueResource<DirectoryStreamTraits>;

// Closes `fd` now and reports whether the system accepted the close (a
// file's last write can fail there).
inline bool CloseReporting(UniqueFd& fd) noexcept {
    if (!fd) {
        return true;
    }
    return ::close(fd.Release()) == 0;
}

}  // namespace zobrik
