// RDAP: parsing a DNS bootstrap file of 1,200 domains and matching 10,000
// names against it; rendering a 1 MiB domain answer with 1,000 entities;
// and norvik-cli rdap --base against a loopback server, whole process,
// over HTTP and HTTPS (certificate made with openssl, trusted through
// NORVIK_RDAP_CA_FILE).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QProcess>
#include <QThread>
#include <string>
#include <vector>

#include "../tests/support/RdapHttpServer.h"
#include "rdap/Bootstrap.h"
#include "rdap/RdapText.h"

namespace {

using namespace norvik;

QCoreApplication& app() {
    static int argc = 1;
    static char arg0[] = "bench_rdap";
    static char* argv[] = {arg0, nullptr};
    static auto* a = new QCoreApplication(argc, argv);
    return *a;
}

constexpr int kDomains = 1200;

QByteArray dnsBootstrap() {
    QByteArray out = R"({"version": "1.0", "publication": "2026-12-06T00:00:00Z", "services": [)";
    for (int i = 0; i < kDomains; i += 4) {
        if (i) out += ',';
        out += "[[";
        for (int j = i; j < i + 4; ++j)
            out += (j > i ? ",\"" : "\"") + QByteArray("tld") + QByteArray::number(j) + '"';
        out += R"(], ["https://rdap.registry)" + QByteArray::number(i) + R"(.test/"]])";
    }
    return out + "]}";
}

void BM_ParseDnsBootstrap(benchmark::State& state) {
    const QByteArray file = dnsBootstrap();
    for (auto _ : state) {
        auto b = rdap::ParseBootstrap(rdap::Registry::Dns, file);
        if (!b || b->domains.size() != kDomains) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(b);
    }
    state.counters["bytes"] = static_cast<double>(file.size());
}
BENCHMARK(BM_ParseDnsBootstrap)->Unit(benchmark::kMicrosecond);

void BM_MatchDomain10000(benchmark::State& state) {
    const auto b = rdap::ParseBootstrap(rdap::Registry::Dns, dnsBootstrap());
    std::vector<std::string> names;
    for (int i = 0; i < 10000; ++i)
        names.push_back("www.example" + std::to_string(i) + ".tld" +
                        std::to_string(i % (kDomains + 100)));
    for (auto _ : state) {
        int found = 0;
        for (const auto& n : names) found += rdap::MatchDomain(*b, n).has_value();
        benchmark::DoNotOptimize(found);
    }
    state.counters["per_lookup"] = benchmark::Counter(
        10000, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MatchDomain10000)->Unit(benchmark::kMicrosecond);

void BM_Render1MiBDomain(benchmark::State& state) {
    QByteArray json = R"({"objectClassName": "domain", "ldhName": "example.test", "entities": [)";
    const QByteArray pad(900, 'x');
    for (int i = 0; i < 1000; ++i) {
        if (i) json += ',';
        json +=
            R"({"objectClassName": "entity", "roles": [")" +
            QByteArray(i == 999 ? "registrar" : "tech") +
            R"("], "vcardArray": ["vcard", [["version", {}, "text", "4.0"], ["fn", {}, "text", "Name )" +
            QByteArray::number(i) + R"("], ["note", {}, "text", ")" + pad + R"("]]]})";
    }
    json += R"(], "notices": [{"title": "Terms", "description": ["a", "b"]}]})";
    for (auto _ : state) {
        auto text = rdap::RenderAnswer(QUrl("https://rdap.example/domain/example.test"), json);
        if (!text || !text->contains("Registrar: Name 999")) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(text);
    }
    state.counters["answer_KiB"] = static_cast<double>(json.size()) / 1024;
}
BENCHMARK(BM_Render1MiBDomain)->Unit(benchmark::kMillisecond);

void cliRun(benchmark::State& state, bool tls) {
    app();
    test::TestCertificate cert;
    if (tls && !cert.valid()) {
        state.SkipWithError("no certificate");
        return;
    }
    std::optional<test::RdapHttpServer> server;
    if (tls)
        server.emplace(cert.certificate, cert.key);
    else
        server.emplace();
    server->paths = {
        {"/domain/example.test",
         test::Canned::json(R"({"objectClassName": "domain", "ldhName": "EXAMPLE.TEST"})")}};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("NORVIK_RDAP_CA_FILE", cert.dir.filePath("c.pem"));
    const QString cli = qEnvironmentVariable("NORVIK_CLI", "src/norvik-cli");
    for (auto _ : state) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(cli, {"rdap", "--base", QString::fromUtf8(server->base(tls ? "https" : "http")),
                      "example.test"});
        while (p.state() != QProcess::NotRunning) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            p.waitForFinished(0);
            QThread::usleep(100);
        }
        if (p.exitCode() != 0) {
            state.SkipWithError("norvik-cli rdap failed (set NORVIK_CLI)");
            break;
        }
    }
}
void BM_CliRdapHttp(benchmark::State& state) { cliRun(state, false); }
void BM_CliRdapHttps(benchmark::State& state) { cliRun(state, true); }
BENCHMARK(BM_CliRdapHttp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CliRdapHttps)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
