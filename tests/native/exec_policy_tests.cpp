#include <functional>
#include <map>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "exec/exec_policy.h"
#include "native/fake_machine.h"

namespace zobrik {
namespace {

using testing::FakeMachine;
using testing::Lower;
using testing::Narrow;

const WideString kStaging = u"C:\\Users\\SOMEON~1\\AppData\\Local\\Temp\\Ema1.tmp";

TEST(ExecPolicy, TextEndsAtItsFirstNul) {
    using namespace std::string_view_literals;
    EXPECT_EQ(ExecText("C:\\a.exe\0C:\\b.exe"sv), "C:\\a.exe");
    EXPECT_EQ(ExecText("no nul"sv), "no nul");
    EXPECT_EQ(ExecText("\0rest"sv), "");
    EXPECT_EQ(ExecText(""sv), "");
}

TEST(ExecPolicy, TextsUpTo32767BytesPassTheLengthCheck) {
    EXPECT_FALSE(LengthRefusal(""));
    EXPECT_FALSE(LengthRefusal(std::string(32767, 'a')));
    auto refusal = LengthRefusal(std::string(32768, 'a'));
    ASSERT_TRUE(refusal);
    EXPECT_EQ(*refusal, u"text longer than 32767 bytes");
    EXPECT_TRUE(LengthRefusal(std::string(100000, 'a')));
}

TEST(ExecPolicy, SchemeIsFoundAsTheShellParsesIt) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"https://example.com/a:b", u"https"},
        {u"MS-MSDT:/id PCWDiagnostic", u"ms-msdt"},
        {u"  \t\"search-ms:query=x", u"search-ms"},
        {u"\x01\x1f\u00a0\u200b\ufeffshell:startup", u"shell"},
        {u"ms-m\tsd\r\nt:x", u"ms-msdt"},
        {u"url:ms-msdt:x", u"ms-msdt"},
        {u"URL: \"url:vbscript:x", u"vbscript"},
        {u"a.b+c-1:x", u"a.b+c-1"},
        {u"ab:", u"ab"},
        {u"C:\\Windows\\notepad.exe", u""},
        {u"c:relative", u""},
        {u":only", u""},
        {u"ms msdt:x", u""},
        {u"ms_msdt:x", u""},
        {u"ms-msdt", u""},
        {u"\\\\server\\share\\ms-msdt:x", u""},
        {u"", u""},
        {u"\u043c\u0441-msdt:x", u""},  // Cyrillic look-alikes are not ASCII letters
    };
    for (const auto& [text, scheme] : cases) {
        EXPECT_EQ(UrlScheme(text), scheme) << Narrow(text);
    }
}

TEST(ExecPolicy, RefusedSchemesAreRefusedInAnySpelling) {
    const char16_t* refused[] = {
        u"ms-msdt",    u"search-ms", u"search", u"ms-officecmd", u"ms-cxh", u"ms-cxh-full", u"ms-appinstaller",
        u"javascript", u"vbscript",  u"shell",  u"ms-its",       u"its",    u"mk",          u"hcp"};
    for (const char16_t* scheme : refused) {
        const WideString name = scheme;
        WideString upper = name;
        for (WideChar& c : upper) {
            c = c >= 'a' && c <= 'z' ? WideChar(c - 32) : c;
        }
        for (const WideString& text : {name + u":x", upper + u":", u" \"" + name + u":x\"", u"url:" + name + u":x",
                                       u"\t" + name.substr(0, 1) + u"\t" + name.substr(1) + u"://x"}) {
            auto refusal = SchemeRefusal(text);
            ASSERT_TRUE(refusal) << Narrow(text);
            EXPECT_EQ(*refusal, u"scheme " + name + u": is not allowed") << Narrow(text);
        }
        EXPECT_TRUE(IsRefusedScheme(name));
    }
}

TEST(ExecPolicy, SchemesThatOnlyResembleARefusedOneAreAllowed) {
    for (const char16_t* text :
         {u"search-msx:query", u"xsearch-ms:query", u"ms-msdtx:", u"ms-msd:", u"shellx:startup", u"ms-cxh-fullx:",
          u"https://example.com/?q=ms-msdt:", u"mailto:someone@example.com", u"ms-settings:display", u"file:///C:/x",
          u"C:\\search-ms\\shell:x", u"C:shell", u"ms-msdt", u"javascript", u"ms-msdt.exe", u"\\\\shell\\x:"}) {
        EXPECT_FALSE(SchemeRefusal(text)) << Narrow(text);
    }
}

TEST(ExecPolicy, ShellNamespaceNamesAreRefused) {
    for (const char16_t* text :
         {u"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", u" \"::{26EE0668-A00A-44D7-9371-BEB064C98683}\\0"}) {
        auto refusal = SchemeRefusal(text);
        ASSERT_TRUE(refusal) << Narrow(text);
        EXPECT_EQ(*refusal, u"shell namespace names are not allowed");
    }
    EXPECT_FALSE(SchemeRefusal(u"C:\\dir::x"));
    EXPECT_FALSE(SchemeRefusal(u":x"));
}

TEST(ExecPolicy, SchemeMadeOfEnvironmentVariablesIsRefusedToo) {
    FakeMachine machine;
    auto refusal = TextRefusal(u"%HALF%msdt:/id x", kStaging, machine);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(*refusal, u"scheme ms-msdt: is not allowed");
    EXPECT_FALSE(TextRefusal(u"%HALF%settings:display", kStaging, machine));
}

