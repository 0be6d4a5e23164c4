#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sockaddr;
struct sockaddr_storage;

namespace norvik::platform {

enum class Family { V4 = 4, V6 = 6 };

// An IPv4 or IPv6 address; an IPv6 one may carry the interface it is
// scoped to (a link-local address with its zone).
class IpAddress {
  public:
    IpAddress() = default;  // 0.0.0.0
    static IpAddress v4(std::uint32_t networkOrder);
    static IpAddress v4(const std::array<std::uint8_t, 4>& bytes);
    static IpAddress v6(const std::array<std::uint8_t, 16>& bytes, std::uint32_t scopeId = 0);

    // A literal: dotted IPv4 (four decimal parts) or IPv6 text, the IPv6
    // one optionally in brackets and with a zone after '%' (an interface
    // name or index that exists here). Anything else, nullopt.
    static std::optional<IpAddress> parse(std::string_view text);
    // The address of a socket address of either family; nullopt for others.
    static std::optional<IpAddress> fromSockaddr(const sockaddr* address);

    Family family() const { return family_; }
    bool isV4() const { return family_ == Family::V4; }
    bool isV6() const { return family_ == Family::V6; }
    // The IPv4 address in network byte order; 0 for an IPv6 one.
    std::uint32_t v4NetworkOrder() const;
    // IPv6: the 16 bytes; IPv4: the first 4 bytes hold the address.
    const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }
    std::uint32_t scopeId() const { return scopeId_; }
    // 0.0.0.0 or ::, the address of no one.
    bool isUnspecified() const { return bytes_ == std::array<std::uint8_t, 16>{}; }

    // Dotted IPv4 text, or IPv6 text in its shortest form with "%zone"
    // when scoped (the interface's name, or its index when it has none).
    std::string toString() const;
    // Fills a socket address of the family with the port (host order);
    // returns its length.
    unsigned toSockaddr(sockaddr_storage& out, std::uint16_t port = 0) const;

    bool operator==(const IpAddress&) const = default;

  private:
    Family family_ = Family::V4;
    std::array<std::uint8_t, 16> bytes_{};
    std::uint32_t scopeId_ = 0;
};

}  // namespace norvik::platform
