// Opens what an exec request names with the shell and answers on its channel.
#pragma once

#include <string>

#include "admin_policy.h"
#include "plugin/channel_slot.h"

namespace zobrik {

// `request` is the message's bytes; as text it ends at its first NUL byte.
// The policy may refuse the text or have the user confirm it first.
void ExecWorker(std::string request, const SharedChannelSlot& channel, const AdminPolicy& policy) noexcept;

}  // namespace zobrik
