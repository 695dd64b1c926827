// The administrative template (ADMX and its ADML files) against the settings
// the plug-in reads: the same names, kinds and key, and every text it refers
// to in each language.
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "include/admin_policy.h"

namespace zobrik {
namespace {

std::string ReadFile(const std::string& relative) {
    std::ifstream in(std::string(ZOBRIK_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Narrow(const WideChar* text) {
    std::string out;
    for (; *text; ++text) {
        out += char(*text);
    }
    return out;
}

std::set<std::string> Captures(const std::string& text, const std::string& pattern, int group = 1) {
    std::set<std::string> out;
    const std::regex expression(pattern);
    for (std::sregex_iterator it(text.begin(), text.end(), expression), end; it != end; ++it) {
        out.insert((*it)[group]);
    }
    return out;
}

const std::string kAdmx = "install/policy/ZobrikWTSDVC.admx";

TEST(AdminTemplate, NamesTheSettingsThePluginReadsWithTheirKinds) {
    const std::string admx = ReadFile(kAdmx);
    ASSERT_FALSE(admx.empty());
    std::map<std::string, std::string> tagOfValue;
    const std::regex valueName(R"(<(\w+)\b[^>]*\bvalueName="([^"]+)\")");
    for (std::sregex_iterator it(admx.begin(), admx.end(), valueName), end; it != end; ++it) {
        EXPECT_TRUE(tagOfValue.emplace((*it)[2], (*it)[1]).second) << "named twice: " << (*it)[2];
    }
    std::map<std::string, std::string> expected;
    for (const auto& setting : kPolicySettings) {
        const char* tag = setting.kind == PolicyValueKind::Switch ? "policy"
                          : setting.kind == PolicyValueKind::List ? "multiText"
                                                                  : "decimal";
        expected[Narrow(setting.name)] = tag;
    }
    EXPECT_EQ(tagOfValue, expected);
}

TEST(AdminTemplate, EveryPolicyUsesThePluginsKey) {
    const std::string admx = ReadFile(kAdmx);
    const auto keys = Captures(admx, R"(\bkey="([^"]+)\")");
    EXPECT_EQ(keys, std::set<std::string>{Narrow(kPolicyKeyPath)});
    EXPECT_EQ(Captures(admx, R"(<policy\b[^>]*\bclass="([^"]+)\")"), std::set<std::string>{"Both"});
}

TEST(AdminTemplate, EveryLanguageHasEveryTextAndPresentation) {
    const std::string admx = ReadFile(kAdmx);
    const auto strings = Captures(admx, R"(\$\(string\.([A-Za-z_]+)\))");
    const auto presentations = Captures(admx, R"(\$\(presentation\.([A-Za-z_]+)\))");
    ASSERT_FALSE(strings.empty());
    for (const char* language : {"en-US", "de-DE"}) {
        const std::string adml = ReadFile(std::string("install/policy/") + language + "/ZobrikWTSDVC.adml");
        ASSERT_FALSE(adml.empty()) << language;
        EXPECT_EQ(Captures(adml, R"(<string id="([^"]+)\")"), strings) << language;
        EXPECT_EQ(Captures(adml, R"(<presentation id="([^"]+)\")"), presentations) << language;
        // Each box of a presentation belongs to an element of that policy.
        const auto elementIds = Captures(admx, R"(<(?:decimal|multiText) id="([^"]+)\")");
        EXPECT_EQ(Captures(adml, R"(refId="([^"]+)\")"), elementIds) << language;
    }
}

}  // namespace
}  // namespace zobrik
