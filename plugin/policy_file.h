// The administrator's policy on Linux: the settings of the Windows registry
// policy, in text files. The system-wide file wins over the user's, setting
// by setting, as HKLM wins over HKCU:
//   /etc/zobrik/wtsdvc.conf
//   $XDG_CONFIG_HOME/zobrik/wtsdvc.conf   ($HOME/.config/zobrik/... without it)
// One setting per line, "Name = value"; '#' and ';' begin comment lines.
// Switches and numbers are decimal numbers; a list setting is given once per
// entry. Names are matched without regard to case. Unknown names are ignored
// with a line; malformed values are ignored as in the registry.
#pragma once

#include <string>
#include <string_view>

#include "admin_policy_values.h"
#include "include/admin_policy.h"

namespace zobrik {

inline constexpr const char kSystemPolicyFile[] = "/etc/zobrik/wtsdvc.conf";
// A policy file longer than this is not read.
inline constexpr size_t kLongestPolicyFileBytes = size_t(256) * 1024;

// The values of one file, as registry values: switches and numbers as
// REG_DWORD, lists as REG_MULTI_SZ; a value that is no number has no type,
// so that the policy ignores it.
PolicyHive ParsePolicyFile(std::string_view content, const WideChar* hiveName);

// The user's policy file for these environment values ("" when unset).
std::string UserPolicyFile(const std::string& xdgConfigHome, const std::string& home);

}  // namespace zobrik
