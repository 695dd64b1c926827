// What the exec channel refuses to hand to the shell, decided without
// Windows: the length of the text, the URL scheme the shell would find in it,
// and whether one of the paths the text can stand for lies in the attachment
// staging directory. What only the machine knows (environment variables, the
// current directory, which files exist and their long names, the machine's
// own names) is asked of a MachinePaths; exec_policy_win.cpp answers with
// Windows, the unit tests with a machine of their own.
//
// The checks lean towards refusing: a text is refused when any reading of it
// that some version of the shell might make is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "include/wide_text.h"

namespace zobrik {

// The longest text, in bytes, that the exec channel hands to the shell.
inline constexpr size_t kLongestExecText = 32767;

// The text of an exec message: its bytes up to the first NUL (all of them
// when there is none).
std::string_view ExecText(std::string_view message) noexcept;

// The mark that makes an exec text UTF-8: a text that begins with it is read
// as UTF-8 without it; any other text is read in the ANSI code page.
inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// Whether `text` begins with kUtf8Mark.
inline bool IsUtf8ExecText(std::string_view text) noexcept { return text.substr(0, kUtf8Mark.size()) == kUtf8Mark; }

// `text` without leading and trailing blanks, invisible characters and
// quotes: what the shell reads as the target.
WideStringView TrimmedExecText(WideStringView text);

// "text longer than 32767 bytes" for a longer text.
std::optional<WideString> LengthRefusal(std::string_view text);

// The URL scheme that the shell finds at the start of `text`, in ASCII lower
// case, or empty when there is none. Leading blanks, control characters,
// invisible format characters and quotes are skipped, so is a leading "url:";
// tabs and line breaks inside the scheme are left out (URL parsers drop
// them). A scheme is made of ASCII letters, digits, '+', '-' and '.', ends at
// the first ':' and has at least two characters, so "C:\..." has none.
WideString UrlScheme(WideStringView text);

// The reason for refusing `text` for what it asks the shell for rather than
// where: a scheme of the refused list ("scheme ms-msdt: is not allowed"), a
// shell namespace name ("::{CLSID}") or a URL with a quote, space or control
// character inside (UrlCharacterRefusal).
std::optional<WideString> SchemeRefusal(WideStringView text);

// Whether `scheme` (lower case, as UrlScheme gives it) is refused.
bool IsRefusedScheme(WideStringView scheme);

// A directory as the file system knows it, whatever path reaches it.
struct FileIdentity {
    uint64_t volume = 0;
    uint64_t file = 0;
    bool operator==(const FileIdentity&) const = default;
};

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

// "names a staged attachment" when `text` names the directory
// `stagingDirectory` or anything below it under any spelling; nullopt when
// not, or when `stagingDirectory` is empty. A path is below the directory
// when its reading, with long names, starts with the directory's, or when
// one of its existing directories is the staging directory itself: on a
// drive, on a device ("\\?\Volume{GUID}\...") or on a share of this machine
// ("\\<own name or address>\<any share>\..."). A path below a device whose
// root cannot be identified is refused too: it may lead anywhere.
std::optional<WideString> PathRefusal(WideStringView text, WideStringView stagingDirectory,
                                      const MachinePaths& machine);

// The scheme refusal of the text or of the text with its environment
// variables expanded, then its path refusal.
std::optional<WideString> TextRefusal(WideStringView text, WideStringView stagingDirectory,
                                      const MachinePaths& machine);

// --- The parts of the path check ---

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

// Whether `host` names this machine: "localhost" and names below it, a
// loopback or unspecified address (127.0.0.0/8, ::1, 0.0.0.0, ::), one of
// `machineNames`, also as "<name>.local", or an address equal to one of
// them. IPv4 addresses are read in any form that inet_aton reads
// (127.1, 0x7f000001, ...), IPv6 ones also in brackets, with a zone, as an
// ipv6-literal.net name or with an IPv4 tail, IPv4 ones also mapped into
// IPv6; trailing dots and letter case do not matter.
bool IsThisMachine(WideStringView host, const std::vector<WideString>& machineNames);

// "C:" for a drive path, "\\server\share" for a UNC path, the device for a
// device path ("\\?\Volume{GUID}", "\\?\GLOBALROOT\Device\HarddiskVolume3",
// "\\?\unix"), else empty.
WideStringView PathRoot(WideStringView path);

// The device of a device path as PathRoot gives it; empty for other paths.
WideStringView DeviceRoot(WideStringView path);

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
