// The monitor across namespaces of the test's own: loss per hop behind a
// router that drops every second probe, a silent hop, a path that changes
// between rounds, delayed links with answers that come too late, and Stop
// in the middle of a round.
#include <gtest/gtest.h>

#include <QString>
#include <functional>
#include <sstream>

#include "../support/DelayRelay.h"
#include "../support/LoopbackResolver.h"
#include "../support/NetnsFixture.h"
#include "export/MonitorExport.h"
#include "platform/LinuxProbeSocket.h"
#include "trace/Monitor.h"

namespace norvik::trace {
namespace {

constexpr char kDest[] = "203.0.113.2";

// Runs the monitor in the sender's namespace with a hook after each round;
// gives back its table's rows as "hop,host,loss,sent", the ending first.
struct Watch {
    MonitorOptions options;
    std::function<void(int round)> afterRound;
    bool stopInSecondRound = false;
    std::string to = kDest;
    platform::LinuxProbeSocket::Mode mode = platform::LinuxProbeSocket::Mode::Automatic;
};

class WatchView : public MonitorView {
  public:
    explicit WatchView(const Watch& w) : watch_(w) {}
    platform::Waiter waiter() override {
        return [this](int fd, int ms) {
            ++waits_;
            return platform::pollWaiter(fd, ms);
        };
    }
    bool stopRequested() override { return watch_.stopInSecondRound && rounds_ == 1 && waits_ > 0; }
    void roundEnded(const MonitorTable&) override {
        waits_ = 0;
        ++rounds_;
        if (watch_.afterRound) watch_.afterRound(rounds_);
    }

