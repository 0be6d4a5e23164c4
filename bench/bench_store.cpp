// The key store on a real file: a read, one committed write, a batch of
// 1000 writes sharing one commit, and a walk through a key's subkeys by
// rising index, as the whois directory reads its countries.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>
#include <iostream>
#include <string>

#include "platform/SqliteKeyStore.h"
#include "platform/StderrMessageBox.h"
#include "store/Registry.h"

namespace {

using norvik::platform::BatchScope;
using norvik::platform::KeyStore;
using norvik::platform::SqliteKeyStore;

constexpr std::uint32_t kMachine = 0x80000002u;
const KeyStore::Path kKey = {"Software", "Tarnwell", "Norvik", "IPs"};

struct BenchStore {
    QTemporaryDir dir{QDir::tempPath() + "/norvik-bench-XXXXXX"};
    SqliteKeyStore store{dir.path().toStdString() + "/norvik.sqlite3"};

    explicit BenchStore(benchmark::State& state) {
        if (!dir.isValid() || !store.createKey(kMachine, kKey) ||
            !store.writeValue(kMachine, kKey, "1", "192.0.2.1"))
            state.SkipWithError(("no store: " + store.lastError()).c_str());
    }
};

void BM_ReadValue(benchmark::State& state) {
    BenchStore b(state);
    for (auto _ : state) {
        auto text = b.store.readValue(kMachine, kKey, "1");
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_ReadValue)->Unit(benchmark::kMicrosecond);

void BM_WriteValue(benchmark::State& state) {
    BenchStore b(state);
    int i = 0;
    for (auto _ : state) {
        if (!b.store.writeValue(kMachine, kKey, std::to_string(i++ % 10), "192.0.2.1"))
            state.SkipWithError(b.store.lastError().c_str());
    }
}
BENCHMARK(BM_WriteValue)->Unit(benchmark::kMicrosecond);

void BM_Write1000InOneBatch(benchmark::State& state) {
    BenchStore b(state);
    for (auto _ : state) {
        BatchScope batch(b.store);
        for (int i = 0; i < 1000; ++i)
            b.store.writeValue(kMachine, kKey, std::to_string(i), "whois.example.net");
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_Write1000InOneBatch)->Unit(benchmark::kMillisecond);

// A walk of N subkeys from index 0 up to "Not Found", as the first after a
// write: nothing of an earlier walk is reused.
void BM_WalkSubKeys(benchmark::State& state) {
    BenchStore b(state);
    const auto count = state.range(0);
    {
        BatchScope batch(b.store);
        for (std::int64_t i = 0; i < count; ++i) {
            KeyStore::Path key = kKey;
            key.push_back("k" + std::to_string(i));
            b.store.createKey(kMachine, key);
        }
    }
    norvik::platform::StderrMessageBox boxes(std::cerr);
    norvik::store::Registry registry(b.store, boxes);
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        b.store.writeValue(kMachine, kKey, "round", std::to_string(round++));
        state.ResumeTiming();
        std::int32_t n = 0;
        while (registry.SubKeyNameAt(kMachine, "Software\\Tarnwell\\Norvik\\IPs", n) !=
               norvik::store::kNotFound)
            ++n;
        if (n != count) state.SkipWithError("the walk missed subkeys");
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_WalkSubKeys)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
