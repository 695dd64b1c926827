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

// The policy: for each setting the machine's value when it is well-formed,
// else the user's, else the default. A malformed value (wrong type or size,
// too long, an empty list, a limit above the built-in one) is ignored with
// a debugger line naming the hive and the setting. Throws std::bad_alloc.
AdminPolicy PolicyFromHives(const PolicyHive& machine, const PolicyHive& user);

}  // namespace zobrik
