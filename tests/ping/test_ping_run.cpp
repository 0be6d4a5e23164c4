#include <gtest/gtest.h>

#include "../support/LoopbackResolver.h"
#include "../support/ScriptedEchoService.h"
#include "../support/ScriptedMessageBox.h"
#include "../support/TempStore.h"
#include "net/HostToIP.h"
#include "ping/MemoryPingView.h"
#include "ping/Numbers.h"
#include "ping/PingRun.h"
#include "store/Settings.h"

namespace norvik::ping {
namespace {

using platform::Answer;

class PingRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(temp.valid());
        reg.CreateKeyPath(store::kSessionIPsKey);
        view.address = "localhost";
        view.payload = BuildPayload("32");
    }

    bool run() {
        PingRun r(view, reg, hosts, echo, boxes);
        const bool went = r.run();
        figures = r.figures();
        return went;
    }
    std::string read(const std::string& key, const std::string& name) {
        return reg.ReadKeyValue(key, name);
    }

    test::TempStore temp;
    std::unique_ptr<platform::SqliteKeyStore> keys = temp.open();
    test::ScriptedMessageBox boxes;
    store::Registry reg{*keys, boxes};
    test::LoopbackResolver resolver;
    net::HostToIP hosts{resolver, boxes};
    test::ScriptedEchoService echo;
    struct View : MemoryPingView {
        std::vector<PingRecord> handed;
        void setRecords(const std::vector<PingRecord>& r) override { handed = r; }
    } view;
    PingFigures figures;
};

TEST_F(PingRunTest, TwoRepliesAndATimeOutGiveTheCountersRecordsAndRequests) {
    view.count = "3";
    echo.replyAfter(20);
    echo.results.front().roundTripUs = 20417;  // the service's own microseconds
    echo.results.front().ttl = 64;
    echo.replyAfter(31);
    echo.failWith(11010);
    ASSERT_TRUE(run());

    // The report, its figures and the last pass's fields: the page test of
    // the same run checks them exactly. The counters never show the run done.
    EXPECT_EQ(view.reportShows, 1);
    EXPECT_EQ(std::tie(figures.attempts, figures.successes), std::make_tuple(3, 2));
    EXPECT_EQ(std::tie(view.done, view.percent, view.todo, view.panel),
              std::make_tuple("2", " 66.7%", "3", "reply"));
    EXPECT_TRUE(view.pingEnabled);
    EXPECT_TRUE(view.windowEnabled);
    // Every echo went to the resolved address with the payload and 500 ms.
    ASSERT_EQ(echo.requests.size(), 3u);
    for (const auto& r : echo.requests) {
        EXPECT_EQ(r.address.toString(), "127.0.0.1");
        EXPECT_EQ(r.payload, BuildPayload("32"));
        EXPECT_EQ(r.timeoutMs, 500);
    }
    // One record per pass goes to the view beside the report, in full microseconds.
    ASSERT_EQ(view.handed.size(), 3u);
    const PingRecord& a = view.handed[0];
    const PingRecord& c = view.handed[2];
    EXPECT_EQ(std::tie(a.sequence, a.address, a.status, a.roundTripUs, a.bytes, a.ttl),
              std::make_tuple(1, std::string("127.0.0.1"), 0, 20417u, 32u, 64));
    EXPECT_EQ(std::tie(c.sequence, c.status, c.roundTripUs), std::make_tuple(3, 11010, 0u));
    EXPECT_GT(a.sentAtMs, 1'600'000'000'000);
    EXPECT_LE(a.sentAtMs, c.sentAtMs);
}

TEST_F(PingRunTest, AverageRoundsDownAndAllTimeOutsLeaveZeroFigures) {
    const struct {
        std::vector<int> replies;  // the rest of the four passes time out
        const char *average, *timeouts, *figures;
    } cases[] = {
        {{10, 17, 16, 16}, " 14ms", " 0", "Minimum Ping:  10ms\r\nMaximum Ping:  17ms"},
        {{}, "0ms", " 4", "Minimum Ping:  0ms\r\nMaximum Ping:  0ms\r\nAverage Ping: 0ms"}};
    view.count = "4";
    for (const auto& c : cases) {
        for (int ms : c.replies) echo.replyAfter(ms);
        ASSERT_TRUE(run());
        EXPECT_EQ(view.reportAverage, c.average);
        EXPECT_EQ(view.reportTimeouts, c.timeouts);
        EXPECT_NE(view.reportText.find(c.figures), std::string::npos) << view.reportText;
    }
}

TEST_F(PingRunTest, NoEndsTheProgramWithoutSavingTheList) {
    for (const char* count : {"", "abc", "1e308"}) {
        boxes.shown.clear();
        view.count = count;
        view.ended = false;
        boxes.answers = {Answer::No};
        EXPECT_FALSE(run()) << count;
        EXPECT_TRUE(view.ended);
        ASSERT_EQ(boxes.shown.size(), 2u);  // the closing box's text: the page test
        EXPECT_EQ(read(store::kSessionIPsKey, "1"), "Error");
        EXPECT_TRUE(echo.requests.empty());
    }
    EXPECT_EQ(boxes.shown[0].text.substr(0, 28), "An Error Occurred (Error 6)\r");
}

