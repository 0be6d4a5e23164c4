// Start-up of the window program: from the start of a new process to the
// first paint of the main window, and the resident memory once the window
// sits idle. Each measurement runs this program again as a child
// ("--child"), which builds the window as main() does (a new store in a
// temporary folder, the real resolver and echo service), reports and ends.
// The platform is offscreen unless QT_QPA_PLATFORM says otherwise.

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTemporaryDir>
#include <QTimer>
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

// The child: prints "<main ns> <paint ns> <idle rss kB>".
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

    QElapsedTimer waited;
    waited.start();
    while (paint.at == 0 && waited.elapsed() < kGiveUpMs) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    if (paint.at == 0) return 2;
    // Sit idle for a moment, serving events, then read the memory.
    QTimer::singleShot(kIdleMs, &app, [] { QCoreApplication::exit(0); });
    app.exec();
    std::printf("%lld %lld %ld\n", static_cast<long long>(entered),
                static_cast<long long>(paint.at), residentKb());
    return 0;
}

struct ChildRun {
    double spawnToPaintMs = 0;
    double mainToPaintMs = 0;
    double idleRssMb = 0;
};

bool runChild(ChildRun& out, std::string& why) {
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
    std::vector<char*> args = {const_cast<char*>("bench_startup"), const_cast<char*>("--child"),
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

// Runs the child once per iteration, timed from spawn to first paint, and
// hands each run to `each`; false (the benchmark marked) when a child fails.
template <class Each>
bool timeChildren(benchmark::State& state, Each each) {
    for (auto _ : state) {
        ChildRun run;
        std::string why;
        if (!runChild(run, why)) {
            state.SkipWithError(why.c_str());
            return false;
        }
        state.SetIterationTime(run.spawnToPaintMs / 1e3);
        each(run);
    }
    return true;
}

void BM_StartupToFirstPaint(benchmark::State& state) {
    double mainSum = 0;
    if (!timeChildren(state, [&](const ChildRun& run) { mainSum += run.mainToPaintMs; })) return;
    state.counters["main_to_paint_ms"] = mainSum / double(state.iterations());
}
BENCHMARK(BM_StartupToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_IdleResidentMemory(benchmark::State& state) {
    double rssMax = 0;
    const auto keepMax = [&](const ChildRun& run) { rssMax = std::max(rssMax, run.idleRssMb); };
    if (!timeChildren(state, keepMax)) return;
    state.counters["idle_rss_mb"] = rssMax;
}
BENCHMARK(BM_IdleResidentMemory)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) return child(argc, argv, argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
