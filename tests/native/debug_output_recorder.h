// Native stand-in for the debugger output: records every line the logic
// writes so that tests can check the trace.
#pragma once

#include <string>
#include <vector>

#include "include/event_log.h"
#include "include/wide_text.h"

namespace zobrik::testing {

// Returns the recorded lines (wide lines converted to UTF-8) and forgets them.
std::vector<std::string> TakeDebugLines();

// Returns the event records written (after the rate limit) and forgets them.
std::vector<EventRecord> TakeEventRecords();

}  // namespace zobrik::testing
