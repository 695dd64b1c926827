#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "exec/exec_confirmation_text.h"
#include "include/ascii_text.h"

namespace zobrik {
namespace {

// Stands in for the platform's IDNA conversion: knows one international
// name (in either case, with or without its root dot) and passes ASCII names
// in lower case.
class KnownPunycode : public DomainToAscii {
public:
    std::optional<std::string> ToAscii(std::string_view domain) const override {
        std::string lowered;
        for (char c : domain) {
            lowered += c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        }
        for (const std::string_view known : {"intr\xD0\xB0net.example.com", "intr\xD0\xB0net.example.com."}) {
            if (lowered == known) {
                return "xn--intrnet-5fg.example.com" + std::string(lowered.back() == '.' ? "." : "");
            }
        }
        if (std::all_of(lowered.begin(), lowered.end(), [](char c) { return (unsigned char)c < 0x80; })) {
            return lowered;
        }
        return std::nullopt;
    }
};

// Knows no international name at all.
class NoInternationalNames : public DomainToAscii {
public:
    std::optional<std::string> ToAscii(std::string_view) const override { return std::nullopt; }
};

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
        EXPECT_EQ(ConfirmationHeading(c.text, KnownPunycode()), c.heading);
    }
    // A host that has no ASCII form shows its codes.
    EXPECT_EQ(ConfirmationHeading(u"https://intr\u0430net.example.com/", NoInternationalNames()),
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
    const std::vector<WideString> lines = Lines(ConfirmationMessage(text, 30, KnownPunycode()));
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
    EXPECT_EQ(Lines(ConfirmationMessage(u"C:\\missing\\report\ttxt.pdf", 5, KnownPunycode())),
              (std::vector<WideString>{u"A program on the remote computer asks to open this on your computer:", u"",
                                       u"C:\\missing\\report<U+0009>txt.pdf", u"",
                                       u"Open it only if you expected this and trust the remote computer. Without an "
                                       u"answer within 5 seconds it is not opened."}));
}

}  // namespace
}  // namespace zobrik
