// The exec channel end to end against Wine's shell.
#include <windows.h>

// clang-format off
#include <winsock2.h>  // before iphlpapi.h: its adapter types need it
#include <iphlpapi.h>
// clang-format on
#include <shellapi.h>

#include <cwctype>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "include/win/owners.h"
#include "test_support.h"

namespace zobrik::testing {
namespace {

using standin::DebugCapture;

const std::vector<uint8_t> kOkay = {'o', 'k', 'a', 'y', 0, 0, 0, 0};
const std::vector<uint8_t> kFailed = {'f', 'a', 'i', 'l', 'e', 'd', 0, 0};

class ExecChannel : public ::testing::Test {
protected:
    void SetUp() override {
        client_ = StartedClient();
        channel_ = client_->OpenChannel("Zobrik/exec");
        ASSERT_NE(channel_, nullptr);
        marker_ = FreshTempFile(L"zobrik-marker");
        SetEnvironmentVariableW(L"ZOBRIK_MARKER_FILE", marker_.c_str());
    }

    std::unique_ptr<standin::ClientStandIn> client_;
    std::shared_ptr<standin::StandInChannel> channel_;
    std::wstring marker_;
};

TEST_F(ExecChannel, ProgramIsOpenedAndAnsweredOkay) {
    DebugCapture::Clear();
    ASSERT_EQ(channel_->Send(MarkerProgramPath()), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(channel_->Writes()[0], kOkay);
    EXPECT_TRUE(WaitForMarkerRuns(marker_, 1, kReplyTimeout)) << "the program did not run";
    EXPECT_EQ(DebugCapture::Count("Zobrik WTS DVC plugin: OnDataReceived\n"), 1u);
    EXPECT_EQ(DebugCapture::Count(MarkerProgramPath()), 1u) << "the request text is logged";
}

// The shell starts what it opens with a window shown normally, whichever
// encoding the text came in: never hidden, never minimised.
TEST_F(ExecChannel, ProgramIsStartedWithItsWindowShownNormally) {
    const std::wstring shown = FreshTempFile(L"zobrik-marker-show");
    SetEnvironmentVariableW(L"ZOBRIK_MARKER_SHOW_FILE", shown.c_str());
    for (const std::string& text : {MarkerProgramPath(), "\xEF\xBB\xBF" + MarkerProgramPath()}) {
        const size_t replies = channel_->Writes().size();
        ASSERT_EQ(channel_->Send(text), S_OK);
        ASSERT_TRUE(channel_->WaitForWrites(replies + 1, kReplyTimeout));
        EXPECT_EQ(channel_->Writes()[replies], kOkay);
        ASSERT_TRUE(WaitForMarkerRuns(marker_, int(replies) + 1, kReplyTimeout)) << "the program did not run";
    }
    SetEnvironmentVariableW(L"ZOBRIK_MARKER_SHOW_FILE", nullptr);
    std::ifstream in(shown.c_str());
    const std::string lines((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(lines, "1\n1\n") << "SW_SHOWNORMAL for the ANSI text, then for the UTF-8 one";
    in.close();
    DeleteFileW(shown.c_str());
}

TEST_F(ExecChannel, MissingPathIsAnsweredFailed) {
    ASSERT_EQ(channel_->Send(std::string("C:\\no\\such\\program-zobrik.exe")), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(channel_->Writes()[0], kFailed);
}

TEST_F(ExecChannel, BytesAfterANulAreIgnored) {
    DebugCapture::Clear();
    std::string request = MarkerProgramPath();
    request += '\0';
    request += "C:\\no\\such\\thing.exe";
    ASSERT_EQ(channel_->Send(request), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(channel_->Writes()[0], kOkay);
    EXPECT_TRUE(WaitForMarkerRuns(marker_, 1, kReplyTimeout));
    EXPECT_EQ(DebugCapture::Count(MarkerProgramPath()), 1u) << "only the text before the NUL is logged";
}

TEST_F(ExecChannel, TwoMessagesGetTwoReplies) {
    ASSERT_EQ(channel_->Send(MarkerProgramPath()), S_OK);
    ASSERT_EQ(channel_->Send(std::string("C:\\no\\such\\program-zobrik.exe")), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(2, kReplyTimeout));
    auto writes = channel_->Writes();
    ASSERT_EQ(writes.size(), 2u);
    // Replies leave in the order the shell calls finish.
    EXPECT_TRUE((writes[0] == kOkay && writes[1] == kFailed) || (writes[0] == kFailed && writes[1] == kOkay));
    EXPECT_TRUE(WaitForMarkerRuns(marker_, 1, kReplyTimeout));
    Sleep(200);
    EXPECT_EQ(channel_->Writes().size(), 2u) << "exactly one reply per message";
}

TEST_F(ExecChannel, EmptyMessageFollowsTheShellsResult) {
    INT_PTR shell = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", "", nullptr, nullptr, SW_SHOWNORMAL));
    ASSERT_EQ(channel_->Send(nullptr, 0), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(channel_->Writes()[0], shell > 32 ? kOkay : kFailed) << "shell answered " << shell;
}

TEST_F(ExecChannel, EmptyMessageWithoutABufferIsServedLikeAnEmptyText) {
    // The client may hand an empty message over without a buffer; the
    // stand-in's Send always passes one, so the callback is called directly.
    // Wine's shell refuses an empty text (ERROR_BAD_FORMAT under Wine 8).
    INT_PTR shell = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", "", nullptr, nullptr, SW_SHOWNORMAL));
    ASSERT_LE(shell, 32) << "shell answered " << shell;
    IWTSVirtualChannelCallback* callback = channel_->Callback();
    ASSERT_NE(callback, nullptr);
    EXPECT_EQ(callback->OnDataReceived(0, nullptr), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(channel_->Writes()[0], kFailed);

    ASSERT_EQ(channel_->Send(MarkerProgramPath()), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(2, kReplyTimeout)) << "the channel still serves requests";
    EXPECT_EQ(channel_->Writes()[1], kOkay);
}

// Wine's own shell32 overruns a buffer for texts of about 1000 characters
// and more, so the noise stays below that.
TEST_F(ExecChannel, ArbitraryBytesAreServedWithoutCrashing) {
    std::vector<uint8_t> noise(600);
    for (size_t i = 0; i < noise.size(); ++i) {
        noise[i] = uint8_t(i * 37 + 11) | 1;  // no NUL: the whole message is the text
    }
    ASSERT_EQ(channel_->Send(noise), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(channel_->Writes()[0], kFailed);
}

TEST_F(ExecChannel, ClosedChannelGetsNoReply) {
    ASSERT_EQ(channel_->Send(MarkerProgramPath()), S_OK);
    ASSERT_EQ(channel_->CloseFromServer(), S_OK);
    EXPECT_TRUE(WaitForMarkerRuns(marker_, 1, kReplyTimeout)) << "the request is still served";
    Sleep(300);
    EXPECT_EQ(channel_->WritesAfterClose(), 0u);
}

std::vector<std::string> MarkerLines(const std::wstring& path) {
    std::ifstream in(path.c_str());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Wine 8's shell finds file types only among the classes of the machine
// (HKEY_CLASSES_ROOT is HKLM\Software\Classes there; the user's
// Software\Classes is not consulted), so the test's type is registered there.
void SetClassesValue(const std::wstring& key, const std::wstring& value) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr),
              ERROR_SUCCESS)
        << standin::ToUtf8(key);
    LONG result = RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 DWORD((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    ASSERT_EQ(result, ERROR_SUCCESS) << standin::ToUtf8(key);
}

// A file type of the test's own whose default verb is not "open"; both verbs
// run the marker program, each with its verb as argument.
class ExecVerb : public ExecChannel {
protected:
    void SetUp() override {
        ExecChannel::SetUp();
        const std::wstring pid = std::to_wstring(GetCurrentProcessId());
        extension_ = L".zobrikverb" + pid;
        progId_ = L"Zobrik.VerbTest" + pid;
        const std::wstring marker = L"\"" + standin::FromUtf8(MarkerProgramPath()) + L"\" ";
        ASSERT_NO_FATAL_FAILURE(SetClassesValue(extension_, progId_));
        ASSERT_NO_FATAL_FAILURE(SetClassesValue(progId_ + L"\\shell", L"zobrikother"));
        ASSERT_NO_FATAL_FAILURE(SetClassesValue(progId_ + L"\\shell\\zobrikother\\command", marker + L"zobrikother"));
        ASSERT_NO_FATAL_FAILURE(SetClassesValue(progId_ + L"\\shell\\open\\command", marker + L"open"));
        document_ = FreshTempFile(L"zobrik-verb") + extension_;
        HANDLE file = CreateFileW(document_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
    }

    void TearDown() override {
        DeleteFileW(document_.c_str());
        RegDeleteTreeW(HKEY_CLASSES_ROOT, extension_.c_str());
        RegDeleteTreeW(HKEY_CLASSES_ROOT, progId_.c_str());
    }

    std::wstring extension_;
    std::wstring progId_;
    std::wstring document_;
};

TEST_F(ExecVerb, DocumentIsOpenedWithTheOpenVerbNotTheDefault) {
    // The shell itself picks "zobrikother" when no verb is named.
    const std::string document = standin::ToUtf8(document_);
    INT_PTR shell =
        reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, nullptr, document.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    ASSERT_GT(shell, 32);
    ASSERT_TRUE(WaitForMarkerRuns(marker_, 1, kReplyTimeout));
    ASSERT_EQ(MarkerLines(marker_), std::vector<std::string>{"ran zobrikother"})
        << "the type is not registered as meant";

    ASSERT_EQ(channel_->Send(document), S_OK);
    ASSERT_TRUE(channel_->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(channel_->Writes()[0], kOkay);
    ASSERT_TRUE(WaitForMarkerRuns(marker_, 2, kReplyTimeout));
    Sleep(200);
    EXPECT_EQ(MarkerLines(marker_), (std::vector<std::string>{"ran zobrikother", "ran open"}));
}

// --- What the exec channel refuses ---

// Sets an environment variable of this process (and so of the plug-in) until
// the object goes.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
        std::vector<wchar_t> old(32768);
        SetLastError(ERROR_SUCCESS);
        DWORD n = GetEnvironmentVariableW(name, old.data(), DWORD(old.size()));
        if (n < old.size() && (n > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND)) {
            old_ = std::wstring(old.data(), n);
        }
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedVariable() { SetEnvironmentVariableW(name_.c_str(), old_ ? old_->c_str() : nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::wstring name_;
    std::optional<std::wstring> old_;
};

class ExecRefusal : public ExecChannel {
protected:
    // Sends `text`; expects "failed" and the debugger line with `reason`.
    void ExpectRefused(const std::string& text, const std::string& reason) {
        const std::string line = "Zobrik WTS DVC plugin: exec refused: " + reason + "\n";
        const size_t lines = DebugCapture::Count(line);
        const size_t replies = channel_->Writes().size();
        ASSERT_EQ(channel_->Send(text), S_OK);
        ASSERT_TRUE(channel_->WaitForWrites(replies + 1, kReplyTimeout));
        EXPECT_EQ(channel_->Writes()[replies], kFailed) << text.substr(0, 300);
        EXPECT_EQ(DebugCapture::Count(line), lines + 1) << text.substr(0, 300);
    }

    // Sends `text`; expects "okay" and one more run of the marker program.
    void ExpectOpened(const std::string& text) {
        const int runs = MarkerRuns(marker_);
        const size_t replies = channel_->Writes().size();
        ASSERT_EQ(channel_->Send(text), S_OK);
        ASSERT_TRUE(channel_->WaitForWrites(replies + 1, kReplyTimeout));
        EXPECT_EQ(channel_->Writes()[replies], kOkay) << text.substr(0, 300);
        EXPECT_TRUE(WaitForMarkerRuns(marker_, runs + 1, kReplyTimeout)) << text.substr(0, 300);
    }

    // Waits a while, then expects `runs` runs of the marker program in all:
    // a refused text must not start it, not even late.
    void ExpectRunsAfterAWhile(int runs) {
        std::this_thread::sleep_for(kSilence);
        EXPECT_EQ(MarkerRuns(marker_), runs);
    }
};

bool ShellOpens(const std::string& text) {
    HINSTANCE result = ShellExecuteA(nullptr, "open", text.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

bool ClassesKeyExists(const std::wstring& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(handle);
    return true;
}

// The marker program's path followed by references to an empty variable and
// at least three spaces, `size` bytes in all. The shell expands the references
// to nothing, reads at most 32766 units of a text, and ignores trailing
// spaces: it opens the marker program.
std::string PaddedText(size_t size) {
    const std::string nothing = "%ZOBRIK_NOTHING%";
    std::string text = MarkerProgramPath();
    while (text.size() + nothing.size() + 3 <= size) {
        text += nothing;
    }
    text.resize(size, ' ');
    return text;
}

TEST_F(ExecRefusal, TextOf32767BytesOpensALongerOneIsRefused) {
    ScopedVariable nothing(L"ZOBRIK_NOTHING", L"");
    ExpectOpened(PaddedText(32767));
    ExpectOpened(PaddedText(32767) + '\0' + std::string(1000, 'x'));  // the text ends at the NUL

    const std::string tooLong = PaddedText(32768);
    ASSERT_TRUE(ShellOpens(tooLong)) << "the shell itself opens it";
    ASSERT_TRUE(WaitForMarkerRuns(marker_, 3, kReplyTimeout));
    ExpectRefused(tooLong, "text longer than 32767 bytes");
    ExpectRefused(PaddedText(200000), "text longer than 32767 bytes");
    ExpectRunsAfterAWhile(3);
}

// Handlers of the test's own for URL schemes: each runs the marker program
// with its scheme as argument.
class ExecSchemes : public ExecRefusal {
protected:
    void Register(const std::string& scheme) {
        const std::wstring key = standin::FromUtf8(scheme);
        ASSERT_FALSE(ClassesKeyExists(key + L"\\shell")) << scheme << " has verbs of its own";
        registered_.push_back({key, ClassesKeyExists(key)});
        ASSERT_NO_FATAL_FAILURE(SetClassesValue(key + L"\\shell\\open\\command",
                                                L"\"" + standin::FromUtf8(MarkerProgramPath()) + L"\" " + key));
    }

    // Removes what Register added, and only that.
    void TearDown() override {
        for (const auto& [key, existed] : registered_) {
            RegDeleteTreeW(HKEY_CLASSES_ROOT, (existed ? key + L"\\shell" : key).c_str());
        }
    }

    std::vector<std::pair<std::wstring, bool>> registered_;
};

TEST_F(ExecSchemes, RefusedSchemesNeverReachTheirHandlers) {
    const std::string schemes[] = {
        "ms-msdt",    "search-ms", "search", "ms-officecmd", "ms-cxh", "ms-cxh-full", "ms-appinstaller",
        "javascript", "vbscript",  "shell",  "ms-its",       "its",    "mk",          "hcp"};
    std::vector<std::string> ran;
    for (const std::string& scheme : schemes) {
        ASSERT_NO_FATAL_FAILURE(Register(scheme));
        ASSERT_TRUE(ShellOpens(scheme + ":zobrik")) << scheme;
        ran.push_back("ran " + scheme);
        ASSERT_TRUE(WaitForMarkerRuns(marker_, int(ran.size()), kReplyTimeout)) << scheme;
    }
    ASSERT_EQ(MarkerLines(marker_), ran) << "each handler works when the shell is asked directly";

    for (const std::string& scheme : schemes) {
        std::string upper = scheme;
        for (char& c : upper) {
            c = char(std::toupper(uint8_t(c)));
        }
        for (const std::string& text : {scheme + ":zobrik", upper + "://zobrik", "\"" + scheme + ":zobrik\""}) {
            ExpectRefused(text, "scheme " + scheme + ": is not allowed");
        }
    }
    ExpectRefused("::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", "shell namespace names are not allowed");
    ExpectRunsAfterAWhile(int(ran.size()));
}

TEST_F(ExecSchemes, SchemeThatOnlyResemblesARefusedOneIsOpened) {
    ASSERT_NO_FATAL_FAILURE(Register("search-msx"));
    ExpectOpened("search-msx:query");
    EXPECT_EQ(MarkerLines(marker_), std::vector<std::string>{"ran search-msx"});
}

// The shell puts a URL into its handler's command line as "%1": a quote
// inside it would end the quotes and add arguments of the server's choosing.
TEST_F(ExecSchemes, QuotesInsideAUrlNeverReachItsHandler) {
    ASSERT_NO_FATAL_FAILURE(Register("zobrik-url"));
    for (const std::string& text :
         {std::string("zobrik-url://a.invalid/\" \"https://evil.invalid/"),
          std::string("zobrik-url://a.invalid/\" --new-window \""), std::string("zobrik-url://a.invalid/\tx")}) {
        ExpectRefused(text, "URL contains a quote, space or control character");
    }
    ExpectRunsAfterAWhile(0);
    ExpectOpened("\"zobrik-url://a.invalid/%22%20x\"");
    EXPECT_EQ(MarkerLines(marker_), std::vector<std::string>{"ran zobrik-url"});
}

std::wstring ShortPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : path;
}

// The plug-in gets a temp folder of its own (TMP and TEMP, also the current
// directory): its staging directory holds a request directory with the
// marker program in it, as a hostile server's attachment would be dropped
// there, and a directory beside it, whose name only starts like the staging
// directory's, holds the same program. Wine opens a folder with the first
// explorer.exe it finds, the current directory's first, so a copy of the
// marker program by that name shows when a folder is opened.
class ExecStaging : public ExecRefusal {
protected:
    void SetUp() override {
        ExecRefusal::SetUp();
        const std::wstring pid = std::to_wstring(GetCurrentProcessId());
        wchar_t temp[MAX_PATH];
        ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
        folder_ = std::wstring(temp) + L"zobrik-exec-staging-" + pid;
        directories_ = {folder_, folder_ + L"\\Ema1.tmp", folder_ + L"\\Ema1.tmp\\dropped-request-" + pid,
                        folder_ + L"\\Ema1.tmpx", folder_ + L"\\Ema1.tmpx\\dropped-request-" + pid};
        for (const std::wstring& directory : directories_) {
            ASSERT_TRUE(CreateDirectoryW(directory.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
                << standin::ToUtf8(directory);
        }
        inside_ = directories_[2] + L"\\marker.exe";
        outside_ = directories_[4] + L"\\marker.exe";
        explorer_ = folder_ + L"\\explorer.exe";
        const std::wstring marker = standin::FromUtf8(MarkerProgramPath());
        for (const std::wstring& copy : {inside_, outside_, explorer_}) {
            ASSERT_TRUE(CopyFileW(marker.c_str(), copy.c_str(), FALSE)) << standin::ToUtf8(copy);
        }
        tmp_.emplace(L"TMP", folder_);
        temp_.emplace(L"TEMP", folder_);
        wchar_t current[MAX_PATH];
        ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, current), 0u);
        previousDirectory_ = current;
        ASSERT_TRUE(SetCurrentDirectoryW(folder_.c_str()));
    }

    void TearDown() override {
        SetCurrentDirectoryW(previousDirectory_.c_str());
        tmp_.reset();
        temp_.reset();
        for (const std::wstring& copy : {inside_, outside_, explorer_}) {
            DeleteFileW(copy.c_str());
        }
        for (auto d = directories_.rbegin(); d != directories_.rend(); ++d) {
            RemoveDirectoryW(d->c_str());
        }
    }

    std::wstring folder_, inside_, outside_, explorer_, previousDirectory_;
    std::vector<std::wstring> directories_;
    std::optional<ScopedVariable> tmp_, temp_;
};

std::wstring Replaced(std::wstring text, wchar_t from, wchar_t to) {
    for (wchar_t& c : text) {
        c = c == from ? to : c;
    }
    return text;
}

// The same path through Wine's drive Z:, the Unix root: another way to the
// same directory, as a junction or a mount point is on Windows.
std::wstring ThroughUnixRoot(const std::wstring& path) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(path.c_str()) : nullptr;
    if (!name) {
        return L"no Unix name";
    }
    std::wstring dos = L"Z:" + Replaced(standin::FromUtf8(name), L'/', L'\\');
    HeapFree(GetProcessHeap(), 0, name);
    return dos;
}

TEST_F(ExecStaging, DroppedProgramIsRefusedUnderEverySpellingTheSameBesideItOpens) {
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD computerLength = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(GetComputerNameW(computer, &computerLength));
    const std::wstring host = computer;
    const size_t folderLength = folder_.size() + 1;
    // Each spelling of a path below folder_; `opens`: Wine opens it.
    struct Spelling {
        const char* name;
        std::function<std::wstring(const std::wstring&)> of;
        bool opens;
    };
    const Spelling spellings[] = {
        {"as it is", [](const std::wstring& p) { return p; }, true},
        {"other letter case",
         [](std::wstring p) {
             for (wchar_t& c : p) {
                 c = wchar_t(std::towupper(c));
             }
             return p;
         },
         true},
        {"forward slashes", [](const std::wstring& p) { return Replaced(p, L'\\', L'/'); }, true},
        {"\\\\?\\ prefix", [](const std::wstring& p) { return L"\\\\?\\" + p; }, true},
        {"\\\\.\\ prefix", [](const std::wstring& p) { return L"\\\\.\\" + p; }, true},
        {"\\\\?\\UNC\\localhost", [](const std::wstring& p) { return L"\\\\?\\UNC\\localhost\\C$" + p.substr(2); },
         false},
        {"\\\\localhost\\C$", [](const std::wstring& p) { return L"\\\\localhost\\C$" + p.substr(2); }, false},
        {"\\\\127.0.0.1\\C$", [](const std::wstring& p) { return L"\\\\127.0.0.1\\c$" + p.substr(2); }, false},
        {"computer name", [&](const std::wstring& p) { return L"\\\\" + host + L"\\C$" + p.substr(2); }, false},
        {"short names", [](const std::wstring& p) { return ShortPath(p); }, true},
        {"drive Z:", [](const std::wstring& p) { return ThroughUnixRoot(p); }, true},
        {"file URL", [](const std::wstring& p) { return L"file:///" + Replaced(p, L'\\', L'/'); }, true},
        {"file URL of localhost", [](const std::wstring& p) { return L"file://localhost/" + Replaced(p, L'\\', L'/'); },
         true},
        {"escaped file URL",
         [](const std::wstring& p) {
             std::wstring url = L"file:///";
             for (wchar_t c : Replaced(p, L'\\', L'/')) {
                 url += c == L'.' ? L"%2E" : c == L'E' ? L"%45" : std::wstring(1, c);
             }
             return url;
         },
         true},
        {"relative", [&](const std::wstring& p) { return p.substr(folderLength); }, true},
        {"rooted", [](const std::wstring& p) { return p.substr(2); }, true},
        {"dot-dot", [&](const std::wstring& p) { return folder_ + L"\\nothing\\..\\" + p.substr(folderLength); }, true},
        {"trailing dot", [&](std::wstring p) { return p.insert(p.find(L'\\', folderLength), L"."); }, true},
        {"trailing space", [&](std::wstring p) { return p.insert(p.find(L'\\', folderLength), L" "); }, false},
        {"directory stream",
         [&](std::wstring p) { return p.insert(p.find(L'\\', folderLength), L"::$INDEX_ALLOCATION"); }, false},
        {"%TEMP%", [&](const std::wstring& p) { return L"%TEMP%\\" + p.substr(folderLength); }, true},
        {"quoted", [](const std::wstring& p) { return L"\"" + p + L"\""; }, true},
        {"trailing spaces", [](const std::wstring& p) { return p + L"  "; }, true},
    };
    ASSERT_TRUE(ShellOpens(standin::ToUtf8(inside_))) << "the shell itself opens the dropped program";
    ASSERT_TRUE(WaitForMarkerRuns(marker_, 1, kReplyTimeout));
    ASSERT_TRUE(ShellOpens(standin::ToUtf8(directories_[2]))) << "and the folder";
    ASSERT_TRUE(WaitForMarkerRuns(marker_, 2, kReplyTimeout));
    int runs = 2;
    for (const Spelling& spelling : spellings) {
        SCOPED_TRACE(spelling.name);
        ExpectRefused(standin::ToUtf8(spelling.of(inside_)), "names a staged attachment");
        if (spelling.opens) {
            ExpectOpened(standin::ToUtf8(spelling.of(outside_)));
            ++runs;
        }
    }
    for (const std::wstring& directory : {directories_[1], directories_[2], directories_[1] + L"\\",
                                          std::wstring(L"%TEMP%\\EMA1.TMP"), std::wstring(L"Ema1.tmp.")}) {
        ExpectRefused(standin::ToUtf8(directory), "names a staged attachment");
    }
    ExpectOpened(standin::ToUtf8(directories_[3]));
    ExpectRunsAfterAWhile(runs + 1);
}

// The first IPv4 address of this machine's interfaces other than a loopback
// one, or empty.
std::wstring OwnLanAddress() {
    std::vector<uint8_t> buffer(65536);
    ULONG size = ULONG(buffer.size());
    auto* adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
    if (GetAdaptersAddresses(AF_INET, 0, nullptr, adapters, &size) != ERROR_SUCCESS) {
        return {};
    }
    for (auto* adapter = adapters; adapter; adapter = adapter->Next) {
        for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            const auto* bytes = reinterpret_cast<const uint8_t*>(
                &reinterpret_cast<const SOCKADDR_IN*>(unicast->Address.lpSockaddr)->sin_addr);
            if (bytes[0] != 127) {
                return std::to_wstring(bytes[0]) + L"." + std::to_wstring(bytes[1]) + L"." + std::to_wstring(bytes[2]) +
                       L"." + std::to_wstring(bytes[3]);
            }
        }
    }
    return {};
}

// Shares of this machine, by each of its names and its address: Wine serves
// "\\host\share" from its prefix's dosdevices\unc\host\share, where the
// fixture links "users" to C:\users and "c$" to C:\ (add-own-shares.sh).
class ExecOwnShares : public ExecStaging {};

TEST_F(ExecOwnShares, DroppedProgramIsRefusedThroughEveryShareOfThisMachineTheSameBesideItOpens) {
    wchar_t name[256];
    DWORD length = 256;
    ASSERT_TRUE(GetComputerNameExW(ComputerNameDnsHostname, name, &length));
    const std::wstring computer(name, length);
    wchar_t netbios[MAX_COMPUTERNAME_LENGTH + 1];
    length = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(GetComputerNameW(netbios, &length));
    std::vector<std::wstring> hosts = {L"localhost", computer, netbios};
    const std::wstring address = OwnLanAddress();
    if (!address.empty()) {
        hosts.push_back(address);
    }
    for (const std::wstring& host : hosts) {
        for (const wchar_t* share : {L"users", L"c$"}) {
            const DWORD attributes = GetFileAttributesW((L"\\\\" + host + L"\\" + share + L"\\").c_str());
            ASSERT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                << "no share " << standin::ToUtf8(share) << " of " << standin::ToUtf8(host);
        }
    }
    // C:\users\... as a path of each share: "users" is C:\users, "c$" is C:\.
    // `localhostOpens`: Wine's shell opens it for localhost too (it reads
    // "file://localhost/users/..." as a local path "\users\...", which it
    // does not find; Windows takes the share).
    struct Form {
        const char* name;
        std::function<std::wstring(const std::wstring& host, const std::wstring& below)> of;
        bool localhostOpens;
    };
    const Form forms[] = {
        {"share users", [](const std::wstring& h, const std::wstring& p) { return L"\\\\" + h + L"\\" + p; }, true},
        {"\\\\?\\UNC\\ share users",
         [](const std::wstring& h, const std::wstring& p) { return L"\\\\?\\UNC\\" + h + L"\\" + p; }, true},
        {"file URL of a share",
         [](const std::wstring& h, const std::wstring& p) { return L"file://" + h + L"/" + Replaced(p, L'\\', L'/'); },
         false},
        {"administrative share",
         [](const std::wstring& h, const std::wstring& p) { return L"\\\\" + h + L"\\c$\\" + p; }, true},
    };
    ASSERT_EQ(_wcsnicmp(inside_.c_str(), L"C:\\users\\", 9), 0) << standin::ToUtf8(inside_);
    ASSERT_TRUE(ShellOpens(standin::ToUtf8(forms[0].of(L"localhost", inside_.substr(3)))))
        << "the shell itself opens the dropped program through a share";
    ASSERT_TRUE(WaitForMarkerRuns(marker_, 1, kReplyTimeout));
    int runs = 1;
    for (const std::wstring& host : hosts) {
        for (const Form& form : forms) {
            SCOPED_TRACE(std::string(form.name) + " of " + standin::ToUtf8(host));
            ExpectRefused(standin::ToUtf8(form.of(host, inside_.substr(3))), "names a staged attachment");
            if (host != L"localhost" || form.localhostOpens) {
                ExpectOpened(standin::ToUtf8(form.of(host, outside_.substr(3))));
                ++runs;
            }
        }
    }
    ExpectRefused(standin::ToUtf8(forms[0].of(L"localhost", directories_[1].substr(3))), "names a staged attachment");
    ExpectRunsAfterAWhile(runs);
}

// A name of the machine's own that an administrator added in one of the
// lists the system keeps (the server's optional names, the host names of
// loopback connections, the alternate computer names), written for the
// test and removed after it, the value there before (if any) put back.
class ScopedMachineNameList {
public:
    ScopedMachineNameList(const wchar_t* key, const wchar_t* value, DWORD type, const std::wstring& names)
        : value_(value) {
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                                  key_.Put(), nullptr),
                  ERROR_SUCCESS);
        DWORD size = 0;
        if (RegQueryValueExW(key_.Get(), value, nullptr, &oldType_, nullptr, &size) == ERROR_SUCCESS) {
            old_.emplace(size, BYTE(0));
            RegQueryValueExW(key_.Get(), value, nullptr, &oldType_, old_->data(), &size);
        }
        EXPECT_EQ(RegSetValueExW(key_.Get(), value, 0, type, reinterpret_cast<const BYTE*>(names.c_str()),
                                 DWORD((names.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    ~ScopedMachineNameList() {
        if (old_) {
            RegSetValueExW(key_.Get(), value_, 0, oldType_, old_->data(), DWORD(old_->size()));
        } else {
            RegDeleteValueW(key_.Get(), value_);
        }
    }
    ScopedMachineNameList(const ScopedMachineNameList&) = delete;
    ScopedMachineNameList& operator=(const ScopedMachineNameList&) = delete;

private:
    UniqueRegistryKey key_;
    const wchar_t* value_;
    DWORD oldType_ = REG_NONE;
    std::optional<std::vector<BYTE>> old_;
};

// "zobrikalias" is a share host of this prefix (add-own-shares.sh) that no
// computer name gives: only its entry in one of the lists makes it this
// machine's, and then the dropped program behind it is refused.
TEST_F(ExecOwnShares, DroppedProgramIsRefusedThroughEveryNameTheMachineIsGivenInTheRegistry) {
    const std::wstring below = inside_.substr(3);  // "users\\...", the share's name first
    const DWORD attributes = GetFileAttributesW((L"\\\\zobrikalias\\" + below).c_str());
    ASSERT_TRUE(attributes != INVALID_FILE_ATTRIBUTES) << "no share users of zobrikalias";
    const struct {
        const wchar_t* key;
        const wchar_t* value;
        DWORD type;
        std::wstring names;  // a list's entries each end in a NUL
    } lists[] = {
        {L"SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters", L"OptionalNames", REG_MULTI_SZ,
         std::wstring(L"zobrikalias\0", 12)},
        {L"SYSTEM\\CurrentControlSet\\Control\\Lsa\\MSV1_0", L"BackConnectionHostNames", REG_MULTI_SZ,
         std::wstring(L"intranet.zobrik.example\0zobrikalias\0", 36)},
        {L"SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters", L"AlternateComputerNames", REG_SZ, L"ZOBRIKALIAS"},
    };
    for (const auto& list : lists) {
        SCOPED_TRACE(standin::ToUtf8(list.value));
        ScopedMachineNameList name(list.key, list.value, list.type, list.names);
        ExpectRefused(standin::ToUtf8(L"\\\\zobrikalias\\" + below), "names a staged attachment");
        ExpectRefused(standin::ToUtf8(L"file://zobrikalias/" + Replaced(below, L'\\', L'/')),
                      "names a staged attachment");
        ExpectOpened(standin::ToUtf8(L"\\\\zobrikalias\\" + outside_.substr(3)));
    }
    ExpectRunsAfterAWhile(int(std::size(lists)));
}

// Drives of every local type lead to the staging directory as C: does; in
// the policy prefix R: is a CD-ROM drive and S: a removable one, both
// leading to C: (add-network-drive.sh). A drive whose type the checks did
// not take as local would never be looked into.
class ExecLocalDrives : public ExecStaging {};

TEST_F(ExecLocalDrives, DroppedProgramIsRefusedThroughDrivesOfEveryLocalType) {
    const struct {
        const wchar_t* drive;
        UINT type;
    } drives[] = {{L"R:", DRIVE_CDROM}, {L"S:", DRIVE_REMOVABLE}};
    for (const auto& d : drives) {
        ASSERT_EQ(GetDriveTypeW((std::wstring(d.drive) + L"\\").c_str()), d.type) << standin::ToUtf8(d.drive);
        ExpectRefused(standin::ToUtf8(d.drive + inside_.substr(2)), "names a staged attachment");
        ExpectOpened(standin::ToUtf8(d.drive + outside_.substr(2)));
    }
    ExpectRunsAfterAWhile(int(std::size(drives)));
}

// Wine's own device path of the Unix root, "\\?\unix\...", is a path of its
// own kind, not one relative to the current directory.
TEST_F(ExecOwnShares, DroppedProgramIsRefusedThroughWinesUnixRoot) {
    auto unixRoot = [](const std::wstring& path) {
        const std::wstring z = ThroughUnixRoot(path);
        return L"\\\\?\\unix" + z.substr(2);
    };
    ExpectRefused(standin::ToUtf8(unixRoot(inside_)), "names a staged attachment");
    ExpectRefused(standin::ToUtf8(unixRoot(directories_[1])), "names a staged attachment");
    ExpectOpened(standin::ToUtf8(unixRoot(outside_)));
    ExpectRunsAfterAWhile(1);
}

// The staging directory replaced by another one between two texts: neither
// what the checks kept of it nor where its identity was last confirmed is
// taken for the new one's. Drive Z: reaches it by another path, which only
// its identity tells. The new directory is made before the old one moves
// away, so the two cannot share a file index.
TEST_F(ExecStaging, ReplacedStagingDirectoryIsKnownByItsNewIdentity) {
    const std::wstring replacement = folder_ + L"\\Ema1.new", moved = folder_ + L"\\Ema1.old";
    const std::wstring request = L"\\dropped-request-" + std::to_wstring(GetCurrentProcessId());
    ExpectRefused(standin::ToUtf8(ThroughUnixRoot(inside_)), "names a staged attachment");
    ASSERT_TRUE(CreateDirectoryW(replacement.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((replacement + request).c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(standin::FromUtf8(MarkerProgramPath()).c_str(),
                          (replacement + request + L"\\marker.exe").c_str(), FALSE));
    ASSERT_TRUE(MoveFileW(directories_[1].c_str(), moved.c_str()));
    ASSERT_TRUE(MoveFileW(replacement.c_str(), directories_[1].c_str()));
    ExpectRefused(standin::ToUtf8(ThroughUnixRoot(inside_)), "names a staged attachment");
    ExpectOpened(standin::ToUtf8(ThroughUnixRoot(moved + request + L"\\marker.exe")));
    ExpectRunsAfterAWhile(1);
    // The fixture removes the new directory's files by their names; the old
    // one's go here.
    DeleteFileW((moved + request + L"\\marker.exe").c_str());
    RemoveDirectoryW((moved + request).c_str());
    RemoveDirectoryW(moved.c_str());
}

TEST_F(ExecStaging, StagingDirectoryGivenInShortNamesIsResolved) {
    const std::wstring shortFolder = ShortPath(folder_);
    ASSERT_NE(shortFolder, folder_) << "the folder has no short name";
    ScopedVariable tmp(L"TMP", shortFolder);
    ScopedVariable temp(L"TEMP", shortFolder);
    ExpectRefused(standin::ToUtf8(inside_), "names a staged attachment");
    ExpectOpened(standin::ToUtf8(outside_));
    ExpectRunsAfterAWhile(1);
}

}  // namespace
}  // namespace zobrik::testing
