// The machine's answers to the exec policy's path questions, from Windows.
#include "exec_policy_win.h"

#include <windows.h>

#include <climits>
#include <cwchar>
#include <vector>

#include "exec_admin_policy.h"
#include "exec_policy.h"
#include "include/staging_location.h"
#include "include/win_owners.h"

namespace zobrik {

namespace {

// How often a call that reports the size it needs is repeated when the
// answer grew in between (an environment variable changed, a file was
// renamed).
constexpr int kSizeAttempts = 3;

// Calls `call(buffer, capacity)` (returning the length written without the
// NUL, or the capacity needed with it when the buffer is too small, or 0 on
// failure) with a buffer big enough.
template <typename Call>
std::optional<std::wstring> SizedCall(Call call) {
    DWORD needed = call(nullptr, 0);
    for (int attempt = 0; attempt < kSizeAttempts && needed != 0; ++attempt) {
        std::wstring buffer(needed, L'\0');
        const DWORD written = call(buffer.data(), needed);
        if (written == 0) {
            return std::nullopt;
        }
        if (written < needed) {
            buffer.resize(written);
            return buffer;
        }
        needed = written;
    }
    return std::nullopt;
}

class WindowsPaths final : public MachinePaths {
public:
    WindowsPaths() {
        for (COMPUTER_NAME_FORMAT format :
             {ComputerNameNetBIOS, ComputerNameDnsHostname, ComputerNameDnsFullyQualified, ComputerNamePhysicalNetBIOS,
              ComputerNamePhysicalDnsHostname, ComputerNamePhysicalDnsFullyQualified}) {
            auto name = SizedCall([format](wchar_t* buffer, DWORD capacity) -> DWORD {
                DWORD size = capacity;
                if (GetComputerNameExW(format, buffer, &size)) {
                    return size;
                }
                return GetLastError() == ERROR_MORE_DATA ? size + 1 : 0;
            });
            if (name && !name->empty()) {
                names_.push_back(std::move(*name));
            }
        }
    }

    std::optional<WideString> ExpandEnvironment(const WideString& text) const override {
        // ExpandEnvironmentStringsW counts the NUL in both cases.
        return SizedCall([&text](wchar_t* buffer, DWORD capacity) -> DWORD {
            const DWORD result = ExpandEnvironmentStringsW(text.c_str(), buffer, capacity);
            return result == 0 || result > capacity ? result : result - 1;
        });
    }

    std::optional<WideString> FullPath(const WideString& path) const override {
        return SizedCall([&path](wchar_t* buffer, DWORD capacity) -> DWORD {
            return GetFullPathNameW(path.c_str(), capacity, buffer, nullptr);
        });
    }

    std::optional<WideString> LongPath(const WideString& path) const override {
        if (auto found = LongPathOf(path)) {
            return found;
        }
        if (path.size() < MAX_PATH - 12) {
            return std::nullopt;
        }
        // A long path is only looked up with the prefix that lifts the limit;
        // the answer keeps it, the policy's spelling removes it again.
        const bool unc = path.size() > 2 && path[0] == L'\\' && path[1] == L'\\';
        return LongPathOf(unc ? L"\\\\?\\UNC\\" + path.substr(2) : L"\\\\?\\" + path);
    }

    std::optional<FileIdentity> DirectoryIdentity(const WideString& path) const override {
        // Only local drives are asked: a path on another machine cannot be
        // the staging directory, and asking would reach out to that machine.
        const WideStringView root = PathRoot(path);
        if (root.size() != 2) {
            return std::nullopt;
        }
        const UINT type = GetDriveTypeW((WideString(root) + L"\\").c_str());
        if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE && type != DRIVE_CDROM && type != DRIVE_RAMDISK) {
            return std::nullopt;
        }
        // Only directories are opened, so no device name is.
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return std::nullopt;
        }
        UniqueHandle directory(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION information;
        if (!directory || !GetFileInformationByHandle(directory.get(), &information)) {
            return std::nullopt;
        }
        return FileIdentity{information.dwVolumeSerialNumber,
                            uint64_t(information.nFileIndexHigh) << 32 | information.nFileIndexLow};
    }

    bool SameIgnoringCase(WideStringView a, WideStringView b) const override {
        if (a.size() > INT_MAX || b.size() > INT_MAX) {
            return false;
        }
        return CompareStringOrdinal(a.data(), int(a.size()), b.data(), int(b.size()), TRUE) == CSTR_EQUAL;
    }

    const std::vector<WideString>& MachineNames() const override { return names_; }

    bool IsNetworkDrive(WideStringView root) const override {
        return GetDriveTypeW((WideString(root) + L"\\").c_str()) == DRIVE_REMOTE;
    }

    bool IsDirectory(const WideString& path) const override {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    WideString ProgramExtensions() const override {
        return SizedCall([](wchar_t* buffer, DWORD capacity) -> DWORD {
                   return GetEnvironmentVariableW(L"PATHEXT", buffer, capacity);
               })
            .value_or(WideString());
    }

private:
    static std::optional<WideString> LongPathOf(const std::wstring& path) {
        return SizedCall([&path](wchar_t* buffer, DWORD capacity) -> DWORD {
            return GetLongPathNameW(path.c_str(), buffer, capacity);
        });
    }

    std::vector<WideString> names_;
};

}  // namespace

std::optional<std::wstring> ExecTextAsWide(std::string_view text) {
    UINT codePage = CP_ACP;
    DWORD flags = 0;
    if (IsUtf8ExecText(text)) {
        text.remove_prefix(kUtf8Mark.size());
        codePage = CP_UTF8;
        flags = MB_ERR_INVALID_CHARS;  // nothing is opened under a guessed name
    }
    if (text.empty()) {
        return std::wstring();
    }
    const int length = MultiByteToWideChar(codePage, flags, text.data(), int(text.size()), nullptr, 0);
    if (length <= 0) {
        return std::nullopt;
    }
    std::wstring wide(size_t(length), L'\0');
    if (MultiByteToWideChar(codePage, flags, text.data(), int(text.size()), wide.data(), length) != length) {
        return std::nullopt;
    }
    return wide;
}

std::optional<std::wstring> ExecRefusal(std::string_view text, const AdminPolicy& policy) {
    if (auto refusal = LengthRefusal(text)) {
        return refusal;
    }
    auto wide = ExecTextAsWide(text);
    if (!wide) {
        return IsUtf8ExecText(text) ? L"text after the UTF-8 mark is not valid UTF-8"
                                    : L"text is not in the ANSI code page";
    }
    const WindowsPaths machine;
    if (auto refusal = TextRefusal(*wide, StagingDirectoryPath(), machine)) {
        return refusal;
    }
    if (auto refusal = ExecPolicyRefusal(*wide, policy, machine)) {
        return refusal->reason + L" (policy " + refusal->setting + L")";
    }
    return std::nullopt;
}

}  // namespace zobrik
