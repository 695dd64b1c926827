// Checks an installation made by the MSI package as Windows sees it, in the
// Wine prefix the test installed into:
//   installed <machine|user> <version>: the AddIns registration names the
//     installed DLL, the file and the self-test's image beside it are there,
//     Programs and Features has one entry with name, publisher, version,
//     help link, contact, install location and icon, and the Remote Desktop
//     client stand-in loads the registered DLL and gets an exec reply;
//   removed <machine|user>: none of that is left;
//   install <package> [command line]: installs silently through the
//     Windows Installer API and prints the messages of the launch conditions
//     that stop it ("message: ...") and the status ("status: ...").
// Prints one line per check; exit status 0 when all hold.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <cstdio>
#include <string>
#include <vector>

#include "client_standin.h"
#include "include/unique_resource.h"

namespace {

constexpr wchar_t kAddInKey[] = L"Software\\Microsoft\\Terminal Server Client\\Default\\AddIns\\Zobrik";
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

int g_failures = 0;

void Check(bool holds, const std::wstring& what) {
    std::wprintf(L"%ls: %ls\n", holds ? L"ok" : L"FAIL", what.c_str());
    g_failures += holds ? 0 : 1;
}

std::wstring StringValue(HKEY root, const std::wstring& key, const wchar_t* name) {
    wchar_t value[1024] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
        return L"";
    }
    return value;
}

std::wstring Expanded(const wchar_t* text) {
    wchar_t out[1024] = {};
    ExpandEnvironmentStringsW(text, out, 1024);
    return out;
}

// The Programs and Features entries of the product in both hives.
std::vector<std::pair<HKEY, std::wstring>> UninstallEntries(const std::wstring& productName) {
    std::vector<std::pair<HKEY, std::wstring>> found;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            continue;
        }
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = 256;
            if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
                break;
            }
            const std::wstring entry = std::wstring(kUninstallKey) + L"\\" + name;
            if (StringValue(root, entry, L"DisplayName") == productName) {
                found.emplace_back(root, entry);
            }
        }
        RegCloseKey(key);
    }
    return found;
}

struct MsiHandleTraits {
    using Handle = MSIHANDLE;
    static Handle Empty() noexcept { return 0; }
    static bool IsEmpty(Handle handle) noexcept { return handle == 0; }
    static void Close(Handle handle) noexcept { MsiCloseHandle(handle); }
};
using UniqueMsiHandle = zobrik::UniqueResource<MsiHandleTraits>;

std::wstring RecordString(MSIHANDLE record, UINT field) {
    wchar_t text[1024] = {};
    DWORD length = 1024;
    MsiRecordGetStringW(record, field, text, &length);
    return text;
}

// The message of every launch condition that does not hold, formatted by
// the installer with the properties it finds (related products, registry
// searches, the system's). Wine's installer shows these texts only in a
// message box, never to an external handler, so they are read here as the
// installer itself reads and formats them.
void PrintFailedLaunchConditions(const wchar_t* packagePath) {
    UniqueMsiHandle package;
    if (MsiOpenPackageW(packagePath, package.Put()) != ERROR_SUCCESS) {
        std::wprintf(L"cannot open %ls\n", packagePath);
        return;
    }
    MsiDoActionW(package.Get(), L"FindRelatedProducts");
    MsiDoActionW(package.Get(), L"AppSearch");
    UniqueMsiHandle database(MsiGetActiveDatabase(package.Get()));
    UniqueMsiHandle view;
    MsiDatabaseOpenViewW(database.Get(), L"SELECT `Condition`, `Description` FROM `LaunchCondition`", view.Put());
    MsiViewExecute(view.Get(), 0);
    for (UniqueMsiHandle row; MsiViewFetch(view.Get(), row.Put()) == ERROR_SUCCESS;) {
        if (MsiEvaluateConditionW(package.Get(), RecordString(row.Get(), 1).c_str()) != MSICONDITION_FALSE) {
            continue;
        }
        UniqueMsiHandle message(MsiCreateRecord(0));
        MsiRecordSetStringW(message.Get(), 0, RecordString(row.Get(), 2).c_str());
        wchar_t text[1024] = {};
        DWORD length = 1024;
        MsiFormatRecordW(package.Get(), message.Get(), text, &length);
        std::wprintf(L"message: %ls\n", text);
    }
}

