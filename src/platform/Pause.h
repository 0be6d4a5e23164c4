#pragma once

#include <chrono>
#include <functional>

#include "platform/EchoService.h"

namespace norvik::platform {

// Waits until `until` through the caller's Waiter (so a window keeps
// serving), on a descriptor that never becomes readable. Returns false as
// soon as `stopped` says so after a wait comes back, or when waits are
// abandoned; true when the time has come.
bool pauseUntil(const Waiter& wait, std::chrono::steady_clock::time_point until,
                const std::function<bool()>& stopped);

}  // namespace norvik::platform
