#include <new>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "plugin/exception_text.h"

namespace zobrik {
namespace {

template <class T>
std::u16string TextFor(T value) {
    try {
        throw value;
    } catch (...) {
        return FormatExceptionText(std::current_exception());
    }
}

std::u16string Expected(const char16_t* labelAndValue) { return std::u16string(u"Exception: ") + labelAndValue; }

TEST(ExceptionText, EveryCatchRowFormatsPrefixPaddedLabelAndValue) {
    EXPECT_EQ(TextFor(L'\u00e9'), Expected(u"wchar_t            \u00e9"));
    EXPECT_EQ(TextFor('A'), Expected(u"char               A"));
    EXPECT_EQ(TextFor(static_cast<signed char>(-5)), Expected(u"signed char        -5"));
    EXPECT_EQ(TextFor(short(-300)), Expected(u"short              -300"));
    EXPECT_EQ(TextFor(7), Expected(u"int                7"));
    EXPECT_EQ(TextFor(-70000L), Expected(u"long               -70000"));
    EXPECT_EQ(TextFor(-5000000000LL), Expected(u"long long          -5000000000"));
    EXPECT_EQ(TextFor(static_cast<unsigned char>(200)), Expected(u"unsigned char      200"));
    EXPECT_EQ(TextFor(static_cast<unsigned short>(65535)), Expected(u"unsigned short     65535"));
    EXPECT_EQ(TextFor(4000000000u), Expected(u"unsigned int       4000000000"));
    EXPECT_EQ(TextFor(12UL), Expected(u"unsigned long      12"));
    EXPECT_EQ(TextFor(18446744073709551615ULL), Expected(u"unsigned long long 18446744073709551615"));
    EXPECT_EQ(TextFor(static_cast<const char*>("Invalid header version")),
              Expected(u"char const *       Invalid header version"));
    EXPECT_EQ(TextFor(std::string("temp path too long")), Expected(u"std::string        temp path too long"));
    EXPECT_EQ(TextFor(static_cast<const wchar_t*>(L"wide \u20ac")), Expected(u"wchar_t const *    wide \u20ac"));
    EXPECT_EQ(TextFor(std::wstring(L"wide string")), Expected(u"std::wstring       wide string"));
    EXPECT_EQ(TextFor(std::runtime_error("not shown")), u"Exception: unknown");
}

TEST(ExceptionText, WrongVersionTextHas52CharactersAndValueAfterThePaddedLabel) {
    std::u16string text = TextFor(static_cast<const char*>("Invalid header version"));
    EXPECT_EQ(text.size(), 52u) << "53 bytes in UTF-8 with the zero byte";
    std::u16string seven = TextFor(7);
    EXPECT_EQ(seven.find(u'7'), 30u) << "the value starts at the 31st character";
}

TEST(ExceptionText, AllocationFailureIsUnknown) {
    std::u16string text = TextFor(std::bad_alloc());
    EXPECT_EQ(text, u"Exception: unknown");
    EXPECT_EQ(text.size(), 18u);
}

TEST(ExceptionText, NarrowBytesWidenToTheSameValueAndCharsWithTheirSign) {
    EXPECT_EQ(TextFor(static_cast<const char*>("caf\xe9")), Expected(u"char const *       caf\u00e9"));
    EXPECT_EQ(TextFor(char(0xE9)), Expected(u"char               \uffe9"));
}

TEST(ExceptionText, CharactersBeyondTheBasicPlaneBecomeSurrogatePairs) {
    EXPECT_EQ(TextFor(std::wstring(L"\U0001F600")), Expected(u"std::wstring       \U0001F600"));
    // The first and the last code point beyond the basic plane.
    EXPECT_EQ(TextFor(std::wstring(L"\U00010000\U0010FFFF")), Expected(u"std::wstring       \U00010000\U0010FFFF"));
}

TEST(ExceptionText, NoExceptionAtAllIsUnknown) {
    EXPECT_EQ(FormatExceptionText(std::exception_ptr()), u"Exception: unknown");
}

TEST(ExceptionText, OverLongTextIsCutTo255CharactersWithoutSplittingAPair) {
    std::u16string longText = TextFor(std::string(400, 'x'));
    EXPECT_EQ(longText.size(), kExceptionTextMaxLength);
    EXPECT_EQ(longText.substr(0, 31), Expected(u"std::string        x"));

    // 30 characters of prefix and label, then pairs: the cut would fall
    // between the two halves of the 113th pair.
    std::wstring pairs;
    for (int i = 0; i < 150; ++i) {
        pairs += L"\U0001F600";
    }
    std::u16string cut = TextFor(pairs);
    EXPECT_EQ(cut.size(), kExceptionTextMaxLength - 1);
    EXPECT_TRUE(cut.back() >= 0xDC00 && cut.back() < 0xE000) << "ends on a complete pair";

    // One character more before the pairs: the cut falls right after the
    // 112th pair, which is kept whole.
    std::u16string afterPair = TextFor(L"a" + pairs);
    EXPECT_EQ(afterPair.size(), kExceptionTextMaxLength);
    EXPECT_EQ(afterPair.substr(afterPair.size() - 2), u"\U0001F600");
}

TEST(ExceptionText, NullNarrowTextGivesTheLabelAlone) {
    EXPECT_EQ(TextFor(static_cast<const char*>(nullptr)), Expected(u"char const *       "));
}

template <class T>
std::exception_ptr Raised(T value) {
    return std::make_exception_ptr(value);
}

// The add-in's own failures are told by what failed, and only a failed
// allocation counts as out of memory.
TEST(FailureDescription, TellsWhatFailedAndWhetherMemoryRanOut) {
    struct Row {
        const char* name;
        std::exception_ptr raised;
        std::string description;
        bool outOfMemory;
    };
    const Row rows[] = {
        {"bad_alloc", Raised(std::bad_alloc()), "out of memory", true},
        {"bad_array_new_length", Raised(std::bad_array_new_length()), "out of memory", true},
        {"runtime_error", Raised(std::runtime_error("no staging folder")), "no staging folder", false},
        {"logic_error", Raised(std::length_error("vector too long")), "vector too long", false},
        {"narrow text", Raised("Invalid header version"), "Exception: char const *       Invalid header version",
         false},
        {"int", Raised(5), "Exception: int                5", false},
        {"unknown type", Raised(1.5), "Exception: unknown", false},
        {"nothing raised", std::exception_ptr(), "Exception: unknown", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(DescribeFailure(row.raised), row.description) << row.name;
        EXPECT_EQ(IsOutOfMemory(row.raised), row.outOfMemory) << row.name;
    }
}

}  // namespace
}  // namespace zobrik
