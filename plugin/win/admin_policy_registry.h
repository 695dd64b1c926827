// Reads the administrator's policy from the registry.
#pragma once

#include "include/admin_policy.h"

namespace zobrik {

// The policy as the registry holds it now, from HKLM and HKCU
// (SOFTWARE\Policies\Zobrik\WTSDVC); the defaults where nothing is set.
// Throws std::bad_alloc.
AdminPolicy ReadAdminPolicy();

}  // namespace zobrik
