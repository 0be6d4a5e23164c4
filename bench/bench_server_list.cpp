// The server list: a 5,000-server list in 250 countries parsed and shown in
// the update window, then stored with "Add All" on a real store file; and
// the parse and the store on their own. The platform is offscreen unless
// QT_QPA_PLATFORM says otherwise.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QListWidget>
#include <QTemporaryDir>
#include <iostream>
#include <memory>
#include <string>

#include "BenchApp.h"
#include "platform/SqliteKeyStore.h"
#include "platform/StderrMessageBox.h"
#include "platform/qt/QtTcpClient.h"
#include "platform/qt/QtTimer.h"
#include "shell/Whoisupdate.h"
#include "store/Registry.h"
#include "whois/ServerList.h"

namespace {

using namespace norvik;

constexpr int kServers = 5000;
constexpr int kCountries = 250;

// Countries "AA".."JP" in mixed case, 20 servers each, lines interleaved.
const std::string& bigList() {
    static const std::string text = [] {
        std::string t = "; whois servers\r\n";
        for (int i = 0; i < kServers; ++i) {
            const int c = i % kCountries;
            std::string code{static_cast<char>('A' + c / 26), static_cast<char>('A' + c % 26)};
            if (c % 3 == 0) code[1] = static_cast<char>(code[1] - 'A' + 'a');
            t += "whois" + std::to_string(i) + ".registry-" + code + ".example C=" + code + "\r\n";
        }
        return t;
    }();
    return text;
}

struct BenchStore {
    QTemporaryDir dir{QDir::tempPath() + "/norvik-bench-XXXXXX"};
    platform::SqliteKeyStore keys{dir.path().toStdString() + "/norvik.sqlite3"};
    platform::StderrMessageBox boxes{std::cerr};
    store::Registry reg{keys, boxes};
};

void BM_Parse5000(benchmark::State& state) {
    for (auto _ : state) {
        auto list = whois::ParseServerList(bigList());
        auto lines = whois::ListLines(list, whois::kAllServers);
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(BM_Parse5000)->Unit(benchmark::kMillisecond);

void BM_StoreDirectory5000(benchmark::State& state) {
    BenchStore b;
    const auto list = whois::ParseServerList(bigList());
    const auto filter = whois::FilterEntries(list);
    const auto lines = whois::ListLines(list, whois::kAllServers);
    for (auto _ : state) {
        if (whois::StoreDirectory(b.reg, filter, lines) != kCountries)
            state.SkipWithError("not every country stored");
    }
}
BENCHMARK(BM_StoreDirectory5000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The user's view: "Download Now" (the list read in place of a host),
// the filter and list filled and painted, then "Add All".
void BM_WindowDownloadShowAddAll5000(benchmark::State& state) {
    bench::app();
    BenchStore b;
    for (auto _ : state) {
        auto* upd = new shell::Whoisupdate({b.keys,
                                            b.boxes,
                                            std::make_unique<platform::QtTcpClient>(),
                                            std::make_unique<platform::QtTimer>(),
                                            whois::kListPort,
                                            {},
                                            [] { return bigList(); }});
        upd->show();
        upd->downloadList();
        auto* list = upd->findChild<QListWidget*>(QStringLiteral("List1"));
        list->viewport()->repaint();
        if (list->count() != kServers) state.SkipWithError("list not filled");
        upd->addAll();
        state.PauseTiming();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WindowDownloadShowAddAll5000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
