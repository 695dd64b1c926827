#include "exec_posix_refusals.h"

#include <algorithm>
#include <iterator>

#include "exec_admin_policy.h"
#include "exec_policy.h"
#include "include/ascii_text.h"
#include "include/utf_conversion.h"
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

// The refusal of a file whose extension (after the last dot of its name,
// any letter case) says that the desktop would run or install it.
std::optional<ExecRefusal> LauncherRefusal(const std::string& path) {
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return std::nullopt;
    const WideString extension = AsciiLowered(FromUtf8(name.substr(dot + 1)));
    const bool listed = std::any_of(std::begin(kLinuxLauncherExtensions), std::end(kLinuxLauncherExtensions),
                                    [&](const char* known) { return extension == FromUtf8(known); });
    if (!listed && !IsBuiltInProgramExtension(extension)) return std::nullopt;
    return ExecRefusal{"files that run or install programs are not opened (." + Utf16ToUtf8(extension) + ")", nullptr};
}

bool IsLocalHost(const std::string& host, const std::vector<std::string>& machineNames) {
    if (host.empty() || SameIgnoringAsciiCase(FromUtf8(host), ZOBRIK_WIDE("localhost"))) return true;
    return std::any_of(machineNames.begin(), machineNames.end(),
                       [&](const std::string& name) { return SameIgnoringAsciiCase(FromUtf8(host), FromUtf8(name)); });
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out += char(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool AnyMatches(const std::vector<WideString>& forms, const std::vector<WideString>& patterns) {
    return std::any_of(forms.begin(), forms.end(), [&](const WideString& form) {
        return std::any_of(patterns.begin(), patterns.end(),
                           [&](const WideString& pattern) { return MatchesWildcard(form, pattern); });
    });
}

bool AllMatch(const std::vector<WideString>& forms, const std::vector<WideString>& patterns) {
    return std::all_of(forms.begin(), forms.end(), [&](const WideString& form) {
        return std::any_of(patterns.begin(), patterns.end(),
                           [&](const WideString& pattern) { return MatchesWildcard(form, pattern); });
    });
}

bool SchemeListed(const WideString& scheme, const std::vector<WideString>& schemes) {
    return std::find(schemes.begin(), schemes.end(), scheme) != schemes.end();
}

ExecRefusal Policy(const WideChar* setting, std::string reason) { return {std::move(reason), setting}; }

// The policy's refusal of a text with the given forms.
std::optional<ExecRefusal> ListRefusal(WideStringView text, const std::vector<WideString>& forms,
                                       const AdminPolicy& policy) {
    std::vector<WideString> denyForms = forms;
    denyForms.emplace_back(text);
    if (AnyMatches(denyForms, policy.execDenyList)) return Policy(kExecDenyListSetting, "on the deny list");
    if (policy.execAllowList && !AllMatch(forms, *policy.execAllowList))
        return Policy(kExecAllowListSetting, "not on the allow list");
    return std::nullopt;
}

std::optional<ExecRefusal> UrlRefusal(WideStringView text, const WideString& scheme, const AdminPolicy& policy) {
    const auto forms = UrlPolicyForms(text, PlatformDomainToAscii());
    if (!forms && !policy.execDenyList.empty())
        return Policy(kExecDenyListSetting, "URL cannot be read as a browser reads it");
    if (!forms && policy.execAllowList)
        return Policy(kExecAllowListSetting, "URL cannot be read as a browser reads it");
    if (auto refusal = ListRefusal(text, forms.value_or(std::vector<WideString>()), policy)) return refusal;
    if (policy.execAllowedSchemes && !SchemeListed(scheme, *policy.execAllowedSchemes))
        return Policy(kExecAllowedSchemesSetting, "scheme " + Utf16ToUtf8(scheme) + ": is not allowed");
    const std::string narrow = Utf16ToUtf8(scheme);
    const bool network =
        std::any_of(std::begin(kNetworkSchemes), std::end(kNetworkSchemes), [&](const char* s) { return narrow == s; });
    if (network && !policy.execAllowNetworkPaths)
        return Policy(kExecAllowNetworkPathsSetting, "network locations are not allowed");
    return std::nullopt;
}

// A folder opens in the file manager, whatever its name ("example.com").
bool IsFolder(const std::string& path, const PosixFiles& files) {
    const PosixFileFacts facts = files.Facts(path);
    return facts.exists && !facts.regular;
}

// A file server's file (the path of a URL of a network scheme, %-escapes
// decoded), which the desktop mounts and opens by its type as a local one.
std::optional<ExecRefusal> NetworkFileRefusal(const std::string& url, const WideString& scheme) {
    const std::string narrow = Utf16ToUtf8(scheme);
    if (std::none_of(std::begin(kNetworkSchemes), std::end(kNetworkSchemes),
                     [&](const char* s) { return narrow == s; }))
        return std::nullopt;
    std::string rest = url.substr(std::min(url.size(), narrow.size() + 1));
    rest = rest.substr(0, rest.find_first_of("?#"));
    if (rest.compare(0, 2, "//") == 0) {
        const size_t slash = rest.find('/', 2);
        if (slash == std::string::npos) return std::nullopt;  // a server, no file
        rest = rest.substr(slash);
    }
    return LauncherRefusal(PercentDecoded(rest));
}

std::optional<ExecRefusal> PathRefusal(WideStringView text, bool isFileUrl, const std::string& path,
                                       const std::string& stagingRoot, const AdminPolicy& policy,
                                       const PosixFiles& files) {
    const std::string absolute = AbsolutePosixPath(path, files.CurrentDirectory());
    const std::optional<std::string> real = files.RealPath(absolute);
    std::vector<std::string> readings = {absolute};
    if (real && *real != absolute) readings.push_back(*real);

    const std::optional<std::string> realStaging = files.RealPath(stagingRoot);
    for (const std::string& reading : readings) {
        if (IsBelow(reading, stagingRoot) || (realStaging && IsBelow(reading, *realStaging)))
            return ExecRefusal{"inside the staging folder", nullptr};
        if (EndsWithDesktop(reading)) return ExecRefusal{"desktop entries are not opened", nullptr};
        if (auto launcher = LauncherRefusal(reading); launcher && !IsFolder(absolute, files)) return launcher;
    }
    if (files.Facts(absolute).executable) return ExecRefusal{"programs are not opened", nullptr};

    std::vector<WideString> forms;
    forms.reserve(readings.size());
    for (const std::string& reading : readings) forms.push_back(FromUtf8(reading));
    if (auto refusal = ListRefusal(text, forms, policy)) return refusal;
    if (isFileUrl && policy.execAllowedSchemes && !SchemeListed(ZOBRIK_WIDE("file"), *policy.execAllowedSchemes))
        return Policy(kExecAllowedSchemesSetting, "scheme file: is not allowed");
    if (!policy.execAllowLocalPaths) return Policy(kExecAllowLocalPathsSetting, "local paths are not allowed");
    return std::nullopt;
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

std::optional<ExecRefusal> PosixExecRefusal(WideStringView text, const std::string& stagingRoot,
                                            const AdminPolicy& policy, const PosixFiles& files) {
    if (text.empty()) return ExecRefusal{"empty text", nullptr};
    if (text[0] == '-') return ExecRefusal{"a text that begins with '-'", nullptr};
    if (auto refusal = SchemeRefusal(text)) return ExecRefusal{Utf16ToUtf8(*refusal), nullptr};

    std::optional<ExecRefusal> refusal;
    const WideString scheme = UrlScheme(text);
    const std::string utf8 = Utf16ToUtf8(text);
    if (!scheme.empty() && scheme != ZOBRIK_WIDE("file")) {
        if (auto launcher = NetworkFileRefusal(utf8, scheme)) return launcher;
        refusal = UrlRefusal(text, scheme, policy);
    } else if (const std::optional<FileUrl> url = ParseFileUrl(utf8)) {
        if (!IsLocalHost(url->host, files.MachineNames())) return ExecRefusal{"file: URL of another host", nullptr};
        refusal = PathRefusal(text, true, url->path, stagingRoot, policy, files);
    } else {
        refusal = PathRefusal(text, false, utf8, stagingRoot, policy, files);
    }
    if (refusal) return refusal;
    if (policy.execConfirm) return Policy(kExecConfirmSetting, "this client cannot ask the user to confirm");
    return std::nullopt;
}

}  // namespace zobrik
