#include <string>

#include <gtest/gtest.h>

#include "exec/exec_admin_policy.h"
#include "exec/exec_confirmation_text.h"
#include "native/fake_machine.h"

namespace zobrik {
namespace {

using testing::FakeMachine;
using testing::Narrow;

// The setting that refuses `text`, or "" when it passes.
std::string RefusedBy(const std::u16string& text, const AdminPolicy& policy) {
    FakeMachine machine;
    machine.AddExisting(u"C:\\Docs\\Reports\\");
    machine.AddExisting(u"C:\\Docs\\notes");
    auto refusal = ExecPolicyRefusal(text, policy, machine);
    return refusal ? Narrow(refusal->setting) : "";
}

AdminPolicy WithSchemes(std::vector<WideString> schemes) {
    AdminPolicy policy;
    policy.execAllowedSchemes = std::move(schemes);
    return policy;
}

TEST(Wildcard, MatchesWholeTextsWithStarsAndQuestionMarks) {
    EXPECT_TRUE(MatchesWildcard(u"https://intranet.example/a/b", u"https://intranet.example/*"));
    EXPECT_TRUE(MatchesWildcard(u"HTTPS://INTRANET.example/", u"https://intranet.EXAMPLE/*"));
    EXPECT_TRUE(MatchesWildcard(u"", u"*"));
    EXPECT_TRUE(MatchesWildcard(u"abc", u"a?c"));
    EXPECT_TRUE(MatchesWildcard(u"aXbYc", u"a*b*c"));
    EXPECT_FALSE(MatchesWildcard(u"ac", u"a?c"));
    EXPECT_FALSE(MatchesWildcard(u"https://intranet.example.evil/", u"https://intranet.example/*"));
    EXPECT_FALSE(MatchesWildcard(u"xhttps://a/", u"https://*"));
    EXPECT_FALSE(MatchesWildcard(u"https://a/x", u"https://a/"));
    // Backtracking past several stars.
    EXPECT_TRUE(MatchesWildcard(u"aaab.example.com/x.example.com/", u"*.example.com/"));
    EXPECT_FALSE(MatchesWildcard(std::u16string(5000, u'a'), u"*a*a*a*b"));
}

TEST(NormalisedUrl, ShowsTheHostTheUrlReaches) {
    EXPECT_EQ(NormalisedUrl(u"  \"HTTPS://User:pw@Intranet.Example.:8443/Path?Q=A\" "),
              u"https://intranet.example:8443/Path?Q=A");
    EXPECT_EQ(NormalisedUrl(u"https://intranet.example@evil.example/"), u"https://evil.example/");
    EXPECT_EQ(NormalisedUrl(u"https:\\\\%65vil.example\\x"), u"https://evil.example/x");
    EXPECT_EQ(NormalisedUrl(u"ht\ttps://ev\nil.example/"), u"https://evil.example/");
    EXPECT_EQ(NormalisedUrl(u"url:url:https://a.example/"), u"https://a.example/");
    EXPECT_EQ(NormalisedUrl(u"mailto:Someone@Example.com"), u"mailto:Someone@example.com");
    EXPECT_EQ(NormalisedUrl(u"http://[::1]:80/"), u"http://[::1]/");
}

// What an unusable list counts as (admin_policy_values.h) restricts every
// text it governs: no scheme, no allow list entry, the deny list entry "*".
TEST(ExecAdminPolicy, UnusableListsRefuseEverythingTheyGovern) {
    AdminPolicy noEntry;
    noEntry.execAllowList = std::vector<WideString>{};
    AdminPolicy denyAll;
    denyAll.execDenyList = {u"*"};
    const struct {
        AdminPolicy policy;
        const char* setting;  // the setting that refuses every text below
        bool paths;           // paths are refused as well as URLs
    } cases[] = {
        {WithSchemes({}), "ExecAllowedSchemes", false},
        {noEntry, "ExecAllowList", true},
        {denyAll, "ExecDenyList", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        for (const char16_t* url : {u"https://intranet.example/", u"mailto:a@example.com", u"ftp://files.example/",
                                    u"file:///C:/Docs/a.pdf", u"http://1.2.3.4.5/"}) {
            EXPECT_EQ(RefusedBy(url, c.policy), c.setting) << Narrow(url);
        }
        for (const char16_t* path : {u"C:\\Docs\\a.pdf", u"notes.txt", u"\\\\server\\share\\a.pdf"}) {
            EXPECT_EQ(RefusedBy(path, c.policy), c.paths ? c.setting : "") << Narrow(path);
        }
    }
}

TEST(ExecAdminPolicy, AllowedSchemesRefuseOtherUrlsAndFileUrls) {
    const AdminPolicy policy = WithSchemes({u"https", u"mailto"});
    EXPECT_EQ(RefusedBy(u"https://intranet.example/", policy), "");
    EXPECT_EQ(RefusedBy(u"MailTo:someone@example.com", policy), "");
    EXPECT_EQ(RefusedBy(u"http://intranet.example/", policy), "ExecAllowedSchemes");
    EXPECT_EQ(RefusedBy(u" \"ftp://files.example/\"", policy), "ExecAllowedSchemes");
    EXPECT_EQ(RefusedBy(u"file:///C:/Docs/a.pdf", policy), "ExecAllowedSchemes");
    // Paths have no scheme; they answer to the path settings.
    EXPECT_EQ(RefusedBy(u"C:\\Docs\\a.pdf", policy), "");
}

TEST(ExecAdminPolicy, DenyListWinsOverAllowList) {
    AdminPolicy policy;
    policy.execAllowList = std::vector<WideString>{u"https://*.example/*"};
    policy.execDenyList = {u"https://secret.example/*"};
    EXPECT_EQ(RefusedBy(u"https://intranet.example/x", policy), "");
    EXPECT_EQ(RefusedBy(u"https://secret.example/x", policy), "ExecDenyList");
    EXPECT_EQ(RefusedBy(u"https://ignored@SECRET.example./x", policy), "ExecDenyList");
    EXPECT_EQ(RefusedBy(u"https://intranet.example@evil.test/", policy), "ExecAllowList");
    EXPECT_EQ(RefusedBy(u"C:\\Docs\\a.pdf", policy), "ExecAllowList");

    // The text as sent counts too: a path has no form that starts with "file:".
    AdminPolicy noFileUrls;
    noFileUrls.execDenyList = {u"file:*"};
    EXPECT_EQ(RefusedBy(u"  FILE:///C:/Docs/a.pdf", noFileUrls), "ExecDenyList");
    EXPECT_EQ(RefusedBy(u"C:\\Docs\\a.pdf", noFileUrls), "");
}

TEST(ExecAdminPolicy, PathsAreMatchedInEveryReading) {
    AdminPolicy policy;
    policy.execAllowList = std::vector<WideString>{u"C:\\Docs\\*"};
    EXPECT_EQ(RefusedBy(u"C:\\Docs\\a.pdf", policy), "");
    EXPECT_EQ(RefusedBy(u"c:/docs/a.pdf", policy), "");
    EXPECT_EQ(RefusedBy(u"file:///C:/Docs/a%20b.pdf", policy), "");
    EXPECT_EQ(RefusedBy(u"\\\\?\\C:\\Docs\\a.pdf", policy), "");
    EXPECT_EQ(RefusedBy(u"C:\\Docs\\..\\Windows\\a.pdf", policy), "ExecAllowList");
    EXPECT_EQ(RefusedBy(u"C:\\Docs\\...\\a.pdf", policy), "ExecAllowList");  // "..." goes up on Wine
    EXPECT_EQ(RefusedBy(u"a.pdf", policy), "ExecAllowList");                 // the current directory is elsewhere
    EXPECT_EQ(RefusedBy(u"", policy), "ExecAllowList");

    AdminPolicy deny;
    deny.execDenyList = {u"\\\\fileserver\\*"};
    EXPECT_EQ(RefusedBy(u"//fileserver/share/a.pdf", deny), "ExecDenyList");
    EXPECT_EQ(RefusedBy(u"\\\\?\\UNC\\fileserver\\share\\a.pdf", deny), "ExecDenyList");
    EXPECT_EQ(RefusedBy(u"file://fileserver/share/a.pdf", deny), "ExecDenyList");
    EXPECT_EQ(RefusedBy(u"\\\\otherserver\\share\\a.pdf", deny), "");
}

TEST(ExecAdminPolicy, NetworkAndLocalPaths) {
    AdminPolicy noNetwork;
    noNetwork.execAllowNetworkPaths = false;
    for (const auto* text :
         {u"\\\\server\\share\\a.pdf", u"\\\\server", u"//server/share/a.pdf", u"\\\\?\\UNC\\server\\share\\a.pdf",
          u"file://server/share/a.pdf", u"file:////server/share/a.pdf", u"\\\\server@SSL\\DavWWWRoot\\a.pdf",
          u"\\\\server@8080\\share\\a.pdf", u"N:\\a.pdf", u"\"\\\\server\\share\\a.pdf\""}) {
        EXPECT_EQ(RefusedBy(text, noNetwork), "ExecAllowNetworkPaths") << Narrow(text);
    }
    EXPECT_EQ(RefusedBy(u"C:\\Docs\\a.pdf", noNetwork), "");
    EXPECT_EQ(RefusedBy(u"\\\\localhost\\C$\\Docs\\a.pdf", noNetwork), "");  // this machine's own drive
    EXPECT_EQ(RefusedBy(u"https://server/share/a.pdf", noNetwork), "");      // a URL, not a path

    AdminPolicy noLocal;
    noLocal.execAllowLocalPaths = false;
    EXPECT_EQ(RefusedBy(u"C:\\Docs\\a.pdf", noLocal), "ExecAllowLocalPaths");
    EXPECT_EQ(RefusedBy(u"a.pdf", noLocal), "ExecAllowLocalPaths");
    EXPECT_EQ(RefusedBy(u"file:///C:/Docs/a.pdf", noLocal), "ExecAllowLocalPaths");
    EXPECT_EQ(RefusedBy(u"\\\\server\\share\\a.pdf", noLocal), "");
    EXPECT_EQ(RefusedBy(u"mailto:someone@example.com", noLocal), "");
}

TEST(ExecAdminPolicy, ProgramsAndScripts) {
    AdminPolicy policy;
    policy.execAllowPrograms = false;
    for (const auto* text :
         {u"C:\\Docs\\setup.exe", u"C:\\Docs\\SETUP.EXE", u"C:\\Docs\\run.ps1", u"C:\\Docs\\link.lnk",
          u"C:\\Docs\\x.settingcontent-ms", u"C:\\Docs\\x.appref-ms", u"C:\\Docs\\setup.exe.", u"C:\\Docs\\setup.exe  ",
          u"C:\\Docs\\setup.exe:stream", u"C:\\Docs\\tool.pyz", u"calc", u"C:\\Docs\\missing",
          u"\\\\server\\share\\setup.msi", u"file:///C:/Docs/setup%2Eexe"}) {
        EXPECT_EQ(RefusedBy(text, policy), "ExecAllowPrograms") << Narrow(text);
    }
    EXPECT_EQ(RefusedBy(u"C:\\Docs\\report.pdf", policy), "");
    EXPECT_EQ(RefusedBy(u"C:\\Docs\\setup.exe.txt", policy), "");
    EXPECT_EQ(RefusedBy(u"C:\\Docs\\Reports", policy), "");  // a folder
    EXPECT_EQ(RefusedBy(u"C:\\Docs\\Reports\\", policy), "");
    EXPECT_EQ(RefusedBy(u"C:\\", policy), "");
    EXPECT_EQ(RefusedBy(u"https://example.com/setup.exe", policy), "");  // the browser's download, not a run
}

TEST(ExecAdminPolicy, WithoutRestrictionsNothingIsAskedOfTheMachine) {
    FakeMachine machine;
    EXPECT_FALSE(ExecPolicyRefusal(u"C:\\Docs\\setup.exe", AdminPolicy{}, machine));
    EXPECT_EQ(machine.longPathCalls, 0);
}

TEST(VisibleText, ShowsInvisibleAndDirectionCharactersAsCodes) {
    EXPECT_EQ(VisibleText(u"C:\\Docs\\report\u202Etxt.exe"), u"C:\\Docs\\report<U+202E>txt.exe");
    EXPECT_EQ(VisibleText(u"a\u200Bb\tc\u00A0d"), u"a<U+200B>b<U+0009>c<U+00A0>d");
    EXPECT_EQ(VisibleText(u"\xD800x"), u"<U+D800>x");
    EXPECT_EQ(VisibleText(u"Пути 日本 \U0001F600 a b"), u"Пути 日本 \U0001F600 a b");
}

}  // namespace
}  // namespace zobrik
