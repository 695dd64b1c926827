// The reply text of a failed mail request: "Exception: ", a type label padded
// to 19 characters, and the raised value.
#pragma once

#include <exception>

#include "include/wide_text.h"

namespace zobrik {

// Longest text, in characters without the terminator; longer texts are cut.
constexpr size_t kExceptionTextMaxLength = 255;

// Formats the text for the exception held by `raised`. Returns an empty text
// when no text can be formed (the worker then answers with its status byte).
WideString FormatExceptionText(const std::exception_ptr& raised) noexcept;

}  // namespace zobrik
