// Checks an installation made by the MSI package as Windows sees it, in the
// Wine prefix the test installed into:
//   installed <machine|user> <version>: the AddIns registration names the
//     installed DLL, the file and the self-test's image are there, Programs and Features has one entry
//     with name, publisher, version and help link, and the Remote Desktop
//     client stand-in loads the registered DLL and gets an exec reply;
//   removed <machine|user>: none of that is left.
// Prints one line per check; exit status 0 when all hold.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "client_standin.h"

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
    if (argc < 3) {
        std::fprintf(stderr, "usage: msi_check installed|removed machine|user [version]\n");
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
    const std::wstring image = Expanded(L"%PUBLIC%\\Downloads\\zobrik-selftest.jpg");

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
        std::fprintf(stderr, "usage: msi_check installed|removed machine|user [version]\n");
        return 2;
    }
    return g_failures == 0 ? 0 : 1;
}
