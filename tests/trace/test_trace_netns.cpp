// Real traces across the routed lab of tests/support/Netns.h. Nothing
// leaves the machine: every address lives in a namespace of the test.
#include <gtest/gtest.h>

#include <QProcess>

#include "../support/LoopbackResolver.h"
#include "../support/NetnsFixture.h"
#include "../support/RunCli.h"
#include "../support/ScriptedMessageBox.h"
#include "net/HostToIP.h"
#include "platform/LinuxEchoService.h"
#include "platform/SystemResolver.h"
#include "trace/MemoryTraceView.h"
#include "trace/Tracer.h"

namespace norvik::trace {
namespace {

constexpr char kDest[] = "203.0.113.2";
constexpr char kUnreachable[] = "203.0.113.70";
constexpr char kBlackhole[] = "203.0.113.100";
constexpr char kCrafterOther[] = "203.0.113.35";  // answered from 203.0.113.34
constexpr char kR1v6[] = "2001:db8:1::1";
constexpr char kR2v6[] = "2001:db8:100:1::2";
constexpr char kDestV6[] = "2001:db8:3::2";

// One trace run by a child in the sender's namespace: the status line, a
// blank line, then the results box. Given hosts lines, hop names are asked
// for, of the system resolver reading them as its hosts file.
std::function<std::string()> tracing(const std::string& to, const std::string& size,
                                     const std::string& hostsLines = "") {
    return [=] {
        test::ScriptedMessageBox boxes;
        test::LoopbackResolver loopback;
        platform::SystemResolver system;
        if (!hostsLines.empty() && !test::useHostsFile(hostsLines)) return std::string("no hosts");
        platform::Resolver& resolver =
            hostsLines.empty() ? static_cast<platform::Resolver&>(loopback) : system;
        net::HostToIP hosts(resolver, boxes);
        platform::LinuxEchoService echo;
        MemoryTraceView view;
        view.destination = to;
        view.packetSize = size;
        view.names = !hostsLines.empty();
        Tracer(view, hosts, resolver, echo, boxes).trace();
        return view.status + "\n\n" + view.results;
    };
}

class TraceAcrossNamespaces : public test::NetnsFixture<> {
  protected:
    std::string trace(const std::string& to, const std::string& size = "32") {
        return test::runInside(lab_.name("sender"), tracing(to, size));
    }
};

TEST_F(TraceAcrossNamespaces, EachEndingLineForLine) {
    const char* loop = "Trace Route Failed - Route Stuck in Loop";
    const char* timeout = "Trace Route Failed - Permanent Timeout Occurring";
    const struct {
        const char *name, *to, *status;
        std::vector<std::string> hops;
        const char* closing;
    } cases[] = {
        {"the destination answers",
         kDest,
         "Trace Route Complete",
         {"192.0.2.1", "198.51.100.2", kDest},
         "Trace Route Complete"},
        // r2 answers hops 2 and 3 with its unreachable error.
        {"one router answers two hops",
         kUnreachable,
         "Trace Route Failed",
         {"192.0.2.1", "198.51.100.2"},
         loop},
        {"a silent router", kBlackhole, "Trace Route Timed Out", {"192.0.2.1", ""}, timeout},
        {"IPv6: the destination answers",
         kDestV6,
         "Trace Route Complete",
         {kR1v6, kR2v6, kDestV6},
         "Trace Route Complete"},
        {"IPv6: a router with no route answers two hops",
         "2001:db8:3:4::1",
         "Trace Route Failed",
         {kR1v6, kR2v6},
         loop},
        {"IPv6: a silent router", "2001:db8:3:6::1", "Trace Route Timed Out", {kR1v6, ""}, timeout},
    };
    for (const auto& c : cases) {
        std::string expected = std::string(c.status) + "\n\nTracing Route to " + c.to + ":\r\n\r\n";
        for (std::size_t i = 0; i < c.hops.size(); ++i)
            expected += "Hop #\t" + std::to_string(i + 1) + "\t<10 ms\t" + c.hops[i] + "\r\n";
        expected += "\r\n" + std::string(c.closing);
        EXPECT_EQ(test::maskTimes(trace(c.to)), test::maskTimes(expected)) << c.name;
    }
}

// Hop names over IPv6 come through ip6.arpa, here of the hosts file; a hop
// without a name gets an empty one. The destination is named as typed.
TEST_F(TraceAcrossNamespaces, Ipv6HopNamesThroughTheHostsFile) {
    const std::string hostsLines = std::string(kR1v6) + " r1.test\n" + kDestV6 + " dest6.test\n";
    EXPECT_EQ(
        test::maskTimes(
            test::runInside(lab_.name("sender"), tracing("dest6.test", "32", hostsLines))),
        test::maskTimes(
            std::string("Trace Route Complete\n\nTracing Route to dest6.test:\r\n\r\n") +
            "Hop #\t1\t<10 ms\t" + kR1v6 + "\tr1.test\r\nHop #\t2\t<10 ms\t" + kR2v6 +
            "\t\r\nHop #\t3\t<10 ms\t" + kDestV6 + "\tdest6.test\r\n\r\nTrace Route Complete"));
}

TEST_F(TraceAcrossNamespaces, DestinationAnsweringFromAnotherAddressIsNeverReached) {
    test::NetnsChild crafter(lab_.name("crafter"), [] {
        return test::answerEchoes({0, 0, test::EchoAnswer::Reply}, 2);
    });
    ASSERT_TRUE(crafter.waitReady(10000)) << crafter.why();
    EXPECT_EQ(test::maskTimes(trace(kCrafterOther)),
              test::maskTimes("Trace Route Failed\n\nTracing Route to 203.0.113.35:\r\n\r\n"
                              "Hop #\t1\t<10 ms\t192.0.2.1\r\nHop #\t2\t<10 ms\t198.51.100.2\r\n"
                              "Hop #\t3\t<10 ms\t203.0.113.34\r\n\r\n"
                              "Trace Route Failed - Route Stuck in Loop"));
    EXPECT_EQ(crafter.result(15000).value_or(crafter.why()), "sent 2");
}

TEST_F(TraceAcrossNamespaces, CommandLinePrintsEachHopAsItCompletes) {
    const char* cli = std::getenv("NORVIK_CLI");
    ASSERT_NE(cli, nullptr);
    QProcess p;
    p.start("ip", {"netns", "exec", QString::fromStdString(lab_.name("sender")), cli, "trace",
                   kBlackhole});
    ASSERT_TRUE(p.waitForStarted(10000));
    // Hop 1 is printed while hop 2 still waits for its 2400 ms time-out.
    std::string early;
    while (early.find("192.0.2.1\n") == std::string::npos && p.waitForReadyRead(5000))
        early += p.readAllStandardOutput().toStdString();
    EXPECT_EQ(p.state(), QProcess::Running);
    EXPECT_EQ(test::maskTimes(early),
              "Tracing Route to 203.0.113.100:\n\nHop #\t1\tN ms\t192.0.2.1\n");
    ASSERT_TRUE(p.waitForFinished(15000));
    const std::string rest = p.readAllStandardOutput().toStdString();
    EXPECT_EQ(rest, "Hop #\t2\t<10 ms\t\n\nTrace Route Failed - Permanent Timeout Occurring\n");
    EXPECT_EQ(p.readAllStandardError().toStdString(), "Trace Route Timed Out\n");
    EXPECT_EQ(p.exitCode(), 1);
}

}  // namespace
}  // namespace norvik::trace
