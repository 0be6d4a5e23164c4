// Real traces across network namespaces built for the test. Nothing leaves
// the machine: every address lives in a namespace of the test.
//
//   sender 192.0.2.2 -- 192.0.2.1 r1 198.51.100.1 -- 198.51.100.2 r2 203.0.113.1  -- 203.0.113.2
//   dest
//                                                                    203.0.113.65 -- 203.0.113.66
//                                                                    mute
//
// r1 and r2 forward. r2 has an unreachable route (203.0.113.192/27), which
// it answers with ICMP errors, and a blackhole route (203.0.113.224/27),
// where it stays silent. mute's kernel answers no echo; a child there
// answers those to its second address, 203.0.113.67, from 203.0.113.66.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QProcess>
#include <cstring>
#include <sstream>

#include "../support/LoopbackResolver.h"
#include "../support/Netns.h"
#include "../support/ScriptedMessageBox.h"
#include "net/HostToIP.h"
#include "platform/LinuxEchoService.h"
#include "trace/MemoryTraceView.h"
#include "trace/Tracer.h"

namespace norvik::trace {
namespace {

constexpr char kDest[] = "203.0.113.2";
constexpr char kUnreachable[] = "203.0.113.200";
constexpr char kBlackhole[] = "203.0.113.230";
constexpr char kMuteOther[] = "203.0.113.67";

// One trace run by a child in the sender's namespace: the status line, a
// blank line, then the results box.
std::function<std::string()> tracing(const std::string& to, const std::string& size) {
    return [=] {
        test::ScriptedMessageBox boxes;
        test::LoopbackResolver resolver;
        net::HostToIP hosts(resolver, boxes);
        platform::LinuxEchoService echo;
        MemoryTraceView view;
        view.destination = to;
        view.packetSize = size;
        Tracer(view, hosts, resolver, echo, boxes).trace();
        return view.status + "\n\n" + view.results;
    };
}

// Hop lines with their time field put as "T": the times depend on the load.
// Any other time text fails the test.
std::string timesMasked(const std::string& text) {
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line)) {
        if (line.rfind("Hop #\t", 0) == 0) {
            const auto a = line.find('\t', 6), b = line.find('\t', a + 1);
            const std::string t = line.substr(a + 1, b - a - 1);
            const bool valid = t == "<10 ms" || t == "*" ||
                               (t.size() > 3 && t.ends_with(" ms") &&
                                t.find_first_not_of("0123456789") == t.size() - 3);
            EXPECT_TRUE(valid) << "time text " << t;
            line.replace(a + 1, b - a - 1, "T");
        }
        out += line + "\n";
    }
    return out;
}

// Runs in mute: answers up to `count` echo requests for 203.0.113.67 with
// echo replies from 203.0.113.66.
std::string answerFromOtherAddress(int count) {
    // A raw socket bound to an address hears only what is sent to it: one
    // socket listens, the other answers from 203.0.113.66.
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    const int out = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0 || out < 0) return "socket failed";
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = ::inet_addr("203.0.113.66");
    if (::bind(out, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0) return "bind failed";
    test::NetnsChild::signalReady();
    int answered = 0;
    std::string packet(2048, '\0');
    while (answered < count) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 15000) != 1) break;
        sockaddr_in from{};
        socklen_t size = sizeof from;
        const ssize_t n = ::recvfrom(fd, packet.data(), packet.size(), 0,
                                     reinterpret_cast<sockaddr*>(&from), &size);
        if (n < 28) continue;
        const std::size_t ip = (packet[0] & 0x0F) * 4u;
        std::uint32_t to;
        std::memcpy(&to, packet.data() + 16, 4);
        if (packet[ip] != 8 || to != ::inet_addr(kMuteOther)) continue;
        std::string reply = packet.substr(ip, static_cast<std::size_t>(n) - ip);
        reply[0] = 0;
        reply[2] = reply[3] = 0;
        const std::uint16_t sum = test::icmpChecksum(reply);
        reply[2] = static_cast<char>(sum >> 8);
        reply[3] = static_cast<char>(sum & 0xFF);
        answered += ::sendto(out, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
                             sizeof from) > 0;
    }
    ::close(fd);
    ::close(out);
    return "answered " + std::to_string(answered);
}

