// The module's only diagnostics: lines on the debugger output.
// The Windows build writes them with OutputDebugStringW/A; the native build
// links a sink of its own (the unit tests record the lines).
#pragma once

#include "wide_text.h"

namespace zobrik {

// Writes the text unchanged.
void DebugOutput(const WideChar* text) noexcept;
// Writes narrow text unchanged (OutputDebugStringA on Windows).
void DebugOutputNarrow(const char* text) noexcept;
// Writes "Zobrik WTS DVC plugin: <event>\n".
void DebugEvent(const WideChar* event) noexcept;

}  // namespace zobrik
