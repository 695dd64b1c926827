// The error idiom of the COM code: a failed call or a missing object ends
// the attempt with a ComError carrying the HRESULT, and ComBoundary turns
// whatever a body throws into the HRESULT of a COM method or export. The
// values a call takes (BSTRs, VARIANTs) are made here, failing the same way.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <cstring>
#include <new>

#include "owners.h"

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

// Runs `body` (returning an HRESULT) at a COM boundary: a ComError becomes
// its HRESULT, std::bad_alloc E_OUTOFMEMORY, anything else E_UNEXPECTED.
template <class Body>
HRESULT ComBoundary(Body&& body) noexcept {
    try {
        return body();
    } catch (const ComError& error) {
        return error.result;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// A BSTR copied from a wide string; a null string gives a null BSTR.
inline UniqueBstr MakeBstr(const wchar_t* text) {
    UniqueBstr value(text ? SysAllocString(text) : nullptr);
    if (text && !value.Get()) {
        throw ComError{E_OUTOFMEMORY};
    }
    return value;
}

// A BSTR from narrow text in the ANSI code page, as the self-test's fixed texts.
inline UniqueBstr BstrFromAnsi(const char* text) {
    if (!text) {
        return UniqueBstr();
    }
    const size_t length = strlen(text);
    if (length > 0x7FFFFFFF) {
        throw ComError{E_INVALIDARG};
    }
    const int units = MultiByteToWideChar(CP_ACP, 0, text, int(length) + 1, nullptr, 0);
    if (units <= 0) {
        throw ComError{HRESULT_FROM_WIN32(GetLastError())};
    }
    UniqueBstr value(SysAllocStringLen(nullptr, UINT(units - 1)));
    if (!value.Get()) {
        throw ComError{E_OUTOFMEMORY};
    }
    if (MultiByteToWideChar(CP_ACP, 0, text, int(length) + 1, value.Get(), units) <= 0) {
        throw ComError{HRESULT_FROM_WIN32(GetLastError())};
    }
    return value;
}

inline UniqueVariant VariantInt(int value) {
    UniqueVariant variant;
    VARIANT* v = variant.Put();
    v->vt = VT_INT;
    v->intVal = value;
    return variant;
}

inline UniqueVariant VariantI4(long value) {
    UniqueVariant variant;
    VARIANT* v = variant.Put();
    v->vt = VT_I4;
    v->lVal = value;
    return variant;
}

inline UniqueVariant VariantBool(bool value) {
    UniqueVariant variant;
    VARIANT* v = variant.Put();
    v->vt = VT_BOOL;
    v->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return variant;
}

// The standard value for an omitted optional argument.
inline UniqueVariant VariantMissing() {
    UniqueVariant variant;
    VARIANT* v = variant.Put();
    v->vt = VT_ERROR;
    v->scode = DISP_E_PARAMNOTFOUND;
    return variant;
}

inline UniqueVariant VariantString(const wchar_t* text) {
    UniqueVariant variant;
    VARIANT* v = variant.Put();
    v->vt = VT_BSTR;
    v->bstrVal = text ? SysAllocString(text) : nullptr;
    if (text && !v->bstrVal) {
        throw ComError{E_OUTOFMEMORY};
    }
    return variant;
}

}  // namespace zobrik
