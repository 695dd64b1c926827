#include <cstdio>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "mail/staged_file_names.h"

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
    for (const char16_t* name :
         {u"CON", u"con", u"PRN", u"AUX", u"NUL", u"nul.txt", u"NUL.tar.gz", u"COM1", u"com9.log", u"LPT1", u"lpt0",
          u"COM\u00b9", u"LPT\u00b3.txt", u"CON .txt", u"aux", u"COM\u00b2"}) {
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
    EXPECT_EQ(SafeFileName(u"last\x1f"
                           u"control"),
              u"last_control");
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
    auto names = StagedFileNames(Attachments(
        {u"a\\report.pdf", u"b/report.pdf", u"REPORT.PDF", u"other.txt", u"report (2).pdf", u"README", u"readme"}));
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
    auto names =
        StagedFileNames(Attachments({u"\u00e0.txt", u"\u00c0.TXT", u"\u00fe", u"\u00de", u"\u00ff", u"\u00df"}));
    EXPECT_EQ(names, (std::vector<std::u16string>{u"\u00e0.txt", u"\u00c0 (2).TXT", u"\u00fe", u"\u00de (2)", u"\u00ff",
                                                  u"\u00df"}));
}

TEST(StagedFileNames, LetterCaseOfLatin1IsFoldedButSignsHaveNone) {
    // The division sign U+00F7 and the multiplication sign U+00D7 stand where
    // a lower and an upper letter would, but they are signs without case:
    // names that differ only in them are different names.
    auto names =
        StagedFileNames(Attachments({u"a\u00f7.txt", u"a\u00d7.txt", u"\u00e9t\u00e9.txt", u"\u00c9T\u00c9.TXT"}));
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

std::u16string Repeat(size_t count, char16_t c) { return std::u16string(count, c); }

const std::u16string kSmiley = u"\U0001F600";  // a surrogate pair

TEST(StagedFileNames, ConsoleAndClockDevicesAreReservedToo) {
    for (const char16_t* name : {u"CONIN$", u"conin$", u"ConOut$", u"CLOCK$", u"clock$", u"CONIN$.txt",
                                 u"conout$.tar.gz", u"CLOCK$ .log", u"CONIN$  "}) {
        EXPECT_TRUE(IsReservedDeviceName(name)) << std::string(name, name + std::char_traits<char16_t>::length(name));
        EXPECT_EQ(SafeFileName(name)[0], u'_');
    }
    EXPECT_EQ(SafeFileName(u"clock$ . "), u"_clock$");
    for (const char16_t* name : {u"CONIN", u"CONOUT", u"CLOCK", u"CONIN$$", u"CONOUT$1", u"xCLOCK$", u"CON$"}) {
        EXPECT_FALSE(IsReservedDeviceName(name));
        EXPECT_EQ(SafeFileName(name), name);
    }
}

TEST(StagedFileNames, ControlsBidiFormattingAndLookAlikesAreReplaced) {
    for (char16_t c : {0x007F, 0x0080, 0x0085, 0x009F,                                  // DEL, C1
                       0x061C, 0x200E, 0x200F, 0x202A, 0x202B, 0x202C, 0x202D, 0x202E,  // bidi
                       0x2066, 0x2067, 0x2068, 0x2069,                                  //
                       0x2024, 0xFE52, 0xFF0E, 0xFF61, 0x3002,                          // .
                       0x00B4, 0x2044, 0x2215, 0x2571, 0x29F8, 0xFF0F,                  // /
                       0x00A5, 0x20A9, 0x2216, 0x2572, 0x29F5, 0x29F9, 0xFE68, 0xFF3C,  // backslash
                       0x0589, 0x2236, 0xFE13, 0xFE55, 0xFF1A,                          // :
                       0x02BA, 0x030E, 0x301D, 0x301E, 0xFF02,                          // "
                       0xFF0A, 0xFF1C, 0xFF1E, 0xFF1F, 0xFF5C}) {                       // * < > ? |
        EXPECT_EQ(SafeFileName(Around(c)), u"a_b") << Hex(c);
    }
    // Their neighbours, and letters and signs of the same blocks, stay.
    for (char16_t c : {0x7E,   0xA0,   0xA4,   0xA6,   0xB3,   0x061B, 0x061D, 0x200D, 0x2010, 0x2029,
                       0x202F, 0x2065, 0x206A, 0x2023, 0x2025, 0x2043, 0x2214, 0x2217, 0x2235, 0xFE51,
                       0xFE56, 0xFF0D, 0xFF10, 0xFF21, 0xFF3D, 0xFF62, 0x3001, 0x3003}) {
        EXPECT_EQ(SafeFileName(Around(c)), Around(c)) << Hex(c);
    }
}

TEST(StagedFileNames, ReplacedCharactersKeepTheTrailingAndDeviceRules) {
    EXPECT_EQ(SafeFileName(u"invoice.exe\uff0e"), u"invoice.exe_") << "a look-alike is no trailing dot";
    EXPECT_EQ(SafeFileName(u"\uff0e\uff0e"), u"__") << "nor a name of dots only";
    EXPECT_EQ(SafeFileName(u"CON\uff0etxt"), u"CON_txt") << "nor does it end a device's stem";
    EXPECT_EQ(SafeFileName(u"NUL\u200e"), u"NUL_");
    EXPECT_EQ(SafeFileName(u"..\uff0f..\uff0fstartup.lnk"), u".._.._startup.lnk");
    EXPECT_EQ(SafeFileName(u"x.txt\u00a0"), u"x.txt\u00a0") << "only the space U+0020 is a trailing blank";
}

TEST(StagedFileNames, LongNamesAreCutToTheLimit) {
    // The stem is shortened, the extension kept; without one the end is cut.
    EXPECT_EQ(SafeFileName(Repeat(300, u'a') + u".pdf"), Repeat(251, u'a') + u".pdf");
    EXPECT_EQ(SafeFileName(Repeat(251, u'a') + u".pdf"), Repeat(251, u'a') + u".pdf") << "255 units fit";
    EXPECT_EQ(SafeFileName(Repeat(256, u'a')), Repeat(255, u'a'));
    EXPECT_EQ(SafeFileName(u"." + Repeat(300, u'p')), u"." + Repeat(254, u'p')) << "a leading dot is no extension";

    // A surrogate pair at the cut goes as a whole; one just before it, or a
    // first half without its second, stays.
    EXPECT_EQ(SafeFileName(Repeat(250, u'a') + kSmiley + u"b.pdf"), Repeat(250, u'a') + u".pdf");
    EXPECT_EQ(SafeFileName(Repeat(249, u'a') + kSmiley + u"b.pdf"), Repeat(249, u'a') + kSmiley + u".pdf");
    EXPECT_EQ(SafeFileName(Repeat(254, u'a') + kSmiley), Repeat(254, u'a'));
    const std::u16string loneHigh = Repeat(254, u'a') + char16_t(0xD800);
    EXPECT_EQ(SafeFileName(loneHigh + u"zz"), loneHigh);

    // An extension that leaves no stem (from exactly the limit) is cut at its
    // end, and then the trailing and device rules apply again.
    EXPECT_EQ(SafeFileName(u"ab." + Repeat(254, u'x')), u"ab." + Repeat(252, u'x'));
    EXPECT_EQ(SafeFileName(u"a." + Repeat(252, u'x') + kSmiley), u"a." + Repeat(252, u'x'));
    EXPECT_EQ(SafeFileName(u"a." + Repeat(252, u'x') + u" yy"), u"a." + Repeat(252, u'x'));
    EXPECT_EQ(SafeFileName(Repeat(10, u' ') + u"." + Repeat(300, u' ') + u"x"), u"attachment");
    const std::u16string ext = u"." + Repeat(251, u'e');
    EXPECT_EQ(SafeFileName(u"CONSOLE" + ext), u"_CO" + ext) << "cut to CON, prefixed, cut again";
    EXPECT_EQ(SafeFileName(u"CON" + Repeat(300, u' ') + u".txt"), u"_CON" + Repeat(247, u' ') + u".txt");
}

TEST(StagedFileNames, NumberedVariantsFitTheLimitKeepingCounterAndExtension) {
    EXPECT_EQ(NumberedFileName(u"report.pdf", 2), u"report (2).pdf");
    EXPECT_EQ(NumberedFileName(u"README", 12), u"README (12)");
    EXPECT_EQ(NumberedFileName(u".profile", 3), u".profile (3)");
    EXPECT_EQ(NumberedFileName(u"x.tar.gz", 4294967295u), u"x.tar (4294967295).gz");

    const std::u16string full = Repeat(251, u'a') + u".pdf";
    EXPECT_EQ(NumberedFileName(full, 2), Repeat(247, u'a') + u" (2).pdf");
    EXPECT_EQ(NumberedFileName(full, 10), Repeat(246, u'a') + u" (10).pdf");
    EXPECT_EQ(NumberedFileName(Repeat(246, u'a') + kSmiley + u"bbb.pdf", 2), Repeat(246, u'a') + u" (2).pdf");
    EXPECT_EQ(NumberedFileName(u"." + Repeat(254, u'p'), 2), u"." + Repeat(250, u'p') + u" (2)");

    // An extension of 241 units is kept beside any counter; one of 242 is
    // not, and the counter goes at the end.
    const std::u16string ext241 = u"." + Repeat(240, u'e');
    EXPECT_EQ(NumberedFileName(u"abc" + ext241, 4294967295u), u"a (4294967295)" + ext241);
    const std::u16string ext242 = u"." + Repeat(241, u'e');
    EXPECT_EQ(NumberedFileName(u"abc" + ext242, 2), u"abc" + ext242 + u" (2)");
    EXPECT_EQ(NumberedFileName(Repeat(13, u'a') + ext242, 2), (Repeat(13, u'a') + ext242).substr(0, 251) + u" (2)");
    EXPECT_EQ(NumberedFileName(u"a." + Repeat(248, u'x') + kSmiley + u"yyy", 7), u"a." + Repeat(248, u'x') + u" (7)");

    // The variants of one name all differ, whatever their form.
    for (const std::u16string& safe :
         {std::u16string(u"a.txt"), full, Repeat(255, u'n'), u"a." + Repeat(252, u'x'),
          Repeat(120, u'a') + kSmiley + Repeat(120, u'b') + u".doc", u"ab." + Repeat(239, u'e') + u" (2)"}) {
        std::set<std::u16string> variants;
        for (unsigned n : {2u, 3u, 9u, 10u, 99u, 100u, 999u, 1000u, 99999u, 4294967295u}) {
            std::u16string variant = NumberedFileName(safe, n);
            EXPECT_LE(variant.size(), kMaxFileNameUnits);
            EXPECT_TRUE(variants.insert(variant).second) << variant.size();
        }
    }
}

TEST(StagedFileNames, DuplicatesOfLongNamesAreNumberedWithinTheLimit) {
    const std::u16string name = Repeat(250, u'x') + u".docx";
    const std::u16string longer = Repeat(400, u'y');
    auto names =
        StagedFileNames(Attachments({name.c_str(), name.c_str(), name.c_str(), longer.c_str(), longer.c_str()}));
    EXPECT_EQ(names,
              (std::vector<std::u16string>{name, Repeat(246, u'x') + u" (2).docx", Repeat(246, u'x') + u" (3).docx",
                                           Repeat(255, u'y'), Repeat(251, u'y') + u" (2)"}));
}

MailAttachment Sent(const char16_t* fileName, const char16_t* stagedPath = nullptr) {
    MailAttachment a;
    a.fileName = fileName;
    a.stagedPath = stagedPath;
    return a;
}

TEST(StagedFileNames, OfferedNameCarriesNoPathPartOrLookAlikeOfOne) {
    struct Case {
        const char16_t* sent;
        const char16_t* offered;
    };
    const Case cases[] = {
        {u"..\\..\\..\\x3", u"x3"},
        {u"\\\\?\\UNC\\host\\share\\x10", u"x10"},
        {u"C:..\\x5", u"x5"},
        {u"\uff0e\uff0e\uff3cx17", u"___x17"},
        {u"C:x5", u"C_x5"},
        {u"a\u2044b\u2215c\uff0fd\u29f8e\u00a5f\ufe68g", u"a_b_c_d_e_f_g"},
        {u"\u3002\uff61\u2024\ufe52.txt", u"____.txt"},
        {u"docs/re\u202eport\x01.pdf", u"report.pdf"},
        {u"x\u200f/\u2066\u0085CON", u"_CON"},
        {u"in\u202e\u2069fdp.exe. . ", u"infdp.exe"},
        {u"file.txt::$DATA", u"file.txt__$DATA"},
        {u"\U0001F600.png", u"\U0001F600.png"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OfferedFileName(Sent(c.sent)), c.offered);
    }
    // A name as sent ends at its first 0 unit.
    for (char16_t c : {0x01, 0x1F, 0x7F, 0x80, 0x9F, 0x061C, 0x200E, 0x200F, 0x202A, 0x202E, 0x2066, 0x2069}) {
        std::u16string sent = Around(c);
        EXPECT_EQ(OfferedFileName(Sent(sent.c_str())), u"ab") << Hex(c);
    }
    EXPECT_EQ(OfferedFileName(Sent(nullptr)), u"") << "no name stays no name";
}

TEST(StagedFileNames, OfferedNameOfAStagedFileIsItsStagedName) {
    EXPECT_EQ(OfferedFileName(Sent(u"a\\notes.txt", u"C:\\Temp\\Zobrik\\7-1\\notes (2).txt")), u"notes (2).txt");
    EXPECT_EQ(OfferedFileName(Sent(u"..\\x3", u"/tmp/zobrik/7-1/x3")), u"x3");
    // Every staged name comes back unchanged.
    const std::u16string longName = Repeat(300, u'n') + u".pdf";
    auto attachments =
        Attachments({u"C:..\\x5", u"\uff0e\uff0e\uff3cx17", u"CON", u"x5", u"X5", u"t\u202e.txt", longName.c_str()});
    std::vector<std::u16string> names = StagedFileNames(attachments);
    for (size_t i = 0; i < names.size(); ++i) {
        std::u16string path = u"C:\\staging\\1-1\\" + names[i];
        attachments[i].stagedPath = path.c_str();
        EXPECT_EQ(OfferedFileName(attachments[i]), names[i]);
    }
}

}  // namespace
}  // namespace zobrik