class TraceAcrossNamespaces : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string why = test::NetnsLab::unavailableReason();
        if (!why.empty()) GTEST_SKIP() << "needs network namespaces: " << why;
        test::NetnsLab& l = lab_;
        bool ok = l.add("sender") && l.add("r1") && l.add("r2") && l.add("dest") && l.add("mute") &&
                  l.link("sender", "192.0.2.2/24", "r1", "192.0.2.1/24") &&
                  l.link("r1", "198.51.100.1/24", "r2", "198.51.100.2/24") &&
                  l.link("r2", "203.0.113.1/26", "dest", "203.0.113.2/26") &&
                  l.link("r2", "203.0.113.65/26", "mute", "203.0.113.66/26") &&
                  l.ip("mute", {"addr", "add", "203.0.113.67/32", "dev", "lo"}) &&
                  l.sysctl("mute", "net/ipv4/icmp_echo_ignore_all", "1") &&
                  l.ip("sender", {"route", "add", "default", "via", "192.0.2.1"}) &&
                  l.ip("r1", {"route", "add", "default", "via", "198.51.100.2"}) &&
                  l.ip("r2", {"route", "add", "default", "via", "198.51.100.1"}) &&
                  l.ip("r2", {"route", "add", "203.0.113.67/32", "via", "203.0.113.66"}) &&
                  l.ip("r2", {"route", "add", "unreachable", "203.0.113.192/27"}) &&
                  l.ip("r2", {"route", "add", "blackhole", "203.0.113.224/27"}) &&
                  l.ip("dest", {"route", "add", "default", "via", "203.0.113.1"}) &&
                  l.ip("mute", {"route", "add", "default", "via", "203.0.113.65"});
        for (const char* router : {"r1", "r2"}) {
            ok = ok && l.sysctl(router, "net/ipv4/ip_forward", "1") &&
                 l.sysctl(router, "net/ipv4/icmp_ratemask", "0");
        }
        ASSERT_TRUE(ok) << l.error();
    }
    std::string trace(const std::string& to, const std::string& size = "32") {
        return test::runInside(lab_.name("sender"), tracing(to, size));
    }
    test::NetnsLab lab_;
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
    };
    for (const auto& c : cases) {
        std::string expected = std::string(c.status) + "\n\nTracing Route to " + c.to + ":\r\n\r\n";
        for (std::size_t i = 0; i < c.hops.size(); ++i)
            expected += "Hop #\t" + std::to_string(i + 1) + "\t<10 ms\t" + c.hops[i] + "\r\n";
        expected += "\r\n" + std::string(c.closing) + "\n";
        EXPECT_EQ(timesMasked(trace(c.to)), timesMasked(expected)) << c.name;
    }
}

TEST_F(TraceAcrossNamespaces, DestinationAnsweringFromAnotherAddressIsNeverReached) {
    test::NetnsChild mute(lab_.name("mute"), [] { return answerFromOtherAddress(2); });
    ASSERT_TRUE(mute.waitReady(10000)) << mute.why();
    EXPECT_EQ(timesMasked(trace(kMuteOther)),
              timesMasked("Trace Route Failed\n\nTracing Route to 203.0.113.67:\r\n\r\n"
                          "Hop #\t1\t<10 ms\t192.0.2.1\r\nHop #\t2\t<10 ms\t198.51.100.2\r\n"
                          "Hop #\t3\t<10 ms\t203.0.113.66\r\n\r\n"
                          "Trace Route Failed - Route Stuck in Loop\n"));
    EXPECT_EQ(mute.result(15000).value_or(mute.why()), "answered 2");
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
    EXPECT_EQ(timesMasked(early), "Tracing Route to 203.0.113.230:\n\nHop #\t1\tT\t192.0.2.1\n");
    ASSERT_TRUE(p.waitForFinished(15000));
    const std::string rest = p.readAllStandardOutput().toStdString();
    EXPECT_EQ(rest, "Hop #\t2\t<10 ms\t\n\nTrace Route Failed - Permanent Timeout Occurring\n");
    EXPECT_EQ(p.readAllStandardError().toStdString(), "Trace Route Timed Out\n");
    EXPECT_EQ(p.exitCode(), 1);
}

}  // namespace
}  // namespace norvik::trace