// Installs silently as msiexec /qn does; prints the launch conditions'
// messages and the status.
int Install(const wchar_t* package, const wchar_t* commandLine) {
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    PrintFailedLaunchConditions(package);
    const UINT status = MsiInstallProductW(package, commandLine);
    std::wprintf(L"status: %u\n", status);
    return status == ERROR_SUCCESS ? 0 : 1;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void LoadsAndAnswers(const std::wstring& dll) {
    zobrik::standin::ClientOptions options;
    options.dllPath = dll;
    zobrik::standin::ClientStandIn client(options);
    Check(client.Module() != nullptr, L"the client stand-in loads " + dll);
    if (!client.Module() || client.Start() != S_OK) {
        Check(false, L"the plug-in starts");
        return;
    }
    auto channel = client.OpenChannel("Zobrik/exec");
    Check(channel != nullptr, L"the exec channel opens");
    if (!channel) {
        return;
    }
    channel->Send(std::string("C:\\no\\such\\zobrik-msi-check.txt"));
    const bool replied = channel->WaitForWrites(1, std::chrono::seconds(20));
    const std::vector<uint8_t> failed = {'f', 'a', 'i', 'l', 'e', 'd', 0, 0};
    Check(replied && channel->Writes()[0] == failed, L"the exec channel answers \"failed\" for a missing file");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && std::wstring(argv[1]) == L"install") {
        return Install(argv[2], argc >= 4 ? argv[3] : L"");
    }
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: msi_check installed|removed machine|user [version] | install <package> [command line]\n");
        return 2;
    }
    const std::wstring mode = argv[1];
    const bool machine = std::wstring(argv[2]) == L"machine";
    const HKEY root = machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const std::wstring folder = Expanded(machine ? L"%ProgramW6432%\\Zobrik" : L"%LOCALAPPDATA%\\Zobrik");
    const std::wstring dll = folder + L"\\WTSDVC\\ZobrikWTSDVC.dll";
    const std::wstring product =
        machine ? L"Zobrik Remote Desktop plug-in" : L"Zobrik Remote Desktop plug-in (current user)";
    const auto entries = UninstallEntries(product);
    const std::wstring image = folder + L"\\WTSDVC\\zobrik-selftest.jpg";

    if (mode == L"installed" && argc == 4) {
        const std::wstring version = argv[3];
        Check(StringValue(root, kAddInKey, L"Name") == dll, L"AddIns\\Zobrik Name is " + dll);
        Check(Exists(dll), L"the DLL is installed");
        Check(Exists(image), L"the self-test's image is " + image);
        Check(entries.size() == 1, L"one Programs and Features entry for " + product);
        if (entries.size() == 1) {
            const auto& [hive, key] = entries[0];
            Check(StringValue(hive, key, L"DisplayVersion") == version, L"its version is " + version);
            Check(StringValue(hive, key, L"Publisher") == L"Zobrik", L"its publisher is Zobrik");
            Check(!StringValue(hive, key, L"HelpLink").empty(), L"it has a help link");
            Check(!StringValue(hive, key, L"Contact").empty(), L"it has a contact");
            Check(StringValue(hive, key, L"InstallLocation") == folder + L"\\WTSDVC\\",
                  L"its install location is " + folder + L"\\WTSDVC\\");
            const std::wstring productCode = key.substr(key.rfind(L'\\') + 1);
            wchar_t icon[MAX_PATH] = {};
            DWORD length = MAX_PATH;
            const bool hasIcon =
                MsiGetProductInfoW(productCode.c_str(), INSTALLPROPERTY_PRODUCTICON, icon, &length) == ERROR_SUCCESS;
            Check(hasIcon && Exists(icon), L"its icon is " + std::wstring(icon));
        }
        LoadsAndAnswers(StringValue(root, kAddInKey, L"Name"));
    } else if (mode == L"removed") {
        HKEY key = nullptr;
        const bool registered = RegOpenKeyExW(root, kAddInKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (registered) {
            RegCloseKey(key);
        }
        Check(!registered, L"no AddIns\\Zobrik key");
        Check(!Exists(folder), L"no folder " + folder);
        Check(!Exists(image), L"no " + image);
        const bool ownKey = RegOpenKeyExW(root, L"Software\\Zobrik", 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (ownKey) {
            RegCloseKey(key);
        }
        Check(!ownKey, L"no Software\\Zobrik key");
        Check(entries.empty(), L"no Programs and Features entry");
    } else {
        std::fprintf(stderr,
                     "usage: msi_check installed|removed machine|user [version] | install <package> [command line]\n");
        return 2;
    }
    return g_failures == 0 ? 0 : 1;
}
