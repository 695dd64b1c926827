// Debug output for the fuzz targets: reads every traced string up to its
// terminator, so that the sanitizer checks each of them, and keeps nothing.
#include "include/debug_output.h"

namespace zobrik {
namespace {

volatile unsigned g_sink;

template <typename Char>
void Touch(const Char* text) noexcept {
    unsigned sum = 0;
    for (const Char* p = text; *p; ++p) sum += unsigned(*p);
    g_sink = sum;
}

}  // namespace

void DebugOutput(const WideChar* text, DebugLevel) noexcept { Touch(text); }
void DebugOutputNarrow(const char* text, DebugLevel) noexcept { Touch(text); }
void DebugEvent(const WideChar* event, DebugLevel) noexcept { Touch(event); }

}  // namespace zobrik
