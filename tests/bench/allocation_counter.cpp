#include "allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> g_live{0};
std::atomic<size_t> g_peak{0};

// Each block carries its size in front of it, one alignment unit long.
constexpr size_t kHeader = alignof(std::max_align_t) > sizeof(size_t) ? alignof(std::max_align_t) : sizeof(size_t);

void* Allocate(size_t size) {
    void* raw = std::malloc(size + kHeader);
    if (!raw) throw std::bad_alloc();
    *static_cast<size_t*>(raw) = size;
    size_t live = g_live.fetch_add(size) + size;
    size_t peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
    return static_cast<char*>(raw) + kHeader;
}

void Release(void* pointer) noexcept {
    if (!pointer) return;
    void* raw = static_cast<char*>(pointer) - kHeader;
    g_live.fetch_sub(*static_cast<size_t*>(raw));
    std::free(raw);
}

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* pointer) noexcept { Release(pointer); }
void operator delete[](void* pointer) noexcept { Release(pointer); }
void operator delete(void* pointer, size_t) noexcept { Release(pointer); }
void operator delete[](void* pointer, size_t) noexcept { Release(pointer); }

namespace zobrik::bench {

size_t LiveBytes() noexcept { return g_live.load(); }
size_t PeakBytes() noexcept { return g_peak.load(); }
void ResetPeak() noexcept { g_peak = g_live.load(); }

}  // namespace zobrik::bench
