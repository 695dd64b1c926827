// Owners of Windows resources, the one family the code uses: kernel handles,
// modules, find handles, LocalAlloc memory, hooks, registry keys, event log
// sources, a slim lock, COM interface pointers, BSTRs, VARIANTs and the COM
// apartment. Each owner frees its resource once, when it goes; owners move,
// never copy. One verb set for all of them: Get() lends the resource, Put()
// frees what is held and gives the place for an out parameter, Release()
// gives the resource up without freeing it, Reset() frees it now.
#pragma once

#include <windows.h>

#include <oleauto.h>
#include <unknwn.h>

#include <utility>

#include "include/unique_resource.h"

namespace zobrik {

// --- Handles --------------------------------------------------------------

// A kernel handle: files, events, processes, threads. Both null and
// INVALID_HANDLE_VALUE (what CreateFile returns on failure) are empty.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() noexcept { return nullptr; }
    static bool IsEmpty(Handle handle) noexcept { return handle == nullptr || handle == INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) noexcept { CloseHandle(handle); }
};
using UniqueHandle = UniqueResource<KernelHandleTraits>;

// Closes `handle` now and reports whether the system accepted the close (a
// file's last write can fail there).
inline bool CloseReporting(UniqueHandle& handle) noexcept {
    if (!handle) {
        return true;
    }
    return CloseHandle(handle.Release()) != FALSE;
}

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsEmpty(Handle handle) noexcept { return handle == nullptr || handle == INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) noexcept { FindClose(handle); }
};
using UniqueFindHandle = UniqueResource<FindHandleTraits>;

// A resource whose only empty value is null, freed by `close`.
template <class H, auto close>
struct NullEmptyTraits {
    using Handle = H;
    static Handle Empty() noexcept { return nullptr; }
    static bool IsEmpty(Handle handle) noexcept { return handle == nullptr; }
    static void Close(Handle handle) noexcept { close(handle); }
};

using UniqueModule = UniqueResource<NullEmptyTraits<HMODULE, FreeLibrary>>;
using UniqueHook = UniqueResource<NullEmptyTraits<HHOOK, UnhookWindowsHookEx>>;
using UniqueRegistryKey = UniqueResource<NullEmptyTraits<HKEY, RegCloseKey>>;
using UniqueEventSource = UniqueResource<NullEmptyTraits<HANDLE, DeregisterEventSource>>;

// Memory that a system call allocated with LocalAlloc for the caller.
template <class T>
using UniqueLocalMemory = UniqueResource<NullEmptyTraits<T*, LocalFree>>;

// --- Locks ----------------------------------------------------------------

// A slim reader/writer lock used exclusively; works with std::lock_guard
// and std::unique_lock. Needs no clean-up and never throws.
class SlimLock {
public:
    SlimLock() noexcept = default;
    SlimLock(const SlimLock&) = delete;
    SlimLock& operator=(const SlimLock&) = delete;

    void lock() noexcept { AcquireSRWLockExclusive(&lock_); }
    void unlock() noexcept { ReleaseSRWLockExclusive(&lock_); }
    bool try_lock() noexcept { return TryAcquireSRWLockExclusive(&lock_) != FALSE; }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

// --- COM ------------------------------------------------------------------

// An interface pointer that holds one reference.
template <class Interface>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Reset() noexcept {
        if (pointer_) {
            std::exchange(pointer_, nullptr)->Release();
        }
    }

    // Place for an out parameter; releases what is held first.
    Interface** Put() noexcept {
        Reset();
        return &pointer_;
    }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

    Interface* Get() const noexcept { return pointer_; }
    Interface* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }

private:
    Interface* pointer_ = nullptr;
};

// A BSTR, freed with SysFreeString.
class UniqueBstr {
public:
    UniqueBstr() noexcept = default;
    explicit UniqueBstr(BSTR value) noexcept : value_(value) {}
    ~UniqueBstr() { SysFreeString(value_); }
    UniqueBstr(UniqueBstr&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        if (this != &other) {
            SysFreeString(std::exchange(value_, std::exchange(other.value_, nullptr)));
        }
        return *this;
    }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;

    BSTR Get() const noexcept { return value_; }
    // Place for an out parameter; frees what is held first.
    BSTR* Put() noexcept {
        SysFreeString(std::exchange(value_, nullptr));
        return &value_;
    }

private:
    BSTR value_ = nullptr;
};

// A VARIANT, cleared with VariantClear.
class UniqueVariant {
public:
    UniqueVariant() noexcept { VariantInit(&value_); }
    ~UniqueVariant() { VariantClear(&value_); }
    UniqueVariant(UniqueVariant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
    UniqueVariant& operator=(UniqueVariant&& other) noexcept {
        if (this != &other) {
            VariantClear(&value_);
            value_ = other.value_;
            VariantInit(&other.value_);
        }
        return *this;
    }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    // The VARIANT passed by value to a call; this object keeps owning it.
    const VARIANT& Get() const noexcept { return value_; }
    // Place for an out parameter; clears what is held first.
    VARIANT* Put() noexcept {
        VariantClear(&value_);
        return &value_;
    }

private:
    VARIANT value_;
};

// COM on the calling thread for the life of this object, balanced only if
// initialisation succeeded.
class ComApartment {
public:
    ComApartment() noexcept : result_(CoInitialize(nullptr)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT result_;
};

}  // namespace zobrik
