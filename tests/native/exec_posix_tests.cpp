// The Linux add-in's exec decisions: reading the text, and what is refused
// before xdg-open runs.
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "exec/exec_text_decoding.h"
#include "exec/posix_paths.h"
#include "include/utf_conversion.h"

namespace zobrik {
namespace {

std::u16string Decoded(const std::string& message) {
    const auto text = DecodeExecText(message);
    return text ? std::u16string(text->wide.begin(), text->wide.end()) : u"(invalid)";
}

TEST(ExecTextDecoding, Utf8BehindTheMarkAndWindows1252Otherwise) {
    EXPECT_EQ(Decoded("\xEF\xBB\xBF/home/\xD0\x96/\xE6\x96\x87.txt"), u"/home/\u0416/\u6587.txt");
    EXPECT_EQ(Decoded("caf\xE9 \x80 \x81 \x9F"), u"caf\u00E9 \u20AC \u0081 \u0178");
    EXPECT_EQ(Decoded("a\xEF\xBB\xBF"), u"a\u00EF\u00BB\u00BF") << "the mark counts only at the start";
    EXPECT_EQ(Decoded(std::string("ab\0cd", 5)), u"ab") << "the text ends at its first NUL";
    EXPECT_EQ(Decoded("\xEF\xBB\xBF\xF0\x9F\x98\x80"), u"\U0001F600");
    for (const char* invalid : {"\xC0\xAF", "\xED\xA0\x80", "\xE6\x96", "\xF4\x90\x80\x80", "\xFF", "\x80"}) {
        EXPECT_EQ(Decoded(std::string("\xEF\xBB\xBF") + invalid), u"(invalid)") << invalid;
    }
}

TEST(ExecTextDecoding, AbsolutePathsAreNormalisedLexically) {
    EXPECT_EQ(AbsolutePosixPath("a/./b/../c", "/home/ann"), "/home/ann/a/c");
    EXPECT_EQ(AbsolutePosixPath("//etc///x/..", "/w"), "/etc");
    EXPECT_EQ(AbsolutePosixPath("../../../..", "/home/ann"), "/");
    const auto url = ParseFileUrl("FILE://Host/a%20b/c%2Fd?x#y");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->host, "Host");
    EXPECT_EQ(url->path, "/a b/c/d");
    EXPECT_EQ(ParseFileUrl("file:///tmp/x")->host, "");
    EXPECT_EQ(ParseFileUrl("file:/tmp/x")->path, "/tmp/x");
    EXPECT_FALSE(ParseFileUrl("https://x/"));
}

class FakeFiles final : public PosixFiles {
public:
    std::string CurrentDirectory() const override { return "/home/ann"; }
    std::optional<std::string> RealPath(const std::string& path) const override {
        for (const auto& [link, target] : links) {
            if (path == link || path.rfind(link + "/", 0) == 0) return target + path.substr(link.size());
        }
        if (facts.count(path) || path == "/run/user/1/zobrik-wtsdvc") return path;
        return std::nullopt;
    }
    PosixFileFacts Facts(const std::string& path) const override {
        const auto real = RealPath(path);
        const auto found = real ? facts.find(*real) : facts.end();
        return found != facts.end() ? found->second : PosixFileFacts{};
    }
    const std::vector<std::string>& MachineNames() const override { return names; }

    std::map<std::string, std::string> links;
    std::map<std::string, PosixFileFacts> facts;
    std::vector<std::string> names = {"ann-laptop"};
};

class PosixExecRefusals : public ::testing::Test {
protected:
    PosixExecRefusals() {
        files_.facts["/home/ann/report.pdf"] = {true, true, false};
        files_.facts["/home/ann/tool"] = {true, true, true};
        files_.facts["/usr/share/applications/x.desktop"] = {true, true, false};
        files_.links["/home/ann/innocent"] = "/usr/share/applications/x.desktop";
        files_.links["/home/ann/staged"] = "/run/user/1/zobrik-wtsdvc";
    }

    // "" when the text may be opened, else the reason and the setting.
    std::string Refusal(const std::u16string& text) const {
        const auto refusal =
            PosixExecRefusal(DecodedExecText(WideString(text.begin(), text.end())), kRoot, policy_, files_);
        if (!refusal) return "";
        std::string setting;
        for (const WideChar* c = refusal->setting; c != nullptr && *c != 0; ++c) setting += char(*c);
        return Utf16ToUtf8(refusal->reason) + (setting.empty() ? "" : " (" + setting + ")");
    }

