// norvik-cli echo, run as its own process.
#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "../support/Netns.h"
#include "../support/RunCli.h"
#include "platform/LinuxEchoService.h"

namespace norvik {
namespace {

const std::string kNoStore = "/nonexistent/norvik-echo-test.sqlite3";  // echo keeps nothing

// The text split at line ends; the last line must end with one.
std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    if (!text.empty() && text.back() != '\n') out.push_back("(no line end)");
    return out;
}

// "<digits> ms"
bool isRoundTrip(const std::string& line) {
    const auto blank = line.find(' ');
    return blank > 0 && blank != std::string::npos && line.substr(blank) == " ms" &&
           line.find_first_not_of("0123456789") == blank;
}

std::string cliPath() {
    const char* cli = std::getenv("NORVIK_CLI");
    return cli ? cli : "";
}

TEST(EchoCli, EchoesLoopback) {
    const std::string why = platform::LinuxEchoService().unavailableReason();
    if (!why.empty()) GTEST_SKIP() << "no ICMP socket can be opened here: " << why;
    const auto r = test::runCli({"echo", "-s", "100", "127.0.0.1"}, kNoStore);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto out = lines(r.out);
    ASSERT_EQ(out.size(), 4u) << r.out;
    EXPECT_EQ(out[0], "0   [ ip success ]");
    EXPECT_TRUE(isRoundTrip(out[1])) << out[1];
    EXPECT_EQ(out[2], "100 bytes");
    EXPECT_EQ(out[3], "127.0.0.1");
    EXPECT_EQ(r.err, "");
}

TEST(EchoCli, DefaultPayloadIsThirtyTwoCharacters) {
    const std::string why = platform::LinuxEchoService().unavailableReason();
    if (!why.empty()) GTEST_SKIP() << "no ICMP socket can be opened here: " << why;
    const auto r = test::runCli({"echo", "-t", "64", "127.0.0.1"}, kNoStore);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\n32 bytes\n"), std::string::npos) << r.out;
}

TEST(EchoCli, AddressThatDoesNotParseIsNotSent) {
    for (const char* address : {"255.255.255.255", "norvik.example", "1.2.3.4.5", ""}) {
        const auto r = test::runCli({"echo", address}, kNoStore);
        EXPECT_EQ(r.exitCode, 1) << address;
        EXPECT_EQ(r.out, "-1   [ inet_addr: bad IP format ]\n") << address;
    }
}

TEST(EchoCli, BadArgumentsAreUsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {"echo"},
        {"echo", "-s", "abc", "127.0.0.1"},
        {"echo", "-s", "-1", "127.0.0.1"},
        {"echo", "-s", "65536", "127.0.0.1"},
        {"echo", "-s", "12x", "127.0.0.1"},
        {"echo", "-t", "0", "127.0.0.1"},
        {"echo", "-t", "256", "127.0.0.1"},
        {"echo", "127.0.0.1", "-s"},
        {"echo", "-x", "127.0.0.1"},
        {"echo", "127.0.0.1", "127.0.0.2"},
    };
    for (const auto& args : cases) {
        const auto r = test::runCli(args, kNoStore);
        std::string line;
        for (const auto& a : args) line += a + " ";
        EXPECT_EQ(r.exitCode, 2) << line;
        EXPECT_EQ(r.out, "") << line;
        EXPECT_NE(r.err.find("usage: norvik-cli echo"), std::string::npos) << line;
    }
}

// The command run inside a namespace of the test's: its exit status, then
// what it printed.
std::string cliInside(const std::string& netns, const std::vector<std::string>& args,
                      bool asNobody) {
    test::NetnsChild child(netns, [&] {
        if (asNobody) {
            const gid_t nobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setresgid(nobody, nobody, nobody) != 0 ||
                ::setresuid(nobody, nobody, nobody) != 0)
                return std::string("cannot become nobody");
        }
        std::vector<std::string> argv{cliPath()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::string out;
        const int code = test::runProgram(argv, &out);
        return std::to_string(code) + "\n" + out;
    });
    const auto text = child.result(20000);
    return text ? *text : "child failed: " + child.why();
}

class EchoCliAcrossNamespaces : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string why = test::NetnsLab::unavailableReason();
        if (!why.empty()) GTEST_SKIP() << "needs network namespaces: " << why;
        ASSERT_FALSE(cliPath().empty()) << "NORVIK_CLI is not set";
    }
    test::NetnsLab lab_;
};

TEST_F(EchoCliAcrossNamespaces, TimeToLiveOneIsAnsweredByTheRouter) {
    test::NetnsLab& l = lab_;
    ASSERT_TRUE(l.add("sender") && l.add("router") && l.add("dest") &&
                l.link("sender", "192.0.2.2/24", "router", "192.0.2.1/24") &&
                l.link("router", "198.51.100.1/24", "dest", "198.51.100.2/24") &&
                l.sysctl("router", "net/ipv4/ip_forward", "1") &&
                l.ip("sender", {"route", "add", "default", "via", "192.0.2.1"}) &&
                l.ip("dest", {"route", "add", "default", "via", "198.51.100.1"}))
        << l.error();

    const std::string expired =
        cliInside(l.name("sender"), {"echo", "-t", "1", "198.51.100.2"}, false);
    const auto e = lines(expired);
    ASSERT_EQ(e.size(), 5u) << expired;
    EXPECT_EQ(e[0], "1");  // exit status
    EXPECT_EQ(e[1], "11013   [ ip ttl expired transit ]");
    EXPECT_TRUE(isRoundTrip(e[2])) << e[2];
    EXPECT_EQ(e[3], "0 bytes");
    EXPECT_EQ(e[4], "192.0.2.1");

    const std::string reached =
        cliInside(l.name("sender"), {"echo", "-t", "2", "-s", "16", "198.51.100.2"}, false);
    const auto r = lines(reached);
    ASSERT_EQ(r.size(), 5u) << reached;
    EXPECT_EQ(r[0], "0");
    EXPECT_EQ(r[1], "0   [ ip success ]");
    EXPECT_TRUE(isRoundTrip(r[2])) << r[2];
    EXPECT_EQ(r[3], "16 bytes");
    EXPECT_EQ(r[4], "198.51.100.2");
}

TEST_F(EchoCliAcrossNamespaces, WithoutSocketsSaysHowToAllowThem) {
    ASSERT_TRUE(lab_.add("closed")) << lab_.error();
    ASSERT_TRUE(lab_.sysctl("closed", "net/ipv4/ping_group_range", "1 0")) << lab_.error();
    const std::string text = cliInside(lab_.name("closed"), {"echo", "127.0.0.1"}, true);
    ASSERT_EQ(text.rfind("1\n11050   [ ip general failure ]\n", 0), 0u) << text;
    EXPECT_NE(text.find("net.ipv4.ping_group_range"), std::string::npos) << text;
    EXPECT_NE(text.find("setcap cap_net_raw+ep"), std::string::npos) << text;
}

}  // namespace
}  // namespace norvik
