// norvik-cli trace, run as its own process: on loopback and with bad
// arguments. Without ICMP sockets: test_echo_cli.cpp; namespace traces:
// tests/trace.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

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

}  // namespace
}  // namespace norvik
