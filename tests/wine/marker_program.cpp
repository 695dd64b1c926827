// A small program that the exec tests open through the plug-in: it appends
// one line to the file named by ZOBRIK_MARKER_FILE (inherited from the test),
// "ran", followed by its first argument when it has one (so that a test can
// tell which of several registered commands ran).
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    wchar_t path[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"ZOBRIK_MARKER_FILE", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return 2;
    }
    FILE* file = _wfopen(path, L"a");
    if (!file) {
        return 3;
    }
    std::fputs("ran", file);
    if (argc > 1) {
        std::fputc(' ', file);
        std::fputs(argv[1], file);
    }
    std::fputc('\n', file);
    std::fclose(file);
    return 0;
}
