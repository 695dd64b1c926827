#include "mail/staged_file_names.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
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

TEST(StagedFileNames, LongNamesAreCutToTheLimitKeepingTheExtension) {
    const std::u16string ext = u".pdf";
    EXPECT_EQ(SafeFileName(std::u16string(300, u'a') + ext), std::u16string(251, u'a') + ext);
    EXPECT_EQ(SafeFileName(std::u16string(251, u'a') + ext), std::u16string(251, u'a') + ext) << "255 units fit";
    EXPECT_EQ(SafeFileName(std::u16string(252, u'a') + ext), std::u16string(251, u'a') + ext);
    EXPECT_EQ(SafeFileName(std::u16string(256, u'a')), std::u16string(255, u'a')) << "no extension: cut at the end";
    EXPECT_EQ(SafeFileName(u"." + std::u16string(300, u'p')), u"." + std::u16string(254, u'p'))
        << "a leading dot is no extension";

    // A surrogate pair at the cut goes as a whole; one just before it stays.
    const std::u16string smiley = u"\U0001F600";
    EXPECT_EQ(SafeFileName(std::u16string(250, u'a') + smiley + u"bbb" + ext), std::u16string(250, u'a') + ext);
    EXPECT_EQ(SafeFileName(std::u16string(249, u'a') + smiley + u"bbb" + ext),
              std::u16string(249, u'a') + smiley + ext);
    EXPECT_EQ(SafeFileName(std::u16string(254, u'a') + smiley), std::u16string(254, u'a'));
    const std::u16string loneHigh = std::u16string(254, u'a') + char16_t(0xD800);
    EXPECT_EQ(SafeFileName(loneHigh + u"zz"), loneHigh) << "a first half without its second is no pair to keep";
}

TEST(StagedFileNames, AnExtensionTooLongToKeepIsCutAtTheEnd) {
    const std::u16string x253(253, u'x');
    EXPECT_EQ(SafeFileName(u"a." + x253 + u"yyy"), u"a." + x253);
    EXPECT_EQ(SafeFileName(u"ab." + std::u16string(254, u'x')), u"ab." + std::u16string(252, u'x'))
        << "an extension of exactly the limit leaves no room for a stem";
    EXPECT_EQ(SafeFileName(u"a." + std::u16string(252, u'x') + u" yy"), u"a." + std::u16string(252, u'x'))
        << "the cut leaves no trailing blank";
    EXPECT_EQ(SafeFileName(u"a." + std::u16string(252, u'x') + u"\U0001F600z"), u"a." + std::u16string(252, u'x'));
    EXPECT_EQ(SafeFileName(std::u16string(10, u' ') + u"." + std::u16string(300, u' ') + u"x"), u"attachment")
        << "nothing but blanks and a dot within the limit";
}

TEST(StagedFileNames, CutNamesStayOffDevices) {
    const std::u16string ext = u"." + std::u16string(251, u'e');
    // The cut leaves the stem "CON", which gets the prefix, which needs one
    // more unit of the stem.
    std::u16string safe = SafeFileName(u"CONSOLE" + ext);
    EXPECT_EQ(safe, u"_CO" + ext);
    EXPECT_FALSE(IsReservedDeviceName(safe));
    safe = SafeFileName(u"CON" + std::u16string(300, u' ') + u".txt");
    EXPECT_EQ(safe, u"_CON" + std::u16string(247, u' ') + u".txt");
}

