// One mail request on Linux, from its bytes to the mail program.
#pragma once

#include <cstdint>
#include <string>

#include "include/admin_policy.h"

namespace zobrik {

// Decodes the request, applies the policy's limits, stages the attachments
// in `stagingRoot`, and runs xdg-email. Returns the status byte's value (0:
// handed over); raises the message of a failure, as the Windows plug-in
// does. The staged files stay for the mail program (xdg-email returns
// before it has read them) until they are due or the add-in unloads.
int32_t ProcessMailRequest(uint32_t length, uint8_t* request, const AdminPolicy& policy,
                           const std::string& stagingRoot);

}  // namespace zobrik
