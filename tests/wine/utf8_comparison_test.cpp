// Runs the platform converter (MultiByteToWideChar) and the project's own
// converter on the same inputs. They must agree unit for unit on well-formed
// text and on the capacity contract. On malformed text both must stay within
// one unit per byte and agree on every character that is not a replacement;
// how many U+FFFD stand for one malformed sequence may differ.
//
// One further difference is allowed, and counted: a platform converter that
// meets a lead byte announcing more bytes than the input has left may replace
// the whole rest of the input, terminator included, by one U+FFFD (Wine does).
// Its result then lacks the terminator, which the mail decoder rejects as
// "invalid string conversion"; the own converter keeps what follows.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mail/utf8_to_utf16.h"

namespace zobrik {
namespace {

using Units = std::vector<uint16_t>;

struct Result {
    size_t count = 0;
    Units units;
};

Result Platform(const std::string& in, size_t capacity) {
    std::vector<WideChar> out(capacity + 1, WideChar(0x2323));
    Result r;
    r.count = Utf8ToUtf16(reinterpret_cast<const uint8_t*>(in.data()), in.size(), out.data(), capacity);
    for (size_t i = 0; i < r.count; ++i) r.units.push_back(uint16_t(out[i]));
    return r;
}

Result Own(const std::string& in, size_t capacity) {
    std::vector<char16_t> out(capacity + 1, char16_t(0x2323));
    Result r;
    r.count = Utf8ToUtf16Portable(reinterpret_cast<const uint8_t*>(in.data()), in.size(), out.data(), capacity);
    for (size_t i = 0; i < r.count; ++i) r.units.push_back(uint16_t(out[i]));
    return r;
}

// Collapses every run of U+FFFD into one.
Units CollapseReplacements(const Units& units) {
    Units out;
    for (uint16_t u : units) {
        if (u == 0xFFFD && !out.empty() && out.back() == 0xFFFD) continue;
        out.push_back(u);
    }
    return out;
}

std::string Hex(const std::string& bytes) {
    std::string s;
    char buf[4];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, "%02X ", c);
        s += buf;
    }
    return s;
}

std::string Hex(const Units& units) {
    std::string s;
    char buf[6];
    for (uint16_t u : units) {
        std::snprintf(buf, sizeof buf, "%04X ", u);
        s += buf;
    }
    return s;
}

std::string WithTerminator(std::string s) {
    s.push_back('\0');
    return s;
}

// --- Well-formed text: identical results

TEST(Utf8Comparison, WellFormedTextIsIdentical) {
    const char* inputs[] = {
        "",
        "plain ASCII text",
        "\xC2\x80\xC3\xA9\xDF\xBF",
        "\xE0\xA0\x80\xE2\x82\xAC\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBD\xEF\xBF\xBF",
        "\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF",
        "\xEF\xBB\xBF"
        "BOM",
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x80\x93 \xF0\x9F\x93\xA7",
    };
    for (const char* text : inputs) {
        const std::string in = WithTerminator(text);
        const Result platform = Platform(in, in.size());
        const Result own = Own(in, in.size());
        EXPECT_EQ(platform.units, own.units) << Hex(in);
        EXPECT_NE(own.count, 0u);
    }
}

// --- Malformed text

enum class Agreement { Identical, ReplacementCountOnly, PlatformDroppedTail };

// Checks the allowed differences for one input and tells which one it is.
Agreement Compare(const std::string& in) {
    const Result platform = Platform(in, in.size());
    const Result own = Own(in, in.size());
    EXPECT_NE(platform.count, 0u) << "malformed input never fails: " << Hex(in);
    EXPECT_NE(own.count, 0u) << Hex(in);
    EXPECT_LE(platform.count, in.size()) << Hex(in);
    EXPECT_LE(own.count, in.size()) << Hex(in);
    if (platform.count == 0 || own.count == 0) return Agreement::Identical;
    EXPECT_EQ(own.units.back(), 0u) << Hex(in);
    if (platform.units == own.units) return Agreement::Identical;

    const Units p = CollapseReplacements(platform.units);
    const Units o = CollapseReplacements(own.units);
    if (platform.units.back() == 0) {
        EXPECT_EQ(p, o) << Hex(in);
        return Agreement::ReplacementCountOnly;
    }
    // The platform ended in one replacement for the rest of the input: what
    // it produced before must match the own result, which has a replacement
    // at that place too.
    EXPECT_EQ(p.back(), 0xFFFD) << Hex(in);
    EXPECT_LE(p.size(), o.size()) << Hex(in);
    if (p.size() <= o.size()) {
        EXPECT_TRUE(std::equal(p.begin(), p.end(), o.begin()))
            << Hex(in) << "| platform " << Hex(platform.units) << "| own " << Hex(own.units);
    }
    return Agreement::PlatformDroppedTail;
}

