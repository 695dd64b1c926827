// zobrik-open.exe under Wine. Outside a Remote Desktop session (Wine's own
// wtsapi32 opens no channel): the handler recorded as the previous default
// gets exactly the text, and zobrik-open refuses to fall back to itself. In a
// test session (ZobrikOpenInSession, run by zobrik_add_session_test): it
// forwards the text to the client's plug-in, and falls back when the client
// answers "failed".
// The previous handler is the command-line recorder, registered here as
// ProgID ZobrikTest.Recorder; the records of setup are written as setup
// writes them (HKLM\Software\Zobrik\Server\Previous, 64-bit view).
//
// Client and session share the prefix: the client's plug-in opens an https
// URL with its shell, which starts zobrik-open again (https is registered to
// it here, as Wine has no Default Apps); that one runs outside the session
// (the session host has no wtsapi32=n) and hands the text to the recorder,
// which ends the chain.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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

std::wstring Environment(const wchar_t* name) {
    wchar_t value[1024];
    const DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
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
// error on a pipe, and waits for it (at most 120 s; then it is ended and the
// exit code stays 0xFFFFFFFF).
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
    const BOOL started =
        CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (started) {
        // Read what is there until zobrik-open has ended, not until every
        // writer is gone: a handler it starts may inherit the pipe and live on.
        const auto readAvailable = [&] {
            DWORD available = 0;
            char buffer[4096];
            while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
                DWORD got = 0;
                if (!ReadFile(readEnd, buffer, std::min<DWORD>(available, sizeof(buffer)), &got, nullptr) || got == 0)
                    return;
                result.errorOutput.append(buffer, got);
            }
        };
        const ULONGLONG deadline = GetTickCount64() + 120000;
        bool ended = false;
        while (!ended && GetTickCount64() < deadline) {
            ended = WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0;
            readAvailable();
        }
        if (ended) {
            GetExitCodeProcess(process.hProcess, &result.exitCode);
        } else {
            result.errorOutput += "\n(zobrik-open was still running after 120 s and was ended by the test)";
            TerminateProcess(process.hProcess, 1);
        }
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(readEnd);
    return result;
}

