// DLL planting: a MAPI32.dll beside the client program, in its current
// directory, in its DLL directory (SetDllDirectoryW) or on PATH is never
// loaded; the plug-in takes MAPI32.dll from the system directory alone.
//
// This program lives in bin\planting, beside a planted MAPI32.dll
// (tests/standins/mapi_planted.cpp) that marks every load of itself in the
// file named by ZOBRIK_PLANTED_LOG; the other plants are copies of it made
// here. The plug-in comes from bin. Each test runs in a process of its own
// (a ctest entry each), as the plug-in binds Simple MAPI once per process,
// and in the Wine prefix its registration chose, with mapi32=n, so that Wine
// would take a planted copy if it were ever asked to load one.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "mapi_standin_client.h"
#include "test_support.h"
#include "zobrik/mail_request_writer.h"

namespace zobrik::testing {
namespace {

using standin::ClientOptions;
using standin::ClientStandIn;
using standin::DebugCapture;
using standin::MapiStandIn;
using standin::ToUtf8;

constexpr char kPlantedAttached[] = "MAPI32 planted copy attached\n";
constexpr char kPlantedCalled[] = "MAPI32 planted copy called\n";
constexpr char kNoSendAttached[] = "MAPI32 stand-in (no MAPISendMailW) attached\n";

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH * 2];
    const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
    return (length > 0 && length < MAX_PATH * 2) ? std::wstring(full, length) : path;
}

// The folder of a path, with its trailing backslash.
std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::wstring ModulePath(HMODULE module) {
    wchar_t path[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH * 2);
    return std::wstring(path, length);
}

std::wstring SystemDirectory() {
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    return FullPath(std::wstring(path, length)) + L"\\";
}

