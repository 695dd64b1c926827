// URLs read as browsers read them, and the exec policy's lists compared in
// that form: the spellings that stepped around a deny list, quotes that
// broke out of the handler's "%1", mailto: recipients, 8.3 names and UNC
// hosts of paths.
#include <string>

#include <gtest/gtest.h>

#include "exec/exec_admin_policy.h"
#include "exec/posix_paths.h"
#include "exec/url_normalisation.h"
#include "native/fake_machine.h"

namespace zobrik {
namespace {

using testing::FakeMachine;
using testing::Narrow;

const char* const kInjectionRefusal = "URL contains a quote, space or control character";

std::vector<std::string> Forms(const std::u16string& text) {
    std::vector<std::string> out;
    if (auto forms = UrlPolicyForms(text, PlatformDomainToAscii())) {
        for (const WideString& form : *forms) {
            out.push_back(Narrow(form));
        }
    }
    return out;
}

struct FormsRow {
    std::u16string text;
    std::vector<std::string> forms;  // empty: no browser reads it
};

TEST(UrlPolicyForms, AreTheUrlAsABrowserReadsIt) {
    const FormsRow rows[] = {
        {u"  \"HTTPS://User:pw@Intranet.Example.:443/a/./b/../c?q#f\" ", {"https://intranet.example/a/c?q#f"}},
        {u"url: https:/\\evil.test", {"https://evil.test/"}},
        {u"https:evil.test:/%2e%2E/x", {"https://evil.test/x"}},
        {u"http://0x7f.1/", {"http://127.0.0.1/"}},
        {u"http://[0:0::FFFF:10.0.0.1]:80", {"http://[::ffff:a00:1]/", "http://10.0.0.1/"}},
        {u"https://\uFF45\uFF56\uFF49\uFF4C\u3002test/", {"https://evil.test/"}},
        {u"https://b\u00FCcher.de/\u00E4", {"https://xn--bcher-kva.de/%C3%A4"}},
        {u"ftp://files.example:21/", {"ftp://files.example/"}},
        {u"smb://Server/share", {"smb://Server/share"}},
        {u"mailto:A@Evil.Test,b%40x.example;c@%78.example?cc=d@y.example&subject=to=e@z",
         {"mailto:A@evil.test", "mailto:b@x.example", "mailto:c@x.example", "mailto:d@y.example"}},
        {u"mailto:?subject=hello", {"mailto:?subject=hello"}},
        {u"http://1.2.3.4.5/", {}},
        {u"http://256.0.0.1/", {}},
        {u"https://exa%00mple.test/", {}},
        {u"https://user@/", {}},
        {u"http://[1::2::3]/", {}},
    };
    for (const FormsRow& row : rows) {
        EXPECT_EQ(Forms(row.text), row.forms) << Narrow(row.text);
    }
}

TEST(UrlSchemeAndHost, GivesTheAsciiHost) {
    const auto url = UrlSchemeAndHost(u"\"HTTPS://user@\uFF21.example.:443/\"");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->scheme, "https");
    EXPECT_EQ(url->host, "a.example.");
    EXPECT_EQ(UrlSchemeAndHost(u"mailto:a@b")->host, "");
    EXPECT_FALSE(UrlSchemeAndHost(u"C:\\Docs\\a.pdf"));
}

// The setting that refuses `text`, or "" when it passes.
std::string RefusedBy(const std::u16string& text, const AdminPolicy& policy, const FakeMachine& machine) {
    auto refusal = ExecPolicyRefusal(text, policy, machine);
    return refusal ? Narrow(refusal->setting) : "";
}

class DenyListSpellings : public ::testing::Test {
protected:
    DenyListSpellings() {
        machine_.AddExisting(u"C:\\Secret Plans\\plan.docx");
        machine_.AddShortName(u"Secret Plans", u"SECRET~1");
        policy_.execDenyList = {u"https://evil.test/*", u"http://10.0.0.1/*", u"mailto:*@evil.test",
                                u"C:\\Secret Plans\\*", u"\\\\fileserver\\private\\*"};
    }
    FakeMachine machine_;
    AdminPolicy policy_;
};

// Each of these passed the deny list before URLs were read as browsers read
// them.
TEST_F(DenyListSpellings, EverySpellingOfADeniedTargetIsRefused) {
    const std::u16string spellings[] = {
        u"https://evil.test:443/x",
        u"https://evil.test:/x",
        u"https:evil.test/x",
        u"https:/evil.test/x",
        u"https://\uFF45\uFF56\uFF49\uFF4C.test/",
        u"https://evil\u3002test/",
        u"https://ev\u00ADil.test/",
        u"http://10.1/",
        u"http://0x0a000001/",
        u"http://167772161/",
        u"http://012.0.0.1/",
        u"http://[::ffff:10.0.0.1]/",
        u"mailto:someone%40evil.test",
        u"mailto:someone@evil.test,friend@good.example",
        u"mailto:friend@good.example?bcc=someone@evil.test",
        u"C:\\SECRET~1\\plan.docx",
        u"\\\\fileserver.\\private\\x.pdf",
        u"\\\\FILESERVER..\\private\\x.pdf",
    };
    for (const std::u16string& text : spellings) {
        EXPECT_EQ(RefusedBy(text, policy_, machine_), "ExecDenyList") << Narrow(text);
    }
    EXPECT_EQ(RefusedBy(u"https://good.example/evil.test/", policy_, machine_), "");
    EXPECT_EQ(RefusedBy(u"mailto:friend@good.example", policy_, machine_), "");
    EXPECT_EQ(RefusedBy(u"C:\\Secret Plan\\x", policy_, machine_), "");
}

TEST_F(DenyListSpellings, LongNamesAreNotAskedOfShares) {
    EXPECT_EQ(RefusedBy(u"\\\\otherserver\\share\\SECRET~1\\x", policy_, machine_), "");
    EXPECT_EQ(RefusedBy(u"N:\\SECRET~1\\x", policy_, machine_), "");
    EXPECT_EQ(machine_.longPathCalls, 0) << "asking would contact the server";
}

TEST_F(DenyListSpellings, UrlsNoBrowserReadsAreRefusedByEitherList) {
    EXPECT_EQ(RefusedBy(u"http://1.2.3.4.5/", policy_, machine_), "ExecDenyList");
    AdminPolicy allowOnly;
    allowOnly.execAllowList = std::vector<WideString>{u"http://*"};
    EXPECT_EQ(RefusedBy(u"http://1.2.3.4.5/", allowOnly, machine_), "ExecAllowList");
    AdminPolicy noLists;
    noLists.execAllowedSchemes = std::vector<WideString>{u"http"};
    EXPECT_EQ(RefusedBy(u"http://1.2.3.4.5/", noLists, machine_), "");
}

TEST(AllowList, EveryRecipientAndEveryFormMustBeAllowed) {
    FakeMachine machine;
    AdminPolicy policy;
    policy.execAllowList = std::vector<WideString>{u"mailto:*@intranet.example", u"http://10.0.0.1/*"};
    EXPECT_EQ(RefusedBy(u"mailto:a@intranet.example,b@INTRANET.example.", policy, machine), "");
    EXPECT_EQ(RefusedBy(u"mailto:a@evil.test,b@intranet.example", policy, machine), "ExecAllowList");
    EXPECT_EQ(RefusedBy(u"http://10.1/", policy, machine), "");
    EXPECT_EQ(RefusedBy(u"http://[::ffff:10.0.0.1]/", policy, machine), "ExecAllowList")
        << "its IPv6 form is not on the list";
}

struct CharacterRow {
    std::u16string text;
    bool refused;
};

// The shell puts the text into the handler's command line in quotes.
// libidn2 maps as browsers do (UTS #46 non-transitional: "ß" stays and is
// encoded) and never sees a name cut at an embedded NUL.
TEST(PlatformDomainToAscii, MapsNonTransitionallyAndRefusesNul) {
    const DomainToAscii& idna = PlatformDomainToAscii();
    EXPECT_EQ(idna.ToAscii("fa\xC3\x9F.example"), std::optional<std::string>("xn--fa-hia.example"));
    EXPECT_EQ(idna.ToAscii(std::string_view("evil.test\0.example.com", 22)), std::nullopt);
}

TEST(UrlCharacterRefusal, QuotesSpacesAndControlsInsideAUrl) {
    const CharacterRow rows[] = {
        {u"https://intranet.example.com/\" \"https://evil.test/", true},
        {u"https://intranet.example.com/\" --new-window \"", true},
        {u"https://a.example/\tb", true},
        {u"https://a.example/ b", true},
        {u"https://a.example/\u0085b", true},
        {u"url:https://a.example/\"", false},
        {u"mailto:a@b?subject=a\"b", true},
        {u"  \"https://intranet.example.com/a\"  ", false},
        {u"https://a.example/%22%20", false},
        {u"C:\\Program Files\\x.pdf", false},
        {u"\"C:\\Program Files\\x.pdf\" --flag", false},
        {u"file:///C:/a b.pdf", false},
    };
    for (const CharacterRow& row : rows) {
        const auto refusal = SchemeRefusal(row.text);
        EXPECT_EQ(refusal ? Narrow(*refusal) : "", row.refused ? kInjectionRefusal : "") << Narrow(row.text);
    }
    FakeMachine machine;
    const auto refusal = TextRefusal(u"https://x.example/%quote% --new-window", u"", machine);
    EXPECT_EQ(refusal ? Narrow(*refusal) : "", kInjectionRefusal) << "a quote from an environment variable";
}

class NoFiles final : public PosixFiles {
public:
    std::string CurrentDirectory() const override { return "/home/ann"; }
    std::optional<std::string> RealPath(const std::string&) const override { return std::nullopt; }
    PosixFileFacts Facts(const std::string&) const override { return {}; }
    const std::vector<std::string>& MachineNames() const override { return names_; }

private:
    std::vector<std::string> names_;
};

TEST(PosixUrlPolicy, UsesTheSameReadingOfUrls) {
    const NoFiles files;
    AdminPolicy policy;
    policy.execAllowList = std::vector<WideString>{u"https://intranet.example.com/*"};
    auto refusal = PosixExecRefusal(DecodedExecText(u"https://intranet.example.com/\" \"https://evil.test/"), "/run/z",
                                    policy, files);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(Narrow(refusal->reason), kInjectionRefusal);
    policy.execAllowList.reset();
    policy.execDenyList = {u"http://10.0.0.1/*", u"https://evil.test/*", u"mailto:*@evil.test"};
    for (const char16_t* text : {u"http://0x0a000001/", u"https:/evil.test", u"mailto:x%40evil.test"}) {
        refusal = PosixExecRefusal(DecodedExecText(text), "/run/z", policy, files);
        EXPECT_TRUE(refusal && refusal->setting == kExecDenyListSetting) << Narrow(text);
    }
}

}  // namespace
}  // namespace zobrik
