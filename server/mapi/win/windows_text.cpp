#include "windows_text.h"

#include <windows.h>

#include <climits>
#include <cstring>

namespace zobrik::mapi {

std::optional<std::string> Utf8FromAnsi(const char* text) {
    const size_t length = std::strlen(text);
    if (length == 0) return std::string();
    if (length > INT_MAX / 4) return std::nullopt;
    const int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, int(length), nullptr, 0);
    if (units <= 0) return std::nullopt;
    std::wstring wide(size_t(units), L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, int(length), wide.data(), units);
    const int bytes =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::nullopt;
    std::string out(size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), units, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::wstring WideFromUtf8(std::string_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    if (units <= 0) return {};
    std::wstring out(size_t(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), units);
    return out;
}

std::string Utf8FromWide(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string out(size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), bytes, nullptr, nullptr);
    return out;
}

void WriteDebugLine(const std::string& line) noexcept {
    try {
        const std::wstring wide = WideFromUtf8(line) + L"\n";
        OutputDebugStringW(wide.c_str());
    } catch (...) {
        OutputDebugStringA("ZobrikMapi: a debugger line could not be written\n");
    }
}

}  // namespace zobrik::mapi
