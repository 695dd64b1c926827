// The Linux add-in has no event log of its own: what the Windows plug-in
// writes there is already on the debugger line, which the add-in sends to
// FreeRDP's log (debug_output_wlog.cpp).
#include "include/event_log.h"

namespace zobrik {

void WriteEventRecord(const EventRecord&) noexcept {}

}  // namespace zobrik
