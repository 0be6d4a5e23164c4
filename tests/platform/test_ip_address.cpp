#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/socket.h>

#include "platform/IpAddress.h"

using norvik::platform::IpAddress;

namespace {

// Literals as a user types them: what each parses to (its text back), or
// nothing for a malformed one.
TEST(IpAddress, LiteralsParseToTheirShortestTextOrNothing) {
    const std::string loopbackZone = "lo";
    const std::string loopbackIndex = std::to_string(if_nametoindex("lo"));
    const struct {
        std::string text;
        const char* parsed;  // nullptr: malformed
    } cases[] = {
        {"192.0.2.1", "192.0.2.1"},
        {"2001:db8::1", "2001:db8::1"},
        {"[2001:db8::1]", "2001:db8::1"},
        {"2001:DB8:0:0:0:0:0:1", "2001:db8::1"},
        {"::1", "::1"},
        {"::ffff:192.0.2.1", "::ffff:192.0.2.1"},
        {"fe80::1%" + loopbackZone, "fe80::1%lo"},
        {"fe80::1%" + loopbackIndex, "fe80::1%lo"},
        {"2001:db8::1::2", nullptr},
        {"[::1", nullptr},
        {"::1]", nullptr},
        {"fe80::1%no-such-if0", nullptr},
        {"fe80::1%", nullptr},
        {"fe80::1%999999", nullptr},
        {"192.0.2", nullptr},
        {"192.0.2.256", nullptr},
        {"example.org", nullptr},
        {"", nullptr},
        {std::string("::1\0", 4), nullptr},
    };
    for (const auto& c : cases) {
        const auto address = IpAddress::parse(c.text);
        if (c.parsed == nullptr) {
            EXPECT_FALSE(address) << c.text;
        } else {
            ASSERT_TRUE(address) << c.text;
            EXPECT_EQ(address->toString(), c.parsed) << c.text;
            EXPECT_EQ(address->isV6(), c.text.find(':') != std::string::npos) << c.text;
        }
    }
}

TEST(IpAddress, SocketAddressesCarryFamilyPortAndZone) {
    for (const char* text : {"192.0.2.7", "fe80::7%lo"}) {
        const auto address = IpAddress::parse(text);
        ASSERT_TRUE(address);
        sockaddr_storage storage{};
        address->toSockaddr(storage, 43);
        const auto back = IpAddress::fromSockaddr(reinterpret_cast<const sockaddr*>(&storage));
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, *address) << text;
        EXPECT_EQ(back->toString(), text);
    }
    EXPECT_EQ(IpAddress::v4(0x0100007Fu).toString(), "127.0.0.1");
    EXPECT_EQ(IpAddress::parse("127.0.0.1")->v4NetworkOrder(), 0x0100007Fu);
}

}  // namespace
