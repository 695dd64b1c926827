#include "admin_policy_values.h"

#include <string>

#include "include/ascii_text.h"
#include "include/debug_output.h"
#include "include/event_log.h"
#include "include/mail_request.h"

namespace zobrik {

namespace {

// "policy HKLM ExecConfirm ignored: not a REG_DWORD"
void ReportIgnored(const PolicyHive& hive, const WideChar* setting, const WideString& why) {
    WideString line = ZOBRIK_WIDE("policy ");
    line += hive.name;
    line += ZOBRIK_WIDE(" ");
    line += setting;
    line += ZOBRIK_WIDE(" ignored: ");
    line += why;
    DebugEvent(line.c_str());
    ReportPolicyValueIgnored(hive.name, setting, why);
}

const RawPolicyValue* Find(const PolicyHive& hive, const WideChar* setting) {
    for (const RawPolicyValue& value : hive.values) {
        if (WideStringView(value.setting) == WideStringView(setting)) {
            return &value;
        }
    }
    return nullptr;
}

std::optional<uint32_t> DwordOf(const PolicyHive& hive, const RawPolicyValue& value) {
    if (value.tooLong || value.type != kRegistryDword || value.bytes.size() != 4) {
        ReportIgnored(hive, value.setting, ZOBRIK_WIDE("not a REG_DWORD"));
        return std::nullopt;
    }
    return ReadUint32LE(value.bytes.data());
}

std::optional<std::vector<WideString>> ListOf(const PolicyHive& hive, const RawPolicyValue& value) {
    if (value.tooLong) {
        ReportIgnored(hive, value.setting,
                      AsciiToWide("longer than ") + AsciiToWide(std::to_string(kLongestPolicyValueBytes).c_str()) +
                          ZOBRIK_WIDE(" bytes"));
        return std::nullopt;
    }
    if (value.type != kRegistryMultiString || value.bytes.size() % 2 != 0) {
        ReportIgnored(hive, value.setting, ZOBRIK_WIDE("not a REG_MULTI_SZ"));
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
    if (entries.empty()) {
        ReportIgnored(hive, value.setting, ZOBRIK_WIDE("empty"));
        return std::nullopt;
    }
    if (entries.size() > kMostPolicyListEntries) {
        ReportIgnored(hive, value.setting,
                      AsciiToWide("more than ") + AsciiToWide(std::to_string(kMostPolicyListEntries).c_str()) +
                          ZOBRIK_WIDE(" entries"));
        return std::nullopt;
    }
    for (const WideString& each : entries) {
        if (each.size() > kLongestPolicyListEntry) {
            ReportIgnored(hive, value.setting,
                          AsciiToWide("an entry is longer than ") +
                              AsciiToWide(std::to_string(kLongestPolicyListEntry).c_str()) +
                              ZOBRIK_WIDE(" characters"));
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

std::optional<std::vector<WideString>> SchemesOf(const PolicyHive& hive, const RawPolicyValue& value) {
    auto entries = ListOf(hive, value);
    if (!entries) {
        return std::nullopt;
    }
    // An entry that is no scheme only narrows the list by leaving it out.
    std::vector<WideString> schemes;
    for (const WideString& entry : *entries) {
        if (auto scheme = SchemeEntry(entry)) {
            schemes.push_back(std::move(*scheme));
        } else {
            ReportIgnored(hive, value.setting, ZOBRIK_WIDE("entry \"") + entry + ZOBRIK_WIDE("\" is no scheme"));
        }
    }
    if (schemes.empty()) {
        ReportIgnored(hive, value.setting, ZOBRIK_WIDE("no entry is a scheme"));
        return std::nullopt;
    }
    return schemes;
}

std::optional<std::vector<WideString>> PatternsOf(const PolicyHive& hive, const RawPolicyValue& value) {
    auto entries = ListOf(hive, value);
    if (!entries) {
        return std::nullopt;
    }
    std::vector<WideString> patterns;
    for (const WideString& entry : *entries) {
        WideString pattern = Trimmed(entry);
        if (!pattern.empty()) {
            patterns.push_back(std::move(pattern));
        }
    }
    if (patterns.empty()) {
        ReportIgnored(hive, value.setting, ZOBRIK_WIDE("empty"));
        return std::nullopt;
    }
    return patterns;
}

std::optional<bool> SwitchOf(const PolicyHive& hive, const RawPolicyValue& value) {
    auto number = DwordOf(hive, value);
    if (!number) {
        return std::nullopt;
    }
    return *number != 0;
}

// A number from `lowest` to `highest`; others are ignored.
auto NumberIn(uint32_t lowest, uint64_t highest) {
    return [lowest, highest](const PolicyHive& hive, const RawPolicyValue& value) -> std::optional<uint32_t> {
        auto number = DwordOf(hive, value);
        if (number && (*number < lowest || *number > highest)) {
            ReportIgnored(hive, value.setting,
                          AsciiToWide("outside ") + AsciiToWide(std::to_string(lowest).c_str()) + ZOBRIK_WIDE(" to ") +
                              AsciiToWide(std::to_string(highest).c_str()));
            return std::nullopt;
        }
        return number;
    };
}

// The machine's well-formed value of `setting`, else the user's.
template <class Parse>
auto FromHives(const PolicyHive& machine, const PolicyHive& user, const WideChar* setting, Parse parse)
    -> decltype(parse(machine, std::declval<const RawPolicyValue&>())) {
    for (const PolicyHive* hive : {&machine, &user}) {
        if (const RawPolicyValue* value = Find(*hive, setting)) {
            if (auto parsed = parse(*hive, *value)) {
                return parsed;
            }
        }
    }
    return std::nullopt;
}

template <class T, class Parse>
void Take(T& member, const PolicyHive& machine, const PolicyHive& user, const WideChar* setting, Parse parse) {
    if (auto value = FromHives(machine, user, setting, parse)) {
        member = std::move(*value);
    }
}

}  // namespace

AdminPolicy PolicyFromHives(const PolicyHive& machine, const PolicyHive& user) {
    AdminPolicy policy;
    Take(policy.execChannel, machine, user, kExecChannelSetting, SwitchOf);
    Take(policy.mailChannel, machine, user, kMailChannelSetting, SwitchOf);
    policy.execAllowedSchemes = FromHives(machine, user, kExecAllowedSchemesSetting, SchemesOf);
    Take(policy.execAllowLocalPaths, machine, user, kExecAllowLocalPathsSetting, SwitchOf);
    Take(policy.execAllowNetworkPaths, machine, user, kExecAllowNetworkPathsSetting, SwitchOf);
    Take(policy.execAllowPrograms, machine, user, kExecAllowProgramsSetting, SwitchOf);
    policy.execAllowList = FromHives(machine, user, kExecAllowListSetting, PatternsOf);
    Take(policy.execDenyList, machine, user, kExecDenyListSetting, PatternsOf);
    Take(policy.execConfirm, machine, user, kExecConfirmSetting, SwitchOf);
    Take(policy.execConfirmSeconds, machine, user, kExecConfirmTimeoutSetting, NumberIn(1, kLongestConfirmSeconds));
    Take(policy.mailAllowOutlook, machine, user, kMailAllowOutlookSetting, SwitchOf);
    Take(policy.mailAllowImmediateSend, machine, user, kMailAllowImmediateSendSetting, SwitchOf);
    Take(policy.mailMaxRequestBytes, machine, user, kMailMaxRequestBytesSetting, NumberIn(0, kMaxMailRequestSize));
    Take(policy.mailMaxRecipients, machine, user, kMailMaxRecipientsSetting, NumberIn(0, kMaxMailRecipients));
    Take(policy.mailMaxAttachments, machine, user, kMailMaxAttachmentsSetting, NumberIn(0, kMaxMailAttachments));
    Take(policy.mailRequestIdleSeconds, machine, user, kMailRequestIdleSecondsSetting,
         NumberIn(kShortestMailRequestIdleSeconds, kMailRequestIdleSeconds));
    return policy;
}

}  // namespace zobrik
