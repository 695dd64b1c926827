#include <string>

#include <gtest/gtest.h>

#include "zobrik/exec_message.h"

namespace zobrik::sdk {
namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

TEST(SdkExecMessage, PlainWheneverTheCodePageCarriesTheText) {
    EXPECT_EQ(ExecMessage("https://example.com/a b", std::nullopt), Bytes("https://example.com/a b"))
        << "ASCII is always plain";
    EXPECT_EQ(ExecMessage("C:\\caf\xc3\xa9.txt", std::string("C:\\caf\xe9.txt")), Bytes("C:\\caf\xe9.txt"));
    EXPECT_EQ(ExecMessage("", std::nullopt), Bytes(""));
}

TEST(SdkExecMessage, Utf8BehindTheMarkOtherwise) {
    const std::string text = "C:\\\xd0\x9f\xd0\xb0\xd0\xbf\xd0\xba\xd0\xb0\\\xe7\x9b\xae.txt";  // Cyrillic, CJK
    EXPECT_EQ(ExecMessage(text, std::nullopt), Bytes("\xEF\xBB\xBF" + text));
}

}  // namespace
}  // namespace zobrik::sdk
