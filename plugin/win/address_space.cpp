// The request buffers' address space on Windows: reserved with VirtualAlloc,
// committed page by page as the bytes arrive, released whole.
#include <windows.h>

#include "plugin/request_buffer.h"

namespace zobrik {

AddressRange ReserveAddressSpace(size_t size) noexcept {
    void* base = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
    if (!base) {
        return {};
    }
    return {static_cast<uint8_t*>(base), size};
}

bool CommitAddressSpace(AddressRange range, size_t offset, size_t size) noexcept {
    return VirtualAlloc(range.base + offset, size, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

void ReleaseAddressSpace(AddressRange range) noexcept { VirtualFree(range.base, 0, MEM_RELEASE); }

size_t AddressSpacePageSize() noexcept {
    static const size_t page = [] {
        SYSTEM_INFO info{};
        GetSystemInfo(&info);
        return size_t(info.dwPageSize);
    }();
    return page;
}

}  // namespace zobrik
