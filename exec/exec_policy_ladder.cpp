#include "exec_policy_ladder.h"

#include <algorithm>

#include "include/ascii_text.h"

namespace zobrik {

namespace {

WideString Quoted(WideStringView text) { return ZOBRIK_WIDE("\"") + WideString(text) + ZOBRIK_WIDE("\""); }

const WideString* MatchingPattern(const WideString& text, const std::vector<WideString>& patterns) {
    for (const WideString& pattern : patterns) {
        if (MatchesWildcard(text, pattern)) {
            return &pattern;
        }
    }
    return nullptr;
}

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

std::optional<PolicyRefusal> ListRefusal(const ExecTextReading& reading, const AdminPolicy& policy) {
    if (reading.isUrl && reading.forms.empty()) {
        return UnreadableUrlRefusal(policy);
    }
    std::vector<const WideString*> denyForms;
    for (const WideString& form : reading.forms) {
        denyForms.push_back(&form);
    }
    if (!reading.asSent.empty()) {
        denyForms.push_back(&reading.asSent);
    }
    for (const WideString* form : denyForms) {
        if (const WideString* pattern = MatchingPattern(*form, policy.execDenyList)) {
            return PolicyRefusal{kExecDenyListSetting, ZOBRIK_WIDE("matches the deny list entry ") + Quoted(*pattern)};
        }
    }
    if (policy.execAllowList) {
        const auto& allowed = *policy.execAllowList;
        const bool allAllowed = !reading.forms.empty() &&
                                std::all_of(reading.forms.begin(), reading.forms.end(), [&](const WideString& form) {
                                    return MatchingPattern(form, allowed) != nullptr;
                                });
        if (!allAllowed) {
            return PolicyRefusal{kExecAllowListSetting, ZOBRIK_WIDE("matches no allow list entry")};
        }
    }
    return std::nullopt;
}

std::optional<PolicyRefusal> SchemeSettingRefusal(const ExecTextReading& reading, const AdminPolicy& policy) {
    if (!policy.execAllowedSchemes || reading.scheme.empty()) {
        return std::nullopt;
    }
    const auto& schemes = *policy.execAllowedSchemes;
    if (std::find(schemes.begin(), schemes.end(), reading.scheme) != schemes.end()) {
        return std::nullopt;
    }
    return PolicyRefusal{kExecAllowedSchemesSetting,
                         ZOBRIK_WIDE("scheme ") + reading.scheme + ZOBRIK_WIDE(": is not allowed")};
}

std::optional<PolicyRefusal> LocationRefusal(const ExecTextReading& reading, const AdminPolicy& policy) {
    if (!reading.isUrl && reading.locations.empty() && !policy.execAllowLocalPaths) {
        return PolicyRefusal{kExecAllowLocalPathsSetting, ZOBRIK_WIDE("names no path")};
    }
    for (const ExecLocation& location : reading.locations) {
        if (location.network && !policy.execAllowNetworkPaths) {
            return PolicyRefusal{kExecAllowNetworkPathsSetting, ZOBRIK_WIDE("network path ") + Quoted(location.shown)};
        }
        if (!location.network && !policy.execAllowLocalPaths) {
            return PolicyRefusal{kExecAllowLocalPathsSetting, ZOBRIK_WIDE("local path ") + Quoted(location.shown)};
        }
    }
    return std::nullopt;
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

std::optional<PolicyRefusal> ExecLadderRefusal(const ExecTextReading& reading, const AdminPolicy& policy) {
    if (auto refusal = ListRefusal(reading, policy)) {
        return refusal;
    }
    if (auto refusal = SchemeSettingRefusal(reading, policy)) {
        return refusal;
    }
    return LocationRefusal(reading, policy);
}

}  // namespace zobrik
