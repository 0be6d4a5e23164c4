// The report window with a 10,000-ping run: built, filled and painted
// (target under 100 ms); and 10,000 rows written as CSV and JSON (target
// under 50 ms each).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include "export/Export.h"
#include "shell/Form2.h"

namespace {

using namespace norvik;

QApplication& app() {
    static int argc = 1;
    static char arg0[] = "bench_results";
    static char* argv[] = {arg0, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* a = new QApplication(argc, argv);
    return *a;
}

constexpr int kPings = 10000;

// Replies of 0.4 to 3 ms with every 37th ping lost, as the run writes them.
exports::PingDocument run() {
    exports::PingDocument doc{
        "bench.test", "127.0.0.1", "Ping Report for bench.test [127.0.0.1]\r\n\r\n", {}};
    for (int i = 1; i <= kPings; ++i) {
        const bool lost = i % 37 == 0;
        const std::uint32_t us = 400 + static_cast<std::uint32_t>((i * 7919) % 2600);
        doc.records.push_back(
            {1796601117123 + i * 500LL, i, "127.0.0.1", lost ? 11010 : 0, lost ? 0u : us, 32, 64});
        doc.text += lost ? "Request Timed Out\r\n" : std::to_string(us / 1000) + " ms\r\n";
    }
    doc.text += "\r\n\r\nMinimum Ping:  0ms\r\nMaximum Ping:  2ms\r\nAverage Ping:  1ms";
    return doc;
}

void BM_ReportWindowOpenAndPaint(benchmark::State& state) {
    app();
    const exports::PingDocument doc = run();
    const QString text = QString::fromStdString(doc.text);
    for (auto _ : state) {
        shell::Form2 report(nullptr);
        report.setRecords(doc.records, doc.target, doc.address);
        report.setReport(text, " 1ms", " 270");
        report.showReport();
        QImage image(report.size(), QImage::Format_ARGB32_Premultiplied);
        report.render(&image);
        benchmark::DoNotOptimize(image.bits());
        if (!qEnvironmentVariableIsEmpty("NORVIK_BENCH_SHOT")) {
            image.save(qEnvironmentVariable("NORVIK_BENCH_SHOT"));
        }
    }
}
BENCHMARK(BM_ReportWindowOpenAndPaint)->Unit(benchmark::kMillisecond);

void BM_Export(benchmark::State& state) {
    app();
    const exports::PingDocument doc = run();
    const auto format = static_cast<exports::Format>(state.range(0));
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string out = exports::Render(format, doc);
        bytes = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_Export)
    ->Arg(static_cast<int>(exports::Format::Csv))
    ->Arg(static_cast<int>(exports::Format::Json))
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
