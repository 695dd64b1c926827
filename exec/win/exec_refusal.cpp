// The machine's answers to the exec policy's path questions, from Windows.
#include "exec_refusal.h"

#include <windows.h>

// clang-format off
#include <winsock2.h>  // before iphlpapi.h: its adapter types need it
#include <ws2ipdef.h>
#include <iphlpapi.h>
// clang-format on
#include <winioctl.h>
#include <winternl.h>

#include <algorithm>
#include <climits>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <mutex>
#include <vector>

#include "exec/exec_admin_policy.h"
#include "exec/exec_policy.h"
#include "include/ascii_text.h"
#include "include/win/owners.h"
#include "include/win/staging_location.h"

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

// The computer's NetBIOS and DNS names, physical and cluster-virtual.
void AddComputerNames(std::vector<WideString>& names) {
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
            names.push_back(std::move(*name));
        }
    }
}

// The other names the machine answers to, as the system keeps them: the
// server's optional names, the host names its loopback connections may use,
// and the alternate computer names ("netdom computername /add").
void AddAliases(std::vector<WideString>& names) {
    const struct {
        const wchar_t* key;
        const wchar_t* value;
    } lists[] = {
        {L"SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Parameters", L"OptionalNames"},
        {L"SYSTEM\\CurrentControlSet\\Control\\Lsa\\MSV1_0", L"BackConnectionHostNames"},
        {L"SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters", L"AlternateComputerNames"},
    };
    for (const auto& list : lists) {
        DWORD bytes = 0;
        const DWORD flags = RRF_RT_REG_MULTI_SZ | RRF_RT_REG_SZ;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, list.key, list.value, flags, nullptr, nullptr, &bytes) != ERROR_SUCCESS ||
            bytes == 0 || bytes > 65536) {
            continue;
        }
        std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 2, L'\0');
        bytes = DWORD(text.size() * sizeof(wchar_t));
        if (RegGetValueW(HKEY_LOCAL_MACHINE, list.key, list.value, flags, nullptr, text.data(), &bytes) !=
            ERROR_SUCCESS) {
            continue;
        }
        for (const wchar_t* name = text.data(); *name != L'\0'; name += wcslen(name) + 1) {
            names.emplace_back(name);
        }
    }
}

// An address as text the policy reads: IPv4 dotted, IPv6 as eight groups.
WideString AddressText(const SOCKADDR* address) {
    wchar_t text[64] = {};
    if (address->sa_family == AF_INET) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(&reinterpret_cast<const SOCKADDR_IN*>(address)->sin_addr);
        swprintf(text, 64, L"%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    } else if (address->sa_family == AF_INET6) {
        const auto* b = reinterpret_cast<const uint8_t*>(&reinterpret_cast<const SOCKADDR_IN6*>(address)->sin6_addr);
        swprintf(text, 64, L"%x:%x:%x:%x:%x:%x:%x:%x", b[0] << 8 | b[1], b[2] << 8 | b[3], b[4] << 8 | b[5],
                 b[6] << 8 | b[7], b[8] << 8 | b[9], b[10] << 8 | b[11], b[12] << 8 | b[13], b[14] << 8 | b[15]);
    }
    return text;
}

// The IPv4 and IPv6 addresses of the machine's interfaces.
void AddAddresses(std::vector<WideString>& names) {
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG bytes = 16384;
    std::unique_ptr<uint8_t[]> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < kSizeAttempts && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.reset(new (std::nothrow) uint8_t[bytes]);
        if (!buffer) {
            return;
        }
        result = GetAdaptersAddresses(AF_UNSPEC, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()),
                                      &bytes);
    }
    if (result != ERROR_SUCCESS) {
        return;
    }
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()); adapter; adapter = adapter->Next) {
        for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            WideString text = AddressText(unicast->Address.lpSockaddr);
            if (!text.empty()) {
                names.push_back(std::move(text));
            }
        }
    }
}

