#include <gtest/gtest.h>

#include "../support/RunCli.h"
#include "../support/TempStore.h"

namespace norvik {
namespace {

TEST(ResolveCli, ForwardAndBackOnLoopbackAndTheFailures) {
    test::TempStore temp;
    struct Case {
        std::vector<std::string> args;
        int exit;
        std::string out, err;
    };
    const std::string label(63, 'a');  // four make a name of 255 characters
    const Case cases[] = {
        {{"resolve", "localhost"}, 0, "127.0.0.1\n", ""},
        {{"resolve", "127.0.0.1"}, 0, "127.0.0.1\n", ""},
        {{"reverse", "127.0.0.1"}, 0, "localhost\n", ""},
        {{"reverse", "255.255.255.255"}, 1, "", "No Such IP Address Exists."},
        {{"reverse", "not an address"}, 1, "", "No Such IP Address Exists."},
        {{"resolve", std::string(64, 'a') + ".test"}, 1, "", "too long for the resolver"},
        {{"resolve", label + "." + label + "." + label + "." + label}, 1, "", "too long for the"},
        {{"resolve"}, 2, "", "usage: norvik-cli resolve NAME"},
        {{"reverse", "a", "b"}, 2, "", "usage: norvik-cli reverse ADDRESS"},
        {{"frobnicate"}, 2, "", "unknown command"},
    };
    for (const auto& c : cases) {
        const auto r = test::runCli(c.args, temp.path());
        EXPECT_EQ(r.exitCode, c.exit) << c.args[0] << " " << r.err;
        EXPECT_EQ(r.out, c.out) << c.args[0];
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    EXPECT_EQ(test::runCli({"--help"}, temp.path()).exitCode, 0);
}

}  // namespace
}  // namespace norvik
