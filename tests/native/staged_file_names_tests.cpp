#include "mail/staged_file_names.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace zobrik {
namespace {

std::vector<MailAttachment> Attachments(std::initializer_list<const char16_t*> names) {
    std::vector<MailAttachment> out;
    for (const char16_t* name : names) {
        MailAttachment a;
        a.fileName = name;
        out.push_back(a);
    }
    return out;
}

TEST(StagedFileNames, BaseNameIsThePartAfterTheLastSeparatorOfEitherKind) {
    EXPECT_EQ(AttachmentBaseName(u"reports\\2024/summary.pdf"), u"summary.pdf");
    EXPECT_EQ(AttachmentBaseName(u"a/b\\c.txt"), u"c.txt");
    EXPECT_EQ(AttachmentBaseName(u"plain.txt"), u"plain.txt");
    EXPECT_EQ(AttachmentBaseName(u"dir\\"), u"");
    EXPECT_EQ(AttachmentBaseName(u"dir/"), u"");
    EXPECT_EQ(AttachmentBaseName(u""), u"");
    EXPECT_EQ(AttachmentBaseName(u"a/b/c.txt"), u"c.txt");
    EXPECT_EQ(AttachmentBaseName(u"a\\b\\c.txt"), u"c.txt");
}

TEST(StagedFileNames, ReservedDeviceNamesNeverReachADevice) {
    for (const char16_t* name : {u"CON", u"con", u"PRN", u"AUX", u"NUL", u"nul.txt", u"NUL.tar.gz", u"COM1",
                                 u"com9.log", u"LPT1", u"lpt0", u"COM\u00b9", u"LPT\u00b3.txt", u"CON .txt",
                                 u"aux", u"COM\u00b2"}) {
        EXPECT_TRUE(IsReservedDeviceName(name)) << std::string(name, name + std::char_traits<char16_t>::length(name));
        EXPECT_EQ(SafeFileName(name)[0], u'_');
    }
    EXPECT_EQ(SafeFileName(u"NUL.txt"), u"_NUL.txt");
    for (const char16_t* name : {u"CONSOLE", u"COM10", u"LPT", u"nullable.txt", u"xcon", u"COMA"}) {
        EXPECT_FALSE(IsReservedDeviceName(name));
        EXPECT_EQ(SafeFileName(name), name);
    }
}

TEST(StagedFileNames, StreamsAndInvalidCharactersAreReplaced) {
    EXPECT_EQ(SafeFileName(u"a:b"), u"a_b");
    EXPECT_EQ(SafeFileName(u"file.txt::$DATA"), u"file.txt__$DATA");
    EXPECT_EQ(SafeFileName(u"what?<>|*\".txt"), u"what______.txt");
    EXPECT_EQ(SafeFileName(u"tab\there\x01"), u"tab_here_");
    EXPECT_EQ(SafeFileName(u"last\x1f" u"control"), u"last_control");
    EXPECT_EQ(SafeFileName(u"path\\and/slash"), u"path_and_slash") << "a name given directly, not a base name";
}

TEST(StagedFileNames, TrailingDotsAndSpacesAndDotNamesAreMadeSafe) {
    EXPECT_EQ(SafeFileName(u"x.exe."), u"x.exe");
    EXPECT_EQ(SafeFileName(u"x.txt . "), u"x.txt");
    EXPECT_EQ(SafeFileName(u"."), u"attachment");
    EXPECT_EQ(SafeFileName(u".."), u"attachment");
    EXPECT_EQ(SafeFileName(u" . "), u"attachment");
    EXPECT_EQ(SafeFileName(u"NUL."), u"_NUL");
    EXPECT_EQ(SafeFileName(u".profile"), u".profile");
    EXPECT_EQ(SafeFileName(u""), u"") << "an empty name names no file";
}

TEST(StagedFileNames, EqualNamesWithinARequestBecomeUnique) {
    auto names = StagedFileNames(Attachments({u"a\\report.pdf", u"b/report.pdf", u"REPORT.PDF", u"other.txt",
                                              u"report (2).pdf", u"README", u"readme"}));
    EXPECT_EQ(names, (std::vector<std::u16string>{u"report.pdf", u"report (2).pdf", u"REPORT (3).PDF", u"other.txt",
                                                  u"report (2) (2).pdf", u"README", u"readme (2)"}));
}

TEST(StagedFileNames, NumberingSkipsNumbersAlreadyTaken) {
    auto names = StagedFileNames(Attachments({u"a.txt", u"a (2).txt", u"a.txt", u"A.TXT"}));
    EXPECT_EQ(names, (std::vector<std::u16string>{u"a.txt", u"a (2).txt", u"a (3).txt", u"A (4).TXT"}));
}

TEST(StagedFileNames, Latin1LettersFoldFromAGraveToThorn) {
    // U+00E0..U+00FE fold onto U+00C0..U+00DE; y with diaeresis (U+00FF) has
    // no upper case there and stays apart from sharp s (U+00DF).
    auto names = StagedFileNames(
        Attachments({u"\u00e0.txt", u"\u00c0.TXT", u"\u00fe", u"\u00de", u"\u00ff", u"\u00df"}));
    EXPECT_EQ(names, (std::vector<std::u16string>{u"\u00e0.txt", u"\u00c0 (2).TXT", u"\u00fe", u"\u00de (2)",
                                                  u"\u00ff", u"\u00df"}));
}

TEST(StagedFileNames, LetterCaseOfLatin1IsFoldedButSignsHaveNone) {
    // The division sign U+00F7 and the multiplication sign U+00D7 stand where
    // a lower and an upper letter would, but they are signs without case:
    // names that differ only in them are different names.
    auto names = StagedFileNames(Attachments({u"a\u00f7.txt", u"a\u00d7.txt", u"\u00e9t\u00e9.txt", u"\u00c9T\u00c9.TXT"}));
    EXPECT_EQ(names, (std::vector<std::u16string>{u"a\u00f7.txt", u"a\u00d7.txt", u"\u00e9t\u00e9.txt",
                                                  u"\u00c9T\u00c9 (2).TXT"}));
}

TEST(StagedFileNames, NumberOfANameWithOnlyALeadingDotGoesAtItsEnd) {
    auto names = StagedFileNames(Attachments({u".profile", u"home/.profile", u".PROFILE", u"x.tar.gz", u"x.tar.gz"}));
    EXPECT_EQ(names, (std::vector<std::u16string>{u".profile", u".profile (2)", u".PROFILE (3)", u"x.tar.gz",
                                                  u"x.tar (2).gz"}));
}

TEST(StagedFileNames, ManyEqualNamesStayDistinct) {
    std::vector<MailAttachment> attachments(2000);
    for (auto& a : attachments) {
        a.fileName = u"same.bin";
    }
    auto names = StagedFileNames(attachments);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
    EXPECT_EQ(names.size(), 2000u);
}

TEST(StagedFileNames, EmptyBaseNamesStayEmptyAndAreNotNumbered) {
    auto names = StagedFileNames(Attachments({u"dir\\", u"", u"x/"}));
    EXPECT_EQ(names, (std::vector<std::u16string>{u"", u"", u""}));
}

// One unit placed between "a" and "b".
std::u16string Around(char16_t c) { return std::u16string(u"a") + c + u"b"; }

std::string Hex(char16_t c) {
    char text[8];
    std::snprintf(text, sizeof text, "U+%04X", unsigned(c));
    return text;
}

TEST(StagedFileNames, ConsoleAndClockDevicesAreReservedToo) {
    for (const char16_t* name : {u"CONIN$", u"conin$", u"CONOUT$", u"ConOut$", u"CLOCK$", u"clock$", u"CONIN$.txt",
                                 u"conout$.tar.gz", u"CLOCK$ .log", u"CONIN$  "}) {
        EXPECT_TRUE(IsReservedDeviceName(name)) << std::string(name, name + std::char_traits<char16_t>::length(name));
        EXPECT_EQ(SafeFileName(name)[0], u'_');
    }
    EXPECT_EQ(SafeFileName(u"CONOUT$.txt"), u"_CONOUT$.txt");
    EXPECT_EQ(SafeFileName(u"clock$ . "), u"_clock$");
    for (const char16_t* name : {u"CONIN", u"CONOUT", u"CLOCK", u"CONIN$$", u"CONOUT$1", u"xCLOCK$", u"CON$",
                                 u"my CONIN$.txt"}) {
        EXPECT_FALSE(IsReservedDeviceName(name));
        EXPECT_EQ(SafeFileName(name), name);
    }
}

TEST(StagedFileNames, ControlsBidiFormattingAndLookAlikesAreReplaced) {
    const char16_t controls[] = {0x7F, 0x80, 0x85, 0x9F};
    const char16_t bidi[] = {0x061C, 0x200E, 0x200F, 0x202A, 0x202B, 0x202C, 0x202D, 0x202E,
                             0x2066, 0x2067, 0x2068, 0x2069};
    const char16_t dots[] = {0x2024, 0xFE52, 0xFF0E, 0xFF61, 0x3002};
    const char16_t slashes[] = {0x00B4, 0x2044, 0x2215, 0x2571, 0x29F8, 0xFF0F};
    const char16_t backslashes[] = {0x00A5, 0x20A9, 0x2216, 0x2572, 0x29F5, 0x29F9, 0xFE68, 0xFF3C};
    const char16_t colons[] = {0x0589, 0x2236, 0xFE13, 0xFE55, 0xFF1A};
    const char16_t quotes[] = {0x02BA, 0x030E, 0x301D, 0x301E, 0xFF02};
    const char16_t otherFullwidth[] = {0xFF0A, 0xFF1C, 0xFF1E, 0xFF1F, 0xFF5C};
    auto expectReplaced = [](const auto& group) {
        for (char16_t c : group) {
            EXPECT_EQ(SafeFileName(Around(c)), u"a_b") << Hex(c);
        }
    };
    expectReplaced(controls);
    expectReplaced(bidi);
    expectReplaced(dots);
    expectReplaced(slashes);
    expectReplaced(backslashes);
    expectReplaced(colons);
    expectReplaced(quotes);
    expectReplaced(otherFullwidth);

    // Their neighbours, and letters and signs of the same blocks, stay.
    for (char16_t c : {0x7E, 0xA0, 0xA4, 0xA6, 0xB3, 0x061B, 0x061D, 0x200D, 0x2010, 0x2029, 0x202F, 0x2065, 0x206A,
                       0x2023, 0x2025, 0x2043, 0x2214, 0x2217, 0x2235, 0xFE51, 0xFE56, 0xFF0D, 0xFF10, 0xFF21,
                       0xFF3D, 0xFF62, 0x3001, 0x3003}) {
        EXPECT_EQ(SafeFileName(Around(c)), Around(c)) << Hex(c);
    }
}

TEST(StagedFileNames, ReplacedCharactersKeepTheTrailingAndDeviceRules) {
    EXPECT_EQ(SafeFileName(u"invoice.exe\uff0e"), u"invoice.exe_") << "a look-alike is no trailing dot";
    EXPECT_EQ(SafeFileName(u"a\u3002\u3002"), u"a__");
    EXPECT_EQ(SafeFileName(u"\uff0e\uff0e"), u"__") << "nor a name of dots only";
    EXPECT_EQ(SafeFileName(u"report\u202efdp.exe"), u"report_fdp.exe");
    EXPECT_EQ(SafeFileName(u"CON\uff0etxt"), u"CON_txt") << "nor does it end a device's stem";
    EXPECT_EQ(SafeFileName(u"NUL\u200e"), u"NUL_");
    EXPECT_EQ(SafeFileName(u"..\uff0f..\uff0fstartup.lnk"), u".._.._startup.lnk");
    EXPECT_EQ(SafeFileName(u"x.txt\u00a0"), u"x.txt\u00a0") << "only the space U+0020 is a trailing blank";
}

}  // namespace
}  // namespace zobrik