TEST(ExecPolicy, FileUrlsBecomePathsWithAndWithoutQueryOrFragment) {
    using Paths = std::vector<WideString>;
    EXPECT_EQ(FileUrlPaths(u"file:///C:/dir/a.exe"), (Paths{u"C:/dir/a.exe"}));
    EXPECT_EQ(FileUrlPaths(u"FILE://c|/dir"), (Paths{u"c:/dir"}));
    EXPECT_EQ(FileUrlPaths(u"file:C:/dir"), (Paths{u"C:/dir"}));
    EXPECT_EQ(FileUrlPaths(u"file://localhost/C:/dir"), (Paths{u"localhost/C:/dir", u"\\\\localhost/C:/dir"}));
    EXPECT_EQ(FileUrlPaths(u"file://server/share/x"), (Paths{u"server/share/x", u"\\\\server/share/x"}));
    EXPECT_EQ(FileUrlPaths(u"file:///Users/x"), (Paths{u"Users/x", u"\\Users/x", u"\\\\Users/x"}));
    EXPECT_EQ(FileUrlPaths(u"file:/Users/x"), (Paths{u"Users/x", u"\\Users/x"}));
    EXPECT_EQ(FileUrlPaths(u"file:rel/x"), (Paths{u"rel/x"}));
    EXPECT_EQ(FileUrlPaths(u"file:\\\\\\C:\\x"), (Paths{u"C:\\x"}));
    EXPECT_EQ(FileUrlPaths(u"file:///C:/a?x#y"), (Paths{u"C:/a?x#y", u"C:/a", u"C:/a?x"}));
    EXPECT_EQ(FileUrlPaths(u"https://x"), Paths{});
    EXPECT_EQ(FileUrlPaths(u"fil:///C:/x"), Paths{});
}

TEST(ExecPolicy, FileUrlEscapesAreReadAsUtf8AndAsSingleBytes) {
    using Paths = std::vector<WideString>;
    EXPECT_EQ(FileUrlPaths(u"file:///C:/Ema1%2Etmp/%41"), (Paths{u"C:/Ema1%2Etmp/%41", u"C:/Ema1.tmp/A"}));
    EXPECT_EQ(FileUrlPaths(u"file:///C:/J%C3%BCrgen"),
              (Paths{u"C:/J%C3%BCrgen", u"C:/J\u00c3\u00bcrgen", u"C:/J\u00fcrgen"}));
    EXPECT_EQ(FileUrlPaths(u"file:///C:/%F0%9F%98%80"),
              (Paths{u"C:/%F0%9F%98%80", u"C:/\u00f0\u009f\u0098\u0080", u"C:/\U0001F600"}));
    // Not UTF-8 (a lone continuation byte, overlong forms of '.' and '/', a
    // surrogate, a lead byte without its continuation): single bytes only.
    for (const char16_t* url :
         {u"file:///C:/%BC", u"file:///C:/%C0%AE", u"file:///C:/%E0%80%AF", u"file:///C:/%F0%80%80%AF",
          u"file:///C:/%ED%A0%80", u"file:///C:/%E4x", u"file:///C:/%C3%41"}) {
        EXPECT_EQ(FileUrlPaths(url).size(), 2u) << Narrow(url);
    }
    // An escaped NUL ends the path; broken escapes stay as they are.
    EXPECT_EQ(FileUrlPaths(u"file:///C:/a%00/../b"), (Paths{u"C:/a%00/../b", u"C:/a"}));
    EXPECT_EQ(FileUrlPaths(u"file:///C:/100%/%4"), (Paths{u"C:/100%/%4"}));
}

TEST(ExecPolicy, SpellingsCoverQuotesUrlPrefixesAndFileUrls) {
    using Paths = std::vector<WideString>;
    EXPECT_EQ(PathSpellings(u"  C:\\x.exe \t"), (Paths{u"C:\\x.exe"}));
    EXPECT_EQ(PathSpellings(u"\"C:\\x y\\a.exe\" arg"),
              (Paths{u"\"C:\\x y\\a.exe\" arg", u"C:\\x y\\a.exe", u"C:\\x y\\a.exe arg"}));
    EXPECT_EQ(PathSpellings(u"url:file:///C:/x"), (Paths{u"url:file:///C:/x", u"file:///C:/x", u"C:/x"}));
    EXPECT_EQ(
        PathSpellings(u" \"file://localhost/C:/x\""),
        (Paths{u"\"file://localhost/C:/x\"", u"file://localhost/C:/x", u"localhost/C:/x", u"\\\\localhost/C:/x"}));
    EXPECT_EQ(PathSpellings(u" \t"), Paths{});
}

