#pragma once

#include "platform/Resolver.h"

namespace norvik::test {

// A resolver that knows literal addresses and "localhost" only and turns
// every other name down, as a machine without a DNS server would: tests
// may use any made-up host name without a query leaving the machine.
class LoopbackResolver : public platform::Resolver {
  public:
    std::optional<platform::IpAddress> lookupName(const std::string& name,
                                                  platform::FamilyRule rule) override {
        std::optional<platform::IpAddress> a;
        if (name.find(':') != std::string::npos) a = platform::IpAddress::parse(name);
        if (const std::uint32_t v4 = platform::inetAddr(name); v4 != platform::kInaddrNone)
            a = platform::IpAddress::v4(v4);
        if (name == "localhost") a = platform::IpAddress::parse("127.0.0.1");
        if (!a || !platform::allows(rule, a->family())) return std::nullopt;
        return a;
    }
    std::optional<std::string> lookupAddress(const platform::IpAddress& a) override {
        if (a == platform::IpAddress::parse("127.0.0.1")) return "localhost";
        return std::nullopt;
    }
    // The first four bytes of an address: an IPv4 one's.
    static std::array<std::uint8_t, 4> v4Bytes(const platform::IpAddress& a) {
        return {a.bytes()[0], a.bytes()[1], a.bytes()[2], a.bytes()[3]};
    }
};

}  // namespace norvik::test
