#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/MessageBox.h"
#include "platform/Resolver.h"

namespace norvik::net {

// Socket library start-up and name resolution. On Linux the socket library
// needs no start-up: SocketsStart always succeeds and SocketsCleanup has
// nothing to report.
class HostToIP {
  public:
    HostToIP(platform::Resolver& resolver, platform::MessageBox& boxes);

    bool SocketsStart();
    void SocketsCleanup();

    // Which of a name's addresses HostNameToIP gives: by default its first
    // IPv4 address, else its first IPv6 one. The window sets Ipv6First
    // while "Prefer IPv6" is on; norvik-cli forces a family with -4 or -6.
    void setFamilyRule(platform::FamilyRule rule) { rule_ = rule; }
    platform::FamilyRule familyRule() const { return rule_; }

    // The text of the name's address by the family rule (dotted IPv4, or
    // IPv6 text), or the empty text.
    std::string HostNameToIP(const std::string& name);
    // Host name of a dotted address or an IPv6 literal, or the empty text
    // after the message "No Such IP Address Exists.".
    std::string IPToHostName(const std::string& ipText);

    static std::string AddressBytesToText(const std::array<std::uint8_t, 4>& bytes);

  private:
    platform::Resolver& resolver_;
    platform::MessageBox& boxes_;
    platform::FamilyRule rule_ = platform::FamilyRule::Ipv4First;
};

// The address that the text of a resolved address names: dotted IPv4 text
// the way inet_addr reads it, or an IPv6 literal; nullopt for anything
// else (255.255.255.255 among them).
std::optional<platform::IpAddress> AddressOfText(const std::string& text);

}  // namespace norvik::net
