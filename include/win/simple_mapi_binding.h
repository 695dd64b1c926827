// The process-wide binding of Simple MAPI: the library "MAPI32.dll" of the
// system directory (never a copy elsewhere on the search path) and its
// entry "MAPISendMailW". Bound by the plug-in factory before any plug-in
// object (and so any mail channel) exists; never released afterwards.
#pragma once

#include "include/simple_mapi_types.h"

namespace zobrik {

struct SimpleMapiBinding {
    void* module = nullptr;  // HMODULE of "MAPI32"
    MapiSendMailWFunction sendEntry = nullptr;
};

// Binds Simple MAPI if it is not bound yet; returns whether it is bound.
// A failed binding leaves nothing loaded and is tried again at the next call.
bool BindSimpleMapi() noexcept;

// The bound send entry; null until BindSimpleMapi succeeded.
MapiSendMailWFunction SimpleMapiSendEntry() noexcept;

}  // namespace zobrik
