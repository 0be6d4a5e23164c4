#include "shell/TerminationSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace norvik::shell {

namespace {

volatile std::sig_atomic_t gWriteFd = -1;
struct sigaction gOldTerm {};
struct sigaction gOldInt {};

extern "C" void onTerminationSignal(int sig) {
    const int saved = errno;
    const int fd = gWriteFd;
    if (fd >= 0) {
        const char c = static_cast<char>(sig);
        (void)!::write(fd, &c, 1);
    }
    errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
    if (gWriteFd >= 0 || ::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    gWriteFd = fds_[1];
    struct sigaction sa {};
    sa.sa_handler = onTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    if (::sigaction(SIGTERM, &sa, &gOldTerm) != 0 || ::sigaction(SIGINT, &sa, &gOldInt) != 0) {
        gWriteFd = -1;
        return;
    }
    notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readPipe);
    active_ = true;
}

TerminationSignals::~TerminationSignals() {
    if (active_) {
        ::sigaction(SIGTERM, &gOldTerm, nullptr);
        ::sigaction(SIGINT, &gOldInt, nullptr);
        gWriteFd = -1;
    }
    delete notifier_;
    for (int fd : fds_) {
        if (fd >= 0) ::close(fd);
    }
}

void TerminationSignals::readPipe() {
    char buf[64];
    bool got = false;
    while (::read(fds_[0], buf, sizeof buf) > 0) got = true;
    if (got && onSignal_) onSignal_();
}

}  // namespace norvik::shell
