#pragma once

#include <functional>

#include "platform/EchoService.h"
#include "platform/Resolver.h"

namespace norvik::platform {

// The system resolver (getaddrinfo / getnameinfo).
//
// Given a waiter, a lookup runs on a short-lived thread of its own while the
// caller waits through the waiter, so a slow DNS server never stops a
// window from painting; the caller still gets the answer before it goes
// on. Without one, the lookup blocks the caller. Once the program quits,
// a lookup under way is given up (it names nothing) and left to end alone.
class SystemResolver : public Resolver {
  public:
    SystemResolver() = default;
    explicit SystemResolver(Waiter wait) : wait_(std::move(wait)) {}

    std::optional<IpAddress> lookupName(const std::string& name, FamilyRule rule) override;
    std::optional<std::string> lookupAddress(const IpAddress& address) override;

  protected:
    // The blocking lookups themselves, run on the lookup thread. A name is
    // asked for in one family, then, when the rule allows, in the other:
    // a name with an IPv4 address is looked up as it always was.
    virtual std::optional<IpAddress> resolveName(const std::string& name, FamilyRule rule);
    virtual std::optional<std::string> resolveAddress(const IpAddress& address);

  private:
    // Runs work, on its own thread when there is a waiter. False when the
    // program quit meanwhile: the work is left running and its result
    // unused.
    bool run(std::function<void()> work);

    Waiter wait_;
};

}  // namespace norvik::platform
