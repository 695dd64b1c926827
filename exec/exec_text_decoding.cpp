#include "exec_text_decoding.h"

#include "exec_text.h"
#include "include/utf16_units.h"
#include "include/utf_conversion.h"

namespace zobrik {

namespace {

// 0x80..0x9F of Windows-1252.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool IsContinuation(unsigned char byte) noexcept { return (byte & 0xC0) == 0x80; }

// Strict UTF-8: every sequence in its shortest form, no surrogates, nothing
// above U+10FFFF.
std::optional<WideString> StrictUtf8ToUtf16(std::string_view text) {
    WideString out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        char32_t c = 0;
        char32_t smallest = 0;
        if (lead < 0x80) {
            length = 1;
            c = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            c = lead & 0x1F;
            smallest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            c = lead & 0x0F;
            smallest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            c = lead & 0x07;
            smallest = 0x10000;
        } else {
            return std::nullopt;
        }
        if (i + length > text.size()) return std::nullopt;
        for (size_t k = 1; k < length; ++k) {
            const auto byte = static_cast<unsigned char>(text[i + k]);
            if (!IsContinuation(byte)) return std::nullopt;
            c = (c << 6) | (byte & 0x3F);
        }
        if (c < smallest || c > 0x10FFFF || IsSurrogate(c)) return std::nullopt;
        AppendUtf16(out, c);
        i += length;
    }
    return out;
}

}  // namespace

char16_t Windows1252ToUtf16(unsigned char byte) noexcept {
    return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : char16_t(byte);
}

DecodedExecText::DecodedExecText(WideString utf16Text) : wide(std::move(utf16Text)), utf8(Utf16ToUtf8(wide)) {}

std::optional<DecodedExecText> DecodeExecText(std::string_view message) {
    const std::string_view text = ExecText(message);
    if (IsUtf8ExecText(text)) {
        const std::string_view utf8 = text.substr(kUtf8Mark.size());
        auto wide = StrictUtf8ToUtf16(utf8);
        if (!wide) return std::nullopt;
        return DecodedExecText(std::move(*wide), std::string(utf8));
    }
    WideString wide;
    std::string utf8;
    wide.reserve(text.size());
    utf8.reserve(text.size());
    for (const char c : text) {
        const char16_t unit = Windows1252ToUtf16(static_cast<unsigned char>(c));
        wide += WideChar(unit);
        AppendUtf8(utf8, unit);
    }
    return DecodedExecText(std::move(wide), std::move(utf8));
}

}  // namespace zobrik
