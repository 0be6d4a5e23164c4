#include "platform/qt/EventLoopWaiter.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include "platform/EchoService.h"

namespace norvik::platform {

bool eventLoopWaiter(int fd, int timeoutMs) {
    if (timeoutMs < 0) timeoutMs = 0;
    QEventLoop loop;
    bool ready = false;
    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
        ready = true;
        notifier.setEnabled(false);
        loop.quit();
    });
    bool timedOut = false;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    timer.start(timeoutMs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    // A loop that ended neither way was ended by the application quitting
    // (or it returned at once, the quit being under way): no wait can last
    // from now on, and the callers must stop waiting.
    setWaitsAbandoned(!ready && !timedOut);
    // Input held back meanwhile is delivered only once the dispatcher wakes.
    if (auto* dispatcher = QCoreApplication::eventDispatcher()) dispatcher->wakeUp();
    return ready;
}

}  // namespace norvik::platform
