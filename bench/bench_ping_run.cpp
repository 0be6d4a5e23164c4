// What a ping run costs beyond the echoes themselves: 50 bare echoes to
// 127.0.0.1 against a 50-ping run through the engine, and through norvik-cli
// as a person would start it.
#include <benchmark/benchmark.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <iostream>

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
    req.address = platform::inetAddr("127.0.0.1");
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
        run.carryoutping_Click();
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

}  // namespace

BENCHMARK_MAIN();
