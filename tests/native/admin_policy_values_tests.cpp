#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "native/debug_output_recorder.h"
#include "plugin/admin_policy_values.h"

namespace zobrik {
namespace {

RawPolicyValue Dword(const WideChar* setting, uint32_t value) {
    return {setting, kRegistryDword, {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)}};
}

RawPolicyValue Typed(const WideChar* setting, uint32_t type, std::vector<uint8_t> bytes) {
    return {setting, type, std::move(bytes)};
}

// A REG_MULTI_SZ as the registry stores it: each entry with its NUL, one more NUL at the end.
RawPolicyValue MultiString(const WideChar* setting, const std::vector<std::u16string>& entries) {
    std::vector<uint8_t> bytes;
    auto add = [&bytes](char16_t c) {
        bytes.push_back(uint8_t(c));
        bytes.push_back(uint8_t(c >> 8));
    };
    for (const auto& entry : entries) {
        for (char16_t c : entry) {
            add(c);
        }
        add(0);
    }
    add(0);
    return {setting, kRegistryMultiString, std::move(bytes)};
}

PolicyHive Machine(std::vector<RawPolicyValue> values) { return {u"HKLM", std::move(values)}; }
PolicyHive User(std::vector<RawPolicyValue> values) { return {u"HKCU", std::move(values)}; }

std::vector<std::string> Lines() { return testing::TakeDebugLines(); }

bool HasLine(const std::vector<std::string>& lines, const std::string& text) {
    for (const auto& line : lines) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(AdminPolicyValues, NoValuesGiveThePluginsOwnBehaviour) {
    Lines();
    const AdminPolicy policy = PolicyFromHives(Machine({}), User({}));
    EXPECT_TRUE(policy.execChannel && policy.mailChannel && policy.execAllowLocalPaths &&
                policy.execAllowNetworkPaths && policy.execAllowPrograms && policy.mailAllowOutlook &&
                policy.mailAllowImmediateSend);
    EXPECT_FALSE(policy.execConfirm);
    EXPECT_FALSE(policy.execAllowedSchemes || policy.execAllowList);
    EXPECT_TRUE(policy.execDenyList.empty());
    EXPECT_EQ(policy.execConfirmSeconds, kDefaultConfirmSeconds);
    EXPECT_EQ(policy.mailMaxRequestBytes, kMaxMailRequestSize);
    EXPECT_EQ(policy.mailMaxRecipients, kMaxMailRecipients);
    EXPECT_EQ(policy.mailMaxAttachments, kMaxMailAttachments);
    EXPECT_EQ(policy.mailRequestIdleSeconds, kMailRequestIdleSeconds);
    EXPECT_TRUE(Lines().empty());
}

TEST(AdminPolicyValues, MachineWinsOverUserAndUserFillsTheRest) {
    const AdminPolicy policy = PolicyFromHives(
        Machine({Dword(kExecConfirmSetting, 0), Dword(kMailMaxRecipientsSetting, 20)}),
        User({Dword(kExecConfirmSetting, 1), Dword(kMailMaxRecipientsSetting, 5), Dword(kMailChannelSetting, 0)}));
    EXPECT_FALSE(policy.execConfirm);
    EXPECT_EQ(policy.mailMaxRecipients, 20u);
    EXPECT_FALSE(policy.mailChannel);
    EXPECT_TRUE(policy.execChannel);
}

TEST(AdminPolicyValues, AnyNonZeroSwitchIsOn) {
    const AdminPolicy policy =
        PolicyFromHives(Machine({Dword(kExecConfirmSetting, 2), Dword(kExecAllowProgramsSetting, 0)}), User({}));
    EXPECT_TRUE(policy.execConfirm);
    EXPECT_FALSE(policy.execAllowPrograms);
}

TEST(AdminPolicyValues, MalformedMachineValueIsIgnoredWithALineAndTheUsersCounts) {
    Lines();
    const AdminPolicy policy =
        PolicyFromHives(Machine({Typed(kExecAllowProgramsSetting, 1, {'0', 0, 0, 0}),               // REG_SZ
                                 Typed(kExecConfirmSetting, kRegistryDword, {1, 0}),                // short DWORD
                                 Typed(kMailChannelSetting, 11, {0, 0, 0, 0, 0, 0, 0, 0}),          // REG_QWORD
                                 Typed(kExecChannelSetting, kRegistryMultiString, {0, 0, 0, 0})}),  // a list
                        User({Dword(kExecAllowProgramsSetting, 0)}));
    EXPECT_FALSE(policy.execAllowPrograms);  // the user's value
    EXPECT_FALSE(policy.execConfirm);
    EXPECT_TRUE(policy.mailChannel);
    EXPECT_TRUE(policy.execChannel);
    const auto lines = Lines();
    EXPECT_TRUE(HasLine(lines, "policy HKLM ExecAllowPrograms ignored: not a REG_DWORD"));
    EXPECT_TRUE(HasLine(lines, "policy HKLM ExecConfirm ignored: not a REG_DWORD"));
    EXPECT_TRUE(HasLine(lines, "policy HKLM MailChannel ignored: not a REG_DWORD"));
    EXPECT_TRUE(HasLine(lines, "policy HKLM ExecChannel ignored: not a REG_DWORD"));
}

// A list that is present but unusable restricts everything it governs: no
// scheme, nothing allowed, everything denied; and the user's value does not
// replace the machine's.
TEST(AdminPolicyValues, UnusableListsRestrictEverythingTheyGovern) {
    const std::vector<std::u16string> many(kMostPolicyListEntries + 1, u"https");
    const std::u16string longEntry(kLongestPolicyListEntry + 1, u'a');
    const struct {
        RawPolicyValue value;
        const char* line;
    } cases[] = {
        {MultiString(kExecAllowedSchemesSetting, {u"https://*", u"mailto:*"}),
         "policy HKLM ExecAllowedSchemes unusable: no entry is a scheme; no scheme is allowed"},
        {MultiString(kExecAllowedSchemesSetting, {}), "ExecAllowedSchemes unusable: empty; no scheme is allowed"},
        {MultiString(kExecAllowedSchemesSetting, many), "unusable: more than 256 entries; no scheme is allowed"},
        {Typed(kExecAllowedSchemesSetting, 1, {'h', 0, 0, 0}), "unusable: not a REG_MULTI_SZ; no scheme is allowed"},
        {MultiString(kExecAllowListSetting, {u"", u"  "}), "ExecAllowList unusable: empty; nothing is allowed"},
        {RawPolicyValue{kExecAllowListSetting, kRegistryMultiString, {}, true},
         "unusable: longer than 65536 bytes; nothing is allowed"},
        {Typed(kExecAllowListSetting, kRegistryMultiString, {'a', 0, 'b'}), "not a REG_MULTI_SZ; nothing is allowed"},
        {MultiString(kExecDenyListSetting, {u"", u"  "}), "ExecDenyList unusable: empty; everything is refused"},
        {MultiString(kExecDenyListSetting, {u"*evil*", longEntry}),
         "unusable: an entry is longer than 1024 characters; everything is refused"},
        {Dword(kExecDenyListSetting, 1), "ExecDenyList unusable: not a REG_MULTI_SZ; everything is refused"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Lines();
        const WideChar* setting = c.value.setting;
        const AdminPolicy policy =
            PolicyFromHives(Machine({c.value}), User({MultiString(setting, {u"https", u"https://*"})}));
        if (setting == kExecAllowedSchemesSetting) {
            EXPECT_EQ(policy.execAllowedSchemes, std::vector<WideString>{});
        } else if (setting == kExecAllowListSetting) {
            EXPECT_EQ(policy.execAllowList, std::vector<WideString>{});
        } else {
            EXPECT_EQ(policy.execDenyList, std::vector<WideString>{u"*"});
        }
        EXPECT_TRUE(HasLine(Lines(), c.line));
    }
}

TEST(AdminPolicyValues, ListsWithoutTheirFinalTerminatorsAreRead) {
    RawPolicyValue value = MultiString(kExecDenyListSetting, {u"*evil*", u" \\\\server\\* "});
    value.bytes.resize(value.bytes.size() - 4);  // both final NULs gone
    const AdminPolicy policy = PolicyFromHives(Machine({value}), User({}));
    EXPECT_EQ(policy.execDenyList, (std::vector<WideString>{u"*evil*", u"\\\\server\\*"}));
}

TEST(AdminPolicyValues, SchemesAreNormalisedAndWhatIsNoSchemeIsLeftOut) {
    Lines();
    const AdminPolicy policy = PolicyFromHives(
        Machine({MultiString(kExecAllowedSchemesSetting, {u"HTTPS", u"mailto:", u" http:// ", u"1abc", u"a b"})}),
        User({}));
    ASSERT_TRUE(policy.execAllowedSchemes);
    EXPECT_EQ(*policy.execAllowedSchemes, (std::vector<WideString>{u"https", u"mailto", u"http"}));
    EXPECT_TRUE(HasLine(Lines(), "ExecAllowedSchemes ignored: entry \"1abc\" is no scheme"));

    const AdminPolicy user = PolicyFromHives(Machine({}), User({MultiString(kExecAllowedSchemesSetting, {u"https:"})}));
    EXPECT_EQ(user.execAllowedSchemes, std::vector<WideString>{u"https"});
}

// A number counts within its range: outside, as the nearest end (never more
// than it says); no number at all, as the lowest value. The user's value
// does not replace an unusable machine value.
TEST(AdminPolicyValues, NumbersOutsideTheirRangeRestrict) {
    constexpr uint32_t kText = 0xFFFFFFFE;  // a REG_SZ "3" instead of a number
    const struct {
        const WideChar* setting;
        uint32_t machine;
        uint64_t counted;
        const char* line;  // the debugger line, if the machine's value is unusable
    } cases[] = {
        {kMailMaxRequestBytesSetting, 1 << 20, 1 << 20, nullptr},
        {kMailMaxRequestBytesSetting, 0, 0, nullptr},  // no mail at all
        {kMailMaxRequestBytesSetting, uint32_t(kMaxMailRequestSize) + 1, kMaxMailRequestSize,
         "policy HKLM MailMaxRequestBytes unusable: outside 0 to 134217728; counts as 134217728"},
        {kMailMaxRequestBytesSetting, kText, 0, "MailMaxRequestBytes unusable: not a REG_DWORD; counts as 0"},
        {kMailMaxRecipientsSetting, 0, 0, nullptr},
        {kMailMaxRecipientsSetting, kMaxMailRecipients, kMaxMailRecipients, nullptr},
        {kMailMaxRecipientsSetting, kMaxMailRecipients + 1, kMaxMailRecipients, "outside 0 to 1000; counts as 1000"},
        {kMailMaxRecipientsSetting, kText, 0, "MailMaxRecipients unusable: not a REG_DWORD; counts as 0"},
        {kMailMaxAttachmentsSetting, 0xFFFFFFFF, kMaxMailAttachments, "outside 0 to 250; counts as 250"},
        {kMailMaxAttachmentsSetting, kText, 0, "MailMaxAttachments unusable: not a REG_DWORD; counts as 0"},
        {kExecConfirmTimeoutSetting, 5, 5, nullptr},
        {kExecConfirmTimeoutSetting, 0, 1, "ExecConfirmTimeout unusable: outside 1 to 3600; counts as 1"},
        {kExecConfirmTimeoutSetting, kLongestConfirmSeconds + 1, kLongestConfirmSeconds, "counts as 3600"},
        {kExecConfirmTimeoutSetting, kText, 1, "ExecConfirmTimeout unusable: not a REG_DWORD; counts as 1"},
        // The idle time can only be shortened, and not below a few seconds.
        {kMailRequestIdleSecondsSetting, 5, 5, nullptr},
        {kMailRequestIdleSecondsSetting, 120, 120, nullptr},
        {kMailRequestIdleSecondsSetting, 121, 120, "MailRequestIdleSeconds unusable: outside 5 to 120; counts as 120"},
        {kMailRequestIdleSecondsSetting, 0xFFFFFFFF, 120, "counts as 120"},
        {kMailRequestIdleSecondsSetting, 4, 5, "outside 5 to 120; counts as 5"},
        {kMailRequestIdleSecondsSetting, 0, 5, "counts as 5"},  // never "no idle time"
        {kMailRequestIdleSecondsSetting, kText, 5, "MailRequestIdleSeconds unusable: not a REG_DWORD; counts as 5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.machine << (c.line ? c.line : ""));
        Lines();
        const RawPolicyValue machine =
            c.machine == kText ? Typed(c.setting, 1, {'3', 0, 0, 0}) : Dword(c.setting, c.machine);
        const AdminPolicy policy = PolicyFromHives(Machine({machine}), User({Dword(c.setting, 7)}));
        const uint64_t counted = c.setting == kMailMaxRequestBytesSetting  ? policy.mailMaxRequestBytes
                                 : c.setting == kMailMaxRecipientsSetting  ? policy.mailMaxRecipients
                                 : c.setting == kMailMaxAttachmentsSetting ? policy.mailMaxAttachments
                                 : c.setting == kExecConfirmTimeoutSetting ? policy.execConfirmSeconds
                                                                           : policy.mailRequestIdleSeconds;
        EXPECT_EQ(counted, c.counted);
        const auto lines = Lines();
        EXPECT_TRUE(c.line ? HasLine(lines, c.line) : lines.empty());
    }
    EXPECT_EQ(PolicyFromHives(Machine({}), User({Dword(kMailMaxRecipientsSetting, 7)})).mailMaxRecipients, 7u);
}

TEST(AdminPolicyValues, EverySettingHasAUniqueName) {
    std::vector<WideString> names;
    for (const auto& setting : kPolicySettings) {
        names.emplace_back(setting.name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
}

}  // namespace
}  // namespace zobrik