TEST(ExecPolicy, LocalSpellingRemovesPrefixesAndThisMachinesSharesAndKeepsDevices) {
    const std::vector<WideString> names = {u"DESKTOP-42", u"192.168.1.20", u"fe80::d00d:1"};
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"C:/Users/x", u"C:\\Users\\x"},
        {u"\\\\?\\C:\\x", u"C:\\x"},
        {u"\\\\.\\C:\\x", u"C:\\x"},
        {u"//?/C:/x", u"C:\\x"},
        {u"\\??\\C:\\x", u"C:\\x"},
        {u"\\\\?\\UNC\\server\\share\\x", u"\\\\server\\share\\x"},
        {u"\\\\.\\unc\\localhost\\c$\\x", u"c:\\x"},
        {u"\\\\?\\GLOBALROOT\\??\\C:\\x", u"C:\\x"},
        {u"\\\\?\\globalroot\\GLOBAL??\\C:\\x", u"C:\\x"},
        {u"\\\\.\\GLOBALROOT\\DosDevices\\UNC\\127.0.0.1\\D$\\x", u"D:\\x"},
        {u"\\\\localhost\\C$\\x", u"C:\\x"},
        {u"\\\\LOCALHOST.\\c$", u"c:\\"},
        {u"\\\\127.0.0.1\\C$\\x", u"C:\\x"},
        {u"\\\\desktop-42\\C$\\x", u"C:\\x"},
        {u"\\\\localhost\\C:\\x", u"C:\\x"},
        {u"\\\\localhost\\C|\\x", u"C:\\x"},
        {u"\\\\?\\UNC\\[::1]\\C$\\x", u"C:\\x"},
        {u"\\\\server\\C$\\x", u"\\\\server\\C$\\x"},
        {u"\\\\localhost\\share\\x", u"\\\\localhost\\share\\x"},
        {u"\\\\localhost\\CD$\\x", u"\\\\localhost\\CD$\\x"},
        {u"\\\\?\\Volume{1234}\\x", u"\\\\?\\Volume{1234}\\x"},
        {u"\\\\.\\Volume{1234}\\x", u"\\\\?\\Volume{1234}\\x"},
        {u"\\??\\Volume{1234}\\x", u"\\\\?\\Volume{1234}\\x"},
        {u"\\\\?\\GLOBALROOT\\??\\Volume{1234}\\x", u"\\\\?\\Volume{1234}\\x"},
        {u"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume3\\x", u"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume3\\x"},
        {u"\\\\.\\GLOBALROOT\\Device\\Mup\\server\\share\\x", u"\\\\server\\share\\x"},
        {u"\\\\?\\GLOBALROOT\\Device\\Mup\\localhost\\C$\\x", u"C:\\x"},
        {u"\\\\?\\unix\\home\\x", u"\\\\?\\unix\\home\\x"},
        {u"//?/HarddiskVolume3/x", u"\\\\?\\HarddiskVolume3\\x"},
        {u"\\\\192.168.1.20\\c$\\x", u"c:\\x"},
        {u"\\\\[fe80::d00d:1%12]\\c$\\x", u"c:\\x"},
        {u"relative\\x", u"relative\\x"},
    };
    for (const auto& [path, local] : cases) {
        EXPECT_EQ(LocalSpelling(path, names), local) << Narrow(path);
    }
}

TEST(ExecPolicy, ThisMachineHasManyNamesAndAddresses) {
    const std::vector<WideString> names = {u"DESKTOP-42", u"desktop-42.corp.example.", u"192.168.1.20",
                                           u"fe80:0:0:0:0:0:d00d:1", u"2001:db8::42"};
    for (const char16_t* host :
         {u"localhost", u"LocalHost", u"localhost.", u"127.0.0.1", u"127.1", u"127.0.1", u"127.255.255.254",
          u"0x7f000001", u"0177.0.0.1", u"2130706433", u"0x7f.1", u"desktop-42", u"DESKTOP-42.corp.example", u"::1",
          u"[::1]", u"0:0:0:0:0:0:0:1", u"0--1.ipv6-literal.net", u"--1s12.IPV6-LITERAL.NET",
          u"--ffff-7f00-1.ipv6-literal.net",
          // Names below localhost, multicast DNS names, unspecified addresses.
          u"x.localhost", u"A.B.LOCALHOST.", u"desktop-42.local", u"0.0.0.0", u"0", u"::", u"[::]",
          // The machine's own addresses in every spelling.
          u"192.168.1.20", u"192.168.276", u"0xc0a80114", u"3232235796", u"0300.0250.01.024", u"::ffff:192.168.1.20",
          u"[::ffff:c0a8:114]", u"--ffff-c0a8-114.ipv6-literal.net", u"fe80::d00d:1", u"FE80::D00D:1%12",
          u"[fe80::d00d:1%eth0]", u"fe80--d00d-1s12.ipv6-literal.net", u"2001:DB8:0:0:0:0:0:42",
          u"2001-db8--42.ipv6-literal.net"}) {
        EXPECT_TRUE(IsThisMachine(host, names)) << Narrow(host);
    }
    for (const char16_t* host : {u"",
                                 u".",
                                 u"server",
                                 u"desktop-4",
                                 u"desktop-42x",
                                 u"128.0.0.1",
                                 u"126.0.0.1",
                                 u"127.0.0.256",
                                 u"127.0.0.1.1",
                                 u"127..1",
                                 u"0x",
                                 u"09.0.0.1",
                                 u"4294967296",
                                 u"::2",
                                 u"1::1",
                                 u"::ffff:8000:1",
                                 u"localhost.example",
                                 u"127.0.0.1x",
                                 u"2--1.ipv6-literal.net",
                                 u"a.ipv6-literal.net",
                                 u"1:2:3:4:5:6:7:8:9",
                                 u"0:0:0:0::0:0:0:1",
                                 u"[0:0:0:0:0:0:0::1]",
                                 u"192.168.1.21",
                                 u"192.168.1.20.1",
                                 u"::ffff:192.168.1.21",
                                 u"::ffff:192.168.1",
                                 u"::192.168.1.20:1",
                                 u"fe80::d00d:2",
                                 u"2001:db8::43",
                                 u"localhost.x",
                                 u"xlocalhost",
                                 u".localhost",
                                 u"desktop-42.locals",
                                 u"desktop-4.local",
                                 u"desktop-42.corp.example.local.x"}) {
        EXPECT_FALSE(IsThisMachine(host, names)) << Narrow(host);
    }
}

