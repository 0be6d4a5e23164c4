#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace norvik::platform {

// IPv4 name resolution through the system resolver.
class Resolver {
public:
    virtual ~Resolver() = default;
    // First IPv4 address of the name, four bytes in network order; nullopt
    // when the name does not resolve. A dotted address resolves to itself.
    virtual std::optional<std::array<std::uint8_t, 4>> lookupName(const std::string& name) = 0;
    // The official name of the address; nullopt when it has none.
    virtual std::optional<std::string> lookupAddress(const std::array<std::uint8_t, 4>& addr) = 0;
};

// The value inet_addr gives for text that is not an address: all 32 bits set.
inline constexpr std::uint32_t kInaddrNone = 0xFFFFFFFFu;

// Parses dotted text into a 32-bit address in network byte order, the way
// the socket library's inet_addr does (so 255.255.255.255 and every
// malformed text give kInaddrNone). Text with an embedded NUL is malformed.
std::uint32_t inetAddr(const std::string& text);

// Dotted text of a 32-bit address in network byte order.
std::string inetNtoa(std::uint32_t address);

}  // namespace norvik::platform
