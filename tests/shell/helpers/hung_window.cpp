// A main window whose name lookup for "hung.test" never answers and whose
// echoes are never answered, closed while it waits for one of them.
//
//   hung_window STORE-FILE lookup|trace
//
// "lookup" pings hung.test (the lookup hangs); "trace" traces 192.0.2.1
// (nothing is sent: each hop waits on a silent socket). 300 ms in, it
// prints "closing <CPU microseconds so far> <1 if the wait was under way>"
// and closes the window; with the window gone it prints "ended <CPU
// microseconds>". The test measures the time between.

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "platform/SqliteKeyStore.h"
#include "platform/StderrMessageBox.h"
#include "platform/SystemResolver.h"
#include "platform/qt/EventLoopWaiter.h"
#include "platform/qt/QtTcpClient.h"
#include "platform/qt/QtTimer.h"
#include "shell/Form1.h"
#include "shell/PingPage.h"

using namespace norvik;

namespace {

std::atomic<bool> waiting{false};

class HungResolver : public platform::SystemResolver {
  public:
    using SystemResolver::SystemResolver;

  protected:
    std::optional<platform::IpAddress> resolveName(const std::string& name,
                                                   platform::FamilyRule rule) override {
        if (name != "hung.test") return SystemResolver::resolveName(name, rule);
        waiting = true;
        for (;;) ::pause();
    }
};

// Every echo waits its whole time on a socket nobody writes to.
class SilentEcho : public platform::EchoService {
  public:
    SilentEcho() { (void)!::socketpair(AF_UNIX, SOCK_STREAM, 0, fd_); }
    platform::EchoResult send(const platform::EchoRequest& r,
                              const platform::Waiter& wait) override {
        waiting = true;
        wait(fd_[0], r.timeoutMs);
        platform::EchoResult result;
        result.status = platform::status::kTimedOut;
        return result;
    }
    std::string unavailableReason() const override { return {}; }

  private:
    int fd_[2] = {-1, -1};
};

long cpuMicroseconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000000L + u.ru_utime.tv_usec +
           u.ru_stime.tv_usec;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) return 2;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    platform::SqliteKeyStore store(argv[1]);
    if (!store.open()) return 2;
    platform::StderrMessageBox boxes(std::cerr, platform::Answer::Yes);
    HungResolver resolver(platform::eventLoopWaiter);
    SilentEcho echo;
    auto form = std::make_unique<shell::Form1>(shell::Services{
        store, boxes, resolver, echo, platform::eventLoopWaiter, [] { QCoreApplication::exit(0); },
        [] { return std::make_unique<platform::QtTcpClient>(); },
        [] { return std::make_unique<platform::QtTimer>(); }, 43});
    form->StartUp();
    form->show();
    const bool trace = std::strcmp(argv[2], "trace") == 0;
    const auto edit = [&](const char* name, const char* text) {
        form->findChild<QComboBox*>(QLatin1String(name))->setEditText(QLatin1String(text));
    };
    QTimer::singleShot(0, form.get(), [&] {
        if (trace) {
            form->showPage(shell::Form1::PageId::Trace);
            edit("traceCombo1", "192.0.2.1");
            form->findChild<QPushButton*>(QStringLiteral("traceaway"))->click();
        } else {
            edit("Combo1", "hung.test");
            edit("Combo2", "5");
            form->pingPage().ping();
        }
    });
    QTimer::singleShot(300, form.get(), [&] {
        std::printf("closing %ld %d\n", cpuMicroseconds(), waiting ? 1 : 0);
        std::fflush(stdout);
        form->close();
    });
    const int code = app.exec();
    form.reset();
    std::printf("ended %ld\n", cpuMicroseconds());
    return code;
}
