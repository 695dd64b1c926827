// zobrik-server-setup.exe: run by the server package's custom actions
// (deferred, as the installer's system account) to record the defaults in
// place before the package, to make Zobrik the default mail client for all
// users, and at uninstall to put back what was recorded. The decisions are
// in previous_defaults.cpp; this file reads and writes the registry.
//
// Software\Clients is redirected under WOW64 (32-bit programs see
// HKLM\Software\Wow6432Node\Clients), so the mail client is read and set in both
// views; Software\Classes is shared. Microsoft pages relied on:
//   "Registry Keys Affected by WOW64"
//     https://learn.microsoft.com/en-us/windows/win32/winprog64/shared-registry-keys
//   "Accessing an Alternate Registry View"
//     https://learn.microsoft.com/en-us/windows/win32/winprog64/accessing-an-alternate-registry-view
//   "Mapi32 Stub Library"
//     https://learn.microsoft.com/en-us/office/client-developer/outlook/mapi/mapi32-stub-library
//
// Exit codes: 0 done, 1 bad command line, 2 a registry read or write failed
// (the message names the key). Messages go to the standard error.
#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "include/win/owners.h"
#include "server/server_registry.h"
#include "server/setup/previous_defaults.h"

namespace zobrik::server {
namespace {

constexpr wchar_t kClassesKey[] = L"Software\\Classes";

// A registry failure: what was done, where, and the system's code.
struct RegistryFailure {
    std::wstring what;
    LSTATUS status;
};

void Say(const std::wstring& text) { std::fwprintf(stderr, L"zobrik-server-setup: %ls\n", text.c_str()); }

REGSAM ViewOf(DefaultKind kind) { return kind == DefaultKind::MailClient32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }

std::wstring KeyOf(const DefaultSlot& slot) {
    switch (slot.kind) {
        case DefaultKind::MailClient64:
        case DefaultKind::MailClient32:
            return kMailClientsKey;
        case DefaultKind::Scheme:
        case DefaultKind::FileType:
            break;
    }
    return std::wstring(kClassesKey) + L"\\" + slot.valueName;
}

std::wstring Where(const std::wstring& key, REGSAM view) {
    return L"HKLM\\" + key + (view == KEY_WOW64_32KEY ? L" (32-bit view)" : L"");
}

// The key opened for `access`, or empty when it does not exist.
UniqueRegistryKey OpenKey(const std::wstring& key, REGSAM access, REGSAM view) {
    UniqueRegistryKey opened;
    const LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, access | view, opened.Put());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        throw RegistryFailure{L"cannot open " + Where(key, view), status};
    }
    return opened;
}

bool KeyExists(const std::wstring& key, REGSAM view) { return static_cast<bool>(OpenKey(key, KEY_READ, view)); }

// A string value (nullptr: the default value); nullopt when the key or the
// value does not exist.
std::optional<std::wstring> ReadString(const std::wstring& key, const wchar_t* name, REGSAM view) {
    UniqueRegistryKey opened = OpenKey(key, KEY_QUERY_VALUE, view);
    if (!opened) {
        return std::nullopt;
    }
    std::wstring value(256, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        const LSTATUS status =
            RegGetValueW(opened.Get(), nullptr, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                         value.data(), &size);
        if (status == ERROR_FILE_NOT_FOUND) {
            return std::nullopt;
        }
        if (status == ERROR_MORE_DATA && size <= 65536) {
            value.resize(size / sizeof(wchar_t) + 1);
            continue;
        }
        if (status != ERROR_SUCCESS) {
            throw RegistryFailure{L"cannot read " + Where(key, view) + L" value " + (name ? name : L"(default)"),
                                  status};
        }
        value.resize(size / sizeof(wchar_t));
        while (!value.empty() && value.back() == L'\0') {
            value.pop_back();
        }
        return value;
    }
}

