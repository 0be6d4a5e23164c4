// The monitor's statistics, its table as text, CSV and JSON, and rounds
// over real ICMP on loopback. Across namespaces: test_monitor_netns.cpp.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "../support/LoopbackResolver.h"
#include "export/MonitorExport.h"
#include "platform/LinuxProbeSocket.h"
#include "trace/Monitor.h"

namespace norvik::trace {
namespace {

MonitorHop hop(int n, int sent,
               std::vector<std::pair<std::string, std::vector<std::uint32_t>>> by) {
    MonitorHop h{n, sent, 0, {}};
    for (auto& [address, trips] : by) {
        h.addresses.push_back({*platform::IpAddress::parse(address), "", {}});
        for (std::uint32_t us : trips) h.addresses.back().trips.add(us);
        h.answered += static_cast<int>(trips.size());
    }
    return h;
}

TEST(MonitorStatistics, HandComputedFigures) {
    const struct {
        std::vector<std::uint32_t> us;
        std::vector<std::string> cells;  // Last, Avg, Best, Worst, StDev, Jitter
    } cases[] = {
        {{1234}, {"1.2", "1.2", "1.2", "1.2", "0.0", "0.0"}},
        // deviations -1, 1, 0, 0 ms: sqrt(2/3) = 0.816; jumps 2, 1, 0
        {{1000, 3000, 2000, 2000}, {"2.0", "2.0", "1.0", "3.0", "0.8", "1.0"}},
        // 1.3 ms either side of 11.3: 1.3 * sqrt(2) = 1.838
        {{10000, 12600}, {"12.6", "11.3", "10.0", "12.6", "1.8", "2.6"}},
        // 0.5 ms either side of 1: sqrt(4 * 0.25 / 3) = 0.577; every jump 1 ms
        {{500, 1500, 500, 1500}, {"1.5", "1.0", "0.5", "1.5", "0.6", "1.0"}},
        // a long round trip: average 1200.0505, deviation 2399.901 / sqrt(2)
        {{100, 2400001}, {"2400.0", "1200.1", "0.1", "2400.0", "1697.0", "2399.9"}},
    };
    for (const auto& c : cases) {
        MonitorTable table;
        table.hops.push_back(hop(1, static_cast<int>(c.us.size()), {{"192.0.2.1", c.us}}));
        const std::vector<std::string> cells = MonitorCells(MonitorRows(table).at(0));
        EXPECT_EQ(std::vector<std::string>(cells.begin() + 4, cells.end()), c.cells)
            << ::testing::PrintToString(c.us);
    }
}

// One hop answered by one address, one split between two (loss 25%, shares
// 2:1), one silent.
MonitorTable threeHops() {
    MonitorTable t;
    t.target = "dest.example";
    t.destination = *platform::IpAddress::parse("203.0.113.2");
    t.rounds = 4;
    t.hops = {hop(1, 4, {{"192.0.2.1", {1000, 3000, 2000, 2000}}}),
              hop(2, 4, {{"198.51.100.1", {10000, 12600}}, {"198.51.100.9", {20000}}}),
              hop(3, 4, {})};
    return t;
}

TEST(MonitorTable, TextCsvAndJson) {
    const MonitorTable t = threeHops();
    EXPECT_EQ(exports::Render(exports::Format::Text, t),
              "Hop  Host                Loss %  Sent  Last   Avg  Best  Worst  StDev  Jitter\r\n"
              "  1  192.0.2.1              0.0     4   2.0   2.0   1.0    3.0    0.8     1.0\r\n"
              "  2  198.51.100.1 (67%)    25.0     4  12.6  11.3  10.0   12.6    1.8     2.6\r\n"
              "  2  198.51.100.9 (33%)    25.0     4  20.0  20.0  20.0   20.0    0.0     0.0\r\n"
              "  3  *                    100.0     4\r\n");
    EXPECT_EQ(exports::Render(exports::Format::Csv, t),
              "Hop,Host,Loss %,Sent,Last,Avg,Best,Worst,StDev,Jitter\r\n"
              "1,192.0.2.1,0.0,4,2.0,2.0,1.0,3.0,0.8,1.0\r\n"
              "2,198.51.100.1 (67%),25.0,4,12.6,11.3,10.0,12.6,1.8,2.6\r\n"
              "2,198.51.100.9 (33%),25.0,4,20.0,20.0,20.0,20.0,0.0,0.0\r\n"
              "3,*,100.0,4,,,,,,\r\n");
    const QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(
                                                        exports::Render(exports::Format::Json, t)))
                                .object();
    EXPECT_EQ(doc["rounds"].toInt(), 4);
    EXPECT_FALSE(doc["reached"].toBool());
    const QJsonArray rows = doc["hops"].toArray();
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[1]["address"].toString(), "198.51.100.1");
    EXPECT_DOUBLE_EQ(rows[1]["share_percent"].toDouble(), 66.7);
    EXPECT_DOUBLE_EQ(rows[1]["avg_ms"].toDouble(), 11.3);
    EXPECT_DOUBLE_EQ(rows[3]["loss_percent"].toDouble(), 100.0);
    EXPECT_TRUE(rows[3]["address"].isNull());
    EXPECT_TRUE(rows[3]["jitter_ms"].isNull());
}

// Rounds over loopback, through each kind of socket that opens here.
class LoopbackView : public MonitorView {
  public:
    bool stopRequested() override { return stopAfter > 0 && rounds >= stopAfter; }
    void roundEnded(const MonitorTable&) override { ++rounds; }
    int rounds = 0, stopAfter = 0;
};

TEST(MonitorLoopback, RoundsAndStop) {
    using Mode = platform::LinuxProbeSocket::Mode;
    int opened = 0;
    for (const char* to : {"127.0.0.1", "::1"}) {
        const auto loopback = *platform::IpAddress::parse(to);
        for (const Mode mode : {Mode::DatagramOnly, Mode::RawOnly}) {
            const auto socket = platform::LinuxProbeSocket::open(loopback.family(), mode);
            if (!socket) continue;
            ++opened;
            SCOPED_TRACE(std::string(to) + (mode == Mode::RawOnly ? " raw" : " datagram"));
            test::LoopbackResolver resolver;
            LoopbackView view;
            Monitor monitor(view, *socket, resolver);
            MonitorOptions options;
            options.rounds = 3;
            options.spacingMs = 0;
            options.names = true;
            EXPECT_EQ(monitor.run(to, loopback, options), MonitorEnding::Finished);
            // The first round probes 30 hops; all are loopback's own answer.
            const MonitorTable& t = monitor.table();
            EXPECT_EQ(view.rounds, 3);
            EXPECT_TRUE(t.reached);
            ASSERT_EQ(t.hops.size(), 1u);
            EXPECT_EQ(t.hops[0].sent, 3);
            EXPECT_EQ(t.hops[0].answered, 3);
            ASSERT_EQ(t.hops[0].addresses.size(), 1u);
            EXPECT_EQ(t.hops[0].addresses[0].address, loopback);
            EXPECT_EQ(t.hops[0].addresses[0].name, loopback.isV4() ? "localhost" : "");
            EXPECT_GT(t.hops[0].addresses[0].trips.bestUs(), 0u);

            view.stopAfter = 1;
            view.rounds = 0;
            options.rounds = 0;  // until stopped
            EXPECT_EQ(monitor.run(to, loopback, options), MonitorEnding::Stopped);
            EXPECT_EQ(monitor.table().rounds, 1);
        }
    }
    if (opened == 0) GTEST_SKIP() << "no ICMP socket opens here";
}

}  // namespace
}  // namespace norvik::trace