TEST(ExecPolicy, RootsOfDrivesSharesAndDevices) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"C:\\x", u"C:"},
        {u"c:", u"c:"},
        {u"\\\\server\\share\\x", u"\\\\server\\share"},
        {u"\\\\?\\Volume{1234}\\x", u"\\\\?\\Volume{1234}"},
        {u"\\\\?\\Volume{1234}", u"\\\\?\\Volume{1234}"},
        {u"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume3\\x\\y", u"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume3"},
        {u"\\\\?\\GLOBALROOT\\SystemRoot\\x", u"\\\\?\\GLOBALROOT\\SystemRoot"},
        {u"\\\\?\\unix\\home\\x", u"\\\\?\\unix"},
        {u"\\\\.\\pipe\\x", u"\\\\.\\pipe"},
        {u"\\\\?\\", u""},
        {u"\\\\?\\GLOBALROOT\\", u""},
        {u"\\\\server", u""},
        {u"\\\\server\\\\x", u""},
        {u"\\x", u""},
        {u"x\\y", u""},
    };
    for (const auto& [path, root] : cases) {
        EXPECT_EQ(PathRoot(path), WideStringView(root)) << Narrow(path);
    }
}

TEST(ExecPolicy, OnlyDrivesOfTheMachinesOwnVolumesAreKnownLocalByTheirLink) {
    const std::pair<const char16_t*, bool> cases[] = {
        {u"\\Device\\HarddiskVolume3", true},
        {u"\\device\\harddiskvolume12", true},
        {u"\\Device\\CdRom0", true},
        {u"\\Device\\HarddiskVolume", false},
        {u"\\Device\\HarddiskVolume3\\x", false},
        {u"\\Device\\HarddiskVolume3x", false},
        {u"\\Device\\LanmanRedirector\\;Z:000000000001a2b3\\server\\share", false},
        {u"\\Device\\Mup\\;Z:000000000001a2b3\\server\\share", false},
        {u"\\Device\\RdpDr\\;Y:2\\tsclient\\C", false},
        {u"\\??\\C:\\Users\\ann\\AppData\\Local\\Temp", false},
        {u"\\Device\\Floppy0", false},
        {u"", false},
    };
    for (const auto& [target, local] : cases) {
        EXPECT_EQ(NamesLocalVolume(target), local) << Narrow(target);
    }
}

// Device roots of this machine's volumes may be asked about; any other
// device may be a redirector to another host.
TEST(ExecPolicy, LocalVolumeDevicesAreKnownByTheirRoot) {
    const std::pair<const char16_t*, bool> cases[] = {
        {u"\\\\?\\Volume{1234}", true},
        {u"\\\\?\\HarddiskVolume3", true},
        {u"\\\\.\\harddiskvolume3", true},
        {u"\\\\?\\CdRom0", true},
        {u"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume3", true},
        {u"\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy2", true},
        {u"\\\\?\\globalroot\\device\\CdRom1", true},
        {u"\\\\?\\GLOBALROOT\\Device\\Volume{1234}", true},
        {u"\\\\?\\GLOBALROOT\\SystemRoot", true},
        {u"\\\\?\\unix", true},
        {u"\\\\?\\unixroot", false},
        {u"\\\\?\\GLOBALROOT\\SystemRootX", false},
        {u"\\\\?\\GLOBALROOT\\Device\\Mup", false},
        {u"\\\\?\\GLOBALROOT\\Device\\LanmanRedirector", false},
        {u"\\\\?\\GLOBALROOT\\Device\\WebDavRedirector", false},
        {u"\\\\?\\GLOBALROOT\\HarddiskVolume3", false},
        {u"\\\\.\\pipe", false},
        {u"\\\\?\\UNC", false},
    };
    for (const auto& [root, local] : cases) {
        EXPECT_EQ(IsLocalVolumeDevice(root), local) << Narrow(root);
    }
}

TEST(ExecPolicy, ReadingsApplyDotsAndDropStreamsAndTrailingDots) {
    using Paths = std::vector<WideString>;
    const std::pair<const char16_t*, Paths> cases[] = {
        {u"C:\\a\\b", {u"C:\\a\\b"}},
        {u"C:\\a\\\\b\\", {u"C:\\a\\b"}},
        {u"C:\\a\\.\\b\\..\\c", {u"C:\\a\\c"}},
        {u"C:\\..\\..\\a", {u"C:\\a"}},
        {u"C:\\Ema1.tmp.\\x. . ", {u"C:\\Ema1.tmp\\x"}},
        {u"C:\\Ema1.tmp \\x", {u"C:\\Ema1.tmp\\x"}},
        {u"C:\\Ema1.tmp::$INDEX_ALLOCATION\\x", {u"C:\\Ema1.tmp\\x", u"C:\\Ema1.tmp::$INDEX_ALLOCATION\\x"}},
        {u"C:\\Ema1.tmp. :$I30:$INDEX_ALLOCATION\\x:s.",
         {u"C:\\Ema1.tmp\\x", u"C:\\Ema1.tmp. :$I30:$INDEX_ALLOCATION\\x:s"}},
        {u"C:\\a\\ .\\b", {u"C:\\a\\b"}},
        {u"C:\\a\\b\\...\\c", {u"C:\\a\\b\\c", u"C:\\a\\c"}},
        {u"C:\\a\\b\\.. \\c", {u"C:\\a\\b\\c", u"C:\\a\\c"}},
        {u"\\\\server\\share\\..\\x", {u"\\\\server\\share\\x"}},
        {u"C:", {u"C:\\"}},
        {u"C:x\\..", {u"C:x\\.."}},
        {u"\\\\server\\\\x\\..", {u"\\\\server\\\\x\\.."}},
        {u"relative\\..\\x", {u"relative\\..\\x"}},
        {u"\\\\?\\Volume{1}\\a\\..\\..\\b", {u"\\\\?\\Volume{1}\\b"}},
    };
    for (const auto& [path, readings] : cases) {
        EXPECT_EQ(PathReadings(path), readings) << Narrow(path);
    }
}

