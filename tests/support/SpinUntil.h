#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <functional>

namespace norvik::test {

// Runs the event loop until `done` holds or the time is up; true when it
// holds.
inline bool spinUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::usleep(500);
    }
    return true;
}

// Runs the event loop for a while, for checks that nothing happens.
inline void spinFor(int ms) {
    spinUntil([] { return false; }, ms);
}

}  // namespace norvik::test
