#pragma once

#include <functional>
#include <optional>
#include <string>

namespace norvik::test {

// Runs fn in a forked child that has left the machine's network for a new,
// empty network namespace (only a down loopback): any name lookup that
// would go to a DNS server fails at once instead of leaving the machine.
// Returns fn's text, or nullopt with the reason in whyNot when the child
// could not be set up (not root, no namespaces).
std::optional<std::string> runWithoutNetwork(const std::function<std::string()>& fn,
                                             std::string& whyNot);

}  // namespace norvik::test
