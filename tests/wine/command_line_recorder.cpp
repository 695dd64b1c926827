// A handler that zobrik-open's tests register as the previous default: it
// appends its raw command line after the program name (as GetCommandLineW
// gives it, in UTF-8) as one line to the file named by ZOBRIK_MARKER_FILE,
// so that a test sees exactly which text reached it, quotes and spaces
// included.
#include <windows.h>

#include <cstdio>
#include <string>

int main() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"ZOBRIK_MARKER_FILE", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 2;
    const wchar_t* line = GetCommandLineW();
    // The program name, as CommandLineToArgvW reads it, and the blanks after it.
    if (*line == L'"') {
        ++line;
        while (*line != 0 && *line != L'"') ++line;
        if (*line == L'"') ++line;
    }
    while (*line != 0 && *line != L' ' && *line != L'\t') ++line;
    while (*line == L' ' || *line == L'\t') ++line;
    const int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? size_t(size) : 1, '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8.data(), size, nullptr, nullptr);
    FILE* file = _wfopen(path, L"ab");
    if (!file) return 3;
    std::fputs(utf8.c_str(), file);
    std::fputc('\n', file);
    std::fclose(file);
    return 0;
}
