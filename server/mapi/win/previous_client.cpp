#include "previous_client.h"

#include <vector>

#include "server/mapi/previous_client.h"
#include "server/server_registry.h"
#include "windows_text.h"

namespace zobrik::mapi {

namespace {

thread_local bool tHandingOver = false;

// A string value (REG_SZ, or REG_EXPAND_SZ expanded); empty when missing.
std::wstring ReadString(HKEY key, const wchar_t* value) {
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, value, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return {};
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || bytes == 0 || bytes > 64 * 1024) return {};
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes) != ERROR_SUCCESS)
        return {};
    std::wstring text(buffer.data());
    if (type != REG_EXPAND_SZ) return text;
    const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0) return {};
    std::vector<wchar_t> expanded(needed + 1, L'\0');
    if (ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed + 1) == 0) return {};
    return expanded.data();
}

// Some clients register REG_SZ paths with %SystemRoot% and the like, which
// the MAPI stub expands too.
std::wstring Expanded(const std::wstring& text) {
    if (text.find(L'%') == std::wstring::npos) return text;
    const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0) return text;
    std::vector<wchar_t> expanded(needed + 1, L'\0');
    if (ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed + 1) == 0) return text;
    return expanded.data();
}

HMODULE OwnModule() {
    HMODULE own = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnModule), &own);
    return own;
}

std::wstring ModulePath(HMODULE module) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(module, buffer.data(), DWORD(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::vector<wchar_t> buffer(needed + 1, L'\0');
    if (GetFullPathNameW(path.c_str(), needed + 1, buffer.data(), nullptr) == 0) return path;
    return buffer.data();
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

PreviousClient NoClient(std::string problem) {
    PreviousClient client;
    client.problem = std::move(problem);
    return client;
}

}  // namespace

bool HandingOver() noexcept { return tHandingOver; }
HandOverMark::HandOverMark() noexcept { tHandingOver = true; }
HandOverMark::~HandOverMark() { tHandingOver = false; }

PreviousClient LoadPreviousClient() {
    const wchar_t* valueName = PreviousMailClientValue(sizeof(void*) == 8);
    UniqueRegistryKey recorded;
    std::wstring name;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, server::kPreviousDefaultsKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                      recorded.Put()) == ERROR_SUCCESS)
        name = ReadString(recorded.Get(), valueName);
    if (name.empty())
        return NoClient(
            "no mail client was the default before ZobrikMapi was installed (HKLM\\Software\\Zobrik\\"
            "Server\\Previous, " +
            Utf8FromWide(valueName) + ")");
    if (IsOwnMailClientName(name))
        return NoClient("the mail client recorded as the previous default is ZobrikMapi itself");

    UniqueRegistryKey clientKey;
    const std::wstring keyPath = std::wstring(server::kMailClientsKey) + L"\\" + name;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, clientKey.Put()) != ERROR_SUCCESS)
        return NoClient("the previous mail client \"" + Utf8FromWide(name) + "\" is no longer registered");
    std::wstring path = ReadString(clientKey.Get(), L"DLLPathEx");
    if (path.empty()) path = ReadString(clientKey.Get(), L"DLLPath");
    path = Expanded(path);
    if (path.empty())
        return NoClient("the previous mail client \"" + Utf8FromWide(name) + "\" names no DLL (DLLPathEx, DLLPath)");

    const HMODULE own = OwnModule();
    if (SamePath(FullPath(path), ModulePath(own)))
        return NoClient("the previous mail client \"" + Utf8FromWide(name) + "\" is ZobrikMapi itself");
    PreviousClient client;
    client.name = name;
    client.module.Reset(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!client.module)
        return NoClient("the previous mail client's DLL \"" + Utf8FromWide(path) +
                        "\" cannot be loaded (system error " + std::to_string(GetLastError()) + ")");
    // The same DLL under another name, or the MAPI stub of the system that
    // would route the call straight back here.
    if (client.module.Get() == own)
        return NoClient("the previous mail client \"" + Utf8FromWide(name) + "\" is ZobrikMapi itself");
    const HMODULE stub = GetModuleHandleW(L"mapi32.dll");
    if (stub != nullptr && client.module.Get() == stub && own != stub)
        return NoClient("the previous mail client \"" + Utf8FromWide(name) +
                        "\" is the system's MAPI stub, which would call ZobrikMapi again");
    return client;
}

}  // namespace zobrik::mapi
