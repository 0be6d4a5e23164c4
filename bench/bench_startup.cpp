// Start-up of the window program: from the start of a new process until
// the main window has been painted whole for the first time, and the
// resident memory once the window sits idle. Each iteration starts
// startup_window (the window program's own main(), linked as it is) and,
// as its baseline, startup_bare (a QApplication and one empty QWidget,
// linking Qt Widgets alone); both are built with the same flags, carry the
// same first-paint probe and run on the same platform (offscreen unless
// QT_QPA_PLATFORM says otherwise). The counters give both and their ratio.
// A usual start finds its store made by an earlier start; the first start
// makes it.

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

extern char** environ;

namespace {

std::int64_t monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The folder of this program, where the two start-up programs are built.
std::string ownFolder() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string self(path, static_cast<std::size_t>(n));
    return self.substr(0, self.rfind('/'));
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct ChildRun {
    double spawnToPaintMs = 0;
    double idleRssMb = 0;
};

// Runs the window program with its store in `storeDir`, or the bare
// window when `bare`.
bool runChild(ChildRun& out, std::string& why, bool bare, const QString& storeDir) {
    int fds[2];
    if (::pipe(fds) != 0) {
        why = "pipe failed";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const std::string program = ownFolder() + (bare ? "/startup_bare" : "/startup_window");
    std::vector<char*> args = {const_cast<char*>(program.c_str()), nullptr};
    const std::string store = "NORVIK_STORE=" + storeDir.toStdString() + "/norvik.sqlite3";
    std::vector<char*> env = {const_cast<char*>(store.c_str())};
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "NORVIK_STORE=", 13) != 0) env.push_back(*e);
    }
    env.push_back(nullptr);
    pid_t pid = 0;
    const std::int64_t spawned = monotonicNs();
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), env.data());
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
    long long painted = 0;
    long rss = 0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        std::sscanf(text.c_str(), "%lld %ld", &painted, &rss) != 2) {
        why = "child failed: " + text;
        return false;
    }
    out.spawnToPaintMs = double(painted - spawned) / 1e6;
    out.idleRssMb = double(rss) / 1024.0;
    return true;
}

// Each iteration runs the bare window and then the window program, timed
// from spawn to first paint (the window's time is the iteration's); the
// counters are the medians of both (the machine may be busy with other
// work), their ratio, and the largest idle memory of each with its ratio. `firstStart`: each window
// start makes a new store.
void startAgainstBareWindow(benchmark::State& state, bool firstStart) {
    QTemporaryDir kept;
    ChildRun window;
    std::string why;
    // The store as any start after the first finds it.
    if (!kept.isValid() || (!firstStart && !runChild(window, why, false, kept.path()))) {
        state.SkipWithError(why.empty() ? "no temporary folder" : why.c_str());
        return;
    }
    std::vector<double> bareMs, windowMs;
    double bareRss = 0, windowRss = 0;
    for (auto _ : state) {
        QTemporaryDir fresh;
        ChildRun bare;
        if (!fresh.isValid() || !runChild(bare, why, true, fresh.path()) ||
            !runChild(window, why, false, firstStart ? fresh.path() : kept.path())) {
            state.SkipWithError(why.empty() ? "no temporary folder" : why.c_str());
            return;
        }
        state.SetIterationTime(window.spawnToPaintMs / 1e3);
        bareMs.push_back(bare.spawnToPaintMs);
        windowMs.push_back(window.spawnToPaintMs);
        bareRss = std::max(bareRss, bare.idleRssMb);
        windowRss = std::max(windowRss, window.idleRssMb);
    }
    state.counters["bare_paint_ms"] = median(bareMs);
    state.counters["window_paint_ms"] = median(windowMs);
    state.counters["paint_ratio"] = median(windowMs) / median(bareMs);
    state.counters["bare_rss_mb"] = bareRss;
    state.counters["window_rss_mb"] = windowRss;
    state.counters["rss_ratio"] = windowRss / bareRss;
}

void BM_StartupAgainstBareWindow(benchmark::State& state) { startAgainstBareWindow(state, false); }
BENCHMARK(BM_StartupAgainstBareWindow)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

void BM_FirstStartAgainstBareWindow(benchmark::State& state) {
    startAgainstBareWindow(state, true);
}
BENCHMARK(BM_FirstStartAgainstBareWindow)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    // Both start-up programs inherit the platform.
    if (const char* p = std::getenv("QT_QPA_PLATFORM"); !p || !*p)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
