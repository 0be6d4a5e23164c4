#include <gtest/gtest.h>

#include <array>

#include "../support/DecimalComma.h"
#include "ping/Numbers.h"

namespace norvik::ping {
namespace {

TEST(NumberText, FieldsLeadingNumbersParsesAndRounding) {
    const std::pair<double, const char*> fields[] = {{12, " 12"},
                                                     {0, " 0"},
                                                     {-0.0, " 0"},
                                                     {-3, "-3"},
                                                     {4294967295.0, " 4294967295"},
                                                     {RoundHalfEven(100.0 / 3, 1), " 33.3"},
                                                     {RoundHalfEven(200.0 / 3, 1), " 66.7"}};
    for (const auto& [n, text] : fields) EXPECT_EQ(SignedField(n), text) << n;
    EXPECT_EQ(PlainDecimal(-939524086), "-939524086");
    EXPECT_EQ(PlainDecimal(0), "0");
    // The longest leading decimal number; only blanks are skipped before it.
    const std::pair<const char*, double> leading[] = {
        {"32abc", 32},  {"abc", 0}, {"", 0},     {"   7 ", 7}, {"2.5", 2.5},
        {"2.5.1", 2.5}, {"-5", -5}, {"0x10", 0}, {"\t7", 0},   {"-", 0}};
    for (const auto& [text, n] : leading) EXPECT_EQ(LeadingNumber(text), n) << text;
    // Blanks, a sign, a point and an exponent only.
    const std::pair<const char*, double> parsed[] = {{" 7 ", 7},      {"-0", 0},   {"+3", 3},
                                                     {"2.5", 2.5},    {".5", 0.5}, {"1E2", 100},
                                                     {"1e308", 1e308}};
    for (const auto& [text, n] : parsed) EXPECT_EQ(ParseNumber(text), n) << text;
    for (const char* bad : {"", "   ", "abc", "0x10", "1e400", "inf", "nan", "7 7", "1,5", "12abc",
                            "--1", "e5", "."}) {
        EXPECT_FALSE(ParseNumber(bad).has_value()) << '"' << bad << '"';
    }
    EXPECT_FALSE(ParseNumber(std::string{'1', '\0', '2'}).has_value());
    // Halves go to the even neighbour.
    const std::array<double, 3> halves[] = {
        {2.5, 0, 2}, {3.5, 0, 4}, {12.25, 1, 12.2}, {12.75, 1, 12.8}};
    for (const auto& [n, places, rounded] : halves)
        EXPECT_EQ(RoundHalfEven(n, int(places)), rounded) << n;
}

// Read and written by the program's own rules, whatever the C library's locale.
TEST(NumberRules, ADecimalCommaLocaleChangesNothing) {
    NORVIK_UNDER_DECIMAL_COMMA();
    EXPECT_EQ(LeadingNumber("2.5"), 2.5);
    EXPECT_EQ(ParseNumber(" 2.5 "), 2.5);
    EXPECT_FALSE(ParseNumber("2,5").has_value());
    EXPECT_EQ(SignedField(33.3), " 33.3");
}

// The letters of "Norvik" repeated; a huge size stops at what an echo
// could carry.
TEST(Payload, LettersOfNorvikRepeatedUpToTheLargestEcho) {
    const std::pair<const char*, std::string> cases[] = {
        {"8", "NorvikNo"}, {"1", "N"}, {"2.5", "No"}, {" 7 ", "NorvikN"}, {"1e308", "N"},
        {"0", ""},         {"", ""},   {"abc", ""},   {"-5", ""},         {"0.9", ""}};
    for (const auto& [size, payload] : cases) EXPECT_EQ(BuildPayload(size), payload) << size;
    EXPECT_EQ(BuildPayload("32abc").size(), 32u);
    const std::string p = BuildPayload("99999999");
    EXPECT_EQ(p.size(), kMaxPayload);
    EXPECT_EQ(p.substr(0, 6), "Norvik");
}

}  // namespace
}  // namespace norvik::ping
