// The message of the exec channel for a text. The plug-in reads a message in
// the client's ANSI code page, or as UTF-8 when it begins with the UTF-8
// byte-order mark. Plug-ins before the UTF-8 form read every message as ANSI,
// so the plain form is sent whenever the text has one.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zobrik::sdk {

// The bytes that make the plug-in read the rest of a message as UTF-8.
inline constexpr std::string_view kExecUtf8Mark = "\xEF\xBB\xBF";

// The message for the text `utf8`: `ansi` when the text has a form in the
// ANSI code page (on Windows: WideCharToMultiByte(CP_ACP,
// WC_NO_BEST_FIT_CHARS, ...) without a default character used), else the
// mark followed by the UTF-8. ASCII text is always sent plain.
inline std::vector<uint8_t> ExecMessage(std::string_view utf8, const std::optional<std::string>& ansi) {
    const bool ascii =
        std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    std::string text;
    if (ascii) {
        text = std::string(utf8);
    } else if (ansi) {
        text = *ansi;
    } else {
        text = std::string(kExecUtf8Mark) + std::string(utf8);
    }
    return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace zobrik::sdk
