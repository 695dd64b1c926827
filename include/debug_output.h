// The module's only diagnostics: lines on the debugger output.
// The Windows build writes them with OutputDebugStringW/A, whatever their
// level; the Linux add-in writes them to FreeRDP's log at the level given;
// the native build links a sink of its own (the unit tests record the lines).
#pragma once

#include "wide_text.h"

namespace zobrik {

// How much a line matters to whoever reads the log.
enum class DebugLevel {
    Debug,    // ordinary events: connections, requests, hand-overs
    Info,     // a request refused (by a limit, a rule or the policy)
    Warning,  // a policy setting ignored, or the module failing at something
};

// Writes the text unchanged.
void DebugOutput(const WideChar* text, DebugLevel level = DebugLevel::Debug) noexcept;
// Writes narrow text unchanged (OutputDebugStringA on Windows).
void DebugOutputNarrow(const char* text, DebugLevel level = DebugLevel::Debug) noexcept;
// Writes "Zobrik WTS DVC plugin: <event>\n".
void DebugEvent(const WideChar* event, DebugLevel level = DebugLevel::Debug) noexcept;

}  // namespace zobrik
