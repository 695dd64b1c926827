// Opens what an exec request names with the shell and answers on its channel.
#pragma once

#include <string>

#include "plugin/channel_slot.h"

namespace zobrik {

// `request` is the message's bytes; as text it ends at its first NUL byte.
void ExecWorker(std::string request, const SharedChannelSlot& channel) noexcept;

}  // namespace zobrik
