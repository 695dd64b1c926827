// The project's own UTF-8 to UTF-16 converter (platform-free), and the native
// build's Utf8ToUtf16.
#include "mail/utf8_to_utf16.h"

#include "include/utf16_units.h"

namespace zobrik {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsContinuation(uint8_t b) noexcept { return (b & 0xC0) == 0x80; }

// Decodes one sequence at input[0..available). Returns the number of bytes
// consumed (at least 1) and stores the code point, or U+FFFD for a maximal
// ill-formed subsequence. The ranges of the second byte exclude overlong
// forms, encoded surrogates and code points above U+10FFFF.
size_t DecodeOne(const uint8_t* input, size_t available, char32_t& codePoint) noexcept {
    const uint8_t lead = input[0];
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    size_t needed = 0;
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        needed = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        needed = 2;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
        if (lead == 0xED) high = 0x9F;  // U+D800..U+DFFF are not characters
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        needed = 3;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;   // overlong below U+10000
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        codePoint = kReplacement;  // C0, C1, F5..FF, or a stray continuation
        return 1;
    }
    size_t used = 1;
    for (size_t i = 0; i < needed; ++i, ++used) {
        if (used >= available) {
            codePoint = kReplacement;  // truncated by the end of the input
            return used;
        }
        const uint8_t b = input[used];
        const bool inRange = i == 0 ? (b >= low && b <= high) : IsContinuation(b);
        if (!inRange) {
            codePoint = kReplacement;  // the offending byte starts anew
            return used;
        }
        value = value << 6 | (b & 0x3F);
    }
    codePoint = value;
    return used;
}

}  // namespace

size_t Utf8ToUtf16Portable(const uint8_t* input, size_t length, char16_t* output, size_t capacity) noexcept {
    if (input == nullptr || output == nullptr || length == 0 || length > kUtf8ConversionLimit || capacity == 0) {
        return 0;
    }
    if (capacity > kUtf8ConversionLimit) capacity = kUtf8ConversionLimit;
    size_t written = 0;
    size_t pos = 0;
    while (pos < length) {
        char32_t cp = 0;
        pos += DecodeOne(input + pos, length - pos, cp);
        const Utf16Units units = ToUtf16Units(cp);
        if (capacity - written < units.count) return 0;
        for (size_t k = 0; k < units.count; ++k) output[written++] = units.unit[k];
    }
    return written;
}

#ifndef _WIN32
size_t Utf8ToUtf16(const uint8_t* input, size_t length, WideChar* output, size_t capacity) noexcept {
    return Utf8ToUtf16Portable(input, length, output, capacity);
}
#endif

}  // namespace zobrik
