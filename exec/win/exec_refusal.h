// The exec channel's refusals on this machine (see exec_policy.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "include/admin_policy.h"

namespace zobrik {

// Why the exec text `text` (ANSI, without its NUL) is not handed to the
// shell, by the plug-in's own checks or by `policy` ("... (policy
// ExecDenyList)"), or nullopt when it may be. Throws std::bad_alloc.
std::optional<std::wstring> ExecRefusal(std::string_view text, const AdminPolicy& policy);

// The text as the shell reads it: after the UTF-8 mark, the UTF-8 that
// follows it; otherwise the text in the ANSI code page. nullopt when it
// cannot be converted (UTF-8 that is not valid).
std::optional<std::wstring> ExecTextAsWide(std::string_view text);

// The start of the text as the shell reads it, for an event: bytes that do
// not convert become U+FFFD; the event's insert is cut further.
std::wstring ExecTextForEvent(std::string_view text);

}  // namespace zobrik
