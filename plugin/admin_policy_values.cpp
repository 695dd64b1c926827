#include "admin_policy_values.h"

#include <string>

#include "include/ascii_text.h"
#include "include/debug_output.h"
#include "include/event_log.h"
#include "include/mail_request.h"

namespace zobrik {

namespace {

void ReportLine(const PolicyHive& hive, const WideChar* setting, const WideChar* verdict, const WideString& why) {
    WideString line = ZOBRIK_WIDE("policy ");
    line += hive.name;
    line += ZOBRIK_WIDE(" ");
    line += setting;
    line += verdict;
    line += why;
    DebugEvent(line.c_str(), DebugLevel::Warning);
    ReportPolicyValueIgnored(hive.name, setting, why);
}

// "policy HKLM ExecConfirm ignored: not a REG_DWORD"
void ReportIgnored(const PolicyHive& hive, const WideChar* setting, const WideString& why) {
    ReportLine(hive, setting, ZOBRIK_WIDE(" ignored: "), why);
}

// "policy HKLM ExecAllowedSchemes unusable: no entry is a scheme; no scheme is allowed"
void ReportUnusable(const PolicyHive& hive, const WideChar* setting, const WideString& why,
                    const WideString& consequence) {
    ReportLine(hive, setting, ZOBRIK_WIDE(" unusable: "), why + ZOBRIK_WIDE("; ") + consequence);
}

WideString Decimal(uint64_t number) { return AsciiToWide(std::to_string(number).c_str()); }

const RawPolicyValue* Find(const PolicyHive& hive, const WideChar* setting) {
    for (const RawPolicyValue& value : hive.values) {
        if (WideStringView(value.setting) == WideStringView(setting)) {
            return &value;
        }
    }
    return nullptr;
}

std::optional<uint32_t> DwordOf(const RawPolicyValue& value) {
    if (value.tooLong || value.type != kRegistryDword || value.bytes.size() != 4) {
        return std::nullopt;
    }
    return ReadUint32LE(value.bytes.data());
}

// The entries of a list, or nullopt with the reason in `why`.
std::optional<std::vector<WideString>> ListOf(const RawPolicyValue& value, WideString& why) {
    if (value.tooLong) {
        why = ZOBRIK_WIDE("longer than ") + Decimal(kLongestPolicyValueBytes) + ZOBRIK_WIDE(" bytes");
        return std::nullopt;
    }
    if (value.type != kRegistryMultiString || value.bytes.size() % 2 != 0) {
        why = ZOBRIK_WIDE("not a REG_MULTI_SZ");
        return std::nullopt;
    }
    // Entries end at NUL units; the final terminators may be missing.
    std::vector<WideString> entries;
    WideString entry;
    for (size_t i = 0; i + 1 < value.bytes.size(); i += 2) {
        const WideChar unit = WideChar(value.bytes[i] | value.bytes[i + 1] << 8);
        if (unit != 0) {
            entry += unit;
            continue;
        }
        if (!entry.empty()) {
            entries.push_back(std::move(entry));
        }
        entry.clear();
    }
    if (!entry.empty()) {
        entries.push_back(std::move(entry));
    }
    if (entries.size() > kMostPolicyListEntries) {
        why = ZOBRIK_WIDE("more than ") + Decimal(kMostPolicyListEntries) + ZOBRIK_WIDE(" entries");
        return std::nullopt;
    }
    for (const WideString& each : entries) {
        if (each.size() > kLongestPolicyListEntry) {
            why =
                ZOBRIK_WIDE("an entry is longer than ") + Decimal(kLongestPolicyListEntry) + ZOBRIK_WIDE(" characters");
            return std::nullopt;
        }
    }
    return entries;
}

bool IsBlank(WideChar c) { return c == ' ' || c == '\t'; }

WideString Trimmed(const WideString& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

// "HTTPS", "https:" and "https://" all give "https"; nullopt for what is no
// scheme.
std::optional<WideString> SchemeEntry(const WideString& entry) {
    WideString scheme = Trimmed(entry);
    for (const WideChar* tail : {ZOBRIK_WIDE("://"), ZOBRIK_WIDE(":")}) {
        const WideStringView suffix(tail);
        if (scheme.size() > suffix.size() && WideStringView(scheme).substr(scheme.size() - suffix.size()) == suffix) {
            scheme.resize(scheme.size() - suffix.size());
            break;
        }
    }
    if (scheme.empty()) {
        return std::nullopt;
    }
    for (size_t i = 0; i < scheme.size(); ++i) {
        WideChar& c = scheme[i];
        if (c >= 'A' && c <= 'Z') {
            c = WideChar(c + ('a' - 'A'));
        }
        const bool letter = c >= 'a' && c <= 'z';
        const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!letter && (i == 0 || !other)) {
            return std::nullopt;
        }
    }
    return scheme;
}

// Lists and numbers restrict: a value that is present but cannot be used
// restricts everything the setting governs, so that a mistyped restriction
// never leaves the client unrestricted. An entry that cannot be used while
// others can is left out, which only narrows an allow list.

// An unusable scheme list allows no scheme: every URL is refused.
std::vector<WideString> SchemesOf(const PolicyHive& hive, const RawPolicyValue& value) {
    const WideString consequence = ZOBRIK_WIDE("no scheme is allowed");
    WideString why;
    auto entries = ListOf(value, why);
    if (!entries) {
        ReportUnusable(hive, value.setting, why, consequence);
        return {};
    }
    std::vector<WideString> schemes;
    for (const WideString& entry : *entries) {
        if (auto scheme = SchemeEntry(entry)) {
            schemes.push_back(std::move(*scheme));
        } else {
            ReportIgnored(hive, value.setting, ZOBRIK_WIDE("entry \"") + entry + ZOBRIK_WIDE("\" is no scheme"));
        }
    }
    if (schemes.empty()) {
        ReportUnusable(hive, value.setting,
                       entries->empty() ? ZOBRIK_WIDE("empty") : ZOBRIK_WIDE("no entry is a scheme"), consequence);
    }
    return schemes;
}

// Wildcard patterns; an unusable list counts as `closed`: no entry for an
// allow list (nothing is opened), "*" for a deny list (everything is refused).
auto PatternsOr(std::vector<WideString> closed, const WideChar* consequence) {
    return [closed = std::move(closed), consequence](const PolicyHive& hive, const RawPolicyValue& value) {
        WideString why;
        auto entries = ListOf(value, why);
        std::vector<WideString> patterns;
        if (entries) {
            for (const WideString& entry : *entries) {
                WideString pattern = Trimmed(entry);
                if (!pattern.empty()) {
                    patterns.push_back(std::move(pattern));
                }
            }
            why = ZOBRIK_WIDE("empty");
        }
        if (patterns.empty()) {
            ReportUnusable(hive, value.setting, why, consequence);
            return closed;
        }
        return patterns;
    };
}

std::optional<bool> SwitchOf(const PolicyHive& hive, const RawPolicyValue& value) {
    auto number = DwordOf(value);
    if (!number) {
        ReportIgnored(hive, value.setting, ZOBRIK_WIDE("not a REG_DWORD"));
    }
    return number ? std::optional<bool>(*number != 0) : std::nullopt;
}

// A number from `lowest` to `highest`; every number setting allows more the
// larger it is. Outside the range it counts as the nearest end, so it never
// allows more than it says; a value that is no number counts as `lowest`.
auto NumberIn(uint32_t lowest, uint64_t highest) {
    return [lowest, highest](const PolicyHive& hive, const RawPolicyValue& value) -> uint32_t {
        const auto number = DwordOf(value);
        uint32_t counted = lowest;
        WideString why = ZOBRIK_WIDE("not a REG_DWORD");
        if (number && *number >= lowest && *number <= highest) {
            return *number;
        }
        if (number) {
            counted = *number < lowest ? lowest : uint32_t(highest);
            why = ZOBRIK_WIDE("outside ") + Decimal(lowest) + ZOBRIK_WIDE(" to ") + Decimal(highest);
        }
        ReportUnusable(hive, value.setting, why, ZOBRIK_WIDE("counts as ") + Decimal(counted));
        return counted;
    };
}

// A switch: the machine's well-formed value, else the user's.
void TakeSwitch(bool& member, const PolicyHive& machine, const PolicyHive& user, const WideChar* setting) {
    for (const PolicyHive* hive : {&machine, &user}) {
        if (const RawPolicyValue* value = Find(*hive, setting)) {
            if (auto parsed = SwitchOf(*hive, *value)) {
                member = *parsed;
                return;
            }
        }
    }
}

// A list or a number: the machine's value when present, else the user's,
// read by `parse`, which turns an unusable value into its restricting reading.
template <class T, class Parse>
void TakeRestriction(T& member, const PolicyHive& machine, const PolicyHive& user, const WideChar* setting,
                     Parse parse) {
    for (const PolicyHive* hive : {&machine, &user}) {
        if (const RawPolicyValue* value = Find(*hive, setting)) {
            member = parse(*hive, *value);
            return;
        }
    }
}

}  // namespace

AdminPolicy PolicyFromHives(const PolicyHive& machine, const PolicyHive& user) {
    AdminPolicy policy;
    TakeSwitch(policy.execChannel, machine, user, kExecChannelSetting);
    TakeSwitch(policy.mailChannel, machine, user, kMailChannelSetting);
    TakeRestriction(policy.execAllowedSchemes, machine, user, kExecAllowedSchemesSetting, SchemesOf);
    TakeSwitch(policy.execAllowLocalPaths, machine, user, kExecAllowLocalPathsSetting);
    TakeSwitch(policy.execAllowNetworkPaths, machine, user, kExecAllowNetworkPathsSetting);
    TakeSwitch(policy.execAllowPrograms, machine, user, kExecAllowProgramsSetting);
    TakeRestriction(policy.execAllowList, machine, user, kExecAllowListSetting,
                    PatternsOr({}, ZOBRIK_WIDE("nothing is allowed")));
    TakeRestriction(policy.execDenyList, machine, user, kExecDenyListSetting,
                    PatternsOr({ZOBRIK_WIDE("*")}, ZOBRIK_WIDE("everything is refused")));
    TakeSwitch(policy.execConfirm, machine, user, kExecConfirmSetting);
    TakeRestriction(policy.execConfirmSeconds, machine, user, kExecConfirmTimeoutSetting,
                    NumberIn(1, kLongestConfirmSeconds));
    TakeSwitch(policy.mailAllowOutlook, machine, user, kMailAllowOutlookSetting);
    TakeSwitch(policy.mailAllowImmediateSend, machine, user, kMailAllowImmediateSendSetting);
    TakeRestriction(policy.mailMaxRequestBytes, machine, user, kMailMaxRequestBytesSetting,
                    NumberIn(0, kMaxMailRequestSize));
    TakeRestriction(policy.mailMaxRecipients, machine, user, kMailMaxRecipientsSetting,
                    NumberIn(0, kMaxMailRecipients));
    TakeRestriction(policy.mailMaxAttachments, machine, user, kMailMaxAttachmentsSetting,
                    NumberIn(0, kMaxMailAttachments));
    TakeRestriction(policy.mailRequestIdleSeconds, machine, user, kMailRequestIdleSecondsSetting,
                    NumberIn(kShortestMailRequestIdleSeconds, kMailRequestIdleSeconds));
    return policy;
}

}  // namespace zobrik
