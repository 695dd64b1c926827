// The administrator's policy for the real DLL in tests: values written into
// this prefix's registry (HKLM and HKCU) before the client creates the
// plug-in. A prefix whose tests write policy is theirs alone, since every
// process in it would read the values.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "include/win/owners.h"

namespace zobrik::testing {

inline constexpr wchar_t kPolicyKey[] = L"SOFTWARE\\Policies\\Zobrik\\WTSDVC";

// Writes policy values and removes the key from both hives when it goes.
class ScopedPolicy {
public:
    ScopedPolicy() { Clear(); }
    ~ScopedPolicy() { Clear(); }
    ScopedPolicy(const ScopedPolicy&) = delete;
    ScopedPolicy& operator=(const ScopedPolicy&) = delete;

    void Raw(HKEY hive, const wchar_t* name, DWORD type, const void* data, DWORD size) {
        UniqueRegistryKey key;
        ASSERT_EQ(RegCreateKeyExW(hive, kPolicyKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(), nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key.Get(), name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
    void Dword(HKEY hive, const wchar_t* name, DWORD value) { Raw(hive, name, REG_DWORD, &value, sizeof value); }
    void List(HKEY hive, const wchar_t* name, const std::vector<std::wstring>& entries) {
        std::wstring data;
        for (const auto& entry : entries) {
            data += entry;
            data += L'\0';
        }
        data += L'\0';
        Raw(hive, name, REG_MULTI_SZ, data.data(), DWORD(data.size() * sizeof(wchar_t)));
    }
    // Removes one value: the setting is then not configured (an empty list
    // is a configured, unusable one).
    void Remove(HKEY hive, const wchar_t* name) {
        UniqueRegistryKey key;
        if (RegOpenKeyExW(hive, kPolicyKey, 0, KEY_SET_VALUE, key.Put()) == ERROR_SUCCESS) {
            RegDeleteValueW(key.Get(), name);
        }
    }

private:
    static void Clear() {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kPolicyKey);
        RegDeleteTreeW(HKEY_CURRENT_USER, kPolicyKey);
    }
};

}  // namespace zobrik::testing
