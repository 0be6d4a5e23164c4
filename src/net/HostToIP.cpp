#include "net/HostToIP.h"

#include <cstring>

#include "platform/EchoService.h"

namespace norvik::net {

using platform::Buttons;
using platform::Icon;

HostToIP::HostToIP(platform::Resolver& resolver, platform::MessageBox& boxes)
    : resolver_(resolver), boxes_(boxes) {}

// The resolver needs no library start-up here, so these cannot fail.
bool HostToIP::SocketsStart() { return true; }
void HostToIP::SocketsCleanup() {}

std::string HostToIP::AddressBytesToText(const std::array<std::uint8_t, 4>& bytes) {
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
           std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
}

std::string HostToIP::HostNameToIP(const std::string& name) {
    const auto address = resolver_.lookupName(name, rule_);
    if (!address) return {};
    if (address->isV6()) return address->toString();
    std::array<std::uint8_t, 4> bytes{};
    std::memcpy(bytes.data(), address->bytes().data(), 4);
    return AddressBytesToText(bytes);
}

std::optional<platform::IpAddress> AddressOfText(const std::string& text) {
    if (const std::uint32_t v4 = platform::inetAddr(text); v4 != platform::kInaddrNone)
        return platform::IpAddress::v4(v4);
    if (text.find(':') == std::string::npos) return std::nullopt;
    return platform::IpAddress::parse(text);
}

std::string HostToIP::IPToHostName(const std::string& ipText) {
    if (!SocketsStart()) {
        boxes_.show("Network Connection could not be established.", platform::kAppTitle,
                    Buttons::Ok, Icon::Critical);
        return {};
    }
    const auto address = AddressOfText(ipText);
    if (!address) {
        boxes_.show("No Such IP Address Exists.", "Norvik - No Such IP", Buttons::Ok,
                    Icon::Critical);
        return {};
    }
    auto name = resolver_.lookupAddress(*address);
    // A lookup given up because the program quits says nothing to anyone.
    if (!name && platform::waitsAbandoned()) {
        SocketsCleanup();
        return {};
    }
    if (!name) {
        boxes_.show("No Such IP Address Exists.", "Norvik - No Such IP", Buttons::Ok,
                    Icon::Critical);
        SocketsCleanup();
        return {};
    }
    // The record's name ends at its first NUL.
    std::string result = name->substr(0, name->find('\0'));
    SocketsCleanup();
    return result;
}

}  // namespace norvik::net
