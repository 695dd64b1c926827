// The storage of one request as it arrives: address space for the whole
// announced total is taken at once, and memory is committed within it only as
// the bytes arrive, so the buffer never moves and every byte is copied into
// it once. The platform layer (plugin/win, plugin/posix) reserves, commits
// and releases; the decisions (how much, charged to what) stay with the
// callers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "include/unique_resource.h"

namespace zobrik {

// A range of address space taken from the system.
struct AddressRange {
    uint8_t* base = nullptr;
    size_t size = 0;
};

// The platform layer. ReserveAddressSpace takes address space only: nothing
// is committed, so nothing can be read or written yet; an empty range when
// the system has none left. CommitAddressSpace makes the `size` bytes from
// `offset` readable and writable (both multiples of AddressSpacePageSize);
// false when the system refuses. ReleaseAddressSpace gives the whole range
// back, committed or not.
AddressRange ReserveAddressSpace(size_t size) noexcept;
bool CommitAddressSpace(AddressRange range, size_t offset, size_t size) noexcept;
void ReleaseAddressSpace(AddressRange range) noexcept;
size_t AddressSpacePageSize() noexcept;

struct AddressRangeTraits {
    using Handle = AddressRange;
    static AddressRange Empty() noexcept { return {}; }
    static bool IsEmpty(AddressRange range) noexcept { return range.base == nullptr; }
    static void Close(AddressRange range) noexcept { ReleaseAddressSpace(range); }
};
using UniqueAddressRange = UniqueResource<AddressRangeTraits>;

class RequestBuffer {
public:
    RequestBuffer() noexcept = default;
    RequestBuffer(RequestBuffer&& other) noexcept;
    RequestBuffer& operator=(RequestBuffer&& other) noexcept;
    RequestBuffer(const RequestBuffer&) = delete;
    RequestBuffer& operator=(const RequestBuffer&) = delete;

    // Gives up what it holds, then takes address space for `capacity` bytes
    // without committing any; false, holding nothing, when there is none.
    bool Reserve(size_t capacity) noexcept;

    // The bytes that are committed once at least `bytes` are: whole pages,
    // never beyond the reserved address space. What CommitUpTo would hold.
    size_t CommittedFor(size_t bytes) const noexcept;
    // Commits the pages up to CommittedFor(`bytes`); false, changing
    // nothing, when the system refuses or `bytes` passes the reservation.
    bool CommitUpTo(size_t bytes) noexcept;

    // Copies `size` bytes to the end; false, copying nothing, when they do
    // not fit in what is committed.
    bool Append(const uint8_t* bytes, size_t size) noexcept;

    // Gives the address space and the committed memory back.
    void Release() noexcept;

    uint8_t* Data() noexcept { return range_.Get().base; }
    const uint8_t* Data() const noexcept { return range_.Get().base; }
    size_t Size() const noexcept { return size_; }
    size_t Committed() const noexcept { return committed_; }
    size_t Capacity() const noexcept { return range_.Get().size; }

private:
    UniqueAddressRange range_;
    size_t committed_ = 0;
    size_t size_ = 0;
};

}  // namespace zobrik
