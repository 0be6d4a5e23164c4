// The run's statistics against hand-worked runs.

#include <gtest/gtest.h>

#include "../support/DecimalComma.h"
#include "ping/PingResults.h"

namespace norvik::ping {
namespace {

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
        const char* line;
    } cases[] = {
        {{}, "0 sent, 0 received, 0% loss"},
        {run({kLost, kLost, kLost}), "3 sent, 0 received, 100% loss"},
        {run({kLost, 1234}),
         "2 sent, 1 received, 50% loss, min/avg/max/mdev "
         "1.23/1.23/1.23/0.00 ms, jitter 0.00 ms"},
        // mean 7/3 ms; mdev sqrt(21/3 - 49/9) = 1.247; jitter (1 + 2) / 2.
        {run({1000, 2000, kLost, 4000}),
         "4 sent, 3 received, 25% loss, min/avg/max/mdev "
         "1.00/2.33/4.00/1.25 ms, jitter 1.50 ms"},
        {run({kLost, kLost, 500}),
         "3 sent, 1 received, 66.67% loss, min/avg/max/mdev "
         "0.50/0.50/0.50/0.00 ms, jitter 0.00 ms"},
    };
    for (const auto& c : cases) EXPECT_EQ(StatisticsLine(ComputeStatistics(c.records)), c.line);
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
