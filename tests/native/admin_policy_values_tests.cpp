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

TEST(AdminPolicyValues, MalformedListsAreIgnored) {
    Lines();
    std::vector<std::u16string> many(kMostPolicyListEntries + 1, u"https://x/*");
    RawPolicyValue tooLong{kExecAllowListSetting, kRegistryMultiString, {}, true};
    const AdminPolicy machineOnly = PolicyFromHives(Machine({MultiString(kExecDenyListSetting, {u"", u"  "}),
                                                             MultiString(kExecAllowedSchemesSetting, many), tooLong}),
                                                    User({}));
    EXPECT_TRUE(machineOnly.execDenyList.empty());
    EXPECT_FALSE(machineOnly.execAllowedSchemes);
    EXPECT_FALSE(machineOnly.execAllowList);
    const auto lines = Lines();
    EXPECT_TRUE(HasLine(lines, "policy HKLM ExecDenyList ignored: empty"));
    EXPECT_TRUE(HasLine(lines, "policy HKLM ExecAllowedSchemes ignored: more than 256 entries"));
    EXPECT_TRUE(HasLine(lines, "policy HKLM ExecAllowList ignored: longer than 65536 bytes"));

    const AdminPolicy others =
        PolicyFromHives(Machine({MultiString(kExecDenyListSetting, {std::u16string(kLongestPolicyListEntry + 1, u'a')}),
                                 Typed(kExecAllowListSetting, kRegistryMultiString, {'a', 0, 'b'}),  // odd size
                                 Typed(kExecAllowedSchemesSetting, 1, {'h', 0, 0, 0})}),             // REG_SZ
                        User({}));
    EXPECT_TRUE(others.execDenyList.empty());
    EXPECT_FALSE(others.execAllowList);
    EXPECT_FALSE(others.execAllowedSchemes);

    Lines();
    EXPECT_FALSE(PolicyFromHives(Machine({MultiString(kExecAllowedSchemesSetting, {})}), User({})).execAllowedSchemes);
    EXPECT_EQ(Lines(),
              std::vector<std::string>{"Zobrik WTS DVC plugin: policy HKLM ExecAllowedSchemes ignored: empty\n"});
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

    const AdminPolicy none = PolicyFromHives(Machine({MultiString(kExecAllowedSchemesSetting, {u"://"})}),
                                             User({MultiString(kExecAllowedSchemesSetting, {u"https"})}));
    ASSERT_TRUE(none.execAllowedSchemes);
    EXPECT_EQ(*none.execAllowedSchemes, std::vector<WideString>{u"https"});
}

TEST(AdminPolicyValues, LimitsOnlyLowerTheBuiltInOnes) {
    Lines();
    const AdminPolicy lowered =
        PolicyFromHives(Machine({Dword(kMailMaxRequestBytesSetting, 1 << 20), Dword(kMailMaxRecipientsSetting, 0),
                                 Dword(kMailMaxAttachmentsSetting, kMaxMailAttachments)}),
                        User({}));
    EXPECT_EQ(lowered.mailMaxRequestBytes, uint64_t(1) << 20);
    EXPECT_EQ(lowered.mailMaxRecipients, 0u);
    EXPECT_EQ(lowered.mailMaxAttachments, kMaxMailAttachments);

    const AdminPolicy above =
        PolicyFromHives(Machine({Dword(kMailMaxRequestBytesSetting, uint32_t(kMaxMailRequestSize) + 1),
                                 Dword(kMailMaxRecipientsSetting, kMaxMailRecipients + 1),
                                 Dword(kMailMaxAttachmentsSetting, 0xFFFFFFFF)}),
                        User({}));
    EXPECT_EQ(above.mailMaxRequestBytes, kMaxMailRequestSize);
    EXPECT_EQ(above.mailMaxRecipients, kMaxMailRecipients);
    EXPECT_EQ(above.mailMaxAttachments, kMaxMailAttachments);
    EXPECT_TRUE(HasLine(Lines(), "policy HKLM MailMaxRecipients ignored: outside 0 to 1000"));
}

TEST(AdminPolicyValues, ConfirmationTimeoutHasARange) {
    EXPECT_EQ(PolicyFromHives(Machine({Dword(kExecConfirmTimeoutSetting, 5)}), User({})).execConfirmSeconds, 5u);
    EXPECT_EQ(PolicyFromHives(Machine({Dword(kExecConfirmTimeoutSetting, 0)}), User({})).execConfirmSeconds,
              kDefaultConfirmSeconds);
    EXPECT_EQ(PolicyFromHives(Machine({Dword(kExecConfirmTimeoutSetting, kLongestConfirmSeconds + 1)}), User({}))
                  .execConfirmSeconds,
              kDefaultConfirmSeconds);
}

// The idle time can only be shortened, and not below a few seconds; a
// value outside that is ignored like any number outside its range, and the
// user's value or the built-in two minutes apply.
TEST(AdminPolicyValues, RequestIdleTimeOnlyShortensTheBuiltInOne) {
    constexpr uint32_t kNone = 0xFFFFFFFF;  // no value in the user's hive
    const struct {
        uint32_t machine, user, seconds;
        const char* line;  // the debugger line, if the machine's value is ignored
    } cases[] = {
        {5, kNone, 5, nullptr},  // the shortest
        {30, kNone, 30, nullptr},
        {120, kNone, 120, nullptr},  // the built-in time
        {121, kNone, kMailRequestIdleSeconds, "policy HKLM MailRequestIdleSeconds ignored: outside 5 to 120"},
        {0xFFFFFFFF, kNone, kMailRequestIdleSeconds, "outside 5 to 120"},
        {4, kNone, kMailRequestIdleSeconds, "outside 5 to 120"},
        {0, kNone, kMailRequestIdleSeconds, "outside 5 to 120"},  // never "no idle time"
        {600, 10, 10, "outside 5 to 120"},                        // the user's counts then
        {60, 10, 60, nullptr},                                    // the machine's wins
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.machine);
        Lines();
        std::vector<RawPolicyValue> user;
        if (c.user != kNone) {
            user.push_back(Dword(kMailRequestIdleSecondsSetting, c.user));
        }
        EXPECT_EQ(PolicyFromHives(Machine({Dword(kMailRequestIdleSecondsSetting, c.machine)}), User(user))
                      .mailRequestIdleSeconds,
                  c.seconds);
        const auto lines = Lines();
        EXPECT_TRUE(c.line ? HasLine(lines, c.line) : lines.empty());
    }
    const AdminPolicy text =
        PolicyFromHives(Machine({Typed(kMailRequestIdleSecondsSetting, 1, {'3', 0, 0, 0})}), User({}));
    EXPECT_EQ(text.mailRequestIdleSeconds, kMailRequestIdleSeconds);
    EXPECT_TRUE(HasLine(Lines(), "MailRequestIdleSeconds ignored: not a REG_DWORD"));
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