class ZobrikOpenOutsideSession : public testing::Test {
protected:
    void SetUp() override {
        // The recorder started by this test's zobrik-open writes here (in a
        // test session, the session side's file).
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        marker_ = std::wstring(temp) + L"zobrik-open-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
        SetEnvironmentVariableW(L"ZOBRIK_MARKER_FILE", marker_.c_str());
        DeleteFileW(marker_.c_str());
        SetEnvironmentVariableW(L"ZOBRIK_OPEN_FALLBACK_TEXT", nullptr);
        const std::wstring recorder = L"\"" + ExecutableDirectory() + L"command_line_recorder.exe\" \"%1\"";
        ASSERT_NO_FATAL_FAILURE(SetString(HKEY_CLASSES_ROOT, kRecorder + L"\\shell\\open\\command", nullptr, recorder));
        // zobrik-open's own ProgID and another one that runs it: were either
        // used as the previous handler, each run would start the next.
        ASSERT_NO_FATAL_FAILURE(SetString(HKEY_CLASSES_ROOT, L"Zobrik.Url\\shell\\open\\command", nullptr, zobrikOpen));
        ASSERT_NO_FATAL_FAILURE(
            SetString(HKEY_CLASSES_ROOT, kLooping + L"\\shell\\edit\\command", nullptr, zobrikOpen));
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
    std::vector<std::string> RecordedLines(size_t count) const { return RecordedLines(marker_, count); }
    static std::vector<std::string> RecordedLines(const std::wstring& marker, size_t count) {
        std::vector<std::string> lines;
        for (int wait = 0; wait < 300; ++wait) {
            lines = ReadLines(marker);
            if (lines.size() >= count) break;
            Sleep(100);
        }
        return lines;
    }
    std::vector<std::string> ReadLines() const { return ReadLines(marker_); }
    static std::vector<std::string> ReadLines(const std::wstring& marker) {
        std::vector<std::string> lines;
        FILE* file = _wfopen(marker.c_str(), L"rb");
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

    const std::wstring zobrikOpen = L"\"" + ExecutableDirectory() + L"zobrik-open.exe\" \"%1\"";
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
        // Outside the ANSI code page and outside the BMP.
        L"https://example.com/\u00fcber/\u4f8b/\U0001F600",
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

TEST_F(ZobrikOpenOutsideSession, WhatTheFallbackStartsInheritsTheLoopMark) {
    // A handler that passed the text back to the shell would start
    // zobrik-open with this mark, which then stops (previous test).
    SetEnvironmentVariableW(L"ZOBRIK_RECORD_VARIABLE", L"ZOBRIK_OPEN_FALLBACK_TEXT");
    const RunResult run = RunZobrikOpen(L"\"https://example.com/mark\"");
    SetEnvironmentVariableW(L"ZOBRIK_RECORD_VARIABLE", nullptr);
    EXPECT_EQ(run.exitCode, kExitOpened) << run.errorOutput;
    EXPECT_EQ(RecordedLines(2), (std::vector<std::string>{"\"https://example.com/mark\"",
                                                          "ZOBRIK_OPEN_FALLBACK_TEXT=https://example.com/mark"}));
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

// The host's log lines (ZOBRIK_SESSION_HOST_LOG) that report a message on
// the exec channel: "host: Zobrik/exec: message of <n> bytes".
std::vector<std::string> ExecMessages() {
    std::vector<std::string> found;
    FILE* file = _wfopen(Environment(L"ZOBRIK_SESSION_HOST_LOG").c_str(), L"rb");
    if (!file) return found;
    char line[4096];
    while (fgets(line, sizeof(line), file)) {
        const std::string text(line);
        if (text.rfind("host: Zobrik/exec: message of ", 0) == 0)
            found.push_back(text.substr(0, text.find_last_not_of("\r\n") + 1));
    }
    fclose(file);
    return found;
}

// https is zobrik-open's (HKCR\https\shell\open\command), as Default Apps
// would make it on Windows.
class ZobrikOpenInSession : public ZobrikOpenOutsideSession {
protected:
    void SetUp() override {
        ASSERT_FALSE(Environment(L"ZOBRIK_SESSION_HOST_LOG").empty()) << "run by zobrik_add_session_test";
        // The harness's marker file, which programs started on the client
        // side write; this test's own (marker_) is the session side's.
        clientMarker_ = Environment(L"ZOBRIK_MARKER_FILE");
        ASSERT_FALSE(clientMarker_.empty());
        DeleteFileW(clientMarker_.c_str());
        ZobrikOpenOutsideSession::SetUp();
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kHttpsCommand, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
            wchar_t value[1024];
            DWORD size = sizeof(value);
            if (RegGetValueW(key, nullptr, nullptr, RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS)
                previousHttpsCommand_ = value;
            RegCloseKey(key);
        }
        ASSERT_NO_FATAL_FAILURE(SetString(HKEY_CLASSES_ROOT, kHttpsCommand, nullptr, zobrikOpen));
    }
    void TearDown() override {
        if (!previousHttpsCommand_.empty()) SetString(HKEY_CLASSES_ROOT, kHttpsCommand, nullptr, previousHttpsCommand_);
        ZobrikOpenOutsideSession::TearDown();
    }

    // Whether exactly these lines are recorded by the recorder started on
    // the client side, or on the session side, and no more come (a loop
    // would add more), and none on the other side.
    enum class Side { Client, Session };
    void ExpectRecordedOnly(Side side, const std::vector<std::string>& expected) const {
        const std::wstring& there = side == Side::Client ? clientMarker_ : marker_;
        const std::wstring& other = side == Side::Client ? marker_ : clientMarker_;
        EXPECT_EQ(RecordedLines(there, expected.size()), expected);
        Sleep(1000);
        EXPECT_EQ(ReadLines(there), expected) << "the chain ended";
        EXPECT_EQ(ReadLines(other), std::vector<std::string>{}) << "nothing on the other side";
    }

    static constexpr const wchar_t* kHttpsCommand = L"https\\shell\\open\\command";
    std::wstring previousHttpsCommand_;
    std::wstring clientMarker_;
};

TEST_F(ZobrikOpenInSession, ForwardsTheTextToTheClientsExecChannel) {
    const std::wstring text = L"https://example.com/in-session?a=1&b=%22x%22";
    const RunResult run = RunZobrikOpen(L"\"" + text + L"\"");
    EXPECT_EQ(run.exitCode, kExitOpened) << run.errorOutput;
    EXPECT_EQ(run.errorOutput, "") << "no fallback in the session";
    EXPECT_EQ(ExecMessages(),
              std::vector<std::string>{"host: Zobrik/exec: message of " + std::to_string(text.size()) + " bytes"});
    // The client's shell started zobrik-open outside the session, which
    // handed the text to the recorder.
    ExpectRecordedOnly(Side::Client, {"\"" + Utf8(text) + "\""});
}

TEST_F(ZobrikOpenInSession, ClientFailedFallsBackToThePreviousHandlerInTheSession) {
    // The client's plug-in refuses a URL with a space inside: "failed".
    const std::wstring text = L"https://example.com/two words";
    const RunResult run = RunZobrikOpen(L"\"" + text + L"\"");
    EXPECT_EQ(run.exitCode, kExitOpened) << run.errorOutput;
    EXPECT_NE(run.errorOutput.find("the client answered \"failed\""), std::string::npos) << run.errorOutput;
    EXPECT_NE(run.errorOutput.find("opening \"https://example.com/two words\" with the previous handler "
                                   "\"ZobrikTest.Recorder\""),
              std::string::npos)
        << run.errorOutput;
    EXPECT_EQ(ExecMessages().size(), 1u);
    ExpectRecordedOnly(Side::Session, {"\"https://example.com/two words\""});
}

TEST_F(ZobrikOpenInSession, ShellExecuteOfAnHttpsUrlReachesTheClient) {
    const wchar_t* url = L"https://example.com/shell-execute?q=1";
    const INT_PTR result =
        reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", url, nullptr, nullptr, SW_SHOWNORMAL));
    ASSERT_GT(result, 32);
    ExpectRecordedOnly(Side::Client, {"\"https://example.com/shell-execute?q=1\""});
    EXPECT_EQ(ExecMessages(), std::vector<std::string>{"host: Zobrik/exec: message of 37 bytes"});
}

}  // namespace
