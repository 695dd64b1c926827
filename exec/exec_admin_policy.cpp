#include "exec_admin_policy.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "include/ascii_text.h"
#include "include/utf_conversion.h"
#include "url_normalisation.h"

namespace zobrik {

namespace {

// Extensions the shell runs, or hands to something that runs what the file
// says, whatever PATHEXT holds.
constexpr const WideChar* kProgramExtensions[] = {
    ZOBRIK_WIDE("exe"),
    ZOBRIK_WIDE("com"),
    ZOBRIK_WIDE("bat"),
    ZOBRIK_WIDE("cmd"),
    ZOBRIK_WIDE("pif"),
    ZOBRIK_WIDE("scr"),
    ZOBRIK_WIDE("cpl"),
    ZOBRIK_WIDE("msi"),
    ZOBRIK_WIDE("msp"),
    ZOBRIK_WIDE("mst"),
    ZOBRIK_WIDE("msc"),
    ZOBRIK_WIDE("lnk"),
    ZOBRIK_WIDE("url"),
    ZOBRIK_WIDE("website"),
    ZOBRIK_WIDE("hta"),
    ZOBRIK_WIDE("chm"),
    ZOBRIK_WIDE("ps1"),
    ZOBRIK_WIDE("psm1"),
    ZOBRIK_WIDE("psd1"),
    ZOBRIK_WIDE("ps1xml"),
    ZOBRIK_WIDE("psc1"),
    ZOBRIK_WIDE("vb"),
    ZOBRIK_WIDE("vbs"),
    ZOBRIK_WIDE("vbe"),
    ZOBRIK_WIDE("js"),
    ZOBRIK_WIDE("jse"),
    ZOBRIK_WIDE("ws"),
    ZOBRIK_WIDE("wsf"),
    ZOBRIK_WIDE("wsc"),
    ZOBRIK_WIDE("wsh"),
    ZOBRIK_WIDE("sct"),
    ZOBRIK_WIDE("reg"),
    ZOBRIK_WIDE("inf"),
    ZOBRIK_WIDE("scf"),
    ZOBRIK_WIDE("jar"),
    ZOBRIK_WIDE("gadget"),
    ZOBRIK_WIDE("application"),
    ZOBRIK_WIDE("appref-ms"),
    ZOBRIK_WIDE("xbap"),
    ZOBRIK_WIDE("library-ms"),
    ZOBRIK_WIDE("search-ms"),
    ZOBRIK_WIDE("searchconnector-ms"),
    ZOBRIK_WIDE("settingcontent-ms"),
    ZOBRIK_WIDE("diagcab"),
    ZOBRIK_WIDE("appx"),
    ZOBRIK_WIDE("appxbundle"),
    ZOBRIK_WIDE("msix"),
    ZOBRIK_WIDE("msixbundle"),
    ZOBRIK_WIDE("py"),
    ZOBRIK_WIDE("pyw"),
};

void AddUnique(std::vector<WideString>& list, WideString item) {
    if (!item.empty() && std::find(list.begin(), list.end(), item) == list.end()) {
        list.push_back(std::move(item));
    }
}

bool AnyMatches(const WideString& text, const std::vector<WideString>& patterns, const WideString** which) {
    for (const WideString& pattern : patterns) {
        if (MatchesWildcard(text, pattern)) {
            *which = &pattern;
            return true;
        }
    }
    return false;
}

bool IsNetworkPath(const WideString& path, const MachinePaths& machine) {
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        return true;
    }
    const WideStringView root = PathRoot(path);
    return root.size() == 2 && machine.IsNetworkDrive(root);
}

WideString Quoted(WideStringView text) { return ZOBRIK_WIDE("\"") + WideString(text) + ZOBRIK_WIDE("\""); }

// A URL that a browser would not read cannot be compared with the lists:
// either list refuses it.
std::optional<PolicyRefusal> UnreadableUrlRefusal(const AdminPolicy& policy) {
    const WideString reason = ZOBRIK_WIDE("URL cannot be read as a browser reads it");
    if (!policy.execDenyList.empty()) {
        return PolicyRefusal{kExecDenyListSetting, reason};
    }
    if (policy.execAllowList) {
        return PolicyRefusal{kExecAllowListSetting, reason};
    }
    return std::nullopt;
}

std::optional<PolicyRefusal> ListRefusal(WideStringView trimmed, const ExecTarget& target, const AdminPolicy& policy) {
    if (target.isUrl && target.urlForms.empty()) {
        return UnreadableUrlRefusal(policy);
    }
    const std::vector<WideString>& forms = target.isUrl ? target.urlForms : target.paths;
    const WideString* pattern = nullptr;
    std::vector<WideString> denyForms = forms;
    AddUnique(denyForms, WideString(trimmed));
    for (const WideString& form : denyForms) {
        if (AnyMatches(form, policy.execDenyList, &pattern)) {
            return PolicyRefusal{kExecDenyListSetting, ZOBRIK_WIDE("matches the deny list entry ") + Quoted(*pattern)};
        }
    }
    if (policy.execAllowList) {
        const bool allAllowed = !forms.empty() && std::all_of(forms.begin(), forms.end(), [&](const WideString& form) {
            return AnyMatches(form, *policy.execAllowList, &pattern);
        });
        if (!allAllowed) {
            return PolicyRefusal{kExecAllowListSetting, ZOBRIK_WIDE("matches no allow list entry")};
        }
    }
    return std::nullopt;
}

std::optional<PolicyRefusal> KindRefusal(const ExecTarget& target, const AdminPolicy& policy,
                                         const MachinePaths& machine) {
    if (policy.execAllowedSchemes && !target.scheme.empty()) {
        const auto& schemes = *policy.execAllowedSchemes;
        if (std::find(schemes.begin(), schemes.end(), target.scheme) == schemes.end()) {
            return PolicyRefusal{kExecAllowedSchemesSetting,
                                 ZOBRIK_WIDE("scheme ") + target.scheme + ZOBRIK_WIDE(": is not allowed")};
        }
    }
    if (target.isUrl) {
        return std::nullopt;
    }
    if (target.paths.empty() && !policy.execAllowLocalPaths) {
        return PolicyRefusal{kExecAllowLocalPathsSetting, ZOBRIK_WIDE("names no path")};
    }
    for (const WideString& path : target.paths) {
        const bool network = IsNetworkPath(path, machine);
        if (network && !policy.execAllowNetworkPaths) {
            return PolicyRefusal{kExecAllowNetworkPathsSetting, ZOBRIK_WIDE("network path ") + Quoted(path)};
        }
        if (!network && !policy.execAllowLocalPaths) {
            return PolicyRefusal{kExecAllowLocalPathsSetting, ZOBRIK_WIDE("local path ") + Quoted(path)};
        }
    }
    if (!policy.execAllowPrograms) {
        for (const WideString& path : target.paths) {
            if (IsProgramPath(path, machine)) {
                return PolicyRefusal{kExecAllowProgramsSetting, ZOBRIK_WIDE("program or script ") + Quoted(path)};
            }
        }
    }
    return std::nullopt;
}

bool IsShownAsCode(uint16_t u) {
    return u < 0x20 || (u >= 0x7F && u <= 0xA0) || u == 0xAD || u == 0x034F || u == 0x061C || u == 0x115F ||
           u == 0x1160 || u == 0x180E || (u >= 0x2000 && u <= 0x200F) || (u >= 0x2028 && u <= 0x202F) ||
           (u >= 0x205F && u <= 0x206F) || u == 0x3000 || u == 0x3164 || (u >= 0xFE00 && u <= 0xFE0F) || u == 0xFEFF ||
           u == 0xFFA0 || (u >= 0xFFF0 && u <= 0xFFFB);
}

}  // namespace

