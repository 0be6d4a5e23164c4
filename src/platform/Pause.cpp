#include "platform/Pause.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace norvik::platform {

bool pauseUntil(const Waiter& wait, std::chrono::steady_clock::time_point until,
                const std::function<bool()>& stopped) {
    using Clock = std::chrono::steady_clock;
    // Never signalled: the wait ends by its time, or when the waiter gives
    // up early (a Stop, the program quitting).
    static const int never = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const Waiter& waitFor = wait ? wait : Waiter(pollWaiter);
    for (;;) {
        if ((stopped && stopped()) || waitsAbandoned()) return false;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0) return true;
        waitFor(never, static_cast<int>(left.count()));
    }
}

}  // namespace norvik::platform
