#include <poll.h>

#include <atomic>
#include <cerrno>
#include <chrono>

#include "platform/EchoService.h"

namespace norvik::platform {

namespace {
std::atomic<bool> abandoned{false};
}  // namespace

bool waitsAbandoned() { return abandoned.load(std::memory_order_relaxed); }
void setWaitsAbandoned(bool value) { abandoned.store(value, std::memory_order_relaxed); }

bool pollWaiter(int fd, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{fd, POLLIN, 0};
        const int n = ::poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (n > 0) {
            // An ICMP error waiting in a socket's error queue shows as POLLERR;
            // that is an answer too.
            return (p.revents & (POLLIN | POLLERR | POLLHUP)) != 0;
        }
        if (n == 0) return false;
        if (errno != EINTR) return false;
        if (Clock::now() >= deadline) return false;
    }
}

}  // namespace norvik::platform
