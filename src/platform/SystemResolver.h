#pragma once

#include "platform/Resolver.h"

namespace norvik::platform {

// The system resolver (getaddrinfo / getnameinfo), IPv4 only.
class SystemResolver : public Resolver {
  public:
    std::optional<std::array<std::uint8_t, 4>> lookupName(const std::string& name) override;
    std::optional<std::string> lookupAddress(const std::array<std::uint8_t, 4>& addr) override;
};

}  // namespace norvik::platform
