// zobrik-open.exe under Wine outside a Remote Desktop session (Wine's own
// wtsapi32 opens no channel): the handler recorded as the previous default
// gets exactly the text, and zobrik-open refuses to fall back to itself.
// The previous handler is the command-line recorder, registered here as
// ProgID ZobrikTest.Recorder; the records of setup are written as setup
// writes them (HKLM\Software\Zobrik\Server\Previous, 64-bit view).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/server_registry.h"

namespace {

using zobrik::server::kPreviousDefaultsKey;

constexpr DWORD kExitOpened = 0;
constexpr DWORD kExitUsage = 2;
constexpr DWORD kExitNoPreviousHandler = 3;
constexpr DWORD kExitRefusedSelf = 4;

std::wstring ExecutableDirectory() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, n);
    return directory.substr(0, directory.find_last_of(L'\\') + 1);
}

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

void SetString(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value, REGSAM view = 0) {
    HKEY opened = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &opened, nullptr),
              ERROR_SUCCESS);
    const LSTATUS status = RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                          DWORD((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);
    ASSERT_EQ(status, ERROR_SUCCESS);
}

struct RunResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string errorOutput;  // what it wrote to its standard error
};

// Runs zobrik-open.exe with `arguments` after its quoted path, its standard
// error on a pipe, and waits for it.
RunResult RunZobrikOpen(const std::wstring& arguments) {
    RunResult result;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    std::wstring commandLine = L"\"" + ExecutableDirectory() + L"zobrik-open.exe\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    CloseHandle(writeEnd);
    if (started) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0) result.errorOutput.append(buffer, got);
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &result.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(readEnd);
    return result;
}

class ZobrikOpenOutsideSession : public testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        marker_ = std::wstring(temp) + L"zobrik-open-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
        DeleteFileW(marker_.c_str());
        SetEnvironmentVariableW(L"ZOBRIK_MARKER_FILE", marker_.c_str());
        SetEnvironmentVariableW(L"ZOBRIK_OPEN_FALLBACK_TEXT", nullptr);
        const std::wstring recorder = L"\"" + ExecutableDirectory() + L"command_line_recorder.exe\" \"%1\"";
        const std::wstring zobrikOpen = L"\"" + ExecutableDirectory() + L"zobrik-open.exe\" \"%1\"";
        ASSERT_NO_FATAL_FAILURE(SetString(HKEY_CLASSES_ROOT, kRecorder + L"\\shell\\open\\command", nullptr, recorder));
        // zobrik-open's own ProgID and another one that runs it: were either
        // used as the previous handler, each run would start the next.
        ASSERT_NO_FATAL_FAILURE(SetString(HKEY_CLASSES_ROOT, L"Zobrik.Url\\shell\\open\\command", nullptr, zobrikOpen));
        ASSERT_NO_FATAL_FAILURE(SetString(HKEY_CLASSES_ROOT, kLooping + L"\\shell\\edit\\command", nullptr, zobrikOpen));
        ASSERT_NO_FATAL_FAILURE(SetString(HKEY_CLASSES_ROOT, kLooping + L"\\shell\\open\\command", nullptr, recorder));
        for (const wchar_t* association : {L"https", L"mailto", L".txt"}) {
            ASSERT_NO_FATAL_FAILURE(RecordPrevious(association, kRecorder));
        }
    }

    void TearDown() override {
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kPreviousDefaultsKey, KEY_WOW64_64KEY, 0);
        RegDeleteTreeW(HKEY_CLASSES_ROOT, kRecorder.c_str());
        RegDeleteTreeW(HKEY_CLASSES_ROOT, kLooping.c_str());
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Zobrik.Url");
        DeleteFileW(marker_.c_str());
    }

    void RecordPrevious(const wchar_t* association, const std::wstring& progId) {
        SetString(HKEY_LOCAL_MACHINE, kPreviousDefaultsKey, association, progId, KEY_WOW64_64KEY);
    }
    void ForgetPrevious(const wchar_t* association) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPreviousDefaultsKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key),
                  ERROR_SUCCESS);
        RegDeleteValueW(key, association);
        RegCloseKey(key);
    }

    // The lines of the recorder, once `count` are there (the handler runs on
    // its own after zobrik-open has ended), or what there is after 30 s.
    std::vector<std::string> RecordedLines(size_t count) const {
        std::vector<std::string> lines;
        for (int wait = 0; wait < 300; ++wait) {
            lines = ReadLines();
            if (lines.size() >= count) break;
            Sleep(100);
        }
        return lines;
    }
    std::vector<std::string> ReadLines() const {
        std::vector<std::string> lines;
        FILE* file = _wfopen(marker_.c_str(), L"rb");
        if (!file) return lines;
        std::string content;
        char buffer[4096];
        size_t got = 0;
        while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) content.append(buffer, got);
        fclose(file);
        size_t start = 0;
        for (size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(content.substr(start, end - start));
        return lines;
    }

    const std::wstring kRecorder = L"ZobrikTest.Recorder";
    const std::wstring kLooping = L"ZobrikTest.Looping";
    std::wstring marker_;
};

