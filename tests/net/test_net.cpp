#include <gtest/gtest.h>
#include <sched.h>

#include <climits>
#include <set>

#include "../support/Netns.h"
#include "../support/ScriptedMessageBox.h"
#include "net/HostToIP.h"
#include "net/PingModule.h"
#include "platform/SystemResolver.h"

namespace norvik {
namespace {

using namespace std::string_literals;
using net::EchoStatusText;

TEST(EchoStatusText, DisplayFormOfTableCodesAndUnknownOnes) {
    const std::pair<int, std::string> cases[] = {
        {0, "ip success"},           {-1, "inet_addr: bad IP format"},
        {500, "ping timeout"},       {11010, "ip req timed out"},
        {11001, "ip buf too_small"}, {11008, "ip hw_error"},
        {11015, "ip param_problem"}, {11020, std::string("ip s") + "pec mtu change"},
        {11023, "ip addr added"},    {11050, "ip general failure"},
        {11255, "ip pending"},
    };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(EchoStatusText(code), std::to_string(code) + "   [ " + text + " ]");
    for (int code : {7, 1, -2, 11000, 11024, 11049, 11051, 11254, 11256, INT32_MIN, INT32_MAX})
        EXPECT_EQ(EchoStatusText(code), std::to_string(code) + "   [ unknown  msg returned ]");
}

TEST(EchoStatusText, EveryTableCodeHasItsOwnText) {
    // A slip in the table (a code twice, a text copied down) shows as a
    // repeated text.
    std::set<std::string> seen;
    for (int code = 11001; code <= 11023; ++code) {
        const std::string t = net::StatusTableText(code);
        EXPECT_NE(t, "unknown  msg returned") << code;
        EXPECT_TRUE(seen.insert(t).second) << code << " repeats " << t;
    }
}

TEST(AddressText, ParsedLikeTheSocketLibraryAndWrittenInPlainDecimal) {
    for (const std::string& bad : {"255.255.255.255"s, ""s, "localhost"s, "127.0.0.1\0junk"s})
        EXPECT_EQ(platform::inetAddr(bad), platform::kInaddrNone) << bad;
    EXPECT_EQ(platform::inetAddr("0.0.0.0"), 0u);
    const std::uint32_t a = platform::inetAddr("192.168.1.1");
    const auto* b = reinterpret_cast<const std::uint8_t*>(&a);
    EXPECT_EQ(std::make_pair(b[0], b[3]), std::make_pair(std::uint8_t{192}, std::uint8_t{1}));
    EXPECT_EQ(platform::inetNtoa(a), "192.168.1.1");
    const std::pair<std::array<std::uint8_t, 4>, const char*> texts[] = {
        {{10, 0, 0, 200}, "10.0.0.200"},
        {{0, 0, 0, 0}, "0.0.0.0"},
        {{255, 255, 255, 255}, "255.255.255.255"}};
    for (const auto& [bytes, text] : texts)
        EXPECT_EQ(net::HostToIP::AddressBytesToText(bytes), text);
}

class Resolution : public ::testing::Test {
  protected:
    platform::SystemResolver resolver;
    test::ScriptedMessageBox boxes;
    net::HostToIP net{resolver, boxes};
};

TEST(ResolverWithWaiter, CallerWaitsThroughTheWaiterForTheAnswer) {
    int waits = 0;
    platform::SystemResolver resolver([&](int fd, int timeoutMs) {
        ++waits;
        return platform::pollWaiter(fd, timeoutMs);
    });
    test::ScriptedMessageBox boxes;
    net::HostToIP net(resolver, boxes);
    EXPECT_EQ(net.HostNameToIP("localhost"), "127.0.0.1");
    EXPECT_EQ(net.IPToHostName("127.0.0.1"), "localhost");
    EXPECT_EQ(net.HostNameToIP(std::string("a\0b", 3)), "");  // turned down before any lookup
    EXPECT_GE(waits, 2);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Resolution, AllOnesAndBadTextAreNoSuchAddress) {
    for (const std::string text : {"255.255.255.255", "", "not an address", "1.2.3.4.5"}) {
        boxes.shown.clear();
        EXPECT_EQ(net.IPToHostName(text), "") << text;
        ASSERT_EQ(boxes.shown.size(), 1u) << text;
        EXPECT_EQ(boxes.shown[0].text, "No Such IP Address Exists.");
        EXPECT_EQ(boxes.shown[0].caption, "Norvik - No Such IP");
        EXPECT_EQ(boxes.shown[0].icon, platform::Icon::Critical);
    }
}

TEST_F(Resolution, UnknownNamesAndAddressesWithoutTheNetwork) {
    // Lookups that would ask a DNS server run in a new, empty network
    // namespace, where there is none to ask.
    const std::string got = test::runInside("", [&] {
        if (::unshare(CLONE_NEWNET) != 0) return std::string("no namespace");
        std::string r = net.HostNameToIP("no-such-host.invalid") + "|";
        r += net.HostNameToIP(std::string(10000, 'a')) + "|";
        r += net.IPToHostName("192.0.2.77") + "|";
        r += std::to_string(boxes.shown.size());
        if (!boxes.shown.empty()) r += "|" + boxes.shown.back().text;
        return r;
    });
    if (got == "no namespace") GTEST_SKIP() << "needs a network namespace";
    EXPECT_EQ(got, "|||1|No Such IP Address Exists.");
}

// Names from a hosts file of the test's own, in a namespace without a DNS
// server: which address each family rule takes, and IPv6 literals.
TEST_F(Resolution, FamilyRulesAndIpv6LiteralsThroughAHostsFile) {
    using enum platform::FamilyRule;
    const struct {
        const char* name;
        platform::FamilyRule rule;
        const char* address;
    } cases[] = {
        {"a.test", Ipv4First, "192.0.2.10"},
        {"a.test", Ipv6First, "192.0.2.10"},
        {"a.test", Ipv6Only, ""},
        {"aaaa.test", Ipv4First, "2001:db8::10"},
        {"aaaa.test", Ipv6First, "2001:db8::10"},
        {"aaaa.test", Ipv4Only, ""},
        {"both.test", Ipv4First, "192.0.2.20"},
        {"both.test", Ipv6First, "2001:db8::20"},
        {"both.test", Ipv4Only, "192.0.2.20"},
        {"both.test", Ipv6Only, "2001:db8::20"},
        {"[2001:db8::1]", Ipv4First, "2001:db8::1"},
        {"2001:DB8:0::1", Ipv6First, "2001:db8::1"},
        {"2001:db8::1", Ipv4Only, ""},
        {"127.0.0.1", Ipv6Only, ""},
        {"fe80::1%lo", Ipv4First, "fe80::1%lo"},
        {"2001:db8::1::2", Ipv4First, ""},
        {"[::1", Ipv4First, ""},
        {"fe80::1%nosuchif9", Ipv4First, ""},
    };
    const std::string got = test::runInside("", [&] {
        if (::unshare(CLONE_NEWNET) != 0 ||
            !test::useHostsFile("192.0.2.10 a.test\n2001:db8::10 aaaa.test\n"
                                "192.0.2.20 both.test\n2001:db8::20 both.test\n"))
            return std::string("no namespace");
        std::string r;
        for (const auto& c : cases) {
            net.setFamilyRule(c.rule);
            r += net.HostNameToIP(c.name) + "|";
        }
        r += net.IPToHostName("2001:db8::20") + "|" + net.IPToHostName("[2001:db8::10]") + "|";
        r += net.IPToHostName("2001:db8::99");
        return r + std::to_string(boxes.shown.size());
    });
    if (got == "no namespace") GTEST_SKIP() << "needs network and mount namespaces";
    std::string want;
    for (const auto& c : cases) want += std::string(c.address) + "|";
    EXPECT_EQ(got, want + "both.test|aaaa.test|1");
}

}  // namespace
}  // namespace norvik
