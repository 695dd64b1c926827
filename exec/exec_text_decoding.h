// The text of an exec message as Unicode, on clients without Windows' code
// pages: a message that begins with the UTF-8 mark is UTF-8 after it; any
// other is read in Windows-1252, the ANSI code page of Western Windows
// systems (ASCII reads the same in every ANSI code page).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "include/wide_text.h"

namespace zobrik {

// An exec text decoded once, in both forms its users need: UTF-16 for the
// policy's patterns, UTF-8 for paths and the program that opens it.
struct DecodedExecText {
    DecodedExecText(WideString utf16Text, std::string utf8Text)
        : wide(std::move(utf16Text)), utf8(std::move(utf8Text)) {}
    // A text already in UTF-16 (lone surrogates become U+FFFD in `utf8`).
    explicit DecodedExecText(WideString utf16Text);

    WideString wide;
    std::string utf8;
};

// The text of `message` (up to its first NUL); nullopt when the UTF-8 after
// the mark is not valid UTF-8 (overlong forms, encoded surrogates and
// truncated sequences included).
std::optional<DecodedExecText> DecodeExecText(std::string_view message);

// One byte of Windows-1252 as UTF-16. The five bytes the code page leaves
// undefined (81, 8D, 8F, 90, 9D) map to the C1 controls of the same value,
// as Windows maps them.
char16_t Windows1252ToUtf16(unsigned char byte) noexcept;

}  // namespace zobrik
