// UTF-16 text type shared by the platform-free logic.
// On Windows this is wchar_t, so decoded strings go straight to the Windows
// APIs; the native (Linux) build of the same logic uses char16_t.
#pragma once

#include <string>
#include <string_view>

namespace zobrik {

#ifdef _WIN32
using WideChar = wchar_t;
#define ZOBRIK_WIDE(s) L##s
#else
using WideChar = char16_t;
#define ZOBRIK_WIDE(s) u##s
#endif

static_assert(sizeof(WideChar) == 2, "UTF-16 code units must be 16 bits");

using WideString = std::basic_string<WideChar>;
using WideStringView = std::basic_string_view<WideChar>;

}  // namespace zobrik
