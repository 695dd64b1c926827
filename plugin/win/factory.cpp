// The plug-in factory that the Remote Desktop client calls, first to learn
// the number of plug-ins and then to receive them.
#include <windows.h>

#include <mutex>
#include <new>

#include "include/debug_output.h"
#include "include/win/com_errors.h"
#include "include/win/simple_mapi_binding.h"
#include "mail/win/attachment_staging.h"
#include "module_objects.h"
#include "plugin.h"

extern "C" HRESULT __stdcall VirtualChannelGetInstance(REFIID, ULONG* count, void** objects) {
    zobrik::DebugOutput(L"VirtualChannelGetInstance\n");
    if (!count) {
        return E_INVALIDARG;
    }
    if (*count == 0 && objects) {
        return E_INVALIDARG;
    }
    // Without Simple MAPI the mail channel cannot work: hand out nothing and
    // leave the caller's count as it was.
    if (!zobrik::BindSimpleMapi()) {
        return S_OK;
    }
    // What a client that ended abnormally left in the staging directory.
    static std::once_flag abandonedRemoved;
    std::call_once(abandonedRemoved, zobrik::SweepAbandonedStagingAreas);
    return zobrik::ComBoundary([&] {
        if (objects) {
            objects[0] = static_cast<IWTSPlugin*>(zobrik::ModuleObjects::Create<CWTSDVCPlugin>());
        }
        *count = 1;
        return S_OK;
    });
}
