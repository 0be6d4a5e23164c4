#pragma once

namespace norvik::cli {

// SIGINT and SIGTERM, while one of these lives, ask the running command to
// stop instead of ending the program: it then prints what it has.
class StopSignals {
  public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    static bool requested();
    // A Waiter that comes back at once when a signal interrupts it, so a
    // stop acts without waiting for the time to run out.
    static bool wait(int fd, int timeoutMs);
};

}  // namespace norvik::cli
