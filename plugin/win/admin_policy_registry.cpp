#include "admin_policy_registry.h"

#include <windows.h>

#include <string>

#include "include/debug_output.h"
#include "include/win/owners.h"
#include "plugin/admin_policy_values.h"

namespace zobrik {

namespace {

// How often a value that changed size between the two reads is read again.
constexpr int kReadAttempts = 3;

// The value of `setting`, or nullopt when the key has none.
std::optional<RawPolicyValue> ReadValue(HKEY key, const wchar_t* setting) {
    RawPolicyValue value{setting, 0, {}, false};
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        LONG status = RegQueryValueExW(key, setting, nullptr, &type, nullptr, &size);
        if (status == ERROR_FILE_NOT_FOUND) {
            return std::nullopt;
        }
        if (status != ERROR_SUCCESS) {
            break;
        }
        value.type = type;
        if (size > kLongestPolicyValueBytes) {
            value.tooLong = true;
            return value;
        }
        value.bytes.assign(size, 0);
        status = RegQueryValueExW(key, setting, nullptr, &type, value.bytes.data(), &size);
        if (status == ERROR_SUCCESS) {
            value.type = type;
            value.bytes.resize(size);
            return value;
        }
        if (status != ERROR_MORE_DATA) {
            break;
        }
    }
    // Unreadable: counted as malformed; a switch is then ignored, a list or
    // a number restricts, each with a line.
    value.type = REG_NONE;
    value.bytes.clear();
    return value;
}

PolicyHive ReadHive(HKEY root, const wchar_t* name) {
    PolicyHive hive{name, {}};
    UniqueRegistryKey key;
    if (RegOpenKeyExW(root, kPolicyKeyPath, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) {
        return hive;
    }
    for (const PolicySettingInfo& setting : kPolicySettings) {
        if (auto value = ReadValue(key.Get(), setting.name)) {
            hive.values.push_back(std::move(*value));
        }
    }
    return hive;
}

}  // namespace

AdminPolicy ReadAdminPolicy() {
    const PolicyHive machine = ReadHive(HKEY_LOCAL_MACHINE, L"HKLM");
    const PolicyHive user = ReadHive(HKEY_CURRENT_USER, L"HKCU");
    if (!machine.values.empty() || !user.values.empty()) {
        const std::wstring line = L"policy: " + std::to_wstring(machine.values.size()) + L" settings in HKLM, " +
                                  std::to_wstring(user.values.size()) + L" in HKCU";
        DebugEvent(line.c_str());
    }
    return PolicyFromHives(machine, user);
}

}  // namespace zobrik
