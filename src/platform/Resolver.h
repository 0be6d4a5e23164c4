#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/IpAddress.h"

namespace norvik::platform {

// Which of a name's addresses a lookup gives.
enum class FamilyRule {
    Ipv4First,  // the first IPv4 address, else the first IPv6 one (the default)
    Ipv6First,  // the first IPv6 address, else the first IPv4 one ("Prefer IPv6")
    Ipv4Only,
    Ipv6Only,
};

// Whether the rule takes an address of this family at all.
inline bool allows(FamilyRule rule, Family family) {
    return family == Family::V4 ? rule != FamilyRule::Ipv6Only : rule != FamilyRule::Ipv4Only;
}

// Name resolution through the system resolver.
class Resolver {
  public:
    virtual ~Resolver() = default;
    // The name's address by the rule; nullopt when the name does not
    // resolve. A dotted IPv4 address, or an IPv6 literal (in brackets, with
    // a zone), resolves to itself when the rule takes its family; text with
    // a ':' that is no IPv6 literal resolves to nothing.
    virtual std::optional<IpAddress> lookupName(const std::string& name, FamilyRule rule) = 0;
    // The official name of the address (IPv6: through ip6.arpa or the hosts
    // file); nullopt when it has none.
    virtual std::optional<std::string> lookupAddress(const IpAddress& address) = 0;
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
