// The exec text as both platforms read it before anything else: its end, its
// length, its encoding mark, the blanks and quotes around it, and the URL
// scheme the shell finds in it with the list of refused schemes.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "include/wide_text.h"

namespace zobrik {

// The longest text, in bytes, that the exec channel hands to the shell.
inline constexpr size_t kLongestExecText = 32767;

// The text of an exec message: its bytes up to the first NUL (all of them
// when there is none).
std::string_view ExecText(std::string_view message) noexcept;

// The mark that makes an exec text UTF-8: a text that begins with it is read
// as UTF-8 without it; any other text is read in the ANSI code page.
inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// Whether `text` begins with kUtf8Mark.
inline bool IsUtf8ExecText(std::string_view text) noexcept { return text.substr(0, kUtf8Mark.size()) == kUtf8Mark; }

// `text` without leading and trailing blanks, invisible characters and
// quotes: what the shell reads as the target.
WideStringView TrimmedExecText(WideStringView text);

// "text longer than 32767 bytes" for a longer text.
std::optional<WideString> LengthRefusal(std::string_view text);

// The URL scheme that the shell finds at the start of `text`, in ASCII lower
// case, or empty when there is none. Leading blanks, control characters,
// invisible format characters and quotes are skipped, so is a leading "url:";
// tabs and line breaks inside the scheme are left out (URL parsers drop
// them). A scheme is made of ASCII letters, digits, '+', '-' and '.', ends at
// the first ':' and has at least two characters, so "C:\..." has none.
WideString UrlScheme(WideStringView text);

// Whether `scheme` (lower case, as UrlScheme gives it) makes a text an
// address: any scheme but "file". The shell hands such a text to the
// scheme's handler; it names no file of this machine.
bool IsAddressScheme(WideStringView scheme);

// Whether `text` is plainly an address: UrlScheme finds a scheme in it that
// IsAddressScheme accepts. Texts without a scheme, single letters before the
// ':' (drive letters), "file:" URLs, UNC and device paths are not.
bool IsPlainAddress(WideStringView text);

// The reason for refusing `text` for what it asks the shell for rather than
// where: a scheme of the refused list ("scheme ms-msdt: is not allowed"), a
// shell namespace name ("::{CLSID}") or a URL with a quote, space or control
// character inside (UrlCharacterRefusal).
std::optional<WideString> SchemeRefusal(WideStringView text);

// Whether `scheme` (lower case, as UrlScheme gives it) is refused.
bool IsRefusedScheme(WideStringView scheme);

// `text` without leading and trailing blanks and invisible characters
// (controls, spaces, zero-width and direction characters, the byte order
// mark).
WideStringView TrimBlanks(WideStringView text);

}  // namespace zobrik