TEST_F(PingRunTest, ReplyFieldsShowTheRecord) {
    view.count = "2";
    echo.replyAfter(9, platform::inetAddr("192.168.1.1"));
    echo.replyAfter(1, platform::inetAddr("10.0.0.200"));
    std::vector<std::string> addressField;
    view.onPass = [&](int) { addressField.push_back(view.fields[1]); };
    ASSERT_TRUE(run());
    EXPECT_EQ(addressField, (std::vector<std::string>{"16885952", "-939524086"}));
    EXPECT_EQ(view.fields[0], "0   [ ip success ]");
    EXPECT_EQ(view.fields[2], "1 ms");
    EXPECT_EQ(view.fields[3], "32 bytes");
    EXPECT_FALSE(view.fields[5].empty());
}

TEST_F(PingRunTest, BadAddressFailsEveryPassWithItsOwnStatus) {
    view.count = "2";
    view.address = "255.255.255.255";
    ASSERT_TRUE(run());
    EXPECT_TRUE(echo.requests.empty());
    EXPECT_EQ(view.fields[0], "-1   [ inet_addr: bad IP format ]");
    // The record was never written: the fields show its zeroes.
    EXPECT_EQ(view.fields[2], "0 ms");
    EXPECT_NE(view.reportText.find("Request Timed Out\r\nRequest Timed Out\r\n"),
              std::string::npos);
    EXPECT_EQ(view.reportTimeouts, " 2");
}

// A 128-bit address has no decimal form: its text stands in the field.
TEST_F(PingRunTest, AnIpv6ReplyShowsItsAddressTextHopLimitAndTrafficClass) {
    view.address = "[2001:db8::5]";
    view.count = "1";
    echo.replyAfter(3);
    echo.results.front().replyAddress = *platform::IpAddress::parse("2001:db8::5");
    echo.results.front().ttl = 61;
    echo.results.front().tos = 0x28;
    PingRun r(view, reg, hosts, echo, boxes);
    ASSERT_TRUE(r.run());
    EXPECT_EQ(echo.requests.at(0).address.toString(), "2001:db8::5");
    EXPECT_EQ(view.resolved, "2001:db8::5");
    EXPECT_EQ(view.fields[1], "2001:db8::5");
    EXPECT_EQ(std::tie(r.reply().ttl, r.reply().tos), std::make_tuple(61, 0x28));
    EXPECT_EQ(r.records().at(0).ttl, 61);
}

TEST_F(PingRunTest, AddressHistoryAddsNewTextsOnlyCaseSensitively) {
    reg.WriteKeyValue(store::kSessionIPsKey, "2", "alpha");
    reg.WriteKeyValue(store::kSessionIPsKey, "3", "beta");
    view.items = store::ReadSessionList(reg);  // "alpha", "beta" as the page shows them
    view.count = "1";
    for (const char* address : {"beta", "Beta"}) {  // a known text, then one in capitals
        view.address = address;
        echo.replyAfter(1);
        ASSERT_TRUE(run());
    }
    EXPECT_EQ(read(store::kSessionIPsKey, "1"), "alpha");  // slots renumbered from 1
    EXPECT_EQ(store::ReadSessionList(reg), (std::vector<std::string>{"alpha", "beta", "Beta"}));
}

TEST_F(PingRunTest, LongListsWriteEverySlot) {
    for (int n = 1; n <= 12; ++n) view.items.push_back("host" + std::to_string(n));
    view.count = "1";
    ASSERT_TRUE(run());
    EXPECT_EQ(read(store::kSessionIPsKey, "12"), "host12");
    EXPECT_EQ(read(store::kSessionIPsKey, "13"), "localhost");
    EXPECT_EQ(store::ReadSessionList(reg).size(), 10u);
}

TEST_F(PingRunTest, OddInputIsHandledWithoutLosingTheStore) {
    reg.WriteKeyValue(store::kSessionIPsKey, "1", "kept");
    view.items = {"kept"};
    view.count = "1";
    for (const std::string& address :
         {std::string(10000, 'x'), std::string("h\xc3\xa9llo\x01\x7f"), std::string("a\0b", 3),
          std::string("2001:db8::1::2"), std::string("[::1"), std::string("fe80::1%nosuchif9")}) {
        view.address = address;
        ASSERT_TRUE(run());
        EXPECT_EQ(view.fields[0], "-1   [ inet_addr: bad IP format ]");
    }
    EXPECT_EQ(read(store::kSessionIPsKey, "1"), "kept");
    EXPECT_EQ(read(store::kSessionIPsKey, "2"), "Error");  // 10,000 characters do not read back
    for (const auto& item : store::ReadSessionList(reg))   // malformed IPv6 literals are not kept
        EXPECT_EQ(item.find(':'), std::string::npos) << item;
}

}  // namespace
}  // namespace norvik::ping
