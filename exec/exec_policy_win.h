// The exec channel's refusals on this machine (see exec_policy.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zobrik {

// Why the exec text `text` (ANSI, without its NUL) is not handed to the
// shell, or nullopt when it may be. Throws std::bad_alloc.
std::optional<std::wstring> ExecRefusal(std::string_view text);

}  // namespace zobrik
