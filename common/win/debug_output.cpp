// Debugger output of the module: every diagnostic goes through here, at
// every level alike.
#include "include/debug_output.h"

#include <windows.h>

#include <cwchar>

namespace zobrik {

namespace {
constexpr wchar_t kTag[] = L"Zobrik WTS DVC plugin: ";
}

void DebugOutput(const WideChar* text, DebugLevel) noexcept { OutputDebugStringW(text); }

void DebugOutputNarrow(const char* text, DebugLevel) noexcept { OutputDebugStringA(text); }

void DebugEvent(const WideChar* event, DebugLevel) noexcept {
    // Events are short fixed texts; a fixed buffer keeps this free of
    // allocation so it can be used on every path, failures included.
    wchar_t line[512];
    int written = _snwprintf(line, std::size(line), L"%ls%ls\n", kTag, event);
    if (written < 0 || size_t(written) >= std::size(line)) {
        line[std::size(line) - 2] = L'\n';
        line[std::size(line) - 1] = L'\0';
    }
    OutputDebugStringW(line);
}

}  // namespace zobrik
