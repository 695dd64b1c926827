#include "policy_file.h"

#include <cstdint>

#include "include/ascii_text.h"
#include "include/debug_output.h"
#include "include/utf_conversion.h"

namespace zobrik {

namespace {

std::string_view Trimmed(std::string_view text) {
    const size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string_view::npos) return {};
    const size_t end = text.find_last_not_of(" \t\r");
    return text.substr(start, end - start + 1);
}

const PolicySettingInfo* FindSetting(std::string_view name) {
    for (const PolicySettingInfo& setting : kPolicySettings) {
        if (SameIgnoringAsciiCase(AsciiToWide(name), setting.name)) return &setting;
    }
    return nullptr;
}

RawPolicyValue* ValueOf(PolicyHive& hive, const WideChar* setting) {
    for (RawPolicyValue& value : hive.values) {
        if (value.setting == setting) return &value;
    }
    hive.values.push_back(RawPolicyValue{setting, 0, {}, false});
    return &hive.values.back();
}

void SetNumber(RawPolicyValue& value, std::string_view text) {
    value.bytes.clear();
    value.type = 0;  // not a number: ignored by the policy
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string_view::npos) return;
    const uint64_t number = std::stoull(std::string(text));
    if (number > UINT32_MAX) return;
    value.type = kRegistryDword;
    for (int shift = 0; shift < 32; shift += 8) value.bytes.push_back(uint8_t(number >> shift));
}

// Appends one entry, UTF-16LE with its terminating NUL unit, as REG_MULTI_SZ
// holds it.
void AppendEntry(RawPolicyValue& value, std::string_view entry) {
    value.type = kRegistryMultiString;
    if (value.tooLong || entry.empty()) return;
    for (const WideChar unit : Utf8ToUtf16Lenient(entry)) {
        value.bytes.push_back(uint8_t(unit));
        value.bytes.push_back(uint8_t(unit >> 8));
    }
    value.bytes.push_back(0);
    value.bytes.push_back(0);
    if (value.bytes.size() > kLongestPolicyValueBytes) {
        value.bytes.clear();
        value.tooLong = true;
    }
}

void ReportLine(const WideChar* hiveName, size_t number, const char* why) {
    WideString line = ZOBRIK_WIDE("policy ");
    line += hiveName;
    line += AsciiToWide(" line " + std::to_string(number) + " ignored: " + why);
    DebugEvent(line.c_str(), DebugLevel::Warning);
}

}  // namespace

PolicyHive ParsePolicyFile(std::string_view content, const WideChar* hiveName) {
    PolicyHive hive{hiveName, {}};
    hive.values.reserve(std::size(kPolicySettings));  // pointers into it stay valid
    size_t number = 0;
    while (!content.empty()) {
        ++number;
        const size_t end = content.find('\n');
        const std::string_view line = Trimmed(content.substr(0, end));
        content = end == std::string_view::npos ? std::string_view() : content.substr(end + 1);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            ReportLine(hiveName, number, "no '='");
            continue;
        }
        const PolicySettingInfo* setting = FindSetting(Trimmed(line.substr(0, equals)));
        if (setting == nullptr) {
            ReportLine(hiveName, number, "unknown setting");
            continue;
        }
        const std::string_view value = Trimmed(line.substr(equals + 1));
        RawPolicyValue& raw = *ValueOf(hive, setting->name);
        if (setting->kind == PolicyValueKind::List) {
            AppendEntry(raw, value);
        } else {
            SetNumber(raw, value);
        }
    }
    return hive;
}

std::string UserPolicyFile(const std::string& xdgConfigHome, const std::string& home) {
    if (!xdgConfigHome.empty() && xdgConfigHome[0] == '/') return xdgConfigHome + "/zobrik/wtsdvc.conf";
    if (!home.empty() && home[0] == '/') return home + "/.config/zobrik/wtsdvc.conf";
    return {};
}

}  // namespace zobrik
