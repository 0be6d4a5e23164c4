#pragma once

#include "platform/Resolver.h"

namespace norvik::test {

// A resolver that knows dotted addresses and "localhost" only and turns
// every other name down, as a machine without a DNS server would: tests
// may use any made-up host name without a query leaving the machine.
class LoopbackResolver : public platform::Resolver {
  public:
    std::optional<std::array<std::uint8_t, 4>> lookupName(const std::string& name) override {
        std::uint32_t a = platform::inetAddr(name);
        if (name == "localhost") a = platform::inetAddr("127.0.0.1");
        if (a == platform::kInaddrNone) return std::nullopt;
        std::array<std::uint8_t, 4> b{};
        for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(a >> (8 * i));
        return b;
    }
    std::optional<std::string> lookupAddress(const std::array<std::uint8_t, 4>& b) override {
        if (b[0] == 127 && b[1] == 0 && b[2] == 0 && b[3] == 1) return "localhost";
        return std::nullopt;
    }
};

}  // namespace norvik::test
