// The request buffers' address space on POSIX: an anonymous mapping that
// allows no access and reserves no swap until its pages are made writable.
#include <unistd.h>

#include <sys/mman.h>

#include "plugin/request_buffer.h"

namespace zobrik {

AddressRange ReserveAddressSpace(size_t size) noexcept {
    void* base = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED) {
        return {};
    }
    return {static_cast<uint8_t*>(base), size};
}

bool CommitAddressSpace(AddressRange range, size_t offset, size_t size) noexcept {
    return mprotect(range.base + offset, size, PROT_READ | PROT_WRITE) == 0;
}

void ReleaseAddressSpace(AddressRange range) noexcept { munmap(range.base, range.size); }

size_t AddressSpacePageSize() noexcept {
    static const size_t page = size_t(sysconf(_SC_PAGESIZE));
    return page;
}

}  // namespace zobrik
