// Recipient parsing and the address sanity check of the SDK.
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "zobrik/address.h"

namespace zobrik::sdk {

// Failed comparisons show the two parts instead of the object's bytes.
void PrintTo(const Recipient& r, std::ostream* out) {
    *out << "{\"" << r.displayName << "\", \"" << r.address << "\"}";
}

}  // namespace zobrik::sdk

namespace zobrik {
namespace {

using sdk::AddressProblem;
using sdk::ParseRecipient;
using sdk::Recipient;

TEST(SdkAddress, OrdinaryAddressesPass) {
    for (const char* a : {"ann@example.com", "a.b+tag@sub.example.co.uk", "x@y", "o'neil@example.ie",
                          "j\xc3\xb6rg@b\xc3\xbc"
                          "cher.example"}) {
        EXPECT_EQ(AddressProblem(a), "") << a;
        EXPECT_TRUE(sdk::IsPlausibleAddress(a)) << a;
    }
}

TEST(SdkAddress, EachRuleHasItsReason) {
    EXPECT_EQ(AddressProblem(""), "it is empty");
    EXPECT_EQ(AddressProblem("ann.example.com"), "it has no '@'");
    EXPECT_EQ(AddressProblem("a@b@c"), "it has more than one '@'");
    EXPECT_EQ(AddressProblem("@example.com"), "nothing stands before the '@'");
    EXPECT_EQ(AddressProblem("ann@"), "nothing stands after the '@'");
    EXPECT_EQ(AddressProblem("ann lee@example.com"), "it contains a blank");
    EXPECT_EQ(AddressProblem("ann\t@example.com"), "it contains a control character");
    EXPECT_EQ(AddressProblem(std::string("ann@ex\0ample.com", 16)), "it contains a control character");
    EXPECT_EQ(AddressProblem("ann@example.com\x7f"), "it contains a control character");
    EXPECT_EQ(AddressProblem("<ann@example.com>"), "it contains the character '<'");
    EXPECT_EQ(AddressProblem("ann@example.com,bob@example.com"), "it contains the character ','");
    EXPECT_EQ(AddressProblem("ann@example.com;"), "it contains the character ';'");
    EXPECT_EQ(AddressProblem("SMTP:ann@example.com"), "it contains the character ':'");
    EXPECT_EQ(AddressProblem("\"a\"@example.com"), "it contains the character '\"'");
    EXPECT_EQ(AddressProblem("a@[192.0.2.1]"), "it contains the character '['");
    EXPECT_EQ(AddressProblem("ann@.example.com"), "the part after the '@' is not a domain name");
    EXPECT_EQ(AddressProblem("ann@example.com."), "the part after the '@' is not a domain name");
    EXPECT_EQ(AddressProblem("ann@example..com"), "the part after the '@' is not a domain name");
}

TEST(SdkAddress, EverySpecialCharacterIsNamed) {
    for (const char c : std::string("<>()[]\\,;:\"")) {
        EXPECT_EQ(AddressProblem(std::string("a") + c + "b@example.com"),
                  std::string("it contains the character '") + c + "'")
            << c;
    }
}

TEST(SdkAddress, LengthLimitIs254Bytes) {
    const std::string domain = "@example.com";
    EXPECT_EQ(AddressProblem(std::string(254 - domain.size(), 'a') + domain), "");
    EXPECT_EQ(AddressProblem(std::string(255 - domain.size(), 'a') + domain), "it is longer than 254 bytes");
}

TEST(SdkAddress, RecipientNotations) {
    EXPECT_EQ(ParseRecipient("ann@example.com"), (Recipient{"", "ann@example.com"}));
    EXPECT_EQ(ParseRecipient("  ann@example.com "), (Recipient{"", "ann@example.com"}));
    EXPECT_EQ(ParseRecipient("\tAnn Lee\t<\tann@example.com\t>\t"), (Recipient{"Ann Lee", "ann@example.com"}));
    EXPECT_EQ(ParseRecipient("<ann@example.com>"), (Recipient{"", "ann@example.com"}));
    EXPECT_EQ(ParseRecipient("Ann Lee <ann@example.com>"), (Recipient{"Ann Lee", "ann@example.com"}));
    EXPECT_EQ(ParseRecipient("Ann Lee<ann@example.com>"), (Recipient{"Ann Lee", "ann@example.com"}));
    EXPECT_EQ(ParseRecipient("\"Lee, Ann\" < ann@example.com >"), (Recipient{"Lee, Ann", "ann@example.com"}));
    EXPECT_EQ(ParseRecipient("J\xc3\xb6rg <j@example.de>"), (Recipient{"J\xc3\xb6rg", "j@example.de"}));
}

std::string ErrorOf(const std::string& text) {
    try {
        ParseRecipient(text);
    } catch (const sdk::RecipientError& e) {
        EXPECT_EQ(e.input(), text);
        return e.what();
    }
    return "(parsed)";
}

TEST(SdkAddress, EmptyDisplayNameInEveryNotation) {
    EXPECT_EQ(ParseRecipient("\"\" <ann@example.com>"), (Recipient{"", "ann@example.com"})) << "the quotes are removed";
    EXPECT_EQ(ParseRecipient("\"\"<ann@example.com>"), (Recipient{"", "ann@example.com"}));
    EXPECT_EQ(ParseRecipient(" \t <ann@example.com>"), (Recipient{"", "ann@example.com"}));
    EXPECT_EQ(ParseRecipient("\" \" <ann@example.com>"), (Recipient{" ", "ann@example.com"}))
        << "quoted blanks are kept";
    EXPECT_EQ(ErrorOf("\"\" <>"), "bad recipient \"\"\" <>\": the address is not usable: it is empty");
}

TEST(SdkAddress, BadRecipientsNameTheInputAndTheProblem) {
    EXPECT_EQ(ErrorOf("ann"), "bad recipient \"ann\": the address is not usable: it has no '@'");
    EXPECT_EQ(ErrorOf(""), "bad recipient \"\": the address is not usable: it is empty");
    EXPECT_EQ(ErrorOf("Ann <>"), "bad recipient \"Ann <>\": the address is not usable: it is empty");
    EXPECT_EQ(ErrorOf("Ann ann@example.com>"), "bad recipient \"Ann ann@example.com>\": a '>' without a '<'");
    EXPECT_EQ(ErrorOf("Ann <ann@example.com"),
              "bad recipient \"Ann <ann@example.com\": the address is not usable: it contains a blank");
    EXPECT_EQ(ErrorOf("A<b <ann@example.com>"),
              "bad recipient \"A<b <ann@example.com>\": the name contains an angle bracket");
    EXPECT_EQ(ErrorOf("A>b <ann@example.com>"),
              "bad recipient \"A>b <ann@example.com>\": the name contains an angle bracket");
    EXPECT_EQ(ErrorOf("A\nB <ann@example.com>"),
              "bad recipient \"A\nB <ann@example.com>\": the name contains a control character");
    EXPECT_EQ(
        ErrorOf("ann@example.com, bob@example.com"),
        "bad recipient \"ann@example.com, bob@example.com\": the address is not usable: it contains the character ','");
}

}  // namespace
}  // namespace zobrik
