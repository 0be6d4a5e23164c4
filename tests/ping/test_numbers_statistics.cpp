// Number texts, payloads and a run's statistics.
#include <gtest/gtest.h>

#include <array>

#include "../support/DecimalComma.h"
#include "ping/Numbers.h"
#include "ping/PingResults.h"

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

// The run's statistics against hand-worked runs.

constexpr std::uint32_t kLost = 0;  // stands for a time-out in the tables

std::vector<PingRecord> run(std::initializer_list<std::uint32_t> us) {
    std::vector<PingRecord> out;
    for (std::uint32_t t : us) {
        PingRecord r;
        r.sequence = static_cast<int>(out.size()) + 1;
        r.status = t == kLost ? 11010 : 0;
        r.roundTripUs = t == kLost ? 0 : t;
        out.push_back(r);
    }
    return out;
}

void CheckHandWorkedRuns() {
    const struct {
        std::vector<PingRecord> records;
        const char *line, *live;
    } cases[] = {
        {{}, "0 sent, 0 received, 0% loss", "Loss 0.0%  Avg 0.0 ms  Jitter 0.0 ms"},
        {run({kLost, kLost, kLost}), "3 sent, 0 received, 100% loss",
         "Loss 100.0%  Avg 0.0 ms  Jitter 0.0 ms"},
        {run({kLost, 1234}),
         "2 sent, 1 received, 50% loss, min/avg/max/mdev "
         "1.23/1.23/1.23/0.00 ms, jitter 0.00 ms",
         "Loss 50.0%  Avg 1.2 ms  Jitter 0.0 ms"},
        // mean 7/3 ms; mdev sqrt(21/3 - 49/9) = 1.247; jitter (1 + 2) / 2.
        {run({1000, 2000, kLost, 4000}),
         "4 sent, 3 received, 25% loss, min/avg/max/mdev "
         "1.00/2.33/4.00/1.25 ms, jitter 1.50 ms",
         "Loss 25.0%  Avg 2.3 ms  Jitter 1.5 ms"},
        {run({kLost, kLost, 500}),
         "3 sent, 1 received, 66.67% loss, min/avg/max/mdev "
         "0.50/0.50/0.50/0.00 ms, jitter 0.00 ms",
         "Loss 66.7%  Avg 0.5 ms  Jitter 0.0 ms"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StatisticsLine(ComputeStatistics(c.records)), c.line);
        EXPECT_EQ(LiveLine(ComputeStatistics(c.records)), c.live);
    }
}

TEST(PingStatisticsTest, HandWorkedRuns) { CheckHandWorkedRuns(); }

TEST(PingStatisticsTest, HandWorkedRunsUnderADecimalComma) {
    NORVIK_UNDER_DECIMAL_COMMA();
    CheckHandWorkedRuns();
}

TEST(PingStatisticsTest, TenThousandReplies) {
    // 1 ms and 3 ms in turn: mean 2, deviation 1, every step 2 apart.
    std::vector<PingRecord> records(10000);
    for (std::size_t i = 0; i < records.size(); ++i) records[i].roundTripUs = i % 2 ? 3000 : 1000;
    const PingStatistics s = ComputeStatistics(records);
    EXPECT_EQ(s.received, 10000);
    EXPECT_DOUBLE_EQ(s.avgMs, 2.0);
    EXPECT_DOUBLE_EQ(s.mdevMs, 1.0);
    EXPECT_DOUBLE_EQ(s.jitterMs, 2.0);
    EXPECT_EQ(StatisticsLine(s),
              "10000 sent, 10000 received, 0% loss, min/avg/max/mdev "
              "1.00/2.00/3.00/1.00 ms, jitter 2.00 ms");
}

}  // namespace
}  // namespace norvik::ping
