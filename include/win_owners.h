// Owners of Windows resources: one template, one alias per kind. Each
// closes its resource once, when it goes, and can be moved but not copied.
#pragma once

#include <windows.h>

#include <utility>

namespace zobrik {

template <class Handle, auto Close>
class UniqueResource {
public:
    UniqueResource() noexcept = default;
    explicit UniqueResource(Handle handle) noexcept : handle_(handle) {}
    ~UniqueResource() { Reset(); }
    UniqueResource(UniqueResource&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.handle_, Handle{}));
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    explicit operator bool() const noexcept { return handle_ != Handle{}; }
    Handle get() const noexcept { return handle_; }
    // For functions that return the resource through a pointer.
    Handle* Put() noexcept {
        Reset();
        return &handle_;
    }
    void Reset(Handle handle = Handle{}) noexcept {
        if (handle_ != Handle{}) {
            Close(handle_);
        }
        handle_ = handle;
    }

private:
    Handle handle_{};
};

using UniqueHook = UniqueResource<HHOOK, UnhookWindowsHookEx>;
using UniqueRegistryKey = UniqueResource<HKEY, RegCloseKey>;

}  // namespace zobrik
