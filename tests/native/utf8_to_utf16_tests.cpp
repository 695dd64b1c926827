// The project's own UTF-8 converter: lenient decoding, capacity contract.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mail/utf8_to_utf16.h"

namespace zobrik {
namespace {

// Converts `input` plus a terminating 0 byte; returns the units without the
// terminator, or "(failed)" when the result is 0.
std::u16string Convert(const std::string& input, size_t capacity = 0) {
    std::string bytes = input;
    bytes.push_back('\0');
    if (capacity == 0) capacity = bytes.size();
    std::vector<char16_t> out(capacity, u'#');
    const size_t units =
        Utf8ToUtf16Portable(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out.data(), out.size());
    if (units == 0) return u"(failed)";
    EXPECT_EQ(out[units - 1], 0) << "the terminator is converted";
    return std::u16string(out.data(), units - 1);
}

// --- Well-formed input

TEST(Utf8ToUtf16Conversion, WellFormedSequencesOfEveryLength) {
    EXPECT_EQ(Convert(""), u"");
    EXPECT_EQ(Convert("plain ASCII"), u"plain ASCII");
    EXPECT_EQ(Convert("\xC2\x80 \xDF\xBF"), u"\u0080 \u07FF");
    EXPECT_EQ(Convert("\xE0\xA0\x80 \xE2\x82\xAC \xED\x9F\xBF \xEE\x80\x80 \xEF\xBF\xBF"),
              u"\u0800 \u20AC \uD7FF \uE000 \uFFFF");
    EXPECT_EQ(Convert("\xEF\xBB\xBFx"), u"\uFEFFx");  // a byte order mark is kept
}

TEST(Utf8ToUtf16Conversion, FourByteSequencesBecomeSurrogatePairs) {
    EXPECT_EQ(Convert("\xF0\x90\x80\x80"), u"\U00010000");
    EXPECT_EQ(Convert("\xF0\x9F\x98\x80"), (std::u16string{0xD83D, 0xDE00}));
    EXPECT_EQ(Convert("\xF4\x8F\xBF\xBF"), (std::u16string{0xDBFF, 0xDFFF}));
}

TEST(Utf8ToUtf16Conversion, EmbeddedZeroBytesAreConverted) {
    const uint8_t in[] = {'a', 0, 'b', 0};
    char16_t out[4] = {};
    EXPECT_EQ(Utf8ToUtf16Portable(in, 4, out, 4), 4u);
    EXPECT_EQ(std::u16string(out, 4), (std::u16string{u'a', 0, u'b', 0}));
}

// --- Malformed input: one U+FFFD per maximal ill-formed subsequence

TEST(Utf8ToUtf16Conversion, BytesThatCannotStartASequence) {
    EXPECT_EQ(Convert("a\xFF"
                      "b"),
              u"a\uFFFDb");
    EXPECT_EQ(Convert("\x80\xBF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(Convert("\xF5\x80\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(Utf8ToUtf16Conversion, TruncatedSequences) {
    EXPECT_EQ(Convert("\xE2\x82"
                      "A"),
              u"\uFFFDA");
    EXPECT_EQ(Convert("\xF0\x9F\x98"
                      "A"),
              u"\uFFFDA");
    EXPECT_EQ(Convert("\xC3"), u"\uFFFD");  // cut by the terminator
    // A lead byte is no continuation: it ends the sequence before it.
    EXPECT_EQ(Convert("\xE2\x82\xC3\xA9"), u"\uFFFD\u00E9");
    // Cut by the end of the input itself (no terminator given).
    const uint8_t in[] = {'x', 0xF0, 0x9F};
    char16_t out[3] = {};
    EXPECT_EQ(Utf8ToUtf16Portable(in, 3, out, 3), 2u);
    EXPECT_EQ(out[1], 0xFFFD);
}

TEST(Utf8ToUtf16Conversion, OverlongForms) {
    EXPECT_EQ(Convert("\xC0\x80"), u"\uFFFD\uFFFD");
    EXPECT_EQ(Convert("\xC1\xBF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(Convert("\xE0\x80\xAF"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Convert("\xE0\x9F\xBF"), u"\uFFFD\uFFFD\uFFFD");  // U+07FF in three bytes
    EXPECT_EQ(Convert("\xF0\x8F\xBF\xBF"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(Utf8ToUtf16Conversion, EncodedSurrogatesAndCodePointsAboveTheRange) {
    EXPECT_EQ(Convert("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Convert("\xED\xBF\xBF"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Convert("\xED\xA0\xBD\xED\xB8\x80"), std::u16string(6, u'\uFFFD'));
    EXPECT_EQ(Convert("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(Utf8ToUtf16Conversion, NeverMoreUnitsThanBytes) {
    // Every input of up to two bytes, and random longer ones.
    char16_t out[16];
    for (unsigned a = 0; a < 256; ++a) {
        for (unsigned b = 0; b < 256; ++b) {
            const uint8_t in[2] = {uint8_t(a), uint8_t(b)};
            ASSERT_LE(Utf8ToUtf16Portable(in, 1, out, 16), 1u);
            const size_t units = Utf8ToUtf16Portable(in, 2, out, 16);
            ASSERT_GE(units, 1u);
            ASSERT_LE(units, 2u);
        }
    }
    std::mt19937 rng(7);
    for (int i = 0; i < 200000; ++i) {
        uint8_t in[6];
        const size_t n = 1 + rng() % 6;
        // Mostly lead and continuation bytes, where the decoding paths branch.
        for (size_t k = 0; k < n; ++k) in[k] = uint8_t((rng() % 3 == 0 ? 0x80 : 0xC0) | rng() % 0x40);
        const size_t units = Utf8ToUtf16Portable(in, n, out, n);
        ASSERT_GE(units, 1u);
        ASSERT_LE(units, n);
    }
}

// --- Capacity and arguments

TEST(Utf8ToUtf16Conversion, OutputMustHoldEveryUnit) {
    EXPECT_EQ(Convert("abc", 4), u"abc");
    EXPECT_EQ(Convert("abc", 3), u"(failed)");
    // A surrogate pair needs both of its units.
    EXPECT_EQ(Convert("\xF0\x9F\x98\x80", 3), (std::u16string{0xD83D, 0xDE00}));
    EXPECT_EQ(Convert("\xF0\x9F\x98\x80", 2), u"(failed)");
}

TEST(Utf8ToUtf16Conversion, OutputOfExactlyTheNeededSizeIsFilledAndNotPassed) {
    // Each input converted into exactly as many units as it needs, and into
    // one unit fewer; a guard unit behind the capacity must stay untouched.
    struct Case {
        std::string input;
        std::u16string units;
    };
    const Case cases[] = {
        {"abc", u"abc"},
        {"\xC3\xA9", u"\u00E9"},
        {"a\xE2\x82\xAC", u"a\u20AC"},
        {"a\xF0\x9F\x98\x80", u"a\U0001F600"},  // ends on a surrogate pair
        {"\xF0\x9F\x98\x80\xF0\x9F\x98\x80", u"\U0001F600\U0001F600"},
        {"x\xE2\x82", u"x\uFFFD"},  // ends on a truncated sequence
    };
    constexpr char16_t kGuard = 0xBEEF;
    for (const Case& c : cases) {
        const auto* in = reinterpret_cast<const uint8_t*>(c.input.data());
        const size_t needed = c.units.size();
        std::vector<char16_t> out(needed + 1, u'#');
        out[needed] = kGuard;
        EXPECT_EQ(Utf8ToUtf16(in, c.input.size(), out.data(), needed), needed) << c.input;
        EXPECT_EQ(std::u16string(out.data(), needed), c.units) << c.input;
        EXPECT_EQ(out[needed], kGuard) << c.input << ": written past the capacity";

        std::vector<char16_t> shorter(needed, u'#');
        shorter[needed - 1] = kGuard;
        EXPECT_EQ(Utf8ToUtf16(in, c.input.size(), shorter.data(), needed - 1), 0u) << c.input;
        EXPECT_EQ(shorter[needed - 1], kGuard) << c.input << ": written past the capacity";
    }
}

TEST(Utf8ToUtf16Conversion, EmptyInputOrOutputFails) {
    const uint8_t in[] = {'a', 0};
    char16_t out[2];
    EXPECT_EQ(Utf8ToUtf16Portable(in, 0, out, 2), 0u);
    EXPECT_EQ(Utf8ToUtf16Portable(in, 2, out, 0), 0u);
    EXPECT_EQ(Utf8ToUtf16Portable(nullptr, 2, out, 2), 0u);
    EXPECT_EQ(Utf8ToUtf16Portable(in, 2, nullptr, 2), 0u);
    EXPECT_EQ(Utf8ToUtf16Portable(in, kUtf8ConversionLimit + 1, out, 2), 0u);
    // A capacity beyond the limit is usable.
    EXPECT_EQ(Utf8ToUtf16Portable(in, 2, out, ~size_t(0)), 2u);
}

TEST(Utf8ToUtf16Conversion, NativeBuildUsesTheOwnConverter) {
    const uint8_t in[] = {0xED, 0xA0, 0x80, 0};
    WideChar viaPlatform[4];
    char16_t own[4];
    ASSERT_EQ(Utf8ToUtf16(in, 4, viaPlatform, 4), 4u);
    ASSERT_EQ(Utf8ToUtf16Portable(in, 4, own, 4), 4u);
    EXPECT_EQ(std::u16string(viaPlatform, 4), std::u16string(own, 4));
}

}  // namespace
}  // namespace zobrik
