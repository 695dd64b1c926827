// Reaching Outlook's automation server.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "com_ptr.h"

namespace zobrik {

// Outlook's application class and its _Application interface.
extern const CLSID CLSID_OutlookApplication;
extern const IID IID_OutlookApplication;

// Connects to Outlook as its automation clients do: a first creation that
// starts the server and puts it into the running state, then a second one
// whose reference is used. Outlook counts as available only when the second
// creation returns S_OK; otherwise its result is returned.
HRESULT ConnectToOutlook(ComPtr<IUnknown>& application) noexcept;

}  // namespace zobrik
