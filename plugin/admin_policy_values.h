// The policy from the registry values of both hives, without Windows: the
// reader (admin_policy_registry.cpp) hands over what it found, this decides
// which values count.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "include/admin_policy.h"

namespace zobrik {

// The registry types the policy uses.
inline constexpr uint32_t kRegistryDword = 4;
inline constexpr uint32_t kRegistryMultiString = 7;

// A value longer than this is not read; it is ignored as malformed.
inline constexpr size_t kLongestPolicyValueBytes = size_t(64) * 1024;
// A list with more entries, or an entry longer than this, is malformed.
inline constexpr size_t kMostPolicyListEntries = 256;
inline constexpr size_t kLongestPolicyListEntry = 1024;

// One registry value as found.
struct RawPolicyValue {
    const WideChar* setting;  // a name of kPolicySettings
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
    bool tooLong = false;  // longer than kLongestPolicyValueBytes; bytes empty
};

// The values found in one hive's policy key.
struct PolicyHive {
    const WideChar* name;  // "HKLM" or "HKCU", for the debugger lines
    std::vector<RawPolicyValue> values;
};

// The policy. A switch is the machine's value when well-formed, else the
// user's, else the default; a malformed switch (wrong type or size) is
// ignored with a debugger line. A list or number is the machine's value when
// present, else the user's, else the default; one that is present but
// unusable (wrong type or size, too long, no usable entry, outside its range)
// restricts everything it governs, with a debugger line naming the hive, the
// setting, the reason and what counts instead:
//   ExecAllowedSchemes  no scheme is allowed
//   ExecAllowList       nothing is allowed
//   ExecDenyList        everything is refused (it counts as "*")
//   a number            the nearest end of its range, or its lowest value
//                       when it is no number
// Throws std::bad_alloc.
AdminPolicy PolicyFromHives(const PolicyHive& machine, const PolicyHive& user);

}  // namespace zobrik
