// The key store on a real file: a read, one committed write, and a batch of
// 1000 writes sharing one commit.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>
#include <string>

#include "platform/SqliteKeyStore.h"

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

}  // namespace

BENCHMARK_MAIN();
