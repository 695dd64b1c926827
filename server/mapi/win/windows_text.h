// Text conversions and the debugger line of the provider's Windows layer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zobrik::mapi {

// A program's ANSI string (the ANSI code page, CP_ACP) as UTF-8; nullopt for
// a byte sequence that the code page does not define.
std::optional<std::string> Utf8FromAnsi(const char* text);
// UTF-8 to UTF-16 (the provider's own texts and checked program texts).
std::wstring WideFromUtf8(std::string_view text);
// UTF-16 to UTF-8 (names read from the registry); U+FFFD for a lone surrogate.
std::string Utf8FromWide(std::wstring_view text);
// Writes `line` and a line end to the debugger output (OutputDebugStringW).
void WriteDebugLine(const std::string& line) noexcept;

}  // namespace zobrik::mapi
