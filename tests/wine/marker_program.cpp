// A small program that the exec tests open through the plug-in: it appends
// one line to the file named by ZOBRIK_MARKER_FILE (inherited from the test),
// "ran", followed by its first argument when it has one (so that a test can
// tell which of several registered commands ran). With ZOBRIK_MARKER_SHOW_FILE
// set, it first appends there how its starter asked it to show its window:
// the show command (1 is SW_SHOWNORMAL), or "default" when none was given.
#include <windows.h>

#include <cstdio>

namespace {

void WriteShowCommand() {
    wchar_t path[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"ZOBRIK_MARKER_SHOW_FILE", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    FILE* file = _wfopen(path, L"a");
    if (!file) {
        return;
    }
    if (startup.dwFlags & STARTF_USESHOWWINDOW) {
        std::fprintf(file, "%u\n", unsigned(startup.wShowWindow));
    } else {
        std::fputs("default\n", file);
    }
    std::fclose(file);
}

}  // namespace

int main(int argc, char** argv) {
    WriteShowCommand();
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
