// norvik-cli trace, run as its own process: on loopback, with bad arguments,
// and without ICMP sockets. The namespace traces are in tests/trace.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "../support/Netns.h"
#include "../support/RunCli.h"
#include "platform/LinuxEchoService.h"

namespace norvik {
namespace {

const std::string kNoStore = "/nonexistent/norvik-trace-test.sqlite3";  // a trace keeps nothing

// The first hop's time field as "T": a loaded machine may take 10 ms and more.
std::string timeMasked(std::string out) {
    const auto from = out.find("Hop #\t1\t");
    if (from != std::string::npos) {
        const auto at = from + 8, end = out.find('\t', at);
        if (out.compare(at, end - at, "<10 ms") == 0 || out.compare(end - 3, 3, " ms") == 0)
            out.replace(at, end - at, "T");
    }
    return out;
}

TEST(TraceCli, TracesLoopbackWithAndWithoutNames) {
    const std::string why = platform::LinuxEchoService().unavailableReason();
    if (!why.empty()) GTEST_SKIP() << "no ICMP socket can be opened here: " << why;
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"trace", "127.0.0.1"}, "127.0.0.1\n"},
        {{"trace", "-s", "64.5", "--names", "localhost"}, "127.0.0.1\tlocalhost\n"},
    };
    for (const auto& [args, hop] : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const auto r = test::runCli(args, kNoStore);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(timeMasked(r.out), "Tracing Route to " + args.back() + ":\n\nHop #\t1\tT\t" +
                                         hop + "\nTrace Route Complete\n");
        EXPECT_EQ(r.err, "Trace Route Complete\n");
    }
}

TEST(TraceCli, UsageErrorsAndAnEmptyDestination) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"trace"},
                                                 {"trace", "127.0.0.1", "-s"},
                                                 {"trace", "-x", "127.0.0.1"},
                                                 {"trace", "127.0.0.1", "127.0.0.2"}}) {
        const auto r = test::runCli(args, kNoStore);
        EXPECT_EQ(r.exitCode, 2) << ::testing::PrintToString(args);
        EXPECT_NE(r.err.find("usage: norvik-cli trace"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    const auto empty = test::runCli({"trace", ""}, kNoStore);
    EXPECT_EQ(empty.exitCode, 2);
    EXPECT_EQ(empty.err, "Norvik: Where exactly did you want to trace to?!\n");
}

TEST(TraceCli, WithoutSocketsSaysHowToAllowThem) {
    const std::string why = test::NetnsLab::unavailableReason();
    if (!why.empty()) GTEST_SKIP() << "needs a network namespace: " << why;
    test::NetnsLab lab;
    ASSERT_TRUE(lab.add("closed") && lab.sysctl("closed", "net/ipv4/ping_group_range", "1 0"))
        << lab.error();
    const std::string text = test::runInside(lab.name("closed"), [] {
        if (!test::NetnsChild::becomeNobody()) return std::string("cannot become nobody");
        std::string out;
        const int code = test::runProgram({std::getenv("NORVIK_CLI"), "trace", "127.0.0.1"}, &out);
        return std::to_string(code) + "\n" + out;
    });
    ASSERT_EQ(text.rfind("1\nNorvik - Tracer Error: Unable to Open an Icmp File Handle\n", 0), 0u)
        << text;
    EXPECT_NE(text.find("net.ipv4.ping_group_range"), std::string::npos) << text;
    EXPECT_NE(text.find("setcap cap_net_raw+ep"), std::string::npos) << text;
}

}  // namespace
}  // namespace norvik
