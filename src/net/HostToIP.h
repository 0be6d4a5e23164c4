#pragma once

#include <array>
#include <cstdint>
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

    // Dotted text of the name's first IPv4 address, or the empty text.
    std::string HostNameToIP(const std::string& name);
    // Host name of a dotted address, or the empty text after the message
    // "No Such IP Address Exists.".
    std::string IPToHostName(const std::string& ipText);

    static std::string AddressBytesToText(const std::array<std::uint8_t, 4>& bytes);

  private:
    platform::Resolver& resolver_;
    platform::MessageBox& boxes_;
};

}  // namespace norvik::net
