// A handler that zobrik-open's tests register as the previous default: it
// appends its raw command line after the program name (as GetCommandLineW
// gives it, in UTF-8) as one line to the file named by ZOBRIK_MARKER_FILE,
// so that a test sees exactly which text reached it, quotes and spaces
// included. With ZOBRIK_RECORD_VARIABLE set to a variable's name, a second
// line "<name>=<value>" shows what it inherited of that variable.
#include <windows.h>

#include <cstdio>
#include <string>

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? size_t(size) : 1, '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
    utf8.resize(size > 0 ? size_t(size - 1) : 0);
    return utf8;
}

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
    std::string record = Utf8(line) + "\n";
    wchar_t name[256];
    const DWORD nameLength = GetEnvironmentVariableW(L"ZOBRIK_RECORD_VARIABLE", name, 256);
    if (nameLength > 0 && nameLength < 256) {
        wchar_t value[4096];
        const DWORD valueLength = GetEnvironmentVariableW(name, value, 4096);
        record += Utf8(name) + "=" + (valueLength < 4096 ? Utf8(value) : "(too long)") + "\n";
    }
    FILE* file = _wfopen(path, L"ab");
    if (!file) return 3;
    std::fputs(record.c_str(), file);
    std::fclose(file);
    return 0;
}
