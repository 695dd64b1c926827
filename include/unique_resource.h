// The owner template of the project's one family of resource owners: a
// handle that is freed once, when its owner goes; owners move, never copy.
// include/win/owners.h and include/posix/owners.h give it the traits of their platforms.
#pragma once

#include <utility>

namespace zobrik {

// `Traits` names the handle type, its empty values and how it is closed.
template <class Traits>
class UniqueResource {
public:
    using Handle = typename Traits::Handle;

    UniqueResource() noexcept = default;
    explicit UniqueResource(Handle handle) noexcept : handle_(handle) {}
    ~UniqueResource() { Reset(); }
    UniqueResource(UniqueResource&& other) noexcept : handle_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    explicit operator bool() const noexcept { return !Traits::IsEmpty(handle_); }
    Handle Get() const noexcept { return handle_; }
    // For functions that return the resource through a pointer.
    Handle* Put() noexcept {
        Reset();
        return &handle_;
    }
    // Gives the resource up without freeing it.
    Handle Release() noexcept { return std::exchange(handle_, Traits::Empty()); }
    void Reset(Handle handle = Traits::Empty()) noexcept {
        if (!Traits::IsEmpty(handle_)) {
            Traits::Close(handle_);
        }
        handle_ = handle;
    }

private:
    Handle handle_ = Traits::Empty();
};

}  // namespace zobrik
