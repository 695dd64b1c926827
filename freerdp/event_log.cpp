// The Linux add-in has no event log of its own: what the Windows plug-in
// writes there is already on the debugger line, which the add-in sends to
// FreeRDP's log (freerdp/debug_output.cpp).
#include "include/event_log.h"

namespace zobrik {

void WriteEventRecord(const EventRecord&) noexcept {}

}  // namespace zobrik
