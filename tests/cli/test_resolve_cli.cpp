// norvik-cli resolve and reverse, and the usage errors of every command:
// exit status 2, the command's usage line, nothing printed and no store made.
#include <gtest/gtest.h>
#include <sched.h>

#include <filesystem>

#include "../support/Netns.h"
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
        {{"resolve", "[::1]"}, 0, "::1\n", ""},
        {{"resolve", "-4", "-6", "::1"}, 0, "::1\n", ""},
        {{"resolve", "-4", "::1"}, 1, "", ""},
        {{"resolve", "-6", "127.0.0.1"}, 1, "", ""},
        {{"reverse", "2001:db8::1::2"}, 1, "", "No Such IP Address Exists."},
        {{"reverse", "255.255.255.255"}, 1, "", "No Such IP Address Exists."},
        {{"reverse", "not an address"}, 1, "", "No Such IP Address Exists."},
        {{"resolve", std::string(64, 'a') + ".test"}, 1, "", "too long for the resolver"},
        {{"resolve", label + "." + label + "." + label + "." + label}, 1, "", "too long for the"},
    };
    for (const auto& c : cases) {
        const auto r = test::runCli(c.args, temp.path());
        EXPECT_EQ(r.exitCode, c.exit) << c.args[0] << " " << r.err;
        EXPECT_EQ(r.out, c.out) << c.args[0];
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    EXPECT_EQ(test::runCli({"--help"}, temp.path()).exitCode, 0);
}

// Without -4 or -6 the window's "Prefer IPv6" decides, as stored; a name
// with both families comes from a hosts file of the test's own.
TEST(ResolveCli, StoredPreferenceAndFlagsChooseTheFamily) {
    test::TempStore temp;
    const std::string key = "HKEY_LOCAL_MACHINE\\Software\\Tarnwell\\Norvik";
    ASSERT_EQ(test::runCli({"reg", "create", key}, temp.path()).exitCode, 0);
    const struct {
        const char* prefer;
        std::vector<std::string> flags;
        const char* out;
    } cases[] = {{"0", {}, "192.0.2.20\n"},
                 {"1", {}, "2001:db8::20\n"},
                 {"1", {"-4"}, "192.0.2.20\n"},
                 {"0", {"-6"}, "2001:db8::20\n"}};
    for (const auto& c : cases) {
        ASSERT_EQ(
            test::runCli({"reg", "write", key, "Prefer IPv6", c.prefer}, temp.path()).exitCode, 0);
        const std::string out = test::runInside("", [&] {
            if (::unshare(CLONE_NEWNET) != 0 ||
                !test::useHostsFile("192.0.2.20 both.test\n2001:db8::20 both.test\n"))
                return std::string("no namespace");
            ::setenv("NORVIK_STORE", temp.path().c_str(), 1);
            std::vector<std::string> argv{std::getenv("NORVIK_CLI"), "resolve"};
            argv.insert(argv.end(), c.flags.begin(), c.flags.end());
            argv.push_back("both.test");
            std::string printed;
            test::runProgram(argv, &printed);
            return printed;
        });
        if (out == "no namespace") GTEST_SKIP() << "needs network and mount namespaces";
        EXPECT_EQ(out, c.out) << c.prefer << " " << ::testing::PrintToString(c.flags);
    }
}

TEST(CliUsage, EveryCommandRefusesBadArgumentsWithItsUsage) {
    test::TempStore temp;
    using Args = std::vector<std::string>;
    std::vector<std::pair<Args, std::string>> cases = {
        {{"resolve"}, "usage: norvik-cli resolve"},
        {{"reverse", "a", "b"}, "usage: norvik-cli reverse ADDRESS"},
        {{"frobnicate"}, "unknown command"},
        {{"trace", ""}, "Norvik: Where exactly did you want to trace to?!\n"},
        {{"ping", "-n"}, "usage: norvik-cli ping"},
        {{"whois", "-p", "x", "d.test"}, "usage: norvik-cli whois"},
        {{"whois", "-p", "0", "d.test"}, "usage: norvik-cli whois"},
        {{"whois", "-q", "d.test"}, "usage: norvik-cli whois"},
        {{"servers", "-p", "0"}, "usage: norvik-cli servers"},
        {{"servers", "--host"}, "usage: norvik-cli servers"},
        {{"reg", "read", "HKEY_LOCAL_MACHINE\\Software"}, "usage: norvik-cli reg"},
        {{"reg", "create"}, "usage: norvik-cli reg"},
        {{"reg", "enum"}, "usage: norvik-cli reg"},
        {{"reg", "frobnicate", "x"}, "usage: norvik-cli reg"},
        {{"reg", "read", "HKEY_LOCAL_MACHINE\\Software", "1", "extra"}, "usage: norvik-cli reg"},
    };
    // Each command: none, a missing value, an unknown option, one word too many.
    for (const std::string command : {"echo", "trace", "ping", "whois", "reg"}) {
        for (const Args& args : {Args{}, Args{"127.0.0.1", "-s"}, Args{"-x", "127.0.0.1"},
                                 Args{"127.0.0.1", "127.0.0.2"}}) {
            Args words{command};
            words.insert(words.end(), args.begin(), args.end());
            cases.push_back({words, "usage: norvik-cli " + command});
        }
    }
    for (const char* size : {"abc", "-1", "65536", "12x"})
        cases.push_back({{"echo", "-s", size, "127.0.0.1"}, "usage: norvik-cli echo"});
    for (const char* ttl : {"0", "256"})
        cases.push_back({{"echo", "-t", ttl, "127.0.0.1"}, "usage: norvik-cli echo"});
    for (const char* command : {"ping", "trace"})
        cases.push_back({{command, "--format", "xml", "127.0.0.1"}, "--format text|csv|json"});
    for (const auto& [args, err] : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const auto r = test::runCli(args, temp.path());
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(err), std::string::npos) << r.err;
        EXPECT_TRUE(err.back() != '\n' || r.err == err) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(temp.path()));
}

}  // namespace
}  // namespace norvik