std::wstring Environment(const wchar_t* name) {
    std::wstring value(32767, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    value.resize(length < value.size() ? length : 0);
    return value;
}

// The real plug-in, from bin (this program is in bin\planting).
ClientOptions PluginInBin() {
    ClientOptions options;
    options.dllPath = FullPath(standin::ExecutableDirectory() + L"..\\ZobrikWTSDVC.dll");
    return options;
}

class Library {
public:
    explicit Library(const std::wstring& path) : module_(LoadLibraryW(path.c_str())) {}
    ~Library() {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    HMODULE get() const { return module_; }

private:
    HMODULE module_;
};

// A fresh folder in the temp folder; removed with what it holds (as far as
// nothing in it is still loaded).
class TempFolder {
public:
    explicit TempFolder(const wchar_t* stem) {
        path_ = FreshTempFile(stem);
        path_.resize(path_.size() - 4);  // drop ".txt"
        path_ += L"\\";
        created_ = CreateDirectoryW(path_.c_str(), nullptr) != FALSE;
    }
    ~TempFolder() {
        if (created_) {
            DeleteFileW((path_ + L"MAPI32.dll").c_str());
            RemoveDirectoryW(path_.c_str());
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    bool created() const { return created_; }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
    bool created_ = false;
};

// Every plant at once, undone on destruction: the copy beside this program
// (built there), copies in the current directory, the DLL directory and a
// PATH folder, and the mark log.
class Plants {
public:
    Plants()
        : besideProgram_(standin::ExecutableDirectory()),
          current_(L"zobrik-plant-current"),
          dllDirectory_(L"zobrik-plant-dlldir"),
          onPath_(L"zobrik-plant-path"),
          log_(FreshTempFile(L"zobrik-planted-log")),
          originalPath_(Environment(L"PATH")) {
        const std::wstring planted = besideProgram_ + L"MAPI32.dll";
        ready_ = GetFileAttributesW(planted.c_str()) != INVALID_FILE_ATTRIBUTES && current_.created() &&
                 dllDirectory_.created() && onPath_.created();
        for (const TempFolder* folder : {&current_, &dllDirectory_, &onPath_}) {
            ready_ = ready_ && CopyFileW(planted.c_str(), (folder->path() + L"MAPI32.dll").c_str(), TRUE) != FALSE;
        }
        GetCurrentDirectoryW(MAX_PATH, originalCurrent_);
        SetEnvironmentVariableW(L"ZOBRIK_PLANTED_LOG", log_.c_str());
        ready_ = ready_ && SetCurrentDirectoryW(current_.path().c_str()) != FALSE &&
                 SetDllDirectoryW(dllDirectory_.path().c_str()) != FALSE &&
                 SetEnvironmentVariableW(L"PATH", (onPath_.path() + L";" + originalPath_).c_str()) != FALSE;
    }
    ~Plants() {
        SetEnvironmentVariableW(L"PATH", originalPath_.c_str());
        SetDllDirectoryW(nullptr);
        SetCurrentDirectoryW(originalCurrent_);
        SetEnvironmentVariableW(L"ZOBRIK_PLANTED_LOG", nullptr);
        DeleteFileW(log_.c_str());
    }
    Plants(const Plants&) = delete;
    Plants& operator=(const Plants&) = delete;

    bool ready() const { return ready_; }
    std::vector<std::wstring> Folders() const {
        return {besideProgram_, current_.path(), dllDirectory_.path(), onPath_.path()};
    }
    // What the planted copies marked: one line with its path per load.
    std::string Marks() const {
        std::ifstream in(log_.c_str(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::wstring besideProgram_;
    TempFolder current_;
    TempFolder dllDirectory_;
    TempFolder onPath_;
    std::wstring log_;
    std::wstring originalPath_;
    wchar_t originalCurrent_[MAX_PATH] = {};
    bool ready_ = false;
};

// Paths of the loaded modules, other than this program, that lie in one of `folders`.
std::vector<std::string> ModulesIn(const std::vector<std::wstring>& folders) {
    std::vector<HMODULE> modules(1024);
    DWORD needed = 0;
    const DWORD size = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
    if (!EnumProcessModules(GetCurrentProcess(), modules.data(), size, &needed)) {
        return {"EnumProcessModules failed: " + std::to_string(GetLastError())};
    }
    modules.resize(std::min<size_t>(modules.size(), needed / sizeof(HMODULE)));
    std::vector<std::string> found;
    for (HMODULE module : modules) {
        if (module == GetModuleHandleW(nullptr)) {
            continue;
        }
        const std::wstring path = ModulePath(module);
        for (const auto& folder : folders) {
            if (SameFolder(FolderOf(path), folder)) {
                found.push_back(ToUtf8(path));
            }
        }
    }
    return found;
}

void ExpectNothingPlantedWasLoaded(const Plants& plants) {
    EXPECT_EQ(plants.Marks(), "") << "planted copies were loaded (one path per load)";
    EXPECT_EQ(DebugCapture::Count(kPlantedAttached), 0u);
    EXPECT_EQ(ModulesIn(plants.Folders()), std::vector<std::string>{}) << "modules loaded from a planting folder";
}

// In the prefix whose system directory holds the recording stand-in.
TEST(Planting, OnlyTheSystemDirectorysMapi32IsBound) {
    DebugCapture::Install();
    DebugCapture::Clear();
    Plants plants;
    ASSERT_TRUE(plants.ready()) << "the plants could not be laid out";

    ClientStandIn client(PluginInBin());
    ASSERT_NE(client.Module(), nullptr) << ToUtf8(client.DllPath()) << ": error " << client.LoadError();
    ASSERT_EQ(client.Start(), S_OK) << "the plug-in bound no Simple MAPI";
    const HMODULE mapi = GetModuleHandleW(L"MAPI32");
    ASSERT_NE(mapi, nullptr);
    EXPECT_TRUE(SameFolder(FolderOf(FullPath(ModulePath(mapi))), SystemDirectory()))
        << "bound " << ToUtf8(ModulePath(mapi)) << ", not the one in " << ToUtf8(SystemDirectory());
    ExpectNothingPlantedWasLoaded(plants);
    const MapiStandIn standIn = MapiStandIn::Find();
    ASSERT_TRUE(standIn.Valid()) << "the bound MAPI32 is not the recording stand-in of the system directory";

    // A mail reaches the bound library's MAPISendMailW.
    standIn.Reset();
    auto channel = client.OpenChannel("Zobrik/mail");
    ASSERT_NE(channel, nullptr);
    sdk::MailRequestWriter writer;
    writer.Subject("Planting").Body("Which MAPI32?").AddRecipient(sdk::RecipientGroup::To, "Ann", "ann@example.com");
    ASSERT_EQ(channel->Send(writer.Build()), S_OK);
    ASSERT_TRUE(channel->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(channel->Writes()[0], std::vector<uint8_t>{0});
    ASSERT_EQ(standIn.CallCount(), 1u);
    EXPECT_EQ(standIn.Call(0).value_or(standin::RecordedMapiCall{}).subject, std::optional<std::wstring>(L"Planting"));
    EXPECT_EQ(DebugCapture::Count(kPlantedCalled), 0u);
    ExpectNothingPlantedWasLoaded(plants);
}

// In the prefix whose system MAPI32 has no MAPISendMailW: a planted copy
// that has one must not stand in for it, so the client gets no plug-in.
TEST(PlantingWithoutSystemSendEntry, PlantedCopiesDoNotStandInForTheSystemOne) {
    DebugCapture::Install();
    DebugCapture::Clear();
    Plants plants;
    ASSERT_TRUE(plants.ready()) << "the plants could not be laid out";

    ClientStandIn client(PluginInBin());
    ASSERT_NE(client.Module(), nullptr) << ToUtf8(client.DllPath()) << ": error " << client.LoadError();
    EXPECT_EQ(client.Start(), S_FALSE) << "a plug-in was handed out: a MAPI32 with MAPISendMailW was bound";
    EXPECT_EQ(client.Plugin(), nullptr);
    EXPECT_GE(DebugCapture::Count(kNoSendAttached), 1u) << "the system directory's MAPI32 was not tried";
    EXPECT_EQ(GetModuleHandleW(L"MAPI32"), nullptr) << "the library must be released again";
    ExpectNothingPlantedWasLoaded(plants);
}

// The check of the two tests above on itself: every plant is in place and
// marks its load when something does load it by its path.
TEST(PlantedCopy, EveryPlantMarksItsLoad) {
    DebugCapture::Install();
    DebugCapture::Clear();
    Plants plants;
    ASSERT_TRUE(plants.ready()) << "the plants could not be laid out";
    std::string expected;
    for (const auto& folder : plants.Folders()) {
        const std::wstring path = folder + L"MAPI32.dll";
        {
            const Library library(path);
            ASSERT_NE(library.get(), nullptr) << ToUtf8(path) << ": error " << GetLastError();
            EXPECT_TRUE(SameFolder(FolderOf(ModulePath(library.get())), folder)) << ToUtf8(ModulePath(library.get()));
            EXPECT_NE(GetProcAddress(library.get(), "MAPISendMailW"), nullptr);
        }
        expected += ToUtf8(FullPath(path)) + "\n";
    }
    EXPECT_EQ(plants.Marks(), expected);
    EXPECT_EQ(DebugCapture::Count(kPlantedAttached), plants.Folders().size());
}

}  // namespace
}  // namespace zobrik::testing
