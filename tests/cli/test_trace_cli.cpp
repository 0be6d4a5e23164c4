// norvik-cli trace, run as its own process, on loopback. Usage errors:
// test_resolve_cli.cpp; without ICMP sockets: test_echo_cli.cpp; namespace
// traces: tests/trace.
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

}  // namespace
}  // namespace norvik
