#include "cli/StopSignals.h"

#include <poll.h>

#include <atomic>
#include <csignal>

namespace norvik::cli {

namespace {
std::atomic<bool> stop{false};
struct sigaction previousInt, previousTerm;

extern "C" void onSignal(int) { stop.store(true); }
}  // namespace

StopSignals::StopSignals() {
    stop.store(false);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a wait in progress is interrupted
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
}

StopSignals::~StopSignals() {
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
}

bool StopSignals::requested() { return stop.load(); }

bool StopSignals::wait(int fd, int timeoutMs) {
    if (requested()) return false;
    pollfd p{fd, POLLIN, 0};
    const int n = ::poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
    return n > 0 && (p.revents & (POLLIN | POLLERR | POLLHUP)) != 0;
}

}  // namespace norvik::cli
