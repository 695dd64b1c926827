#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "exec/exec_confirmation_text.h"
#include "include/ascii_text.h"

namespace zobrik {
namespace {

// Stands in for the platform's IDNA conversion: knows one name.
std::optional<WideString> KnownPunycode(WideStringView host) {
    if (host == u"intr\u0430net.example.com") {
        return WideString(u"xn--intrnet-5fg.example.com");
    }
    return std::nullopt;
}

std::vector<WideString> Lines(const WideString& message) {
    std::vector<WideString> lines(1);
    for (WideChar c : message) {
        if (c == u'\n') {
            lines.emplace_back();
        } else {
            lines.back() += c;
        }
    }
    return lines;
}

TEST(ConfirmationHeading, SchemeAndHostInAFormNoLookAlikeCanImitate) {
    struct Case {
        const char16_t* text;
        const char16_t* heading;
    };
    const Case cases[] = {
        {u"https://intr\u0430net.example.com/", u"https://xn--intrnet-5fg.example.com"},
        {u"HTTPS://User:pw@INTR\u0430NET.Example.COM.:8443/x?y#z", u"https://xn--intrnet-5fg.example.com"},
        {u" \"url:http://host/a b\" ", u"http://host"},
        {u"http:\\\\host\\share", u"http://host"},
        {u"ht\ttps://ho\nst/", u"https://host"},
        {u"https://[::1]:8080/", u"https://[::1]"},
        {u"https://ev%69l.example/", u"https://evil.example"},
        {u"https://\u0432\u0430\u0437.example/", u"https://<U+0432><U+0430><U+0437>.example"},
        {u"https://ho\u202est/", u"https://ho<U+202E>st"},
        {u"https://a\x01"
         u"b/",
         u"https://a<U+0001>b"},
        {u"mailto:ann@example.com", u"mailto:"},
        {u"C:\\dir\\intr\u0430net.exe", u""},
        {u"\\\\server\\share\\x.exe", u""},
        {u"file://server/share/x.exe", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ConfirmationHeading(c.text, KnownPunycode), c.heading);
    }
    // Without a conversion, or with one that gives no ASCII, the codes show.
    EXPECT_EQ(ConfirmationHeading(u"https://intr\u0430net.example.com/", nullptr),
              u"https://intr<U+0430>net.example.com");
    EXPECT_EQ(ConfirmationHeading(u"https://intr\u0430net.example.com/",
                                  [](WideStringView) { return std::optional<WideString>(u"intr\u0430net"); }),
              u"https://intr<U+0430>net.example.com");
}

TEST(ConfirmationText, LinesNeverSplitACharacterOrACode) {
    struct Case {
        WideString text;
        WideString firstLine;
        size_t lines;
    };
    const Case cases[] = {
        {u"short", u"short", 1},
        {WideString(64, u'a'), WideString(64, u'a'), 1},
        {WideString(65, u'a'), WideString(64, u'a'), 2},
        {WideString(20, u'\u202e'),
         WideString(u"<U+202E>").append(u"<U+202E><U+202E><U+202E>").append(u"<U+202E><U+202E><U+202E><U+202E>"), 3},
        {u"x" + WideString(8, u'\u200b'), u"x<U+200B><U+200B><U+200B><U+200B><U+200B><U+200B><U+200B>", 2},
        {WideString(40, u'\u4e00'), WideString(32, u'\u4e00'), 2},
    };
    for (const Case& c : cases) {
        std::vector<WideString> lines = ConfirmationTextLines(c.text);
        ASSERT_EQ(lines.size(), c.lines);
        EXPECT_EQ(lines[0], c.firstLine);
    }
    WideString emoji;
    for (int i = 0; i < 33; ++i) {
        emoji += u"\U0001F600";
    }
    std::vector<WideString> lines = ConfirmationTextLines(emoji);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), 64u) << "32 pairs of two columns";
    EXPECT_EQ(lines[1], u"\U0001F600");
    EXPECT_EQ(ConfirmationTextLines(u"a\xd800"
                                    u"b"),
              std::vector<WideString>{u"a<U+D800>b"})
        << "a lone half";
}

TEST(ConfirmationText, ALongTextIsShortenedInItsMiddle) {
    const WideString fits(kConfirmationTextLines * kConfirmationLineColumns, u'f');
    EXPECT_EQ(ConfirmationTextLines(fits).size(), kConfirmationTextLines);
    EXPECT_EQ(ConfirmationTextLines(fits + u"!").size(), kConfirmationTextLines);

    WideString text;
    for (int i = 0; i < 2048; ++i) {
        text += WideChar(u'A' + i % 26);
    }
    std::vector<WideString> lines = ConfirmationTextLines(text);
    ASSERT_EQ(lines.size(), kConfirmationTextLines);
    const size_t shown = (kConfirmationHeadLines + kConfirmationTailLines) * kConfirmationLineColumns;
    EXPECT_EQ(lines[kConfirmationHeadLines],
              AsciiToWide("[... " + std::to_string(2048 - shown) + " characters not shown ...]"));
    EXPECT_EQ(lines.front(), text.substr(0, kConfirmationLineColumns)) << "the start";
    EXPECT_EQ(lines.back(), text.substr(2048 - kConfirmationLineColumns)) << "the end";
}

TEST(ConfirmationMessage, HeadingAndWarningStayInViewOfALongLookAlikeUrl) {
    WideString text = u"https://intr\u0430net.example.com/";
    text += WideString(1940 - text.size(), u'a');
    const std::vector<WideString> lines = Lines(ConfirmationMessage(text, 30, KnownPunycode));
    ASSERT_EQ(lines.size(), 4 + kConfirmationTextLines + 2);
    EXPECT_EQ(lines[0], u"A program on the remote computer asks to open this on your computer:");
    EXPECT_EQ(lines[2], u"https://xn--intrnet-5fg.example.com");
    EXPECT_EQ(lines[4], text.substr(0, kConfirmationLineColumns));
    EXPECT_EQ(lines.back(),
              u"Open it only if you expected this and trust the remote computer. Without an answer within 30 "
              u"seconds it is not opened.");
    for (size_t i = 4; i < 4 + kConfirmationTextLines; ++i) {
        EXPECT_LE(lines[i].size(), kConfirmationLineColumns);
    }
}

TEST(ConfirmationMessage, APathHasNoHeading) {
    EXPECT_EQ(Lines(ConfirmationMessage(u"C:\\missing\\report\ttxt.pdf", 5, KnownPunycode)),
              (std::vector<WideString>{u"A program on the remote computer asks to open this on your computer:", u"",
                                       u"C:\\missing\\report<U+0009>txt.pdf", u"",
                                       u"Open it only if you expected this and trust the remote computer. Without an "
                                       u"answer within 5 seconds it is not opened."}));
}

}  // namespace
}  // namespace zobrik