    static constexpr const char* kRoot = "/run/user/1/zobrik-wtsdvc";
    FakeFiles files_;
    AdminPolicy policy_;
};

TEST_F(PosixExecRefusals, BuiltInRefusals) {
    EXPECT_EQ(Refusal(u"https://example.com/a?b"), "");
    EXPECT_EQ(Refusal(u"/home/ann/report.pdf"), "");
    EXPECT_EQ(Refusal(u"report.pdf"), "") << "relative to the client's current folder";
    EXPECT_EQ(Refusal(u"file://localhost/home/ann/report.pdf"), "");
    EXPECT_EQ(Refusal(u"file://ann-laptop/home/ann/report.pdf"), "");
    EXPECT_EQ(Refusal(u""), "empty text");
    EXPECT_EQ(Refusal(u"--help"), "a text that begins with '-'");
    EXPECT_EQ(Refusal(u"ms-msdt:/id PCWDiagnostic"), "scheme ms-msdt: is not allowed");
    EXPECT_EQ(Refusal(u"file://fileserver/share/x.pdf"), "file: URL of another host");
    EXPECT_EQ(Refusal(u"/home/ann/tool"), "programs are not opened");
    EXPECT_EQ(Refusal(u"file:///home/ann/./tool"), "programs are not opened");
    EXPECT_EQ(Refusal(u"/usr/share/applications/x.DESKTOP"), "desktop entries are not opened");
    EXPECT_EQ(Refusal(u"/home/ann/innocent"), "desktop entries are not opened") << "reached through a link";
    EXPECT_EQ(Refusal(u"/run/user/1/zobrik-wtsdvc/zr-1/a.pdf"), "inside the staging folder");
    EXPECT_EQ(Refusal(u"/home/ann/staged/zr-1/a.pdf"), "inside the staging folder") << "reached through a link";
    EXPECT_EQ(Refusal(u"/run/user/1/x/../zobrik-wtsdvc/zr-1"), "inside the staging folder");
    EXPECT_EQ(Refusal(u"/run/user/1/zobrik-wtsdvc-notes/a.pdf"), "") << "a folder beside it, whose name begins alike";
}

// Files without an execute bit that the desktop still runs or installs
// through the program registered for their type: Wine, Java, Flatpak, the
// package installers. They are refused by name, locally, through a link and
// on file servers, where the desktop mounts the share and opens the file the
// same way.
TEST_F(PosixExecRefusals, LaunchersRunByTheirTypeAreRefused) {
    files_.links["/home/ann/manual.pdf"] = "/home/ann/Downloads/setup.EXE";
    files_.facts["/home/ann/example.com"] = {true, false, false};  // a folder
    const struct {
        const char16_t* text;
        const char* extension;  // nullptr: opened
    } cases[] = {
        {u"/home/ann/Downloads/app.jar", "jar"},
        {u"/home/ann/Downloads/setup.exe", "exe"},
        {u"file:///home/ann/setup.MSI", "msi"},
        {u"run.bat", "bat"},
        {u"/tmp/x.lnk", "lnk"},
        {u"/home/ann/org.app.flatpakref", "flatpakref"},
        {u"/home/ann/repo.flatpakrepo", "flatpakrepo"},
        {u"/home/ann/app.flatpak", "flatpak"},
        {u"/home/ann/tool_1.0_amd64.deb", "deb"},
        {u"/home/ann/tool-1.0.x86_64.rpm", "rpm"},
        {u"/home/ann/tool.snap", "snap"},
        {u"/home/ann/Tool-x86_64.AppImage", "appimage"},
        {u"/home/ann/start.jnlp", "jnlp"},
        {u"/home/ann/manual.pdf", "exe"},  // a link to an installer
        {u"smb://fileserver/share/setup.exe", "exe"},
        {u"SFTP://host/home/x/app%2Ejar?x#y", "jar"},
        {u"sftp://host/x.desktop", "desktop"},
        {u"/home/ann/report.pdf", nullptr},
        {u"/home/ann/archive.tar.gz", nullptr},
        {u"/home/ann/notes.exe.txt", nullptr},
        {u"/home/ann/.bashrc", nullptr},
        {u"/home/ann/example.com", nullptr},  // a folder opens in the file manager
        {u"smb://fileserver.example.com", nullptr},
        {u"smb://fileserver/share/report.pdf", nullptr},
        {u"https://example.com/setup.exe", nullptr},  // a browser downloads it
    };
    for (const auto& c : cases) {
        const std::string expected =
            c.extension ? std::string("files that run or install programs are not opened (.") + c.extension + ")" : "";
        EXPECT_EQ(Refusal(c.text), expected)
            << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
    }
}

TEST_F(PosixExecRefusals, PolicySettingsWithTheirNames) {
    policy_.execDenyList = {u"*://*.bad.example/*", u"/home/ann/secret*"};
    EXPECT_EQ(Refusal(u"HTTPS://www.BAD.example./x"),
              "matches the deny list entry \"*://*.bad.example/*\" (ExecDenyList)");
    EXPECT_EQ(Refusal(u"/home/ann/secret/../secret.txt"),
              "matches the deny list entry \"/home/ann/secret*\" (ExecDenyList)");
    policy_.execAllowList = std::vector<WideString>{u"https://intranet.example/*", u"/home/ann/*"};
    EXPECT_EQ(Refusal(u"https://intranet.example/page"), "");
    EXPECT_EQ(Refusal(u"https://other.example/"), "matches no allow list entry (ExecAllowList)");
    EXPECT_EQ(Refusal(u"/home/ann/innocent2/../report.pdf"), "");
    EXPECT_EQ(Refusal(u"/etc/passwd"), "matches no allow list entry (ExecAllowList)");
    policy_.execAllowList.reset();
    policy_.execDenyList.clear();

    policy_.execAllowedSchemes = std::vector<WideString>{u"https"};
    EXPECT_EQ(Refusal(u"mailto:ann@example.com"), "scheme mailto: is not allowed (ExecAllowedSchemes)");
    EXPECT_EQ(Refusal(u"file:///home/ann/report.pdf"), "scheme file: is not allowed (ExecAllowedSchemes)");
    EXPECT_EQ(Refusal(u"/home/ann/report.pdf"), "") << "plain paths are the local-paths setting's";
    policy_.execAllowedSchemes.reset();

    policy_.execAllowNetworkPaths = false;
    EXPECT_EQ(Refusal(u"smb://server/share/x"), "network path \"smb://server/share/x\" (ExecAllowNetworkPaths)");
    EXPECT_EQ(Refusal(u"https://example.com"), "");
    policy_.execAllowLocalPaths = false;
    EXPECT_EQ(Refusal(u"/home/ann/report.pdf"), "local path \"/home/ann/report.pdf\" (ExecAllowLocalPaths)");
    policy_.execConfirm = true;
    EXPECT_EQ(Refusal(u"https://example.com"), "this client cannot ask the user to confirm (ExecConfirm)");
}

}  // namespace
}  // namespace zobrik
