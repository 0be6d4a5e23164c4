// What a ping run costs beyond the echoes themselves: 50 bare echoes to
// 127.0.0.1 against a 50-ping run through the engine, and through norvik-cli
// as a person would start it. Then norvik-cli against iputils ping
// (`ping -c N -i 0 -q 127.0.0.1`) at 1,000 and 10,000 pings, and over IPv6
// (`ping -6 -c 1000 -i 0 -q ::1`) at 1,000, the two started in turn in every
// iteration, with the ratio of their times.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include "net/HostToIP.h"
#include "ping/MemoryPingView.h"
#include "ping/Numbers.h"
#include "platform/LinuxEchoService.h"
#include "platform/SqliteKeyStore.h"
#include "platform/StderrMessageBox.h"
#include "platform/SystemResolver.h"
#include "store/Settings.h"

namespace {

using namespace norvik;

constexpr int kPings = 50;

void BM_BareEchoes50(benchmark::State& state) {
    platform::LinuxEchoService echo;
    platform::EchoRequest req;
    req.address = platform::IpAddress::v4(platform::inetAddr("127.0.0.1"));
    req.payload = ping::BuildPayload("32");
    for (auto _ : state) {
        for (int i = 0; i < kPings; ++i) {
            auto r = echo.send(req, platform::pollWaiter);
            if (r.status != 0) state.SkipWithError("echo to 127.0.0.1 failed");
        }
    }
    state.counters["per_ping_us"] = benchmark::Counter(
        kPings, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BareEchoes50)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EngineRun50(benchmark::State& state) {
    QTemporaryDir dir;
    platform::SqliteKeyStore keys((dir.path() + "/s.sqlite3").toStdString());
    platform::StderrMessageBox boxes(std::cerr);
    store::Registry reg(keys, boxes);
    reg.CreateKeyPath(store::kSessionIPsKey);
    platform::SystemResolver resolver;
    net::HostToIP hosts(resolver, boxes);
    platform::LinuxEchoService echo;
    for (auto _ : state) {
        ping::MemoryPingView view;
        view.address = "127.0.0.1";
        view.count = std::to_string(kPings);
        view.payload = ping::BuildPayload("32");
        ping::PingRun run(view, reg, hosts, echo, boxes);
        run.run();
        if (run.figures().successes != kPings) state.SkipWithError("a ping failed");
    }
    state.counters["per_ping_us"] = benchmark::Counter(
        kPings, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_EngineRun50)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CliPing50(benchmark::State& state) {
    QTemporaryDir dir;
    const QString cli = qEnvironmentVariable("NORVIK_CLI", "src/norvik-cli");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("NORVIK_STORE", dir.path() + "/s.sqlite3");
    for (auto _ : state) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(cli, {"ping", "-n", QString::number(kPings), "127.0.0.1"});
        if (!p.waitForFinished(60000) || p.exitCode() != 0) {
            state.SkipWithError("norvik-cli ping failed (set NORVIK_CLI)");
            break;
        }
    }
    state.counters["per_ping_us"] = benchmark::Counter(
        kPings, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CliPing50)->Unit(benchmark::kMillisecond)->UseRealTime();

// Runs a program to its end with its output thrown away; the wall time in
// seconds, or a negative number when it could not start or did not exit 0.
double timedRun(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> env;
    for (const auto& e : extraEnv) env.push_back(const_cast<char*>(e.c_str()));
    for (char** e = environ; *e; ++e) env.push_back(*e);
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    pid_t ended;
    do ended = ::waitpid(pid, &status, 0);
    while (ended < 0 && errno == EINTR);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took.count() : -1;
}

std::vector<std::string> iputilsPing(int count, bool v6 = false) {
    if (v6) return {"ping", "-6", "-c", std::to_string(count), "-i", "0", "-q", "::1"};
    return {"ping", "-c", std::to_string(count), "-i", "0", "-q", "127.0.0.1"};
}

// Why iputils ping cannot be measured here; empty when it can.
std::string iputilsMissing() {
    QProcess p;
    p.start("ping", {"-V"});
    if (!p.waitForFinished(10000)) return "ping is not installed (package iputils-ping)";
    if (!QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError())
             .contains("iputils"))
        return "the ping found is not iputils ping";
    if (timedRun(iputilsPing(1), {}) < 0)
        return "ping -i 0 is not permitted here (it needs root or CAP_NET_RAW)";
    return {};
}

void BM_CliAgainstIputils(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const bool v6 = state.range(1) == 6;
    QTemporaryDir dir;
    const std::string cli = qEnvironmentVariable("NORVIK_CLI", "src/norvik-cli").toStdString();
    const std::vector<std::string> norvik = {cli, "ping", "-n", std::to_string(count),
                                             v6 ? "::1" : "127.0.0.1"};
    const std::vector<std::string> env = {"NORVIK_STORE=" +
                                          (dir.path() + "/s.sqlite3").toStdString()};
    static const std::string missing = [] {
        std::string why = iputilsMissing();
        if (!why.empty()) std::cerr << "bench_ping_run: iputils side skipped: " << why << "\n";
        return why;
    }();
    if (!missing.empty()) state.SetLabel("iputils skipped: " + missing);
    // The first run makes the store and writes the count into it; the timed
    // runs find both as they leave them, as repeated runs with one count do.
    if (timedRun(norvik, env) < 0) {
        state.SkipWithError("norvik-cli ping failed (set NORVIK_CLI)");
        return;
    }
    double norvikSum = 0, iputilsSum = 0;
    double norvikBest = std::numeric_limits<double>::max(), iputilsBest = norvikBest;
    for (auto _ : state) {
        const double n = timedRun(norvik, env);
        if (n < 0) {
            state.SkipWithError("norvik-cli ping failed (set NORVIK_CLI)");
            break;
        }
        state.SetIterationTime(n);
        norvikSum += n;
        norvikBest = std::min(norvikBest, n);
        if (!missing.empty()) continue;
        const double i = timedRun(iputilsPing(count, v6), {});
        if (i < 0) {
            state.SkipWithError("iputils ping failed");
            break;
        }
        iputilsSum += i;
        iputilsBest = std::min(iputilsBest, i);
    }
    const double runs = static_cast<double>(state.iterations());
    if (runs == 0) return;
    state.counters["norvik_ms"] = norvikSum / runs * 1000;
    state.counters["norvik_best_ms"] = norvikBest * 1000;
    if (!missing.empty() || iputilsSum <= 0) return;
    state.counters["iputils_ms"] = iputilsSum / runs * 1000;
    state.counters["iputils_best_ms"] = iputilsBest * 1000;
    state.counters["ratio"] = norvikSum / iputilsSum;
    state.counters["ratio_best"] = norvikBest / iputilsBest;
}
BENCHMARK(BM_CliAgainstIputils)
    ->ArgNames({"pings", "family"})
    ->Args({1000, 4})
    ->Args({10000, 4})
    ->Args({1000, 6})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);

}  // namespace

BENCHMARK_MAIN();