TEST(Utf8Comparison, MalformedTextAgreesUpToReplacements) {
    const char* inputs[] = {
        // lone bytes that cannot start a sequence
        "a\xFF"
        "b",
        "\x80",
        "\xBF\xBF",
        "\xC0",
        "\xC1",
        "\xF5",
        "\xF8\x88\x80\x80\x80",
        "\xFE\xFF",
        // truncated sequences, inside the text and at its end
        "\xC3",
        "\xC3"
        "A",
        "\xE2\x82",
        "\xE2\x82"
        "A",
        "\xE2"
        "AB",
        "\xF0\x9F\x98",
        "\xF0\x9F\x98"
        "A",
        "\xF0\x9F"
        "AB",
        "\xF0"
        "ABC",
        "x\xE2\x82\xE2\x82\xAC",
        "\xE2"
        "A",
        "\xF0"
        "A",
        "ab\xE2",
        // overlong forms
        "\xC0\x80",
        "\xC0\xAF",
        "\xC1\xBF",
        "\xE0\x80\x80",
        "\xE0\x80\xAF",
        "\xE0\x9F\xBF",
        "\xF0\x80\x80\x80",
        "\xF0\x8F\xBF\xBF",
        // encoded surrogates, alone and as a pair
        "\xED\xA0\x80",
        "\xED\xBF\xBF",
        "\xED\xA0\xBD\xED\xB8\x80",
        // beyond U+10FFFF
        "\xF4\x90\x80\x80",
        "\xF7\xBF\xBF\xBF",
        // mixed
        "ok\xE2\x82\xACok\xFFok\xF0\x9F\x98\x80\xC3",
    };
    size_t counts[3] = {};
    for (const char* text : inputs) {
        const std::string in = WithTerminator(text);
        const Agreement a = Compare(in);
        ++counts[size_t(a)];
        if (a != Agreement::Identical) {
            std::printf("%s: input %s| platform %s| own %s\n",
                        a == Agreement::ReplacementCountOnly ? "U+FFFD count differs" : "platform dropped tail",
                        Hex(in).c_str(), Hex(Platform(in, in.size()).units).c_str(),
                        Hex(Own(in, in.size()).units).c_str());
        }
    }
    std::printf(
        "%zu malformed inputs: %zu identical, %zu differ in U+FFFD count only, "
        "%zu with the tail dropped by the platform\n",
        sizeof inputs / sizeof inputs[0], counts[0], counts[1], counts[2]);
}

TEST(Utf8Comparison, EveryShortInputStaysWithinTheAllowedDifferences) {
    // Every two-byte input, and every input of up to three bytes from the
    // bytes where decoding branches, each followed by a terminator.
    const uint8_t branching[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC2,
                                 0xDF, 0xE0, 0xE1, 0xED, 0xEF, 0xF0, 0xF1, 0xF4, 0xF5, 0xFF};
    size_t counts[3] = {};
    for (unsigned a = 0; a < 256; ++a) {
        for (unsigned b = 0; b < 256; ++b) {
            ++counts[size_t(Compare(std::string{char(a), char(b), '\0'}))];
            if (::testing::Test::HasFailure()) return;
        }
    }
    for (uint8_t a : branching) {
        for (uint8_t b : branching) {
            for (uint8_t c : branching) {
                ++counts[size_t(Compare(std::string{char(a), char(b), char(c), '\0'}))];
                if (::testing::Test::HasFailure()) return;
            }
        }
    }
    std::printf(
        "short inputs: %zu identical, %zu differ in U+FFFD count only, "
        "%zu with the tail dropped by the platform\n",
        counts[0], counts[1], counts[2]);
}

// --- Capacity contract

TEST(Utf8ComparisonCapacity, ExactFitSucceedsOneUnitLessFails) {
    const char* inputs[] = {"abc", "\xE2\x82\xAC\xC3\xA9", "\xF0\x9F\x98\x80", "x\xFFy"};
    for (const char* text : inputs) {
        const std::string in = WithTerminator(text);
        const size_t needed = Own(in, in.size()).count;
        ASSERT_NE(needed, 0u);
        EXPECT_EQ(Platform(in, needed).count, needed) << Hex(in);
        EXPECT_EQ(Own(in, needed).count, needed) << Hex(in);
        EXPECT_EQ(Platform(in, needed - 1).count, 0u) << Hex(in);
        EXPECT_EQ(Own(in, needed - 1).count, 0u) << Hex(in);
    }
}

TEST(Utf8ComparisonCapacity, EmptyInputAndNoRoomFailAlike) {
    const std::string in = WithTerminator("a");
    EXPECT_EQ(Platform(in, 0).count, 0u);
    EXPECT_EQ(Own(in, 0).count, 0u);
    EXPECT_EQ(Platform(std::string(), 4).count, 0u);
    EXPECT_EQ(Own(std::string(), 4).count, 0u);
}

}  // namespace
}  // namespace zobrik