void WriteString(const std::wstring& key, const wchar_t* name, const std::wstring& value, REGSAM view) {
    UniqueRegistryKey created;
    LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr,
                                     created.Put(), nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(created.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    if (status != ERROR_SUCCESS) {
        throw RegistryFailure{L"cannot write " + Where(key, view) + L" value " + (name ? name : L"(default)"), status};
    }
}

void DeleteValue(const std::wstring& key, const wchar_t* name, REGSAM view) {
    UniqueRegistryKey opened = OpenKey(key, KEY_SET_VALUE, view);
    if (!opened) {
        return;
    }
    const LSTATUS status = RegDeleteValueW(opened.Get(), name);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        throw RegistryFailure{L"cannot delete " + Where(key, view) + L" value " + (name ? name : L"(default)"), status};
    }
}

// The default in place now. A scheme's handler for the whole machine is its
// own class key when that has an open command (the ProgID is the scheme).
std::optional<std::wstring> CurrentDefault(const DefaultSlot& slot) {
    if (slot.kind == DefaultKind::Scheme) {
        const bool handled = KeyExists(KeyOf(slot) + L"\\shell\\open\\command", KEY_WOW64_64KEY);
        return handled ? std::optional<std::wstring>(slot.valueName) : std::nullopt;
    }
    return ReadString(KeyOf(slot), nullptr, ViewOf(slot.kind));
}

bool StillRegistered(const DefaultSlot& slot, const std::wstring& name) {
    const bool mail = slot.kind == DefaultKind::MailClient64 || slot.kind == DefaultKind::MailClient32;
    const std::wstring key = std::wstring(mail ? kMailClientsKey : kClassesKey) + L"\\" + name;
    return KeyExists(key, ViewOf(slot.kind));
}

// Sets (or with an empty value clears) the default of a slot. A scheme's
// handler is never ours to change: the package changes none.
void SetDefault(const DefaultSlot& slot, const std::wstring& value) {
    if (slot.kind == DefaultKind::Scheme) {
        return;
    }
    if (value.empty()) {
        DeleteValue(KeyOf(slot), nullptr, ViewOf(slot.kind));
    } else {
        WriteString(KeyOf(slot), nullptr, value, ViewOf(slot.kind));
    }
}

std::optional<std::wstring> Recorded(const std::wstring& valueName) {
    return ReadString(kPreviousDefaultsKey, valueName.c_str(), KEY_WOW64_64KEY);
}

std::wstring Shown(const std::optional<std::wstring>& value) {
    return value && !value->empty() ? L"\"" + *value + L"\"" : L"none";
}

// zobrik-open's capabilities list the file types given to record, so that
// Default Apps and the default-associations file can give them to it.
void RegisterFileTypes(const std::vector<DefaultSlot>& slots) {
    const std::wstring key = std::wstring(kCapabilitiesKey) + L"\\FileAssociations";
    for (const DefaultSlot& slot : slots) {
        if (slot.kind == DefaultKind::FileType) {
            WriteString(key, slot.valueName.c_str(), kFileProgId, KEY_WOW64_64KEY);
            Say(L"zobrik-open can handle " + slot.valueName + L" (" + Where(key, KEY_WOW64_64KEY) + L")");
        }
    }
}

void Record(const std::vector<std::wstring>& fileTypes) {
    const std::vector<DefaultSlot> slots = SlotsToRecord(fileTypes);
    for (const DefaultSlot& slot : slots) {
        const std::optional<std::wstring> current = CurrentDefault(slot);
        const std::optional<std::wstring> recorded = Recorded(slot.valueName);
        const RecordStep step = DecideRecord(current, recorded);
        if (step.write) {
            WriteString(kPreviousDefaultsKey, slot.valueName.c_str(), step.value, KEY_WOW64_64KEY);
            Say(L"recorded " + slot.valueName + L" = " + Shown(step.value));
        } else {
            Say(L"kept the record of " + slot.valueName + L" = " + Shown(recorded) + L" (now " + Shown(current) + L")");
        }
    }
    RegisterFileTypes(slots);
}

void SetDefaultMail() {
    for (DefaultKind kind : {DefaultKind::MailClient64, DefaultKind::MailClient32}) {
        WriteString(kMailClientsKey, nullptr, kMailClientName, ViewOf(kind));
    }
    Say(L"Zobrik is the default mail client of HKLM in both registry views");
}