TEST(ExecPolicy, SameOrBelowComparesWholeComponents) {
    FakeMachine machine;
    const WideString dir = u"C:\\Temp\\Ema1.tmp";
    EXPECT_TRUE(IsSameOrBelow(u"C:\\Temp\\Ema1.tmp", dir, machine));
    EXPECT_TRUE(IsSameOrBelow(u"c:\\TEMP\\ema1.TMP\\x\\y.exe", dir, machine));
    EXPECT_TRUE(IsSameOrBelow(u"C:\\Temp\\Ema1.tmp\\", dir, machine));
    EXPECT_TRUE(IsSameOrBelow(u"C:\\Temp\\Ema1.tmp\\x", dir + u"\\", machine));
    EXPECT_FALSE(IsSameOrBelow(u"C:\\Temp\\Ema1.tmpx\\y.exe", dir, machine));
    EXPECT_FALSE(IsSameOrBelow(u"C:\\Temp\\Ema1.tm", dir, machine));
    EXPECT_FALSE(IsSameOrBelow(u"C:\\Temp", dir, machine));
    EXPECT_FALSE(IsSameOrBelow(u"D:\\Temp\\Ema1.tmp", dir, machine));
    EXPECT_FALSE(IsSameOrBelow(u"C:\\x", u"", machine));
}

