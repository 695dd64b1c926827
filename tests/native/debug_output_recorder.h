// Native stand-in for the debugger output: records every line the logic
// writes so that tests can check the trace.
#pragma once

#include <string>
#include <vector>

#include "include/wide_text.h"

namespace zobrik::testing {

// Returns the recorded lines (wide lines converted to UTF-8) and forgets them.
std::vector<std::string> TakeDebugLines();

}  // namespace zobrik::testing
