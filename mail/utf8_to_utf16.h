// UTF-8 to UTF-16 conversion used for every string of a mail request.
//
// The contract follows MultiByteToWideChar(CP_UTF8, 0, ...): the caller passes
// bytes and receives the converted units (the decoder passes the text of one
// string without its terminating 0 byte and adds the terminator itself). The conversion is lenient:
// malformed UTF-8 never fails, it becomes U+FFFD, and a four-byte sequence
// becomes a surrogate pair. It never produces more units than it consumes
// bytes, so an output of `length` units always suffices.
//
// The Windows build implements this with MultiByteToWideChar; the native build
// (and the comparison test under Wine) with a converter of its own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "include/wide_text.h"

namespace zobrik {

// Largest input length and output capacity the conversion handles; the
// platform call takes int counts.
constexpr size_t kUtf8ConversionLimit = 0x7FFFFFFF;

// Converts `length` bytes at `input` into at most `capacity` units at
// `output`. Returns the number of units written, or 0 when nothing could be
// converted: `length` is 0 or above kUtf8ConversionLimit, `capacity` is 0, or
// the converted text does not fit into `capacity` units (the units that did
// fit may then have been written). A `capacity` above kUtf8ConversionLimit is
// treated as kUtf8ConversionLimit, which cannot change the result.
size_t Utf8ToUtf16(const uint8_t* input, size_t length, WideChar* output, size_t capacity) noexcept;

// The project's own converter, platform-free, with the same contract. The
// native build's Utf8ToUtf16 forwards to it; the DLL does not contain it (the
// Windows comparison test links it next to the platform converter).
// Malformed input: each maximal ill-formed subsequence (the longest prefix of
// a valid sequence, or a single byte that cannot start one) becomes one
// U+FFFD. Encoded surrogates (ED A0..BF xx) and overlong forms are malformed.
size_t Utf8ToUtf16Portable(const uint8_t* input, size_t length, char16_t* output, size_t capacity) noexcept;

}  // namespace zobrik
