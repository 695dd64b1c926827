// UTF-16 code units: surrogates, and a code point written as one unit or as
// a surrogate pair. Shared by every decoder that produces UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wide_text.h"

namespace zobrik {

inline constexpr bool IsHighSurrogate(uint32_t unit) noexcept { return unit >= 0xD800 && unit <= 0xDBFF; }
inline constexpr bool IsLowSurrogate(uint32_t unit) noexcept { return unit >= 0xDC00 && unit <= 0xDFFF; }
inline constexpr bool IsSurrogate(uint32_t unit) noexcept { return unit >= 0xD800 && unit <= 0xDFFF; }

// A code point up to U+10FFFF as UTF-16: one unit below U+10000, else a
// surrogate pair.
struct Utf16Units {
    char16_t unit[2] = {};
    size_t count = 0;
};

inline constexpr Utf16Units ToUtf16Units(char32_t c) noexcept {
    if (c < 0x10000) {
        return {{char16_t(c), 0}, 1};
    }
    c -= 0x10000;
    return {{char16_t(0xD800 + (c >> 10)), char16_t(0xDC00 + (c & 0x3FF))}, 2};
}

// Appends the code point `c` (up to U+10FFFF) to `out` as UTF-16.
inline void AppendUtf16(WideString& out, char32_t c) {
    const Utf16Units units = ToUtf16Units(c);
    for (size_t i = 0; i < units.count; ++i) {
        out += WideChar(units.unit[i]);
    }
}

}  // namespace zobrik
