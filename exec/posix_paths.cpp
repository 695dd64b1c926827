#include "posix_paths.h"

#include <algorithm>
#include <iterator>

#include "exec_admin_policy.h"
#include "exec_policy_ladder.h"
#include "exec_text.h"
#include "include/ascii_text.h"
#include "include/utf_conversion.h"
#include "percent_decoding.h"
#include "url_normalisation.h"

namespace zobrik {

namespace {

// Schemes whose handlers reach file servers.
constexpr const char* kNetworkSchemes[] = {"smb", "nfs", "sftp", "ftp", "ftps", "dav", "davs", "afp", "ssh", "cifs"};

WideString FromUtf8(const std::string& utf8) { return Utf8ToUtf16Lenient(utf8); }

bool IsBelow(const std::string& path, const std::string& directory) {
    if (directory.empty()) return false;
    if (path == directory) return true;
    const std::string prefix = directory.back() == '/' ? directory : directory + "/";
    return path.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWithDesktop(const std::string& path) {
    constexpr std::string_view kSuffix = ".desktop";
    if (path.size() < kSuffix.size()) return false;
    return std::equal(kSuffix.begin(), kSuffix.end(), path.end() - std::ptrdiff_t(kSuffix.size()),
                      [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? char(b + 32) : b); });
}

// Files that Linux desktops hand to a program which runs or installs what
// they hold, with or without an execute bit: desktop entries, Flatpak
// references and bundles, software packages, AppImages (AppImageLauncher
// runs them) and Java Web Start files. Windows programs and launchers
// (.exe, .msi, .bat, .lnk, .jar, ...) count through IsBuiltInProgramExtension:
// Wine and Java register themselves for them.
constexpr const char* kLinuxLauncherExtensions[] = {"desktop", "flatpakref", "flatpakrepo", "flatpak", "deb",
                                                    "rpm",     "snap",       "appimage",    "jnlp"};

// A refusal that no setting makes.
PolicyRefusal BuiltIn(WideString reason) { return PolicyRefusal{nullptr, std::move(reason)}; }

// The refusal of a file whose extension (after the last dot of its name,
// any letter case) says that the desktop would run or install it.
std::optional<PolicyRefusal> LauncherRefusal(const std::string& path) {
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return std::nullopt;
    const WideString extension = AsciiLowered(FromUtf8(name.substr(dot + 1)));
    const bool listed = std::any_of(std::begin(kLinuxLauncherExtensions), std::end(kLinuxLauncherExtensions),
                                    [&](const char* known) { return extension == FromUtf8(known); });
    if (!listed && !IsBuiltInProgramExtension(extension)) return std::nullopt;
    return BuiltIn(ZOBRIK_WIDE("files that run or install programs are not opened (.") + extension + ZOBRIK_WIDE(")"));
}

bool IsLocalHost(const std::string& host, const std::vector<std::string>& machineNames) {
    if (host.empty() || SameIgnoringAsciiCase(FromUtf8(host), ZOBRIK_WIDE("localhost"))) return true;
    return std::any_of(machineNames.begin(), machineNames.end(),
                       [&](const std::string& name) { return SameIgnoringAsciiCase(FromUtf8(host), FromUtf8(name)); });
}

bool IsNetworkScheme(const std::string& scheme) {
    return std::any_of(std::begin(kNetworkSchemes), std::end(kNetworkSchemes),
                       [&](const char* known) { return scheme == known; });
}

// A URL for the ladder: its browser forms, and a network location when its
// scheme reaches file servers.
ExecTextReading UrlReading(const DecodedExecText& text, const WideString& scheme) {
    ExecTextReading reading;
    reading.asSent = text.wide;
    reading.isUrl = true;
    reading.scheme = scheme;
    if (auto forms = UrlPolicyForms(text.wide, PlatformDomainToAscii())) {
        reading.forms = std::move(*forms);
    }
    if (IsNetworkScheme(Utf16ToUtf8(scheme))) {
        reading.locations.push_back({text.wide, true});
    }
    return reading;
}

// A folder opens in the file manager, whatever its name ("example.com").
bool IsFolder(const std::string& path, const PosixFiles& files) {
    const PosixFileFacts facts = files.Facts(path);
    return facts.exists && !facts.regular;
}

// A file server's file (the path of a URL of a network scheme, %-escapes
// decoded), which the desktop mounts and opens by its type as a local one.
std::optional<PolicyRefusal> NetworkFileRefusal(const std::string& url, const WideString& scheme) {
    const std::string narrow = Utf16ToUtf8(scheme);
    if (!IsNetworkScheme(narrow)) return std::nullopt;
    std::string rest = url.substr(std::min(url.size(), narrow.size() + 1));
    rest = rest.substr(0, rest.find_first_of("?#"));
    if (rest.compare(0, 2, "//") == 0) {
        const size_t slash = rest.find('/', 2);
        if (slash == std::string::npos) return std::nullopt;  // a server, no file
        rest = rest.substr(slash);
    }
    return LauncherRefusal(PercentDecoded(rest));
}

std::optional<PolicyRefusal> PathRefusal(const DecodedExecText& text, bool isFileUrl, const std::string& path,
                                         const std::string& stagingRoot, const AdminPolicy& policy,
                                         const PosixFiles& files) {
    const std::string absolute = AbsolutePosixPath(path, files.CurrentDirectory());
    const std::optional<std::string> real = files.RealPath(absolute);
    std::vector<std::string> readings = {absolute};
    if (real && *real != absolute) readings.push_back(*real);

    const std::optional<std::string> realStaging = files.RealPath(stagingRoot);
    for (const std::string& reading : readings) {
        if (IsBelow(reading, stagingRoot) || (realStaging && IsBelow(reading, *realStaging)))
            return BuiltIn(ZOBRIK_WIDE("inside the staging folder"));
        if (EndsWithDesktop(reading)) return BuiltIn(ZOBRIK_WIDE("desktop entries are not opened"));
        if (auto launcher = LauncherRefusal(reading); launcher && !IsFolder(absolute, files)) return launcher;
    }
    if (files.Facts(absolute).executable) return BuiltIn(ZOBRIK_WIDE("programs are not opened"));

    ExecTextReading ladder;
    ladder.asSent = text.wide;
    if (isFileUrl) ladder.scheme = ZOBRIK_WIDE("file");
    for (const std::string& reading : readings) {
        WideString form = FromUtf8(reading);
        ladder.locations.push_back({form, false});
        ladder.forms.push_back(std::move(form));
    }
    return ExecLadderRefusal(ladder, policy);
}

}  // namespace

std::string AbsolutePosixPath(const std::string& path, const std::string& currentDirectory) {
    const std::string joined = !path.empty() && path[0] == '/' ? path : currentDirectory + "/" + path;
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= joined.size()) {
        size_t end = joined.find('/', start);
        if (end == std::string::npos) end = joined.size();
        const std::string part = joined.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out;
    for (const std::string& part : parts) out += "/" + part;
    return out.empty() ? "/" : out;
}

std::optional<FileUrl> ParseFileUrl(const std::string& text) {
    if (text.size() < 5 || !StartsWithIgnoringAsciiCase(FromUtf8(text.substr(0, 5)), u"file:")) return std::nullopt;
    std::string rest = text.substr(5);
    FileUrl url;
    if (rest.compare(0, 2, "//") == 0) {
        const size_t slash = rest.find('/', 2);
        url.host = PercentDecoded(rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2));
        rest = slash == std::string::npos ? "/" : rest.substr(slash);
    }
    const size_t end = rest.find_first_of("?#");
    url.path = PercentDecoded(rest.substr(0, end));
    return url;
}

