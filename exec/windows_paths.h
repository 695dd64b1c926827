// Windows paths, decided without Windows: the spellings an exec text may
// stand for, the local form of device and UNC spellings, roots, the readings
// Windows or Wine may make of a path and its long names. What only the
// machine knows is asked of a MachinePaths; exec/win/exec_refusal.cpp answers with
// Windows, the unit tests with a machine of their own.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "include/wide_text.h"

namespace zobrik {

// A directory as the file system knows it, whatever path reaches it.
struct FileIdentity {
    uint64_t volume = 0;
    uint64_t file = 0;
    bool operator==(const FileIdentity&) const = default;
};

// What a path is to one directory's identity: no directory the checks may
// ask about is there, another directory is, or that one.
enum class DirectoryMatch { None, Other, Same };

// What the path checks need to know of the machine.
class MachinePaths {
public:
    virtual ~MachinePaths() = default;
    // `text` with its %NAME% environment variables expanded; nullopt when
    // that fails.
    virtual std::optional<WideString> ExpandEnvironment(const WideString& text) const = 0;
    // The absolute form of `path` against the current directory, as the
    // shell makes it (GetFullPathNameW); nullopt when that fails.
    virtual std::optional<WideString> FullPath(const WideString& path) const = 0;
    // The long form of an absolute path that exists, short (8.3) names
    // replaced by long ones; nullopt when it does not exist.
    virtual std::optional<WideString> LongPath(const WideString& path) const = 0;
    // The identity of an existing directory, also when `path` reaches it
    // through a link, a junction, a mount point or another drive letter;
    // nullopt for anything else (files, missing paths). `path` is a drive's
    // ("C:\x", "C:\"), a device's ("\\?\Volume{GUID}\x") or a share of this
    // machine's ("\\localhost\users\x"); network drives and other hosts are
    // not asked (the checks never ask, and an answer would contact them).
    virtual std::optional<FileIdentity> DirectoryIdentity(const WideString& path) const = 0;
    // DirectoryIdentity(path) compared with `identity`. A machine may answer
    // without taking the whole identity, where a part of it already differs
    // or the same directory was found there before.
    virtual DirectoryMatch MatchDirectory(const WideString& path, const FileIdentity& identity) const;
    // Whether two names are equal as the file system compares them, without
    // regard to letter case.
    virtual bool SameIgnoringCase(WideStringView a, WideStringView b) const = 0;
    // This machine's own names and addresses besides "localhost" and the
    // loopback addresses, which are always known: its NetBIOS and DNS names,
    // aliases, and the IPv4 and IPv6 addresses of its interfaces as text.
    virtual const std::vector<WideString>& MachineNames() const = 0;
    // Whether the drive `root` ("X:") is mapped to a network share.
    virtual bool IsNetworkDrive(WideStringView root) const = 0;
    // Whether `path` is an existing directory.
    virtual bool IsDirectory(const WideString& path) const = 0;
    // The extensions the machine runs as programs, ';'-separated (PATHEXT).
    virtual WideString ProgramExtensions() const = 0;
};

// Whether `target`, what a drive letter is linked to (as QueryDosDevice
// tells it), names a volume of this machine's own disks or optical drives:
// "\Device\HarddiskVolume3", "\Device\CdRom0". Not network drives
// ("\Device\LanmanRedirector\;Z:...", "\Device\Mup\..."), a folder's
// drive ("\??\C:\x"), redirected client drives or any other device.
bool NamesLocalVolume(WideStringView target);

// The paths that `text` may stand for before the machine resolves them: the
// text without surrounding blanks, its quoted part, the text without its
// quotes, and the paths of a file: URL among them. Empty ones are left out.
std::vector<WideString> PathSpellings(WideStringView text);

// The paths a "file:" URL may stand for: host forms as UNC paths, drive
// letters also as "C|", with and without its query or fragment, and
// %-escapes decoded as UTF-8 and as one unit per byte (and left undecoded).
// Empty when `url` does not start with "file:".
std::vector<WideString> FileUrlPaths(WideStringView url);

// `path` with '/' turned into '\', the device prefixes "\\?\", "\\.\" and
// "\??\" removed before a drive (also after "GLOBALROOT\??\" or
// "GLOBALROOT\GLOBAL??\"), "\\?\UNC\server\..." and
// "\\?\GLOBALROOT\Device\Mup\server\..." turned into "\\server\...", an
// administrative share of this machine ("\\localhost\C$\x", also
// "\\localhost\C:\x") turned into its drive ("C:\x"), and any other device
// path kept as one, with the prefix "\\?\" ("\\?\Volume{GUID}\x",
// "\\?\GLOBALROOT\Device\HarddiskVolume3\x", Wine's "\\?\unix\home").
WideString LocalSpelling(WideStringView path, const std::vector<WideString>& machineNames);

// LocalSpelling with `machine`'s names, asked for only when `path`, read
// without them, still names a host ("\\server\...", "\??\UNC\..."); never for
// drive and device paths such as Wine's "\??\unix\...".
WideString LocalSpelling(WideStringView path, const MachinePaths& machine);

// "C:" for a drive path, "\\server\share" for a UNC path, the device for a
// device path ("\\?\Volume{GUID}", "\\?\GLOBALROOT\Device\HarddiskVolume3",
// "\\?\unix"), else empty.
WideStringView PathRoot(WideStringView path);

// The device of a device path as PathRoot gives it; empty for other paths.
WideStringView DeviceRoot(WideStringView path);

// Whether the device root `root` (as DeviceRoot gives it) names a local
// volume, so that asking about it reaches no other host: "\\?\Volume{GUID}",
// "\\?\HarddiskVolume3", "\\?\GLOBALROOT\Device\HarddiskVolume3", their
// shadow copies, optical drives, the system root, and Wine's Unix root
// "\\?\unix".
bool IsLocalVolumeDevice(WideStringView root);

// The ways Windows or Wine may read an absolute path, each as root and
// components joined by single '\': "." and ".." applied and trailing dots
// and spaces removed, with what follows a ':' in a component taken as an
// alternate stream (":stream:$TYPE", dropped) and, in other readings, as part
// of the name (Wine has names such as "c:" in its own directories). A
// component of only dots and spaces ("...") is dropped in some readings and
// goes up one level in others, as Wine reads it. A path without a root is
// returned unchanged.
std::vector<WideString> PathReadings(WideStringView path);

// Whether `path` is `directory` or below it; both are readings as above
// (no trailing '\', single separators). Names compare with `machine`.
bool IsSameOrBelow(WideStringView path, WideStringView directory, const MachinePaths& machine);

// `path` (a reading) with the long form of its longest existing part, found
// from the root on.
WideString WithLongNames(const WideString& path, const MachinePaths& machine);

}  // namespace zobrik