TEST_F(ZobrikOpenOutsideSession, PreviousHandlerGetsExactlyTheText) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring document = std::wstring(temp) + L"Zobrik open test\\notes 2024.txt";
    CreateDirectoryW((std::wstring(temp) + L"Zobrik open test").c_str(), nullptr);
    CloseHandle(CreateFileW(document.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    const std::wstring texts[] = {
        L"https://example.com/search?q=\"two words\"&x=1#top",
        L"https://example.com/a b  c",
        L"mailto:someone@example.com?subject=Q3 report&body=\"see attached\"",
        document,
    };
    std::vector<std::string> expected;
    for (const std::wstring& text : texts) {
        const RunResult run = RunZobrikOpen(L"\"" + text + L"\"");
        EXPECT_EQ(run.exitCode, kExitOpened) << Utf8(text) << "\n" << run.errorOutput;
        expected.push_back("\"" + Utf8(text) + "\"");
        // One at a time: the recorder appends in the order of the runs.
        EXPECT_EQ(RecordedLines(expected.size()), expected);
    }
    DeleteFileW(document.c_str());
    RemoveDirectoryW((std::wstring(temp) + L"Zobrik open test").c_str());
}

TEST_F(ZobrikOpenOutsideSession, OwnProgIdAsPreviousIsRefused) {
    for (const std::wstring& own : {std::wstring(L"Zobrik.Url"), kLooping}) {
        ASSERT_NO_FATAL_FAILURE(RecordPrevious(L"https", own));
        const RunResult run = RunZobrikOpen(L"\"https://example.com/\"");
        EXPECT_EQ(run.exitCode, kExitRefusedSelf) << run.errorOutput;
        EXPECT_NE(run.errorOutput.find("it is zobrik-open itself"), std::string::npos) << run.errorOutput;
    }
    Sleep(500);
    EXPECT_TRUE(ReadLines().empty()) << "nothing was started";
}

TEST_F(ZobrikOpenOutsideSession, StartedByItsOwnFallbackForTheSameTextItStops) {
    SetEnvironmentVariableW(L"ZOBRIK_OPEN_FALLBACK_TEXT", L"https://example.com/loop");
    const RunResult same = RunZobrikOpen(L"\"https://example.com/loop\"");
    EXPECT_EQ(same.exitCode, kExitRefusedSelf) << same.errorOutput;
    const RunResult other = RunZobrikOpen(L"\"https://example.com/other\"");
    EXPECT_EQ(other.exitCode, kExitOpened) << other.errorOutput;
    EXPECT_EQ(RecordedLines(1), std::vector<std::string>{"\"https://example.com/other\""});
}

TEST_F(ZobrikOpenOutsideSession, WithoutRecordedHandlerItFailsClearly) {
    ASSERT_NO_FATAL_FAILURE(ForgetPrevious(L"https"));
    const RunResult run = RunZobrikOpen(L"\"https://example.com/\"");
    EXPECT_EQ(run.exitCode, kExitNoPreviousHandler);
    EXPECT_NE(run.errorOutput.find("setup recorded none for \"https\""), std::string::npos) << run.errorOutput;
    // A text without scheme or extension has no handler either.
    EXPECT_EQ(RunZobrikOpen(L"\"C:\\folder\\README\"").exitCode, kExitNoPreviousHandler);
    Sleep(500);
    EXPECT_TRUE(ReadLines().empty());
}

TEST_F(ZobrikOpenOutsideSession, CommandLineMistakesAreUsageErrors) {
    const std::pair<const wchar_t*, DWORD> cases[] = {
        {L"", kExitUsage},
        {L"\"\"", kExitUsage},
        {L"-x https://example.com/", kExitUsage},
        {L"--help", kExitOpened},
    };
    for (const auto& [arguments, exitCode] : cases) {
        const RunResult run = RunZobrikOpen(arguments);
        EXPECT_EQ(run.exitCode, exitCode) << Utf8(arguments) << "\n" << run.errorOutput;
    }
    // A quoted text that looks like an option is a text (here a mailto
    // address whose scheme the recorder handles), never an option.
    EXPECT_EQ(RunZobrikOpen(L"-- \"mailto:--help@example.com\"").exitCode, kExitOpened);
    EXPECT_EQ(RecordedLines(1), std::vector<std::string>{"\"mailto:--help@example.com\""});
}

}  // namespace
