// The administrator policy's exec checks on arbitrary texts: classification,
// normalisation, wildcard matching, the confirmation's visible text and
// layout (a heading in plain ASCII, at most the allowed number of lines, the
// whole visible text when it fits them); percent decoding; the URL parser, whose serialised URL
// must read back as itself.
// Input: one byte choosing the policy's switches and lists, then UTF-16 (the
// first unit 0xFFFF, if any, separates a pattern from the text).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "exec/exec_admin_policy.h"
#include "exec/exec_confirmation_text.h"
#include "exec/exec_policy.h"
#include "exec/percent_decoding.h"
#include "exec/url_normalisation.h"

namespace {

using zobrik::WideChar;
using zobrik::WideString;
using zobrik::WideStringView;

class FuzzMachine final : public zobrik::MachinePaths {
public:
    std::optional<WideString> ExpandEnvironment(const WideString& text) const override { return text; }
    std::optional<WideString> FullPath(const WideString& path) const override {
        if (path.empty()) return std::nullopt;
        if (!zobrik::PathRoot(path).empty()) return path;
        return WideString(u"C:\\cwd\\") + path;
    }
    std::optional<WideString> LongPath(const WideString&) const override { return std::nullopt; }
    std::optional<zobrik::FileIdentity> DirectoryIdentity(const WideString&) const override { return std::nullopt; }
    bool SameIgnoringCase(WideStringView a, WideStringView b) const override {
        return zobrik::MatchesWildcard(a, b) && a.size() == b.size();
    }
    const std::vector<WideString>& MachineNames() const override { return names_; }
    bool IsNetworkDrive(WideStringView root) const override { return !root.empty() && (root[0] | 0x20) == 'n'; }
    bool IsDirectory(const WideString& path) const override { return !path.empty() && path.back() == '\\'; }
    WideString ProgramExtensions() const override { return u".EXE;;.PYZ; .x"; }

private:
    std::vector<WideString> names_ = {u"HOST"};
};

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckConfirmationLayout(const WideString& text) {
    for (WideChar c : zobrik::ConfirmationHeading(text, zobrik::PlatformDomainToAscii())) Check(uint16_t(c) < 0x80);
    const std::vector<WideString> lines = zobrik::ConfirmationTextLines(text);
    Check(lines.size() <= zobrik::kConfirmationTextLines);
    WideString joined;
    for (const WideString& line : lines) {
        Check(!line.empty() && line.size() <= zobrik::kConfirmationLineColumns);
        joined += line;
    }
    if (lines.size() < zobrik::kConfirmationTextLines) Check(joined == zobrik::VisibleText(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t choice = data[0];
    WideString units;
    for (size_t i = 1; i + 1 < size; i += 2) {
        units += WideChar(data[i] | data[i + 1] << 8);
    }
    const size_t split = units.find(WideChar(0xFFFF));
    const WideString pattern = split == WideString::npos ? WideString(u"*") : units.substr(0, split);
    const WideString text = split == WideString::npos ? units : units.substr(split + 1);

    zobrik::AdminPolicy policy;
    policy.execAllowLocalPaths = choice & 1;
    policy.execAllowNetworkPaths = choice & 2;
    policy.execAllowPrograms = choice & 4;
    if (choice & 8) policy.execAllowedSchemes = std::vector<WideString>{u"https", u"file"};
    if (choice & 16) policy.execAllowList = std::vector<WideString>{pattern};
    if (choice & 32) policy.execDenyList = {pattern};

    const FuzzMachine machine;
    (void)zobrik::ExecPolicyRefusal(text, policy, machine);
    (void)zobrik::MatchesWildcard(text, pattern);
    (void)zobrik::NormalisedUrl(text);
    CheckConfirmationLayout(text);
    (void)zobrik::SchemeRefusal(text);
    // Decoding never makes a text longer.
    if (zobrik::PercentDecodedBytewise(text).size() > text.size()) __builtin_trap();
    if (const auto decoded = zobrik::PercentDecodedUtf8(text); decoded && decoded->size() > text.size())
        __builtin_trap();
    (void)zobrik::UrlPolicyForms(text, zobrik::PlatformDomainToAscii());
    (void)zobrik::UrlSchemeAndHost(text);
    if (const auto url = zobrik::ParseUrl(text, zobrik::PlatformDomainToAscii())) {
        const std::string href = zobrik::Href(*url);
        const auto again = zobrik::ParseUrl(std::string_view(href), zobrik::PlatformDomainToAscii());
        if (!again || zobrik::Href(*again) != href) __builtin_trap();
    }
    return 0;
}