TEST(ExecPolicy, LongNamesComeFromTheLongestExistingPart) {
    FakeMachine machine;
    EXPECT_EQ(WithLongNames(u"C:\\users\\SOMEON~1\\APPDAT~1\\Local\\Temp\\Ema1.tmp\\REQUES~1\\missing\\x.exe", machine),
              u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\missing\\x.exe");
    EXPECT_EQ(WithLongNames(u"C:\\nowhere\\SOMEON~1", machine), u"C:\\nowhere\\SOMEON~1");
    EXPECT_EQ(WithLongNames(u"\\\\server\\share\\x", machine), u"\\\\server\\share\\x");
    // The walk stops at the first part that does not exist.
    machine.longPathCalls = 0;
    WideString deep = u"C:\\Users\\gone";
    for (int i = 0; i < 1000; ++i) {
        deep += u"\\a";
    }
    EXPECT_EQ(WithLongNames(deep, machine), deep);
    EXPECT_EQ(machine.longPathCalls, 2);
}

TEST(ExecPolicy, IdentitiesAreAskedOnlyUpToTheFirstMissingDirectory) {
    FakeMachine machine;
    WideString deep = u"Y:\\Users\\gone";
    for (int i = 0; i < 1000; ++i) {
        deep += u"\\a";
    }
    machine.identityCalls = 0;
    EXPECT_FALSE(PathRefusal(deep, kStaging, machine));
    EXPECT_EQ(machine.identityCalls, 4) << "the staging directory, Y:\\, Y:\\Users and Y:\\Users\\gone";
}

// Every way of writing a file in the staging directory is refused.
TEST(ExecPolicy, StagedFileIsRefusedUnderEverySpelling) {
    FakeMachine machine;
    const char16_t* spellings[] = {
        u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"c:\\USERS\\someone\\appdata\\local\\temp\\EMA1.TMP\\REQUEST-8F3A9C\\EVIL.EXE",
        u"C:/Users/Someone/AppData/Local/Temp/Ema1.tmp/request-8f3a9c/evil.exe",
        u"\\\\?\\C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"\\\\?\\UNC\\localhost\\C$\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"\\\\localhost\\C$\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"\\\\127.0.0.1\\c$\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"\\\\DESKTOP-42\\C$\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"C:\\Users\\SOMEON~1\\APPDAT~1\\Local\\Temp\\Ema1.tmp\\REQUES~1\\evil.exe",
        u"file:///C:/Users/Someone/AppData/Local/Temp/Ema1.tmp/request-8f3a9c/evil.exe",
        u"file://localhost/C:/Users/Someone/AppData/Local/Temp/Ema1.tmp/request-8f3a9c/evil.exe",
        u"file:///C|/Users/Someone/AppData/Local/Temp/Ema1%2Etmp/request-8f3a9c/evil.exe",
        u"file://127.0.0.1/C$/Users/Someone/AppData/Local/Temp/Ema1.tmp/request-8f3a9c/evil.exe",
        u"Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"C:Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"C:\\Users\\Someone\\AppData\\Local\\Temp\\x\\..\\Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmpx\\...\\Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp.\\request-8f3a9c\\evil.exe",
        u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp \\request-8f3a9c\\evil.exe",
        u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp::$INDEX_ALLOCATION\\request-8f3a9c\\evil.exe",
        u"%TEMP%\\Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"file:///%TEMP%/Ema1.tmp/request-8f3a9c/evil.exe",
        u"%QUOTE%C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe%QUOTE% x",
        u"\"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe\"",
        u"\"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe\" arg ..\\..\\..\\..\\..",
        u"C:\\Links\\temp-link\\Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"Y:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\REQUES~1\\evil.exe",
        u"y:\\users\\someone\\appdata\\local\\temp\\ema1.tmp",
        u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\not-there.exe",
        u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp",
        u"%TEMP%\\Ema1.tmp",
    };
    for (const char16_t* text : spellings) {
        auto refusal = TextRefusal(text, kStaging, machine);
        ASSERT_TRUE(refusal) << Narrow(text);
        EXPECT_EQ(*refusal, u"names a staged attachment") << Narrow(text);
    }
}

TEST(ExecPolicy, PathsBesideTheStagingDirectoryAreAllowed) {
    FakeMachine machine;
    for (const char16_t* text : {
             u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmpx\\request-8f3a9c\\evil.exe",
             u"C:\\Users\\SOMEON~1\\AppData\\Local\\Temp\\EMA1~1.TMP\\REQUES~1\\evil.exe",
             u"C:\\Users\\Someone\\AppData\\Local\\Temp\\report.pdf",
             u"C:\\Users\\Someone\\AppData\\Local\\Temp",
             u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\..\\report.pdf",
             u"%TEMP%\\report.pdf",
             u"C:\\Links\\temp-link\\Ema1.tmpx\\request-8f3a9c\\evil.exe",
             u"Y:\\Users\\Someone\\AppData\\Local\\Temp\\report.pdf",
             u"report.pdf",
             u"D:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe",
             u"\\\\server\\C$\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe",
             u"file://server/C$/Users/Someone/AppData/Local/Temp/Ema1.tmp/x.exe",
             u"https://example.com/Ema1.tmp/x",
             u"notepad.exe",
             u"",
         }) {
        EXPECT_FALSE(TextRefusal(text, kStaging, machine)) << Narrow(text);
    }
}

// A staged program reached through a share of this machine under any of its
// names or addresses, or through a device path of the drive it lies on.
TEST(ExecPolicy, StagedFileIsRefusedThroughThisMachinesSharesAndDevices) {
    FakeMachine machine;
    const WideString below = u"\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe";
    const WideString urlBelow = u"/Someone/AppData/Local/Temp/Ema1.tmp/request-8f3a9c/evil.exe";
    const WideString texts[] = {
        u"\\\\DESKTOP-42\\users" + below,
        u"\\\\localhost\\users" + below,
        u"\\\\?\\UNC\\DESKTOP-42\\users" + below,
        u"file://DESKTOP-42/users" + urlBelow,
        u"\\\\192.168.1.20\\c$\\Users" + below,
        u"\\\\192.168.1.20\\users" + below,
        u"\\\\0xc0a80114\\USERS" + below,
        u"\\\\fe80--d00d-1s12.ipv6-literal.net\\users" + below,
        u"\\\\desktop-42-alias\\users" + below,
        u"\\\\desktop-42.corp.example.\\users" + below,
        u"\\\\DESKTOP-42.local\\users" + below,
        u"\\\\x.localhost\\users" + below,
        u"\\\\0.0.0.0\\users" + below,
        u"file://localhost/users" + urlBelow,
        u"file://192.168.1.20/users/Someone/AppData/Local/Temp/Ema1%2Etmp/request-8f3a9c/evil.exe",
        u"\\\\DESKTOP-42\\users\\SOMEON~1\\APPDAT~1\\Local\\Temp\\Ema1.tmp\\REQUES~1\\evil.exe",
        u"\\\\DESKTOP-42\\users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp.\\request-8f3a9c\\evil.exe",
        u"\\\\localhost\\staged\\request-8f3a9c\\evil.exe",
        u"\\\\localhost\\staged",
        u"\\\\?\\Volume{c0ffee}\\Users" + below,
        u"\\\\.\\VOLUME{C0FFEE}\\Users" + below,
        u"\\??\\Volume{c0ffee}\\Users" + below,
        u"\\\\?\\GLOBALROOT\\??\\Volume{c0ffee}\\Users" + below,
        u"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume3\\Users" + below,
        u"\\\\?\\GLOBALROOT\\Device\\Mup\\localhost\\users" + below,
        u"\\\\?\\unix\\home\\someone\\.wine\\drive_c\\Users" + below,
        u"file:////?/Volume{c0ffee}/Users" + urlBelow,
        // Devices whose root cannot be identified may lead anywhere.
        u"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume9\\Users" + below,
        u"\\\\?\\HarddiskVolume3\\Users" + below,
        u"\\\\?\\Volume{decade}\\x.exe",
    };
    for (const WideString& text : texts) {
        EXPECT_EQ(TextRefusal(text, kStaging, machine), WideString(u"names a staged attachment")) << Narrow(text);
    }
}

TEST(ExecPolicy, OtherHostsSharesAreNeverAskedAndPathsBesideTheStagingDirectoryPass) {
    FakeMachine machine;
    const WideString below = u"\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe";
    const WideString texts[] = {
        u"\\\\server\\users" + below,
        u"\\\\192.168.1.21\\users" + below,
        u"\\\\desktop-42-aliasx\\users" + below,
        u"\\\\?\\UNC\\server\\users" + below,
        u"file://server/users/Someone/AppData/Local/Temp/Ema1.tmp/request-8f3a9c/evil.exe",
        u"\\\\?\\GLOBALROOT\\Device\\Mup\\server\\users" + below,
        u"\\\\DESKTOP-42\\users\\Someone\\AppData\\Local\\Temp\\report.pdf",
        u"\\\\DESKTOP-42\\users\\Someone\\AppData\\Local\\Temp\\Ema1.tmpx\\request-8f3a9c\\evil.exe",
        u"\\\\localhost\\no-such-share" + below,
        u"\\\\?\\Volume{c0ffee}\\Users\\Someone\\AppData\\Local\\Temp\\report.pdf",
        u"\\\\?\\unix\\home\\someone\\.wine\\drive_c\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmpx",
        u"\\\\?\\unix\\tmp\\x.exe",
        u"\\\\?\\Volume{decade}",
    };
    for (const WideString& text : texts) {
        EXPECT_FALSE(TextRefusal(text, kStaging, machine)) << Narrow(text);
    }
    EXPECT_EQ(machine.remoteAsks, 0) << "another host's share was asked about";
}

TEST(ExecPolicy, NothingIsRefusedAsStagedWithoutAStagingDirectory) {
    FakeMachine machine;
    EXPECT_FALSE(
        PathRefusal(u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe", u"", machine));
    EXPECT_FALSE(PathRefusal(u"x", u"relative\\Ema1.tmp", machine));
}

TEST(ExecPolicy, CurrentDirectoryInsideTheStagingDirectoryRefusesRelativePaths) {
    FakeMachine machine;
    machine.currentDirectory_ = u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c";
    EXPECT_TRUE(TextRefusal(u"evil.exe", kStaging, machine));
    EXPECT_FALSE(TextRefusal(u"..\\..\\report.pdf", kStaging, machine));
}

// Texts the shell hands to a scheme's handler, and texts it may read as
// paths: drive letters are one-letter schemes, "file:" URLs and anything
// without a scheme are paths.
TEST(ExecPolicy, PlainAddressesAreTextsWithASchemeOtherThanFile) {
    const std::pair<const char16_t*, bool> cases[] = {
        {u"https://example.com/", true},
        {u"HTTP://example.com", true},
        {u"mailto:someone@example.com", true},
        {u"ab:x", true},
        {u"x-y.z+w1:rest", true},
        {u"zobrik-bench-none://example.com/x", true},
        {u"  \"https://example.com/\"", true},
        {u"url:https://example.com/", true},
        {u"h\ttps://example.com/", true},
        {u"https:C:\\Users", true},
        {u"C:\\Users\\x.exe", false},
        {u"c:x.exe", false},
        {u"C:/Users/x.exe", false},
        {u"C|/Users/x.exe", false},
        {u"\"C:\\Users\\x.exe\" https://example.com/", false},
        {u"file:///C:/x.exe", false},
        {u"FILE:x.exe", false},
        {u"url:file:///C:/x.exe", false},
        {u"url:", false},
        {u"\\\\server\\share\\x.exe", false},
        {u"//server/share/x.exe", false},
        {u"\\\\?\\C:\\x.exe", false},
        {u"\\\\.\\C:\\x.exe", false},
        {u"\\??\\C:\\x.exe", false},
        {u"\\\\?\\UNC\\server\\share", false},
        {u"relative\\x.exe", false},
        {u"x.exe", false},
        {u"..\\x.exe", false},
        {u"", false},
        {u":x", false},
        {u"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", false},
        {u"%TEMP%\\x.exe", false},
        {u"%SCHEME%:x", false},
        {u"a b:x", false},
        {u"a_b:x", false},
        {u"\u00e9t\u00e9:x", false},
    };
    for (const auto& [text, address] : cases) {
        EXPECT_EQ(IsPlainAddress(text), address) << Narrow(text);
    }
}

// The shell may look for an address as a file of the current directory
// before it hands it to the scheme's handler. An address skips the path
// checks only where none of its readings can reach the staging directory;
// wherever the current directory is, the answer is the full path check's.
TEST(ExecPolicy, AddressesAreRefusedWhereverTheFullPathCheckRefusesThem) {
    const WideString temp = u"C:\\Users\\Someone\\AppData\\Local\\Temp";
    const WideString staged = temp + u"\\Ema1.tmp\\request-8f3a9c";
    const WideString currentDirectories[] = {
        staged,                    // inside: every address is refused
        temp,                      // above: "ema1.tmp:" leads in
        u"C:\\Users\\Someone",     // above: "appdata:" leads in
        u"C:\\Links\\temp-link",   // above through a junction
        u"C:\\Windows\\System32",  // apart: only climbing leads in
        u"D:\\Work",               // another drive
    };
    const WideString addresses[] = {
        u"https://example.com/evil.exe",
        u"mailto:someone@example.com",
        u"ema1.tmp:x\\request-8f3a9c\\evil.exe",
        u"EMA1.TMP.:x/request-8f3a9c/evil.exe",
        u"appdata:x\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"https:\\..\\..\\..\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"https://x/../../../Users/Someone/AppData/Local/Temp/Ema1.tmp/request-8f3a9c/evil.exe",
        u"https:\\. .\\...\\Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"url:https:\\..\\..\\..\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"https:%TEMP%\\Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"https:\\...\\Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"https:\\%UP%\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe",
        u"\"https:\" x",
    };
    for (const WideString& directory : currentDirectories) {
        FakeMachine machine;
        machine.currentDirectory_ = directory;
        StagingDirectoryCache cache;
        for (const WideString& text : addresses) {
            ASSERT_TRUE(IsPlainAddress(text)) << Narrow(text);
            const bool refused = SchemeRefusal(text) || PathRefusal(text, kStaging, machine);
            EXPECT_EQ(TextRefusal(text, kStaging, machine, cache).has_value(), refused)
                << Narrow(directory) << " " << Narrow(text);
        }
        if (directory == staged) {
            EXPECT_TRUE(TextRefusal(u"https://example.com/", kStaging, machine, cache));
        }
    }
}

// Where the current directory is apart from the staging directory, what was
// found about it is kept: the next address asks nothing of the machine.
TEST(ExecPolicy, AnAddressAsksNothingOnceTheCurrentDirectoryIsKnownApart) {
    FakeMachine machine;
    machine.currentDirectory_ = u"C:\\Windows\\System32";
    StagingDirectoryCache cache;
    EXPECT_FALSE(TextRefusal(u"https://example.com/first", kStaging, machine, cache));
    const int asked = machine.identityCalls + machine.longPathCalls + machine.nameAsks;
    for (const char16_t* text : {u"https://example.com/evil.exe", u"mailto:someone@example.com", u"ab:evil.exe"}) {
        EXPECT_FALSE(TextRefusal(text, kStaging, machine, cache)) << Narrow(text);
    }
    EXPECT_EQ(machine.identityCalls + machine.longPathCalls + machine.nameAsks, asked);
    // Another current directory is looked at again.
    machine.currentDirectory_ = u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp";
    EXPECT_TRUE(TextRefusal(u"https://example.com/evil.exe", kStaging, machine, cache));
    // Paths are always checked, and the scheme refusals apply to addresses.
    machine.currentDirectory_ = u"C:\\Windows\\System32";
    for (const char16_t* text : {u"evil.exe", u"file:///C:/Users/Someone/AppData/Local/Temp/Ema1.tmp/x.exe",
                                 u"ms-msdt:/id PCWDiagnostic", u"%HALF%msdt:/id x", u"https://example.com/a%QUOTE%b"}) {
        const bool expected = WideStringView(text) != u"evil.exe";
        EXPECT_EQ(TextRefusal(text, kStaging, machine, cache).has_value(), expected) << Narrow(text);
    }
}

// A path on a drive names no host: the machine's names are not gathered.
TEST(ExecPolicy, DrivePathsNeedNotTheMachinesNames) {
    FakeMachine machine;
    EXPECT_FALSE(TextRefusal(u"C:\\no\\such\\x.exe", kStaging, machine));
    EXPECT_EQ(machine.nameAsks, 0);
    EXPECT_TRUE(
        TextRefusal(u"\\\\DESKTOP-42\\users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\x.exe", kStaging, machine));
    EXPECT_GT(machine.nameAsks, 0);
}

TEST(ExecPolicy, StagingDirectoryIsResolvedOnceWhileItStaysInPlace) {
    FakeMachine machine;
    StagingDirectoryCache cache;
    const auto first = cache.Resolve(kStaging, machine);
    ASSERT_TRUE(first && first->identity);
    EXPECT_EQ(first->path, u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp");
    const int resolvingCalls = machine.longPathCalls;
    for (int i = 0; i < 3; ++i) {
        const auto again = cache.Resolve(kStaging, machine);
        ASSERT_TRUE(again);
        EXPECT_EQ(again->path, first->path);
        EXPECT_EQ(again->identity, first->identity);
    }
    // Each check of what is kept asks for an identity or two, never for the
    // long names of every part again.
    EXPECT_LT(machine.longPathCalls - resolvingCalls, resolvingCalls);
    const WideString staged = u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe";
    EXPECT_TRUE(TextRefusal(u"\\\\localhost\\staged\\request-8f3a9c\\evil.exe", kStaging, machine, cache));
    EXPECT_TRUE(TextRefusal(staged, kStaging, machine, cache));
    EXPECT_FALSE(TextRefusal(u"C:\\Users\\Someone\\AppData\\Local\\Temp\\report.pdf", kStaging, machine, cache));
}

TEST(ExecPolicy, StagingDirectoryIsResolvedAgainWhenItCannotBeTrusted) {
    const WideString elsewhere = u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmpx";
    {
        // Replaced by another directory under the same name: the old
        // identity no longer counts.
        FakeMachine machine;
        StagingDirectoryCache cache;
        const auto first = cache.Resolve(kStaging, machine);
        ASSERT_TRUE(first && first->identity);
        machine.AddLink(u"c:\\users\\someone\\appdata\\local\\temp\\ema1.tmp", elsewhere);
        const auto replaced = cache.Resolve(kStaging, machine);
        ASSERT_TRUE(replaced && replaced->identity);
        EXPECT_NE(replaced->identity, first->identity);
        EXPECT_EQ(replaced->identity, machine.DirectoryIdentity(elsewhere));
    }
    {
        // Made only after the first text: resolved until it exists.
        FakeMachine machine;
        StagingDirectoryCache cache;
        const WideString later = u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema2.tmp";
        const auto missing = cache.Resolve(later, machine);
        ASSERT_TRUE(missing);
        EXPECT_FALSE(missing->identity);
        machine.AddExisting(later + u"\\request-1\\evil.exe");
        const auto made = cache.Resolve(later, machine);
        ASSERT_TRUE(made && made->identity);
        EXPECT_EQ(made->identity, machine.DirectoryIdentity(later));
        EXPECT_TRUE(TextRefusal(u"\\\\localhost\\users\\Someone\\AppData\\Local\\Temp\\Ema2.tmp\\request-1\\evil.exe",
                                later, machine, cache));
    }
    {
        // Another directory text (another TEMP) is resolved for itself.
        FakeMachine machine;
        StagingDirectoryCache cache;
        ASSERT_TRUE(cache.Resolve(kStaging, machine));
        const auto other = cache.Resolve(elsewhere, machine);
        ASSERT_TRUE(other && other->identity);
        EXPECT_EQ(other->path, elsewhere);
        EXPECT_EQ(other->identity, machine.DirectoryIdentity(elsewhere));
    }
}

}  // namespace
}  // namespace zobrik
