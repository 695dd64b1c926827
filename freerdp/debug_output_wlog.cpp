// The add-in's diagnostic lines go to FreeRDP's log, under the tag
// "com.zobrik.wtsdvc" at level DEBUG (WLOG_FILTER=com.zobrik.wtsdvc:DEBUG
// shows them).
#include <string>

#include <winpr/wlog.h>

#include "include/debug_output.h"
#include "include/utf_conversion.h"

namespace zobrik {

namespace {

wLog* Log() noexcept {
    static wLog* log = WLog_Get("com.zobrik.wtsdvc");
    return log;
}

}  // namespace

void DebugOutputNarrow(const char* text) noexcept {
    if (text != nullptr && Log() != nullptr) WLog_Print(Log(), WLOG_DEBUG, "%s", text);
}

void DebugOutput(const WideChar* text) noexcept {
    try {
        if (text != nullptr) DebugOutputNarrow(Utf16ToUtf8(text).c_str());
    } catch (...) {
    }
}

void DebugEvent(const WideChar* event) noexcept {
    try {
        if (event != nullptr) DebugOutputNarrow(("Zobrik WTS DVC plugin: " + Utf16ToUtf8(event)).c_str());
    } catch (...) {
    }
}

}  // namespace zobrik
