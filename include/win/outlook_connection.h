// Reaching Outlook's automation server.
#pragma once

#include <windows.h>

#include "outlook_interfaces.h"
#include "owners.h"

namespace zobrik {

// Connects to Outlook as its automation clients do: a first creation that
// starts the server and puts it into the running state, then a second one
// whose reference is used. Outlook counts as available only when the second
// creation returns S_OK; otherwise its result is returned.
HRESULT ConnectToOutlook(ComPtr<outlook::_Application>& application) noexcept;

}  // namespace zobrik
