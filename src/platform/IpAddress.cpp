#include "platform/IpAddress.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <charconv>
#include <cstring>

namespace norvik::platform {

IpAddress IpAddress::v4(std::uint32_t networkOrder) {
    IpAddress a;
    std::memcpy(a.bytes_.data(), &networkOrder, 4);
    return a;
}

IpAddress IpAddress::v4(const std::array<std::uint8_t, 4>& bytes) {
    IpAddress a;
    std::memcpy(a.bytes_.data(), bytes.data(), 4);
    return a;
}

IpAddress IpAddress::v6(const std::array<std::uint8_t, 16>& bytes, std::uint32_t scopeId) {
    IpAddress a;
    a.family_ = Family::V6;
    a.bytes_ = bytes;
    a.scopeId_ = scopeId;
    return a;
}

namespace {

// The interface index of a zone: an interface's name or its index.
std::optional<std::uint32_t> zoneIndex(const std::string& zone) {
    if (zone.empty() || zone.size() >= IF_NAMESIZE) return std::nullopt;
    if (const unsigned index = if_nametoindex(zone.c_str()); index != 0) return index;
    std::uint32_t index = 0;
    const auto [end, error] = std::from_chars(zone.data(), zone.data() + zone.size(), index);
    char name[IF_NAMESIZE];
    if (error != std::errc{} || end != zone.data() + zone.size() || index == 0 ||
        if_indextoname(index, name) == nullptr)
        return std::nullopt;
    return index;
}

}  // namespace

std::optional<IpAddress> IpAddress::parse(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) return std::nullopt;
    if (text.find(':') == std::string_view::npos) {
        in_addr v4addr{};
        if (inet_pton(AF_INET, std::string(text).c_str(), &v4addr) != 1) return std::nullopt;
        return v4(v4addr.s_addr);
    }
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
        text = text.substr(1, text.size() - 2);
    std::string body(text);
    std::uint32_t scope = 0;
    if (const auto percent = body.find('%'); percent != std::string::npos) {
        const auto index = zoneIndex(body.substr(percent + 1));
        if (!index) return std::nullopt;
        scope = *index;
        body.resize(percent);
    }
    std::array<std::uint8_t, 16> bytes{};
    if (inet_pton(AF_INET6, body.c_str(), bytes.data()) != 1) return std::nullopt;
    return v6(bytes, scope);
}

std::optional<IpAddress> IpAddress::fromSockaddr(const sockaddr* address) {
    if (address == nullptr) return std::nullopt;
    if (address->sa_family == AF_INET) {
        sockaddr_in in{};
        std::memcpy(&in, address, sizeof in);
        return v4(in.sin_addr.s_addr);
    }
    if (address->sa_family == AF_INET6) {
        sockaddr_in6 in6{};
        std::memcpy(&in6, address, sizeof in6);
        std::array<std::uint8_t, 16> bytes{};
        std::memcpy(bytes.data(), &in6.sin6_addr, 16);
        return v6(bytes, in6.sin6_scope_id);
    }
    return std::nullopt;
}

std::uint32_t IpAddress::v4NetworkOrder() const {
    if (!isV4()) return 0;
    std::uint32_t value = 0;
    std::memcpy(&value, bytes_.data(), 4);
    return value;
}

std::string IpAddress::toString() const {
    char text[INET6_ADDRSTRLEN] = {};
    if (isV4()) {
        inet_ntop(AF_INET, bytes_.data(), text, sizeof text);
        return text;
    }
    inet_ntop(AF_INET6, bytes_.data(), text, sizeof text);
    std::string out = text;
    if (scopeId_ != 0) {
        char name[IF_NAMESIZE] = {};
        out += '%';
        out += if_indextoname(scopeId_, name) != nullptr ? std::string(name)
                                                         : std::to_string(scopeId_);
    }
    return out;
}

unsigned IpAddress::toSockaddr(sockaddr_storage& out, std::uint16_t port) const {
    std::memset(&out, 0, sizeof out);
    if (isV4()) {
        auto* in = reinterpret_cast<sockaddr_in*>(&out);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        std::memcpy(&in->sin_addr, bytes_.data(), 4);
        return sizeof(sockaddr_in);
    }
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&out);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(port);
    std::memcpy(&in6->sin6_addr, bytes_.data(), 16);
    in6->sin6_scope_id = scopeId_;
    return sizeof(sockaddr_in6);
}

}  // namespace norvik::platform
