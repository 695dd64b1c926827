// UTF-16 and UTF-8: the error text of a mail reply, and the Linux add-in's
// texts: what it hands to programs and writes as file names, and what it
// reads from files and paths.
#pragma once

#include <string>
#include <string_view>

#include "utf16_units.h"
#include "wide_text.h"

namespace zobrik {

inline void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// The code point that starts at `text[i]`, a surrogate pair read as one;
// moves `i` past it. A lone surrogate reads as U+FFFD.
inline char32_t TakeCodePoint(WideStringView text, size_t& i) {
    const char32_t unit = char16_t(text[i++]);
    if (IsHighSurrogate(unit) && i < text.size()) {
        const char32_t next = char16_t(text[i]);
        if (IsLowSurrogate(next)) {
            ++i;
            return 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
        }
    }
    return IsSurrogate(unit) ? char32_t(0xFFFD) : unit;
}

// Lone surrogates become U+FFFD.
inline std::string Utf16ToUtf8(WideStringView text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        AppendUtf8(out, TakeCodePoint(text, i));
    }
    return out;
}

// Paths and files may hold bytes that are not UTF-8 (file names are bytes on
// Linux): each byte that does not begin a well-formed sequence becomes
// U+FFFD.
inline WideString Utf8ToUtf16Lenient(std::string_view text) {
    WideString out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80             ? 1
                              : (lead & 0xE0) == 0xC0 ? 2
                              : (lead & 0xF0) == 0xE0 ? 3
                              : (lead & 0xF8) == 0xF0 ? 4
                                                      : 0;
        bool valid = length > 0 && i + length <= text.size();
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; valid && k < length; ++k) {
            const auto byte = static_cast<unsigned char>(text[i + k]);
            valid = (byte & 0xC0) == 0x80;
            c = (c << 6) | (byte & 0x3F);
        }
        if (!valid) {
            out += WideChar(0xFFFD);
            ++i;
            continue;
        }
        AppendUtf16(out, c);
        i += length;
    }
    return out;
}

}  // namespace zobrik
