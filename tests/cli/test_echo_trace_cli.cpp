// norvik-cli echo and trace, run as their own processes: on loopback, with
// addresses that do not parse, across namespaces and without ICMP sockets.
// Usage errors: test_resolve_cli.cpp (CliUsage); namespace traces: tests/trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "../support/NetnsFixture.h"
#include "../support/RunCli.h"
#include "platform/LinuxEchoService.h"

namespace norvik {
namespace {

const std::string kNoStore = "/nonexistent/norvik-echo-test.sqlite3";  // these keep nothing

TEST(EchoCli, EchoesAndTracesLoopback) {
    const std::string why = platform::LinuxEchoService().unavailableReason();
    if (!why.empty()) GTEST_SKIP() << "no ICMP socket can be opened here: " << why;
    const std::string done = "Trace Route Complete\n";
    const struct {
        std::vector<std::string> args;
        std::string out, err;
    } cases[] = {
        {{"echo", "-s", "100", "127.0.0.1"},
         "0   [ ip success ]\nN ms\n100 bytes\n127.0.0.1\n",
         ""},
        // the default payload
        {{"echo", "-t", "64", "127.0.0.1"}, "0   [ ip success ]\nN ms\n32 bytes\n127.0.0.1\n", ""},
        {{"trace", "127.0.0.1"},
         "Tracing Route to 127.0.0.1:\n\nHop #\t1\tN ms\t127.0.0.1\n\n" + done,
         done},
        {{"echo", "-6", "-t", "1", "[::1]"}, "0   [ ip success ]\nN ms\n32 bytes\n::1\n", ""},
        {{"trace", "-6", "::1"}, "Tracing Route to ::1:\n\nHop #\t1\tN ms\t::1\n\n" + done, done},
        {{"trace", "-s", "64.5", "--names", "localhost"},
         "Tracing Route to localhost:\n\nHop #\t1\tN ms\t127.0.0.1\tlocalhost\n\n" + done,
         done},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const auto r = test::runCli(c.args, kNoStore);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(test::maskTimes(r.out), c.out);
        EXPECT_EQ(r.err, c.err);
    }
}

// Usage errors: test_resolve_cli.cpp (CliUsage).
TEST(EchoCli, SendsNothingForBadAddresses) {
    for (const char* address :
         {"255.255.255.255", "norvik.example", "1.2.3.4.5", "", "2001:db8::1::2", "[::1"}) {
        const auto r = test::runCli({"echo", address}, kNoStore);
        EXPECT_EQ(r.exitCode, 1) << address;
        EXPECT_EQ(r.out, "-1   [ inet_addr: bad IP format ]\n") << address;
        EXPECT_EQ(r.err.find("usage: norvik-cli echo"), std::string::npos) << r.err;
    }
    // A forced family refuses the other's address the same way.
    for (const auto& args : {std::vector<std::string>{"echo", "-6", "127.0.0.1"},
                             std::vector<std::string>{"echo", "-4", "::1"}})
        EXPECT_EQ(test::runCli(args, kNoStore).out, "-1   [ inet_addr: bad IP format ]\n");
}

// The command run inside a namespace of the test's: its exit status, then
// what it printed.
std::string cliInside(const std::string& netns, const std::vector<std::string>& args,
                      bool asNobody = false) {
    return test::runInside(netns, [&] {
        if (asNobody && !test::NetnsChild::becomeNobody())
            return std::string("cannot become nobody");
        std::vector<std::string> argv{std::getenv("NORVIK_CLI")};
        argv.insert(argv.end(), args.begin(), args.end());
        std::string out;
        const int code = test::runProgram(argv, &out);
        return std::to_string(code) + "\n" + out;
    });
}

using EchoCliAcrossNamespaces = test::NetnsFixture<>;

// ttl 1 is answered by the first router. Where no group may open datagram
// sockets (r1) and nobody runs it, echo and trace say how to allow them:
// the exit status, the first line, and the reason as one paragraph.
TEST_F(EchoCliAcrossNamespaces, RoutersAnswerAndWithoutSocketsTheCommandsSayHowToAllowThem) {
    ASSERT_NE(std::getenv("NORVIK_CLI"), nullptr) << "NORVIK_CLI is not set";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"echo", "-t", "1", "203.0.113.2"},
         "1\n11013   [ ip ttl expired transit ]\nN ms\n0 bytes\n192.0.2.1\n"},
        {{"echo", "-t", "3", "-s", "16", "203.0.113.2"},
         "0\n0   [ ip success ]\nN ms\n16 bytes\n203.0.113.2\n"},
    };
    for (const auto& [args, want] : cases)
        EXPECT_EQ(test::maskTimes(cliInside(lab_.name("sender"), args)), want);
    const std::pair<std::string, std::string> closed[] = {
        {"echo", "1\n11050   [ ip general failure ]\n"},
        {"trace", "1\nNorvik - Tracer Error: Unable to Open an Icmp File Handle\n"}};
    for (const auto& [command, first] : closed) {
        const std::string text = cliInside(lab_.name("r1"), {command, "127.0.0.1"}, true);
        ASSERT_EQ(text.rfind(first, 0), 0u) << text;
        EXPECT_NE(text.find("net.ipv4.ping_group_range"), std::string::npos) << text;
        EXPECT_NE(text.find("setcap cap_net_raw+ep"), std::string::npos) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), command == "echo" ? 6 : 3) << text;
    }
}

}  // namespace
}  // namespace norvik
