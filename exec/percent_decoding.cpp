#include "percent_decoding.h"

#include <cstdint>

#include "include/utf16_units.h"

namespace zobrik {

std::string PercentDecoded(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const int byte = EscapedByte(text, i);
        if (byte < 0) {
            out += text[i];
            continue;
        }
        out += char(byte);
        i += 2;
    }
    return out;
}

WideString PercentDecodedBytewise(WideStringView text) {
    WideString out;
    for (size_t i = 0; i < text.size(); ++i) {
        const int byte = EscapedByte(text, i);
        if (byte < 0) {
            out += text[i];
            continue;
        }
        if (byte == 0) {
            break;
        }
        out += WideChar(byte);
        i += 2;
    }
    return out;
}

std::optional<WideString> PercentDecodedUtf8(WideStringView text) {
    WideString out;
    size_t i = 0;
    while (i < text.size()) {
        const int byte = EscapedByte(text, i);
        if (byte < 0) {
            out += text[i++];
            continue;
        }
        if (byte == 0) {
            return out;
        }
        i += 3;
        if (byte < 0x80) {
            out += WideChar(byte);
            continue;
        }
        const int length = byte >= 0xF0 && byte <= 0xF4 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 && byte < 0xE0 ? 2 : 0;
        if (length == 0 || byte > 0xF4) {
            return std::nullopt;
        }
        uint32_t cp = uint32_t(byte) & (0x7Fu >> length);
        for (int k = 1; k < length; ++k) {
            const int next = EscapedByte(text, i);
            if (next < 0x80 || next > 0xBF) {
                return std::nullopt;
            }
            cp = cp << 6 | (uint32_t(next) & 0x3F);
            i += 3;
        }
        const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < smallest[length] || cp > 0x10FFFF || IsSurrogate(cp)) {
            return std::nullopt;
        }
        AppendUtf16(out, cp);
    }
    return out;
}

}  // namespace zobrik
