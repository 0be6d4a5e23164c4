// Start-up of the window program: from the start of a new process to the
// first paint of the main window, and the resident memory once the window
// sits idle. Each measurement runs this program again as a child
// ("--child"), which builds the window as main() does (a new store in a
// temporary folder, the real resolver and echo service), reports and ends.
// Beside it, in the same run, a bare window ("--bare": a QApplication and
// one empty QWidget, built with the same flags) is the baseline; the
// counters give both and their ratio. The platform is offscreen unless
// QT_QPA_PLATFORM says otherwise.

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "platform/LinuxEchoService.h"
#include "platform/SqliteKeyStore.h"
#include "platform/SystemResolver.h"
#include "platform/qt/EventLoopWaiter.h"
#include "platform/qt/QtMessageBox.h"
#include "shell/Form1.h"

extern char** environ;

namespace {

constexpr int kIdleMs = 300;
constexpr int kGiveUpMs = 10000;

std::int64_t monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// Notes the first paint of a widget.
class FirstPaint : public QObject {
  public:
    std::int64_t at = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && at == 0) at = monotonicNs();
        return false;
    }
};

// Waits for the first paint, sits idle for a moment serving events, then
// prints "<main ns> <paint ns> <idle rss kB>".
int reportFirstPaint(QApplication& app, std::int64_t entered, const FirstPaint& paint) {
    QElapsedTimer waited;
    waited.start();
    while (paint.at == 0 && waited.elapsed() < kGiveUpMs) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    if (paint.at == 0) return 2;
    QTimer::singleShot(kIdleMs, &app, [] { QCoreApplication::exit(0); });
    app.exec();
    std::printf("%lld %lld %ld\n", static_cast<long long>(entered),
                static_cast<long long>(paint.at), residentKb());
    return 0;
}

int child(int argc, char** argv, const char* storeDir) {
    const std::int64_t entered = monotonicNs();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    norvik::platform::SqliteKeyStore store(std::string(storeDir) + "/norvik.sqlite3");
    norvik::platform::SystemResolver resolver;
    norvik::platform::LinuxEchoService echo;
    norvik::platform::QtMessageBox boxes;
    norvik::shell::Form1 form({store, boxes, resolver, echo, norvik::platform::eventLoopWaiter,
                               [] { QCoreApplication::exit(0); }});
    boxes.setParent(&form);
    FirstPaint paint;
    form.installEventFilter(&paint);
    form.Form_Load(QString());
    form.show();
    return reportFirstPaint(app, entered, paint);
}

int bareChild(int argc, char** argv) {
    const std::int64_t entered = monotonicNs();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QWidget window;
    FirstPaint paint;
    window.installEventFilter(&paint);
    window.show();
    return reportFirstPaint(app, entered, paint);
}

struct ChildRun {
    double spawnToPaintMs = 0;
    double mainToPaintMs = 0;
    double idleRssMb = 0;
};

// Runs this program as the window child, or as the bare window when `bare`.
bool runChild(ChildRun& out, std::string& why, bool bare) {
    QTemporaryDir dir;
    if (!dir.isValid()) {
        why = "no temporary folder";
        return false;
    }
    int fds[2];
    if (::pipe(fds) != 0) {
        why = "pipe failed";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const std::string self = "/proc/self/exe";
    const std::string store = dir.path().toStdString();
    std::vector<char*> args = {const_cast<char*>("bench_startup"),
                               const_cast<char*>(bare ? "--bare" : "--child"),
                               const_cast<char*>(store.c_str()), nullptr};
    pid_t pid = 0;
    const std::int64_t spawned = monotonicNs();
    const int rc = posix_spawn(&pid, self.c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        why = std::string("spawn: ") + std::strerror(rc);
        return false;
    }
    std::string text;
    char buf[256];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    long long entered = 0, painted = 0;
    long rss = 0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        std::sscanf(text.c_str(), "%lld %lld %ld", &entered, &painted, &rss) != 3) {
        why = "child failed: " + text;
        return false;
    }
    out.spawnToPaintMs = double(painted - spawned) / 1e6;
    out.mainToPaintMs = double(painted - entered) / 1e6;
    out.idleRssMb = double(rss) / 1024.0;
    return true;
}

// Each iteration runs the bare window and then the window program, timed
// from spawn to first paint (the window's time is the iteration's); the
// counters are the means of both, their ratio, and the largest idle memory
// of each with its ratio.
void BM_StartupAgainstBareWindow(benchmark::State& state) {
    double bareMs = 0, windowMs = 0, bareRss = 0, windowRss = 0;
    for (auto _ : state) {
        ChildRun bare, window;
        std::string why;
        if (!runChild(bare, why, true) || !runChild(window, why, false)) {
            state.SkipWithError(why.c_str());
            return;
        }
        state.SetIterationTime(window.spawnToPaintMs / 1e3);
        bareMs += bare.spawnToPaintMs;
        windowMs += window.spawnToPaintMs;
        bareRss = std::max(bareRss, bare.idleRssMb);
        windowRss = std::max(windowRss, window.idleRssMb);
    }
    const double n = double(state.iterations());
    state.counters["bare_paint_ms"] = bareMs / n;
    state.counters["window_paint_ms"] = windowMs / n;
    state.counters["paint_ratio"] = windowMs / bareMs;
    state.counters["bare_rss_mb"] = bareRss;
    state.counters["window_rss_mb"] = windowRss;
    state.counters["rss_ratio"] = windowRss / bareRss;
}
BENCHMARK(BM_StartupAgainstBareWindow)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) return child(argc, argv, argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--bare") == 0) return bareChild(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