std::optional<PolicyRefusal> PosixExecRefusal(const DecodedExecText& text, const std::string& stagingRoot,
                                              const AdminPolicy& policy, const PosixFiles& files) {
    if (text.wide.empty()) return BuiltIn(ZOBRIK_WIDE("empty text"));
    if (text.wide[0] == '-') return BuiltIn(ZOBRIK_WIDE("a text that begins with '-'"));
    if (auto refusal = SchemeRefusal(text.wide)) return BuiltIn(std::move(*refusal));

    std::optional<PolicyRefusal> refusal;
    const WideString scheme = UrlScheme(text.wide);
    if (IsAddressScheme(scheme)) {
        if (auto launcher = NetworkFileRefusal(text.utf8, scheme)) return launcher;
        refusal = ExecLadderRefusal(UrlReading(text, scheme), policy);
    } else if (const std::optional<FileUrl> url = ParseFileUrl(text.utf8)) {
        if (!IsLocalHost(url->host, files.MachineNames())) return BuiltIn(ZOBRIK_WIDE("file: URL of another host"));
        refusal = PathRefusal(text, true, url->path, stagingRoot, policy, files);
    } else {
        refusal = PathRefusal(text, false, text.utf8, stagingRoot, policy, files);
    }
    if (refusal) return refusal;
    if (policy.execConfirm)
        return PolicyRefusal{kExecConfirmSetting, ZOBRIK_WIDE("this client cannot ask the user to confirm")};
    return std::nullopt;
}

}  // namespace zobrik