std::vector<std::wstring> RecordedValueNames() {
    std::vector<std::wstring> names;
    UniqueRegistryKey previous = OpenKey(kPreviousDefaultsKey, KEY_QUERY_VALUE, KEY_WOW64_64KEY);
    for (DWORD index = 0; previous; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        const LSTATUS status = RegEnumValueW(previous.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status == ERROR_SUCCESS) {
            names.emplace_back(name, length);
        }
    }
    return names;
}

// Deletes the Previous key and the file types of zobrik-open's capabilities
// with their values, then their parents while they are empty (the installer
// has removed its own values by then; the client plug-in's
// Software\Zobrik\WTSDVC may share Software\Zobrik).
void RemoveOurKeys() {
    const std::wstring fileAssociations = std::wstring(kCapabilitiesKey) + L"\\FileAssociations";
    const struct {
        std::wstring key;
        bool evenWithValues;
    } keys[] = {
        {kPreviousDefaultsKey, true},         {fileAssociations, true},     {kCapabilitiesKey, false},
        {L"Software\\Zobrik\\Server", false}, {L"Software\\Zobrik", false},
    };
    for (const auto& entry : keys) {
        UniqueRegistryKey opened = OpenKey(entry.key, KEY_QUERY_VALUE, KEY_WOW64_64KEY);
        DWORD subkeys = 0;
        DWORD values = 0;
        if (!opened || RegQueryInfoKeyW(opened.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                        nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            continue;
        }
        if (subkeys != 0 || (values != 0 && !entry.evenWithValues)) {
            continue;
        }
        opened.Reset();
        const LSTATUS status = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, entry.key.c_str(), KEY_WOW64_64KEY, 0);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
            throw RegistryFailure{L"cannot delete " + Where(entry.key, KEY_WOW64_64KEY), status};
        }
    }
}

void Restore() {
    for (const std::wstring& name : RecordedValueNames()) {
        const std::optional<DefaultSlot> slot = SlotOfRecordedValue(name);
        if (!slot) {
            continue;
        }
        const std::optional<std::wstring> current = CurrentDefault(*slot);
        const std::optional<std::wstring> recorded = Recorded(name);
        const bool registered = recorded && !recorded->empty() && StillRegistered(*slot, *recorded);
        const RestoreStep step = DecideRestore(current, recorded, registered);
        switch (step.action) {
            case RestoreAction::PutBack:
                SetDefault(*slot, step.value);
                Say(L"put back " + name + L" = " + Shown(step.value));
                break;
            case RestoreAction::Clear:
                SetDefault(*slot, L"");
                Say(L"cleared " + name + L" (recorded " + Shown(recorded) + L", not registered any more or none)");
                break;
            case RestoreAction::LeaveAlone:
                Say(L"left " + name + L" = " + Shown(current) + L" (not ours)");
                break;
        }
    }
    RemoveOurKeys();
}

int Run(const std::vector<std::wstring>& arguments) {
    const ParsedArguments parsed = ParseSetupArguments(arguments);
    if (!parsed.arguments) {
        Say(parsed.error);
        Say(L"usage: zobrik-server-setup record [.ext;.ext ...] | set-default-mail | restore");
        return kExitUsage;
    }
    try {
        switch (parsed.arguments->command) {
            case SetupCommand::Record:
                Record(parsed.arguments->fileTypes);
                break;
            case SetupCommand::SetDefaultMail:
                SetDefaultMail();
                break;
            case SetupCommand::Restore:
                Restore();
                break;
        }
    } catch (const RegistryFailure& failure) {
        Say(failure.what + L": error " + std::to_wstring(failure.status));
        return kExitRegistry;
    }
    return kExitSuccess;
}

}  // namespace
}  // namespace zobrik::server

int wmain(int argc, wchar_t** argv) {
    try {
        return zobrik::server::Run(std::vector<std::wstring>(argv + 1, argv + argc));
    } catch (...) {
        zobrik::server::Say(L"out of memory");
        return zobrik::server::kExitRegistry;
    }
}
