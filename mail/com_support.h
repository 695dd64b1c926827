// Owning helpers for COM automation: BSTRs, VARIANTs, a COM apartment, and
// the rule that every failed call or missing object ends the attempt with an
// exception carrying the HRESULT.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

#include "com_ptr.h"

namespace zobrik {

struct ComError {
    HRESULT result;
};

// Takes the thread's error information of a failed call, so that it is
// released here and not kept until the apartment ends.
inline void DiscardErrorInfo() noexcept {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        info->Release();
    }
}

inline void Check(HRESULT result) {
    if (FAILED(result)) {
        DiscardErrorInfo();
        throw ComError{result};
    }
}

// The object a call delivered; a missing one ends the attempt.
template <class Interface>
Interface* Need(const ComPtr<Interface>& object) {
    if (!object) {
        throw ComError{E_POINTER};
    }
    return object.Get();
}

// A BSTR copied from a wide string; a null string gives a null BSTR.
class Bstr {
public:
    explicit Bstr(const wchar_t* text) : value_(text ? SysAllocString(text) : nullptr) {
        if (text && !value_) {
            throw ComError{E_OUTOFMEMORY};
        }
    }
    // From narrow text in the ANSI code page, as the self-test's fixed texts.
    static Bstr FromAnsi(const char* text);

    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(value_); }

    BSTR Get() const noexcept { return value_; }

private:
    struct Adopt {};
    Bstr(BSTR value, Adopt) noexcept : value_(value) {}
    BSTR value_;
};

class Variant {
public:
    Variant() noexcept { VariantInit(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&value_); }

    static Variant Int(int value) {
        Variant v;
        v.value_.vt = VT_INT;
        v.value_.intVal = value;
        return v;
    }
    static Variant I4(long value) {
        Variant v;
        v.value_.vt = VT_I4;
        v.value_.lVal = value;
        return v;
    }
    static Variant Bool(bool value) {
        Variant v;
        v.value_.vt = VT_BOOL;
        v.value_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        return v;
    }
    // The standard value for an omitted optional argument.
    static Variant Missing() {
        Variant v;
        v.value_.vt = VT_ERROR;
        v.value_.scode = DISP_E_PARAMNOTFOUND;
        return v;
    }
    static Variant String(const wchar_t* text) {
        Variant v;
        v.value_.vt = VT_BSTR;
        v.value_.bstrVal = text ? SysAllocString(text) : nullptr;
        if (text && !v.value_.bstrVal) {
            throw ComError{E_OUTOFMEMORY};
        }
        return v;
    }

    Variant(Variant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }

    // The VARIANT passed by value to a call; this object keeps owning it.
    const VARIANT& Get() const noexcept { return value_; }

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

inline Bstr Bstr::FromAnsi(const char* text) {
    if (!text) {
        return Bstr(nullptr);
    }
    size_t length = strlen(text);
    if (length > 0x7FFFFFFF) {
        throw ComError{E_INVALIDARG};
    }
    int units = MultiByteToWideChar(CP_ACP, 0, text, int(length) + 1, nullptr, 0);
    if (units <= 0) {
        throw ComError{HRESULT_FROM_WIN32(GetLastError())};
    }
    BSTR value = SysAllocStringLen(nullptr, UINT(units - 1));
    if (!value) {
        throw ComError{E_OUTOFMEMORY};
    }
    if (MultiByteToWideChar(CP_ACP, 0, text, int(length) + 1, value, units) <= 0) {
        DWORD error = GetLastError();
        SysFreeString(value);
        throw ComError{HRESULT_FROM_WIN32(error)};
    }
    return Bstr(value, Adopt{});
}

}  // namespace zobrik
