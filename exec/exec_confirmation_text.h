// The text of the confirmation shown before an exec text is opened, laid out
// without Windows. The user decides on the place the text leads to, so the
// scheme and host come first, on a line of their own and in a form that no
// look-alike character can imitate; the text itself follows in lines of a
// bounded width, and a long text is shortened in its middle, so that the box
// never grows past the screen and the warning below the text stays in view:
//
//   A program on the remote computer asks to open this on your computer:
//
//   https://xn--intrnet-5fg.example.com          (URLs only)
//
//   https://intrаnet.example.com/reports/2024/quarterly/summary-of-t
//   he-year.pdf   (a Cyrillic а; 64 columns a line)
//
//   Open it only if you expected this and trust the remote computer. ...
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "exec/url_normalisation.h"
#include "include/wide_text.h"

namespace zobrik {

// The longest text a confirmation shows; a longer one is not offered.
inline constexpr size_t kLongestConfirmedText = 2048;

// The text as the confirmation shows it: control, invisible and
// direction-changing characters written as "<U+202E>", so that what the user
// reads is what is opened.
WideString VisibleText(WideStringView text);

// "scheme://host" for a URL (a text with a scheme other than "file"): the
// scheme and the host as a browser reaches them (UrlSchemeAndHost: lower
// case, without user name and port, international names in their ASCII form
// from `idna`), without the host's trailing dots. For a text that no browser
// reads, the host as written, every character of it outside ASCII shown as
// "<U+0430>". "scheme:" for a URL without a host; empty for a path. Control
// and invisible characters are shown as VisibleText shows them.
WideString ConfirmationHeading(WideStringView text, const DomainToAscii& idna);

// The widest line of the text, in columns: a character takes one, an East
// Asian wide or fullwidth character and a character outside the basic plane
// two, a code such as "<U+202E>" eight.
inline constexpr size_t kConfirmationLineColumns = 64;
// At most this many lines show the text; a longer text shows its first
// kConfirmationHeadLines and its last kConfirmationTailLines lines with a
// line between them that says how many characters are not shown.
inline constexpr size_t kConfirmationTextLines = 20;
inline constexpr size_t kConfirmationHeadLines = 15;
inline constexpr size_t kConfirmationTailLines = 4;

// The text as the confirmation shows it (VisibleText), broken into lines of
// at most kConfirmationLineColumns columns, never inside a character or a
// code, and shortened as described above.
std::vector<WideString> ConfirmationTextLines(WideStringView text);

// The message of the confirmation box: the request, the heading (when there
// is one), the text's lines and the warning with the time-out, separated by
// empty lines.
WideString ConfirmationMessage(WideStringView text, uint32_t seconds, const DomainToAscii& idna);

}  // namespace zobrik
