// The driver of the mail channel: one complete request through every stage.
#pragma once

#include <cstdint>

#include "include/admin_policy.h"

namespace zobrik {

// Returns 0 once the mail has been handed to a mail program and the staged
// files are removed; raises the message of the failing stage otherwise.
// The policy bounds the records and chooses the route.
int32_t ProcessMailRequest(uint32_t length, uint8_t* request, const AdminPolicy& policy);

}  // namespace zobrik
