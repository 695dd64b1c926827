// The reply text of a failed mail request: "Exception: ", a type label padded
// to 19 characters, and the raised value; and what failed, for a diagnostic
// line of the module's own failures.
#pragma once

#include <exception>
#include <string>

#include "include/wide_text.h"

namespace zobrik {

// Longest text, in characters without the terminator; longer texts are cut.
constexpr size_t kExceptionTextMaxLength = 255;

// Formats the text for the exception held by `raised`. Returns an empty text
// when no text can be formed (the worker then answers with its status byte).
WideString FormatExceptionText(const std::exception_ptr& raised) noexcept;

// Whether `raised` holds std::bad_alloc (or a type derived from it).
bool IsOutOfMemory(const std::exception_ptr& raised) noexcept;

// What failed, in UTF-8: "out of memory" for std::bad_alloc, the what() of
// any other standard exception, otherwise the text FormatExceptionText forms
// for the raised value. "out of memory" when no text can be formed.
std::string DescribeFailure(const std::exception_ptr& raised) noexcept;

}  // namespace zobrik
