// Text form of one recorded MAPISendMailW call, shared by the recording MAPI32
// stand-in (which writes it) and the test side (which parses it).
//
// A record is UTF-8 text, one "key=value" field per line, "\n" line ends:
//   ZobrikMapiCall 1            first line, format version
//   index=0                     ... scalar fields in decimal, handles in hex (0x...)
//   message.subject="Hello"     string fields: null, or quoted text
//   file[0].content=hex:00ff    file bytes: "hex:" + lower-case hex, or "error:<code>"
//   end                         last line
// Quoted text is the UTF-16 string converted to generalised UTF-8 (lone
// surrogates are encoded like other code points, so every UTF-16 string
// round-trips exactly); the bytes 00-1F, 7F, '"' and '%' are written as %XX.
// The format is header-only and uses no Windows headers, so both sides compile
// the same rules and no C++ object crosses the DLL boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zobrik::mapirecord {

inline constexpr std::string_view kFirstLine = "ZobrikMapiCall 1";
inline constexpr std::string_view kLastLine = "end";

// UTF-16 code units (char16_t, or wchar_t on Windows) to generalised UTF-8;
// never fails.
template <class Char>
std::string Utf16ToWtf8(std::basic_string_view<Char> text) {
    static_assert(sizeof(Char) == 2, "UTF-16 code units must be 16 bits");
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = static_cast<uint16_t>(text[i]);
        const uint32_t next = i + 1 < text.size() ? static_cast<uint16_t>(text[i + 1]) : 0;
        if (cp >= 0xD800 && cp <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (next - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

// Generalised UTF-8 back to UTF-16; nullopt for malformed input.
inline std::optional<std::u16string> Wtf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        uint32_t cp = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            cp = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            cp = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            cp = lead & 0x07;
        } else {
            return std::nullopt;
        }
        if (i + extra >= text.size()) {
            return std::nullopt;
        }
        for (size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return std::nullopt;
            }
            cp = (cp << 6) | (next & 0x3F);
        }
        i += extra + 1;
        if (cp >= 0x10000) {
            if (cp > 0x10FFFF) {
                return std::nullopt;
            }
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

inline char HexDigit(unsigned value) { return "0123456789abcdef"[value & 0xF]; }

inline int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

inline std::string ToHex(const uint8_t* data, size_t size) {
    std::string out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        out.push_back(HexDigit(data[i] >> 4));
        out.push_back(HexDigit(data[i]));
    }
    return out;
}

inline std::optional<std::vector<uint8_t>> FromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    std::vector<uint8_t> out;
    out.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexValue(hex[i]);
        const int low = HexValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out.push_back(static_cast<uint8_t>((high << 4) | low));
    }
    return out;
}

// A string field's value: "null" or the quoted, escaped text.
template <class Char>
std::string QuoteText(const Char* text) {
    if (text == nullptr) {
        return "null";
    }
    const std::string utf8 = Utf16ToWtf8(std::basic_string_view<Char>(text));
    std::string out = "\"";
    for (const char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '"' || c == '%') {
            out.push_back('%');
            out.push_back(HexDigit(b >> 4));
            out.push_back(HexDigit(b));
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
    return out;
}

// Parsed string field: nullopt for "null"; the outer nullopt means malformed.
inline std::optional<std::optional<std::u16string>> UnquoteText(std::string_view value) {
    if (value == "null") {
        return std::optional<std::u16string>{};
    }
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') {
        return std::nullopt;
    }
    value = value.substr(1, value.size() - 2);
    std::string utf8;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%') {
            if (i + 2 >= value.size()) {
                return std::nullopt;
            }
            const int high = HexValue(value[i + 1]);
            const int low = HexValue(value[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            utf8.push_back(static_cast<char>((high << 4) | low));
            i += 2;
        } else if (value[i] == '"') {
            return std::nullopt;
        } else {
            utf8.push_back(value[i]);
        }
    }
    auto wide = Wtf8ToUtf16(utf8);
    if (!wide) {
        return std::nullopt;
    }
    return std::optional<std::u16string>{std::move(*wide)};
}

}  // namespace zobrik::mapirecord