TEST(StagedFileNames, NumberedVariantsFitTheLimitKeepingCounterAndExtension) {
    EXPECT_EQ(NumberedFileName(u"report.pdf", 2), u"report (2).pdf");
    EXPECT_EQ(NumberedFileName(u"README", 12), u"README (12)");
    EXPECT_EQ(NumberedFileName(u".profile", 3), u".profile (3)");
    EXPECT_EQ(NumberedFileName(u"x.tar.gz", 4294967295u), u"x.tar (4294967295).gz");

    const std::u16string ext = u".pdf";
    const std::u16string full = std::u16string(251, u'a') + ext;  // 255 units
    EXPECT_EQ(NumberedFileName(full, 2), std::u16string(247, u'a') + u" (2)" + ext);
    EXPECT_EQ(NumberedFileName(full, 10), std::u16string(246, u'a') + u" (10)" + ext);
    EXPECT_EQ(NumberedFileName(std::u16string(246, u'a') + u"\U0001F600bbb" + ext, 2),
              std::u16string(246, u'a') + u" (2)" + ext)
        << "a surrogate pair at the cut goes as a whole";
    EXPECT_EQ(NumberedFileName(u"." + std::u16string(254, u'p'), 2), u"." + std::u16string(250, u'p') + u" (2)");

    // An extension of 241 units is kept beside any counter; one of 242 is not.
    const std::u16string ext241 = u"." + std::u16string(240, u'e');
    EXPECT_EQ(NumberedFileName(u"abcdefghij" + ext241, 2), u"abcdefghij (2)" + ext241);
    EXPECT_EQ(NumberedFileName(u"abc" + ext241, 4294967295u), u"a (4294967295)" + ext241);
    const std::u16string ext242 = u"." + std::u16string(241, u'e');
    EXPECT_EQ(NumberedFileName(u"abc" + ext242, 2), u"abc" + ext242 + u" (2)") << "short enough as it is";
    const std::u16string long242 = std::u16string(13, u'a') + ext242;  // 255 units
    EXPECT_EQ(NumberedFileName(long242, 2), long242.substr(0, 251) + u" (2)");
    EXPECT_EQ(NumberedFileName(u"a." + std::u16string(248, u'x') + u"\U0001F600yyy", 7),
              u"a." + std::u16string(248, u'x') + u" (7)")
        << "the counter at the end, not splitting the pair before it";
}

TEST(StagedFileNames, NumberedVariantsOfOneNameAllDiffer) {
    const std::u16string smiley = u"\U0001F600";
    for (const std::u16string& safe :
         {std::u16string(u"a.txt"), std::u16string(251, u'a') + u".pdf", std::u16string(255, u'n'),
          u"a." + std::u16string(252, u'x'), std::u16string(120, u'a') + smiley + std::u16string(120, u'b') + u".doc",
          u"ab." + std::u16string(239, u'e') + u" (2)", u"." + std::u16string(254, u'p')}) {
        std::set<std::u16string> variants;
        for (unsigned n : {2u, 3u, 9u, 10u, 99u, 100u, 999u, 1000u, 99999u, 4294967295u}) {
            std::u16string variant = NumberedFileName(safe, n);
            EXPECT_LE(variant.size(), kMaxFileNameUnits);
            EXPECT_TRUE(variants.insert(variant).second) << variant.size();
        }
    }
}

TEST(StagedFileNames, DuplicatesOfLongNamesAreNumberedWithinTheLimit) {
    const std::u16string name = std::u16string(250, u'x') + u".docx";  // 255 units
    auto names = StagedFileNames(Attachments({name.c_str(), name.c_str(), name.c_str()}));
    EXPECT_EQ(names, (std::vector<std::u16string>{name, std::u16string(246, u'x') + u" (2).docx",
                                                  std::u16string(246, u'x') + u" (3).docx"}));
    const std::u16string longer = std::u16string(400, u'y');
    names = StagedFileNames(Attachments({longer.c_str(), longer.c_str()}));
    EXPECT_EQ(names, (std::vector<std::u16string>{std::u16string(255, u'y'), std::u16string(251, u'y') + u" (2)"}));
}

TEST(StagedFileNames, OfferedNameLosesOnlyControlsAndBidiFormatting) {
    EXPECT_EQ(OfferedFileName(u"docs/re\u202eport\x01.pdf"), u"docs/report.pdf");
    EXPECT_EQ(OfferedFileName(u"\u2066\u2067\u2068\u2069\u200e\u200f\u061c\t\r\n\x7f\u0080\u009f"), u"");
    for (char16_t c : {0x00, 0x01, 0x1F, 0x7F, 0x80, 0x9F, 0x061C, 0x200E, 0x200F, 0x202A, 0x202E, 0x2066, 0x2069}) {
        EXPECT_EQ(OfferedFileName(Around(c)), u"ab") << Hex(c);
    }
    // Everything else is offered as sent: invalid characters, look-alikes,
    // neighbours of the removed ranges, path parts, trailing dots.
    for (const char16_t* name : {u"C:\\dir/a:b?.pdf", u"a\uff0e\uff0f\u2215\u00a5.txt", u"~\u00a0\u200d\u2010\u202f",
                                 u"\u2065\u206a\u061b\u061d", u"CON.txt", u"x.exe. ", u"\U0001F600.png", u""}) {
        EXPECT_EQ(OfferedFileName(name), name);
    }
}

}  // namespace
}  // namespace zobrik
