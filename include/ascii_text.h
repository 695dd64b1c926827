// ASCII helpers for UTF-16 text: letter case, hexadecimal digits and ASCII
// turned into UTF-16. Only ASCII letters change case; other characters
// compare as they are.
#pragma once

#include <algorithm>
#include <string_view>

#include "wide_text.h"

namespace zobrik {

inline bool IsAsciiLetter(WideChar c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool IsAsciiDigit(WideChar c) { return c >= '0' && c <= '9'; }
inline WideChar AsciiLower(WideChar c) { return c >= 'A' && c <= 'Z' ? WideChar(c + ('a' - 'A')) : c; }

inline WideString AsciiLowered(WideStringView text) {
    WideString out(text);
    std::transform(out.begin(), out.end(), out.begin(), AsciiLower);
    return out;
}

inline bool SameIgnoringAsciiCase(WideStringView a, WideStringView b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](WideChar x, WideChar y) { return AsciiLower(x) == AsciiLower(y); });
}

// `prefix` is written as a u"" literal, the same on every platform.
inline bool StartsWithIgnoringAsciiCase(WideStringView text, std::u16string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (AsciiLower(text[i]) != AsciiLower(WideChar(prefix[i]))) {
            return false;
        }
    }
    return true;
}

// The value of a hexadecimal digit, or -1.
inline int HexDigitValue(WideChar c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = AsciiLower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Each byte becomes the UTF-16 unit of the same value (ASCII stays ASCII).
inline WideString AsciiToWide(std::string_view text) {
    WideString out;
    out.reserve(text.size());
    for (char c : text) {
        out += WideChar(static_cast<unsigned char>(c));
    }
    return out;
}

// UTF-16 text written as a u"" literal, the same on every platform.
inline WideString Wide(std::u16string_view text) { return WideString(text.begin(), text.end()); }

}  // namespace zobrik
