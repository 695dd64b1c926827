#include "exec_admin_policy.h"

#include <algorithm>
#include <iterator>

#include "exec_policy_ladder.h"
#include "exec_text.h"
#include "exec_unique_forms.h"
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

bool IsNetworkPath(const WideString& path, const MachinePaths& machine) {
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        return true;
    }
    const WideStringView root = PathRoot(path);
    return root.size() == 2 && machine.IsNetworkDrive(root);
}

WideString Quoted(WideStringView text) { return ZOBRIK_WIDE("\"") + WideString(text) + ZOBRIK_WIDE("\""); }

// The programs setting, which only Windows has: checked after the ladder.
std::optional<PolicyRefusal> ProgramRefusal(const ExecTarget& target, const AdminPolicy& policy,
                                            const MachinePaths& machine) {
    if (target.isUrl || policy.execAllowPrograms) {
        return std::nullopt;
    }
    for (const WideString& path : target.paths) {
        if (IsProgramPath(path, machine)) {
            return PolicyRefusal{kExecAllowProgramsSetting, ZOBRIK_WIDE("program or script ") + Quoted(path)};
        }
    }
    return std::nullopt;
}

ExecTextReading LadderReading(WideStringView text, const ExecTarget& target, const MachinePaths& machine) {
    ExecTextReading reading;
    reading.asSent = WideString(TrimmedExecText(text));
    reading.isUrl = target.isUrl;
    reading.scheme = target.scheme;
    reading.forms = target.isUrl ? target.urlForms : target.paths;
    if (!target.isUrl) {
        for (const WideString& path : target.paths) {
            reading.locations.push_back({path, IsNetworkPath(path, machine)});
        }
    }
    return reading;
}

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
    target.isUrl = IsAddressScheme(target.scheme);
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
    for (const WideString& each : texts) {
        for (const WideString& spelling : PathSpellings(each)) {
            if (!UrlScheme(spelling).empty()) {
                continue;  // the "file:" URL itself; its paths follow it
            }
            WideString path = LocalSpelling(spelling, machine);
            if (auto full = machine.FullPath(path)) {
                path = LocalSpelling(*full, machine);
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
    if (auto refusal = ExecLadderRefusal(LadderReading(text, target, machine), policy)) {
        return refusal;
    }
    return ProgramRefusal(target, policy, machine);
}

}  // namespace zobrik