bool MatchesWildcard(WideStringView text, WideStringView pattern) {
    // Greedy matching that returns to the last '*' on a mismatch: at most
    // text × pattern steps, with no recursion.
    size_t t = 0, p = 0;
    size_t starP = WideStringView::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && (pattern[p] == '?' || AsciiLower(pattern[p]) == AsciiLower(text[t]))) {
            ++p;
            ++t;
        } else if (starP != WideStringView::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

namespace {

// A UNC path's host as a URL's host parser reads it ("\\10.1\share" reaches
// 10.0.0.1), without trailing dots ("\\server.\share"); other paths stay.
WideString WithNormalisedUncHost(const WideString& path) {
    if (path.size() < 3 || path[0] != '\\' || path[1] != '\\') {
        return path;
    }
    const size_t hostEnd = std::min(path.find('\\', 2), path.size());
    const WideStringView host = WideStringView(path).substr(2, hostEnd - 2);
    auto parsed = ParseHost(Utf16ToUtf8(host), PlatformDomainToAscii());
    WideString name = parsed ? AsciiToWide(*parsed) : AsciiLowered(host);
    while (!name.empty() && name.back() == '.') {
        name.pop_back();
    }
    return ZOBRIK_WIDE("\\\\") + name + path.substr(hostEnd);
}

// `reading`, its form with long names (an 8.3 name of a denied folder reads
// as the folder) and both with the UNC host normalised. Long names are asked
// only on local drives: asking for a path on a share would contact its
// server before the network path setting has been applied.
void AddPathForms(std::vector<WideString>& forms, const WideString& reading, const MachinePaths& machine) {
    std::vector<WideString> readings{reading};
    const WideStringView root = PathRoot(reading);
    if (root.size() == 2 && !machine.IsNetworkDrive(root)) {
        for (WideString& longReading : PathReadings(WithLongNames(reading, machine))) {
            AddUnique(readings, std::move(longReading));
        }
    }
    for (const WideString& each : readings) {
        AddUnique(forms, each);
        AddUnique(forms, WithNormalisedUncHost(each));
    }
}

}  // namespace

WideString NormalisedUrl(WideStringView text) {
    auto forms = UrlPolicyForms(text, PlatformDomainToAscii());
    return forms && !forms->empty() ? forms->front() : WideString(TrimmedExecText(text));
}

ExecTarget ClassifyExecText(WideStringView text, const MachinePaths& machine) {
    ExecTarget target;
    target.scheme = UrlScheme(text);
    target.isUrl = !target.scheme.empty() && target.scheme != ZOBRIK_WIDE("file");
    if (target.isUrl) {
        if (auto forms = UrlPolicyForms(text, PlatformDomainToAscii())) {
            target.urlForms = std::move(*forms);
        }
        return target;
    }
    std::vector<WideString> texts{WideString(text)};
    if (auto expanded = machine.ExpandEnvironment(texts.front())) {
        AddUnique(texts, std::move(*expanded));
    }
    const auto& names = machine.MachineNames();
    for (const WideString& each : texts) {
        for (const WideString& spelling : PathSpellings(each)) {
            if (!UrlScheme(spelling).empty()) {
                continue;  // the "file:" URL itself; its paths follow it
            }
            WideString path = LocalSpelling(spelling, names);
            if (auto full = machine.FullPath(path)) {
                path = LocalSpelling(*full, names);
            }
            for (WideString& reading : PathReadings(path)) {
                AddPathForms(target.paths, reading, machine);
            }
        }
    }
    return target;
}

bool IsProgramPath(const WideString& path, const MachinePaths& machine) {
    const size_t separator = path.find_last_of(ZOBRIK_WIDE("\\/"));
    const WideStringView name =
        separator == WideString::npos ? WideStringView(path) : WideStringView(path).substr(separator + 1);
    if (name.empty()) {
        return false;  // a root
    }
    const size_t dot = name.rfind('.');
    if (dot == WideStringView::npos) {
        return !machine.IsDirectory(path);
    }
    const WideString extension = AsciiLowered(name.substr(dot + 1));
    if (std::any_of(std::begin(kProgramExtensions), std::end(kProgramExtensions),
                    [&](const WideChar* known) { return extension == known; })) {
        return true;
    }
    const WideString listed = AsciiLowered(machine.ProgramExtensions());
    size_t start = 0;
    while (start <= listed.size()) {
        const size_t end = std::min(listed.find(';', start), listed.size());
        WideStringView entry = WideStringView(listed).substr(start, end - start);
        while (!entry.empty() && (entry.front() == '.' || entry.front() == ' ')) {
            entry.remove_prefix(1);
        }
        while (!entry.empty() && entry.back() == ' ') {
            entry.remove_suffix(1);
        }
        if (!entry.empty() && entry == extension) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

bool IsBuiltInProgramExtension(WideStringView extension) {
    const WideString lowered = AsciiLowered(extension);
    return std::any_of(std::begin(kProgramExtensions), std::end(kProgramExtensions),
                       [&](const WideChar* known) { return lowered == known; });
}

std::optional<PolicyRefusal> ExecPolicyRefusal(WideStringView text, const AdminPolicy& policy,
                                               const MachinePaths& machine) {
    const bool restricts = policy.execAllowedSchemes || policy.execAllowList || !policy.execDenyList.empty() ||
                           !policy.execAllowLocalPaths || !policy.execAllowNetworkPaths || !policy.execAllowPrograms;
    if (!restricts) {
        return std::nullopt;  // spares the machine's path questions
    }
    const ExecTarget target = ClassifyExecText(text, machine);
    if (auto refusal = ListRefusal(TrimmedExecText(text), target, policy)) {
        return refusal;
    }
    return KindRefusal(target, policy, machine);
}

WideString VisibleText(WideStringView text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    WideString out;
    for (size_t i = 0; i < text.size(); ++i) {
        const uint16_t u = uint16_t(text[i]);
        const bool pairedHigh = u >= 0xD800 && u < 0xDC00 && i + 1 < text.size() && uint16_t(text[i + 1]) >= 0xDC00 &&
                                uint16_t(text[i + 1]) < 0xE000;
        if (pairedHigh) {
            out += text[i];
            out += text[++i];
            continue;
        }
        if (!IsShownAsCode(u) && !(u >= 0xD800 && u < 0xE000)) {
            out += text[i];
            continue;
        }
        out += ZOBRIK_WIDE("<U+");
        for (int shift = 12; shift >= 0; shift -= 4) {
            out += WideChar(kHex[(u >> shift) & 0xF]);
        }
        out += WideChar('>');
    }
    return out;
}

}  // namespace zobrik