  private:
    const Watch& watch_;
    int rounds_ = 0, waits_ = 0;
};

// The table's rows as "hop,host,loss,sent": the times vary from run to run.
std::string rowsOf(const MonitorTable& table) {
    std::istringstream csv(exports::Render(exports::Format::Csv, table));
    std::string line, out;
    std::getline(csv, line);  // the header
    while (std::getline(csv, line)) {
        std::size_t at = 0;
        for (int field = 0; field < 4; ++field) at = line.find(',', at) + 1;
        out += line.substr(0, at - 1) + "\n";
    }
    return out;
}

std::string watching(const Watch& w) {
    const auto to = *platform::IpAddress::parse(w.to);
    const auto socket = platform::LinuxProbeSocket::open(to.family(), w.mode);
    if (!socket) return "no socket";
    test::LoopbackResolver resolver;
    WatchView view(w);
    Monitor monitor(view, *socket, resolver);
    const MonitorEnding ending = monitor.run(w.to, to, w.options);
    std::string out = ending == MonitorEnding::Finished ? "finished" : "stopped";
    out += socket->kind() == platform::IcmpSocketKind::Datagram ? " datagram" : " raw";
    out += monitor.table().reached ? " reached\n" : " unreached\n";
    return out + rowsOf(monitor.table());
}

MonitorOptions rounds(int n, int timeoutMs, int maxHops = kMonitorHops) {
    MonitorOptions o;
    o.rounds = n;
    o.timeoutMs = timeoutMs;
    o.spacingMs = 0;
    o.maxHops = maxHops;
    return o;
}

// sender -- r1 -- r2 -- r3 -- dest, and r2b beside r2 (from r1 at
// 198.51.100.9/.10 to r3 at .13/.14); the sender opens datagram sockets.
class MonitorAcrossNamespaces : public test::NetnsFixture<> {
  protected:
    test::Topology topology() override {
        test::Topology t = test::path(3);
        t.node("sender").sysctl.push_back({"net/ipv4/ping_group_range", "0 2147483647"});
        t.nodes.push_back({"r2b",
                           true,
                           {{"route", "add", "default", "via", "198.51.100.9"},
                            {"route", "add", "203.0.113.0/25", "via", "198.51.100.14"}},
                           {}});
        t.links.push_back({"r1", "r2b", {"198.51.100.9/30"}, {"198.51.100.10/30"}});
        t.links.push_back({"r2b", "r3", {"198.51.100.13/30"}, {"198.51.100.14/30"}});
        return t;
    }
    std::string watch(const Watch& w) {
        return test::runInside(lab_.name("sender"), [&w] { return watching(w); });
    }
    bool nft(const std::string& role, const std::vector<std::string>& args) {
        std::vector<std::string> argv{"ip", "netns", "exec", lab_.name(role), "nft"};
        argv.insert(argv.end(), args.begin(), args.end());
        return test::runProgram(argv) == 0;
    }
};

TEST_F(MonitorAcrossNamespaces, LossPerHopAndASilentHop) {
    // r2 forwards but its own answers go nowhere; the table stops at the
    // destination's hop, found in the first round of 30 probes.
    ASSERT_TRUE(lab_.ip("r2", {"rule", "add", "iif", "lo", "blackhole"})) << lab_.error();
    EXPECT_EQ(watch({rounds(2, 300), {}, false}),
              "finished datagram reached\n"
              "1,192.0.2.1,0.0,2\n2,*,100.0,2\n3,198.51.100.6,0.0,2\n4,203.0.113.2,0.0,2\n");

    // r2 answers again but drops every second probe it gets: those of hops
    // 2, 3 and 4, three a round, so each of them loses every second one.
    ASSERT_TRUE(lab_.ip("r2", {"rule", "del", "iif", "lo", "blackhole"})) << lab_.error();
    ASSERT_TRUE(nft("r2", {"add", "table", "ip", "lab"}));
    ASSERT_TRUE(nft(
        "r2", {"add", "chain", "ip", "lab", "in", "{ type filter hook prerouting priority 0; }"}));
    ASSERT_TRUE(nft("r2", {"add", "rule", "ip", "lab", "in", "icmp", "type", "echo-request",
                           "numgen", "inc", "mod", "2", "==", "0", "drop"}));
    EXPECT_EQ(watch({rounds(4, 300, 4), {}, false}),
              "finished datagram reached\n"
              "1,192.0.2.1,0.0,4\n2,198.51.100.2,50.0,4\n3,198.51.100.6,50.0,4\n"
              "4,203.0.113.2,50.0,4\n");
}

TEST_F(MonitorAcrossNamespaces, ThePathChangesBetweenRoundsAndStopEndsARound) {
    const std::string r1 = lab_.name("r1");
    Watch w{rounds(4, 1000), [r1](int round) {
                if (round == 2)
                    test::runProgram({"ip", "-n", r1, "route", "replace", "203.0.113.0/25", "via",
                                      "198.51.100.10"});
            }};
    EXPECT_EQ(watch(w),
              "finished datagram reached\n"
              "1,192.0.2.1,0.0,4\n2,198.51.100.2 (50%),0.0,4\n2,198.51.100.10 (50%),0.0,4\n"
              "3,198.51.100.6,0.0,4\n4,203.0.113.2,0.0,4\n");

    // Stop while the second round waits for a silent hop: only the first
    // round counts.
    ASSERT_TRUE(lab_.ip("r2b", {"rule", "add", "iif", "lo", "blackhole"})) << lab_.error();
    EXPECT_EQ(watch({rounds(3, 500), {}, true}),
              "stopped datagram reached\n"
              "1,192.0.2.1,0.0,1\n2,*,100.0,1\n3,198.51.100.6,0.0,1\n4,203.0.113.2,0.0,1\n");
}

TEST_F(MonitorAcrossNamespaces, OverIpv6ThroughEitherSocket) {
    using Mode = platform::LinuxProbeSocket::Mode;
    // The routers find their IPv6 neighbours only when first asked, which
    // can take seconds: one echo there and back first.
    ASSERT_EQ(test::runProgram({"ip", "netns", "exec", lab_.name("sender"), "ping", "-6", "-c", "1",
                                "-W", "10", "2001:db8:3::2"}),
              0);
    for (const Mode mode : {Mode::Automatic, Mode::RawOnly}) {
        Watch w{rounds(2, 1000), {}, false, "2001:db8:3::2", mode};
        EXPECT_EQ(watch(w), std::string("finished ") +
                                (mode == Mode::RawOnly ? "raw" : "datagram") +
                                " reached\n1,2001:db8:1::1,0.0,2\n2,2001:db8:100:1::2,0.0,2\n"
                                "3,2001:db8:100:2::2,0.0,2\n4,2001:db8:3::2,0.0,2\n");
    }
}

TEST(MonitorDelayedLinks, RoundTripsAndAnswersTooLate) {
    const std::string why = test::NetnsLab::unavailableReason();
    if (!why.empty()) GTEST_SKIP() << "needs network namespaces: " << why;
    // sender -- r1 ==30 ms each way== dest
    test::Topology t;
    t.nodes = {{"sender",
                false,
                {{"route", "add", "default", "via", "192.0.2.1"}},
                {{"net/ipv4/ping_group_range", "0 2147483647"}}},
               {"r1", true, {}, {}},
               {"dest", false, {}, {}}};
    t.links = {{"sender", "r1", {"192.0.2.2/24"}, {"192.0.2.1/24"}}};
    test::NetnsLab lab;
    ASSERT_TRUE(lab.build(t)) << lab.error();
    test::DelayRelay relay(lab,
                           {{"r1", "203.0.113.1", "dest", kDest, std::chrono::milliseconds(30)}});
    ASSERT_EQ(relay.error(), "");
    ASSERT_TRUE(lab.ip("dest", {"route", "add", "default", "via", "203.0.113.1"})) << lab.error();

    const std::string got = test::runInside(lab.name("sender"), [] {
        const auto socket = platform::LinuxProbeSocket::open(platform::Family::V4);
        if (!socket) return std::string("no socket");
        test::LoopbackResolver resolver;
        MonitorView view;
        Monitor monitor(view, *socket, resolver);
        const auto dest = *platform::IpAddress::parse(kDest);
        monitor.run(kDest, dest, rounds(3, 1000, 3));
        const MonitorTable& t = monitor.table();
        std::string out = std::to_string(t.hops.size()) + " hops";
        if (t.hops.size() == 2 && t.hops[1].addresses.size() == 1) {
            out += t.hops[0].addresses.at(0).trips.worstUs() < 60000 ? ", hop 1 quick" : "";
            out += t.hops[1].addresses[0].trips.bestUs() >= 60000 ? ", hop 2 after 60 ms" : "";
        }
        // A round shorter than the destination's round trip: each of its
        // answers comes during the next round, and counts for nothing.
        monitor.run(kDest, dest, rounds(3, 40, 2));
        return out + "\n" + rowsOf(monitor.table());
    });
    EXPECT_EQ(got, "2 hops, hop 1 quick, hop 2 after 60 ms\n1,192.0.2.1,0.0,3\n2,*,100.0,3\n");

    // r1 has no route to 203.0.113.3: every probe gets its unreachable
    // error, so the path ends at hop 1, and the destination never answered.
    std::string out;
    EXPECT_EQ(
        test::runProgram({"ip", "netns", "exec", lab.name("sender"), std::getenv("NORVIK_CLI"),
                          "trace", "--report", "-c", "1", "--format", "csv", "203.0.113.3"},
                         &out),
        1);
    EXPECT_EQ(out.substr(out.find('\n') + 1, 18), "1,192.0.2.1,0.0,1,") << out;
    EXPECT_EQ(QString::fromStdString(out).count("\r\n"), 2) << out;  // the header and one hop
}

}  // namespace
}  // namespace norvik::trace