// A handle of the directory `path` itself (a link is opened, not followed).
UniqueHandle OpenWithoutFollowing(const WideString& path) {
    return UniqueHandle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// The file index of the open `file`, as GetFileInformationByHandle gives
// it, without the volume's serial number that call also asks for, which is
// slow (Wine asks its mount manager each time).
std::optional<uint64_t> FileIndex(HANDLE file) {
    IO_STATUS_BLOCK status{};
    FILE_INTERNAL_INFORMATION internal{};
    if (NtQueryInformationFile(file, &status, &internal, sizeof(internal), FileInternalInformation) < 0) {
        return std::nullopt;
    }
    return uint64_t(internal.IndexNumber.QuadPart);
}

std::optional<FileIdentity> IdentityOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information)) {
        return std::nullopt;
    }
    return FileIdentity{information.dwVolumeSerialNumber,
                        uint64_t(information.nFileIndexHigh) << 32 | information.nFileIndexLow};
}

// The path of the open `file` with links resolved, its volume named by its
// drive ("\\?\C:\Users\ann\AppData\Local\Temp\Ema1.tmp"): it names one
// directory of one volume at a time. Nullopt also for a volume without a
// drive letter.
std::optional<std::wstring> FinalPath(HANDLE file) {
    // Most paths fit at once; asking for the size first would double the
    // cost of the call, the slower part of a check under Wine.
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetFinalPathNameByHandleW(file, buffer, MAX_PATH + 1, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length > 0 && length <= MAX_PATH) {
        return std::wstring(buffer, length);
    }
    return SizedCall([file](wchar_t* sized, DWORD capacity) -> DWORD {
        return GetFinalPathNameByHandleW(file, sized, capacity, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
}

// The directory whose whole identity was last found equal to the one
// asked about, by its final path. A directory found at the same final path
// with the same file index is that directory still, so its volume's serial
// number need not be asked for again: the staging directory's own path is
// compared with it for every text.
class ConfirmedDirectory {
public:
    static ConfirmedDirectory& Last() {
        static ConfirmedDirectory last;
        return last;
    }

    bool Holds(const std::wstring& finalPath, const FileIdentity& identity) {
        const std::lock_guard<std::mutex> lock(mutex_);
        return identity_ == identity && finalPath_ == finalPath;
    }

    void Remember(const std::wstring& finalPath, const FileIdentity& identity) {
        const std::lock_guard<std::mutex> lock(mutex_);
        finalPath_ = finalPath;
        identity_ = identity;
    }

private:
    std::mutex mutex_;
    std::wstring finalPath_;
    std::optional<FileIdentity> identity_;
};

enum class LinkTarget { ThisMachine, AnotherHost, Unreadable };

// Where the reparse point open as `link` leads: a symbolic link to a share
// of another host ("\??\UNC\server\share...") would contact it when followed;
// junctions and mount points always lead to local volumes.
LinkTarget TargetOf(HANDLE link, const MachinePaths& machine) {
    std::vector<uint8_t> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD bytes = 0;
    if (!DeviceIoControl(link, FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(), DWORD(data.size()), &bytes, nullptr) ||
        bytes < 20) {
        return LinkTarget::Unreadable;
    }
    // REPARSE_DATA_BUFFER of a symbolic link: tag, lengths, the substitute
    // name's offset and length (bytes) at 8 and 10, flags, then the names.
    DWORD tag = 0;
    memcpy(&tag, data.data(), sizeof(tag));
    if (tag != IO_REPARSE_TAG_SYMLINK) {
        return LinkTarget::ThisMachine;
    }
    uint16_t offset = 0, length = 0;
    memcpy(&offset, data.data() + 8, sizeof(offset));
    memcpy(&length, data.data() + 10, sizeof(length));
    if (size_t(20) + offset + length > bytes) {
        return LinkTarget::Unreadable;
    }
    WideString target(length / sizeof(wchar_t), u'\0');
    memcpy(target.data(), data.data() + 20 + offset, target.size() * sizeof(wchar_t));
    // The machine's names are asked for only when the target names a host.
    const WideString local = LocalSpelling(target, machine);
    const WideStringView root = PathRoot(local);
    const bool remote =
        local.size() > 2 && local[0] == '\\' && local[1] == '\\' && DeviceRoot(root).empty() &&
        (root.empty() || !IsThisMachine(root.substr(2, root.find('\\', 2) - 2), machine.MachineNames()));
    return remote ? LinkTarget::AnotherHost : LinkTarget::ThisMachine;
}

// The machine's answers for the checks of one text, on one thread. Its
// names and addresses are gathered when first asked for: only a text that
// names a host needs them, and the interfaces' addresses are slow to list.
class WindowsPaths final : public MachinePaths {
public:
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
        if (std::find(missing_.begin(), missing_.end(), path) != missing_.end()) {
            return std::nullopt;
        }
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

    std::optional<FileIdentity> DirectoryIdentity(const WideString& asked) const override {
        const UniqueHandle directory = OpenDirectory(asked);
        return directory ? IdentityOf(directory.Get()) : std::nullopt;
    }

    DirectoryMatch MatchDirectory(const WideString& asked, const FileIdentity& identity) const override {
        const UniqueHandle directory = OpenDirectory(asked);
        if (!directory) {
            return DirectoryMatch::None;
        }
        // Another file index is another directory, whatever the volume.
        const auto index = FileIndex(directory.Get());
        if (index && *index != identity.file) {
            return DirectoryMatch::Other;
        }
        const auto finalPath = FinalPath(directory.Get());
        if (index && finalPath && ConfirmedDirectory::Last().Holds(*finalPath, identity)) {
            return DirectoryMatch::Same;
        }
        const auto found = IdentityOf(directory.Get());
        if (!found) {
            return DirectoryMatch::None;
        }
        if (*found != identity) {
            return DirectoryMatch::Other;
        }
        if (finalPath) {
            ConfirmedDirectory::Last().Remember(*finalPath, identity);
        }
        return DirectoryMatch::Same;
    }

    bool SameIgnoringCase(WideStringView a, WideStringView b) const override {
        if (a.size() > INT_MAX || b.size() > INT_MAX) {
            return false;
        }
        return CompareStringOrdinal(a.data(), int(a.size()), b.data(), int(b.size()), TRUE) == CSTR_EQUAL;
    }

    const std::vector<WideString>& MachineNames() const override {
        if (!names_) {
            std::vector<WideString> names;
            AddComputerNames(names);
            AddAliases(names);
            AddAddresses(names);
            names_ = std::move(names);
        }
        return *names_;
    }

    bool IsNetworkDrive(WideStringView root) const override { return DriveType(root) == DRIVE_REMOTE; }

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
    // The directory `asked` opened for its identity: what a link leads to
    // when that is on this machine; empty when there is no directory there
    // that the checks may open.
    UniqueHandle OpenDirectory(const WideString& asked) const {
        if (!IsAskable(asked)) {
            return {};
        }
        const WideString path = ThroughLocalhost(asked);
        // Only directories are opened, so no device name is.
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            RememberIfMissing(asked);
            return {};
        }
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return {};
        }
        UniqueHandle directory = OpenWithoutFollowing(path);
        FILE_BASIC_INFO basic;
        if (!directory || !GetFileInformationByHandleEx(directory.Get(), FileBasicInfo, &basic, sizeof(basic))) {
            return {};
        }
        if (!(basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            return directory;
        }
        // A link: what it leads to counts, unless that is another host. One
        // whose target cannot be read (Wine shows Unix symbolic links as
        // reparse points it does not describe) counts as what was opened.
        switch (TargetOf(directory.Get(), *this)) {
            case LinkTarget::AnotherHost:
                return {};
            case LinkTarget::Unreadable:
                return directory;
            case LinkTarget::ThisMachine:
                break;
        }
        return UniqueHandle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    }

    // Keeps `asked` as a path that does not exist, so that its long form is
    // not looked up again for this text (a failing lookup lists the parent
    // directory). Only a path short enough to be looked up as it is.
    void RememberIfMissing(const WideString& asked) const {
        const DWORD error = GetLastError();
        if ((error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) && asked.size() < MAX_PATH - 12) {
            missing_.push_back(asked);
        }
    }

    // Whether `path` lies on a local drive, a local volume device or a share
    // of this machine: a path of another host is never opened, as that
    // would contact it, and it cannot be the staging directory.
    bool IsAskable(const WideString& path) const {
        const WideStringView root = PathRoot(path);
        if (root.size() == 2) {
            const UINT type = DriveType(root);
            return type == DRIVE_FIXED || type == DRIVE_REMOVABLE || type == DRIVE_CDROM || type == DRIVE_RAMDISK;
        }
        if (!DeviceRoot(root).empty()) {
            return IsLocalVolumeDevice(root);
        }
        return root.size() > 2 && IsThisMachine(root.substr(2, root.find('\\', 2) - 2), MachineNames());
    }

    // A share of this machine by the name "localhost", whatever name or
    // address `path` gives it: reaching it then takes no name resolution
    // (no DNS, LLMNR or multicast DNS query leaves the machine).
    static WideString ThroughLocalhost(const WideString& path) {
        const WideStringView root = PathRoot(path);
        if (root.size() <= 2 || !DeviceRoot(root).empty()) {
            return path;
        }
        return L"\\\\localhost" + path.substr(std::min(path.find(L'\\', 2), path.size()));
    }

    static std::optional<WideString> LongPathOf(const std::wstring& path) {
        return SizedCall([&path](wchar_t* buffer, DWORD capacity) -> DWORD {
            return GetLongPathNameW(path.c_str(), buffer, capacity);
        });
    }

    // The type of the drive `root` ("C:"), asked once per text: the checks
    // of one path walk its directories, each on the same drive, and the
    // call is slow under Wine.
    UINT DriveType(WideStringView root) const {
        const WideChar letter = WideChar(towupper(root[0]));
        auto known = std::find_if(driveTypes_.begin(), driveTypes_.end(),
                                  [letter](const auto& drive) { return drive.first == letter; });
        if (known == driveTypes_.end()) {
            known = driveTypes_.emplace(driveTypes_.end(), letter, AskDriveType(letter));
        }
        return known->second;
    }

    // A drive linked to a volume of the machine's own disks is local
    // (fixed or removable: no check tells them apart); telling that takes
    // one look at the link, while GetDriveTypeW opens the drive's root and
    // asks its device. Any other drive is asked for its type.
    static UINT AskDriveType(WideChar letter) {
        const WideChar drive[] = {letter, L':', L'\0'};
        wchar_t target[MAX_PATH + 1];
        const DWORD length = QueryDosDeviceW(drive, target, MAX_PATH);
        if (length > 0 && NamesLocalVolume(WideStringView(target, wcsnlen(target, length)))) {
            return DRIVE_FIXED;
        }
        const WideChar rootDirectory[] = {letter, L':', L'\\', L'\0'};
        return GetDriveTypeW(rootDirectory);
    }

    mutable std::optional<std::vector<WideString>> names_;
    mutable std::vector<std::pair<WideChar, UINT>> driveTypes_;
    mutable std::vector<WideString> missing_;  // paths found missing for this text
};

}  // namespace

std::wstring ExecTextForEvent(std::string_view text) {
    // Enough for the longest insert, whatever the encoding.
    constexpr size_t kLongestEventBytes = 1024;
    UINT codePage = CP_ACP;
    if (IsUtf8ExecText(text)) {
        text.remove_prefix(kUtf8Mark.size());
        codePage = CP_UTF8;
    }
    text = text.substr(0, kLongestEventBytes);
    if (text.empty()) {
        return std::wstring();
    }
    std::wstring wide(text.size(), L'\0');
    const int length = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), wide.data(), int(wide.size()));
    wide.resize(length > 0 ? size_t(length) : 0);
    return wide;
}

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
    // Kept for the plug-in's life: the staging directory resolves the same
    // while it stays in place (the cache asks whether it does).
    static StagingDirectoryCache staging;
    const WindowsPaths machine;
    if (auto refusal = TextRefusal(*wide, StagingDirectoryPath(), machine, staging)) {
        return refusal;
    }
    if (auto refusal = ExecPolicyRefusal(*wide, policy, machine)) {
        return refusal->reason + L" (policy " + refusal->setting + L")";
    }
    return std::nullopt;
}

}  // namespace zobrik
