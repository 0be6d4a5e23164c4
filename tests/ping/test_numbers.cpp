#include <gtest/gtest.h>

#include "../support/DecimalComma.h"
#include "ping/Numbers.h"

namespace norvik::ping {
namespace {

TEST(NumberToText, SignedFieldPutsABlankForTheSign) {
    EXPECT_EQ(SignedField(12), " 12");
    EXPECT_EQ(SignedField(0), " 0");
    EXPECT_EQ(SignedField(-0.0), " 0");
    EXPECT_EQ(SignedField(-3), "-3");
    EXPECT_EQ(SignedField(4294967295.0), " 4294967295");
    EXPECT_EQ(PlainDecimal(-939524086), "-939524086");
    EXPECT_EQ(PlainDecimal(0), "0");
}

TEST(LeadingNumber, TakesTheLongestLeadingDecimalNumber) {
    EXPECT_EQ(LeadingNumber("32abc"), 32);
    EXPECT_EQ(LeadingNumber("abc"), 0);
    EXPECT_EQ(LeadingNumber(""), 0);
    EXPECT_EQ(LeadingNumber("   7 "), 7);
    EXPECT_EQ(LeadingNumber("2.5"), 2.5);
    EXPECT_EQ(LeadingNumber("2.5.1"), 2.5);
    EXPECT_EQ(LeadingNumber("-5"), -5);
    EXPECT_EQ(LeadingNumber("0x10"), 0);
    EXPECT_EQ(LeadingNumber("\t7"), 0);  // only blanks are skipped
    EXPECT_EQ(LeadingNumber("-"), 0);
}

TEST(ParseNumber, AcceptsBlanksSignPointAndExponentOnly) {
    EXPECT_EQ(ParseNumber(" 7 "), 7);
    EXPECT_EQ(ParseNumber("-0"), 0);
    EXPECT_EQ(ParseNumber("+3"), 3);
    EXPECT_EQ(ParseNumber("2.5"), 2.5);
    EXPECT_EQ(ParseNumber(".5"), 0.5);
    EXPECT_EQ(ParseNumber("1e308"), 1e308);
    EXPECT_EQ(ParseNumber("1E2"), 100);
    for (const char* bad : {"", "   ", "abc", "0x10", "1e400", "inf", "nan", "7 7", "1,5", "12abc",
                            "--1", "e5", "."}) {
        EXPECT_FALSE(ParseNumber(bad).has_value()) << '"' << bad << '"';
    }
    EXPECT_FALSE(ParseNumber(std::string{'1', '\0', '2'}).has_value());
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven(2.5, 0), 2);
    EXPECT_EQ(RoundHalfEven(3.5, 0), 4);
    EXPECT_EQ(RoundHalfEven(12.25, 1), 12.2);
    EXPECT_EQ(RoundHalfEven(12.75, 1), 12.8);
    EXPECT_EQ(SignedField(RoundHalfEven(100.0 / 3, 1)), " 33.3");
    EXPECT_EQ(SignedField(RoundHalfEven(200.0 / 3, 1)), " 66.7");
}

// Read and written by the program's own rules, whatever the C library's locale.
TEST(NumberRules, ADecimalCommaLocaleChangesNothing) {
    NORVIK_UNDER_DECIMAL_COMMA();
    EXPECT_EQ(LeadingNumber("2.5"), 2.5);
    EXPECT_EQ(ParseNumber(" 2.5 "), 2.5);
    EXPECT_FALSE(ParseNumber("2,5").has_value());
    EXPECT_EQ(SignedField(33.3), " 33.3");
}

TEST(Payload, LettersOfNorvikRepeated) {
    EXPECT_EQ(BuildPayload("8"), "NorvikNo");
    EXPECT_EQ(BuildPayload("1"), "N");
    EXPECT_EQ(BuildPayload("32abc").size(), 32u);
    EXPECT_EQ(BuildPayload("2.5"), "No");
    EXPECT_EQ(BuildPayload(" 7 "), "NorvikN");
    for (const char* none : {"0", "", "abc", "-5", "0.9"}) {
        EXPECT_EQ(BuildPayload(none), "") << none;
    }
}

TEST(Payload, AHugeSizeStopsAtWhatAnEchoCouldCarry) {
    const std::string p = BuildPayload("99999999");
    EXPECT_EQ(p.size(), kMaxPayload);
    EXPECT_EQ(p.substr(0, 6), "Norvik");
    EXPECT_EQ(BuildPayload("1e308").size(), 1u);  // the leading number is 1
}

}  // namespace
}  // namespace norvik::ping
