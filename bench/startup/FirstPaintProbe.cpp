// Linked into both start-up programs of bench_startup (the window program
// built from its own main() and the bare window): when the application
// object is made, it starts watching for the first paint of a window. The
// paint is done when the event loop next takes a posted event: the whole
// window, children and all, is painted within the one event that began
// it. The program then sits idle serving events for a moment, prints
// "<painted ns> <idle rss kB>" (the time on the monotonic clock, which the
// parent shares) and leaves its event loop.

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

namespace {

constexpr int kIdleMs = 300;

long long monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

class FirstPaint : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (!started_ && e->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow()) {
            started_ = true;
            QTimer::singleShot(0, this, [this] {
                painted_ = monotonicNs();
                QTimer::singleShot(kIdleMs, this, [this] {
                    std::printf("%lld %ld\n", painted_, residentKb());
                    std::fflush(stdout);
                    QCoreApplication::exit(0);
                });
            });
        }
        return false;
    }

  private:
    bool started_ = false;
    long long painted_ = 0;
};

void watchFirstPaint() {
    QCoreApplication::instance()->installEventFilter(new FirstPaint(QCoreApplication::instance()));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(watchFirstPaint)
