// The add-in's diagnostic lines go to FreeRDP's log, under the tag
// "com.zobrik.wtsdvc": refusals at INFO, ignored policy settings and the
// add-in's own failures at WARN, everything else at DEBUG
// (WLOG_FILTER=com.zobrik.wtsdvc:DEBUG shows them all).
#include "include/debug_output.h"

#include <string>

#include <winpr/wlog.h>

#include "include/utf_conversion.h"

namespace zobrik {

namespace {

wLog* Log() noexcept {
    static wLog* log = WLog_Get("com.zobrik.wtsdvc");
    return log;
}

DWORD WLogLevel(DebugLevel level) noexcept {
    switch (level) {
        case DebugLevel::Info:
            return WLOG_INFO;
        case DebugLevel::Warning:
            return WLOG_WARN;
        case DebugLevel::Debug:
            break;
    }
    return WLOG_DEBUG;
}

}  // namespace

void DebugOutputNarrow(const char* text, DebugLevel level) noexcept {
    if (text != nullptr && Log() != nullptr) WLog_Print(Log(), WLogLevel(level), "%s", text);
}

void DebugOutput(const WideChar* text, DebugLevel level) noexcept {
    try {
        if (text != nullptr) DebugOutputNarrow(Utf16ToUtf8(text).c_str(), level);
    } catch (...) {
    }
}

void DebugEvent(const WideChar* event, DebugLevel level) noexcept {
    try {
        if (event != nullptr) DebugOutputNarrow(("Zobrik WTS DVC plugin: " + Utf16ToUtf8(event)).c_str(), level);
    } catch (...) {
    }
}

}  // namespace zobrik
