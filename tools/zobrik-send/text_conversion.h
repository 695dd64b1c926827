// Text conversions of zobrik-send: the program works in UTF-8 and meets
// UTF-16 (command line, console, file names) and the ANSI code page (the
// exec channel's text).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zobrik::send {

std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);
// The text in the ANSI code page of this computer, or nullopt when a
// character has no exact form there.
std::optional<std::string> Utf8ToAnsi(std::string_view text);

}  // namespace zobrik::send
