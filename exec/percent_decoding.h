// Percent-escapes ("%2F") of URLs, decoded in the ways the exec checks need:
// to bytes, to one UTF-16 unit per byte, and as UTF-8.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "include/ascii_text.h"
#include "include/wide_text.h"

namespace zobrik {

// The byte of a "%XX" escape at `text[i]`, or -1 when none starts there.
template <typename Char>
int EscapedByte(std::basic_string_view<Char> text, size_t i) {
    if (i + 2 >= text.size() || text[i] != '%') {
        return -1;
    }
    const int high = HexDigitValue(WideChar(text[i + 1]));
    const int low = HexDigitValue(WideChar(text[i + 2]));
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// Every escape as its byte; anything else, a '%' without two hex digits
// included, stays.
std::string PercentDecoded(std::string_view text);

// Every escape as the unit of the same value; the text ends at an escaped
// NUL.
WideString PercentDecodedBytewise(WideStringView text);

// Runs of escapes read as UTF-8; nullopt when a run is no valid UTF-8. The
// text ends at an escaped NUL.
std::optional<WideString> PercentDecodedUtf8(WideStringView text);

}  // namespace zobrik
