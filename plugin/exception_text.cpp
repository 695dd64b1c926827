#include "exception_text.h"

#include <cstdint>
#include <new>
#include <string>
#include <type_traits>

#include "include/ascii_text.h"
#include "include/utf16_units.h"
#include "include/utf_conversion.h"

namespace zobrik {

namespace {

constexpr size_t kLabelWidth = 19;

void AppendAscii(WideString& out, const char* text) { out += AsciiToWide(text); }

void AppendCodePoint(WideString& out, uint32_t c) { AppendUtf16(out, c <= 0x10FFFF ? c : c & 0xFFFF); }

// wchar_t is UTF-16 on Windows and UTF-32 on the native build.
void AppendWide(WideString& out, const wchar_t* text) {
    for (; *text; ++text) {
        if constexpr (sizeof(wchar_t) == 2) {
            out += WideChar(*text);
        } else {
            AppendCodePoint(out, uint32_t(*text));
        }
    }
}

template <class Integer>
void AppendDecimal(WideString& out, Integer value) {
    AppendAscii(out, std::to_string(value).c_str());
}

void AppendLabel(WideString& out, const char* label) {
    size_t start = out.size();
    AppendAscii(out, label);
    while (out.size() - start < kLabelWidth) {
        out += WideChar(' ');
    }
}

WideString Prefixed(const char* label) {
    WideString out = ZOBRIK_WIDE("Exception: ");
    AppendLabel(out, label);
    return out;
}

template <class Integer>
WideString WithDecimal(const char* label, Integer value) {
    WideString out = Prefixed(label);
    AppendDecimal(out, value);
    return out;
}

// The catch clauses are tried in this order; the first that matches formats
// the value.
WideString FormatRaised(const std::exception_ptr& raised) {
    try {
        if (!raised) {
            throw std::bad_exception();
        }
        std::rethrow_exception(raised);
    } catch (wchar_t value) {
        WideString out = Prefixed("wchar_t");
        AppendCodePoint(out, uint32_t(value));
        return out;
    } catch (char value) {
        WideString out = Prefixed("char");
        out += WideChar(uint16_t(int16_t(static_cast<signed char>(value))));
        return out;
    } catch (signed char value) {
        return WithDecimal("signed char", int(value));
    } catch (short value) {
        return WithDecimal("short", value);
    } catch (int value) {
        return WithDecimal("int", value);
    } catch (long value) {
        return WithDecimal("long", value);
    } catch (long long value) {
        return WithDecimal("long long", value);
    } catch (unsigned char value) {
        return WithDecimal("unsigned char", unsigned(value));
    } catch (unsigned short value) {
        return WithDecimal("unsigned short", value);
    } catch (unsigned int value) {
        return WithDecimal("unsigned int", value);
    } catch (unsigned long value) {
        return WithDecimal("unsigned long", value);
    } catch (unsigned long long value) {
        return WithDecimal("unsigned long long", value);
    } catch (char const* value) {
        WideString out = Prefixed("char const *");
        if (value) {
            AppendAscii(out, value);
        }
        return out;
    } catch (std::string value) {
        WideString out = Prefixed("std::string");
        AppendAscii(out, value.c_str());
        return out;
    } catch (wchar_t const* value) {
        WideString out = Prefixed("wchar_t const *");
        if (value) {
            AppendWide(out, value);
        }
        return out;
    } catch (std::wstring value) {
        WideString out = Prefixed("std::wstring");
        AppendWide(out, value.c_str());
        return out;
    } catch (...) {
        WideString out = ZOBRIK_WIDE("Exception: ");
        AppendAscii(out, "unknown");
        return out;
    }
}

// Cuts an over-long text without splitting a surrogate pair.
void Limit(WideString& text) {
    if (text.size() <= kExceptionTextMaxLength) {
        return;
    }
    text.resize(kExceptionTextMaxLength);
    uint16_t last = uint16_t(text.back());
    if (IsHighSurrogate(last)) {
        text.pop_back();
    }
}

}  // namespace

WideString FormatExceptionText(const std::exception_ptr& raised) noexcept {
    try {
        WideString text = FormatRaised(raised);
        Limit(text);
        return text;
    } catch (...) {
        return {};
    }
}

bool IsOutOfMemory(const std::exception_ptr& raised) noexcept {
    try {
        if (raised) {
            std::rethrow_exception(raised);
        }
    } catch (const std::bad_alloc&) {
        return true;
    } catch (...) {
    }
    return false;
}

std::string DescribeFailure(const std::exception_ptr& raised) noexcept {
    constexpr char kOutOfMemory[] = "out of memory";
    try {
        if (raised) {
            std::rethrow_exception(raised);
        }
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (const std::exception& failure) {
        try {
            return failure.what();
        } catch (...) {
            return kOutOfMemory;
        }
    } catch (...) {
    }
    try {
        return Utf16ToUtf8(FormatExceptionText(raised));
    } catch (...) {
        return kOutOfMemory;
    }
}

}  // namespace zobrik
