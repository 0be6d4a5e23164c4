// The monitor's timings across network namespaces built here (needs root):
//
// (a) A 30-hop chain at loopback speed watched for 60 rounds, a second
//     apart, with the waits in a Qt event loop as in the window: the CPU it
//     takes, the time to turn the table into the rows and cells a table
//     model shows after each round, the time the TraceRoute page's table
//     model takes to update in place, and the longest time the event loop
//     went without running (a 5 ms timer's late ticks). The page itself,
//     drawn, over a simulated path: bench_monitor_page.
// (b) 5 hops over links that each delay every packet 5 ms each way: a
//     round lasts about the slowest hop's round trip, as all its probes are
//     in flight together.
// (c) norvik-cli trace --report -c 10 against a 4-hop path whose second
//     router drops every second probe, beside `mtr -r -c 10 -n` when mtr is
//     installed: wall time and each hop's loss.
//
// bench_monitor [ROUNDS]: ROUNDS for (a), default 60.
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "../tests/support/DelayRelay.h"
#include "../tests/support/LoopbackResolver.h"
#include "../tests/support/Netns.h"
#include "BenchApp.h"
#include "export/MonitorExport.h"
#include "platform/LinuxProbeSocket.h"
#include "platform/qt/EventLoopWaiter.h"
#include "shell/MonitorModel.h"
#include "trace/Monitor.h"

namespace {

using namespace norvik;
using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

double cpuMs() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

int failed(const std::string& why) {
    std::cerr << "bench_monitor: " << why << "\n";
    return 1;
}

// The window's way of watching: waits in the event loop, the table turned
// into rows and cells after each round.
class TimedView : public trace::MonitorView {
  public:
    explicit TimedView(bool eventLoop) : eventLoop_(eventLoop) {}
    platform::Waiter waiter() override {
        return eventLoop_ ? platform::Waiter(platform::eventLoopWaiter)
                          : platform::Waiter(platform::pollWaiter);
    }
    void roundEnded(const trace::MonitorTable& table) override {
        const auto start = Clock::now();
        std::size_t cells = 0;
        for (const trace::MonitorRow& row : trace::MonitorRows(table))
            cells += trace::MonitorCells(row).size();
        const auto end = Clock::now();
        updates.push_back(msBetween(start, end));
        ends.push_back(end);
        rows = cells / trace::kMonitorColumnCount;
        model.update(table);
        modelUpdates.push_back(msBetween(end, Clock::now()));
    }
    shell::MonitorModel model;
    std::vector<double> updates, modelUpdates;
    std::vector<Clock::time_point> ends;
    std::size_t rows = 0;

  private:
    bool eventLoop_;
};

// (a), inside the sender's namespace.
std::string longPath(int rounds) {
    int argc = 1;
    char arg0[] = "bench_monitor";
    char* argv[] = {arg0, nullptr};
    QCoreApplication app(argc, argv);
    const auto socket = platform::LinuxProbeSocket::open(platform::Family::V4);
    if (!socket) return "no ICMP socket";
    test::LoopbackResolver resolver;
    TimedView view(true);
    trace::Monitor monitor(view, *socket, resolver);
    trace::MonitorOptions options;
    options.rounds = rounds;

    // A 5 ms timer: how late its ticks come is how long the loop stalled.
    QElapsedTimer since;
    double longestGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, since.nsecsElapsed() / 1e6);
        since.restart();
    });
    ticker.start(5);
    since.start();

    const double cpu0 = cpuMs();
    const auto start = Clock::now();
    monitor.run("203.0.113.2", *platform::IpAddress::parse("203.0.113.2"), options);
    const double wall = msBetween(start, Clock::now());
    const double cpu = cpuMs() - cpu0;
    const trace::MonitorTable& t = monitor.table();
    char out[1024];
    std::snprintf(
        out, sizeof out,
        "(a) 30 hops at loopback speed, %d rounds a second apart (%zu hops in the table, %s):\n"
        "    CPU %.1f ms in %.1f s: %.3f%% of one core\n"
        "    rows and cells after each round: median %.3f ms, longest %.3f ms\n"
        "    the page's table model updated in place: median %.3f ms, longest %.3f ms\n"
        "    longest event-loop stall: %.1f ms (5 ms timer's longest gap)\n",
        t.rounds, t.hops.size(), t.reached ? "reached" : "not reached", cpu, wall / 1000,
        100 * cpu / wall, median(view.updates),
        *std::max_element(view.updates.begin(), view.updates.end()), median(view.modelUpdates),
        *std::max_element(view.modelUpdates.begin(), view.modelUpdates.end()), longestGap - 5);
    return out;
}

// Namespace i is "n<i>"; link i joins n<i> and n<i+1> from
// 198.51.100.(4i+1) to 198.51.100.(4i+2).
std::string left(int i) { return "198.51.100." + std::to_string(4 * i + 1); }
std::string right(int i) { return "198.51.100." + std::to_string(4 * i + 2); }
std::string role(int i) { return "n" + std::to_string(i); }

int delayedPath() {
    constexpr int kHops = 5;
    constexpr auto kDelay = std::chrono::milliseconds(5);
    test::Topology t;
    std::vector<test::DelayedLink> links;
    for (int i = 0; i <= kHops; ++i) t.nodes.push_back({role(i), i > 0 && i < kHops, {}, {}});
    for (int i = 0; i < kHops; ++i)
        links.push_back({role(i), left(i), role(i + 1), right(i), kDelay});
    test::NetnsLab lab;
    if (!lab.build(t)) return failed(lab.error());
    test::DelayRelay relay(lab, links);
    if (!relay.error().empty()) return failed(relay.error());
    for (int i = 0; i <= kHops; ++i) {
        if ((i < kHops && !lab.ip(role(i), {"route", "add", "default", "via", right(i)})) ||
            (i > 0 && !lab.ip(role(i), {"route", "replace", left(0) + "/32", "via", left(i - 1)})))
            return failed(lab.error());
    }
    const std::string dest = right(kHops - 1);
    std::fputs(test::runInside(lab.name(role(0)),
                               [&] {
                                   const auto socket =
                                       platform::LinuxProbeSocket::open(platform::Family::V4);
                                   if (!socket) return std::string("no ICMP socket");
                                   test::LoopbackResolver resolver;
                                   TimedView view(false);
                                   view.ends.push_back(Clock::now());
                                   trace::Monitor monitor(view, *socket, resolver);
                                   trace::MonitorOptions options;
                                   options.rounds = 21;
                                   options.spacingMs = 0;  // each round starts as the last ends
                                   monitor.run(dest, *platform::IpAddress::parse(dest), options);
                                   // The first round probed 30 hops; the rest 5.
                                   std::vector<double> lengths;
                                   for (std::size_t i = 2; i < view.ends.size(); ++i)
                                       lengths.push_back(msBetween(view.ends[i - 1], view.ends[i]));
                                   const auto& hops = monitor.table().hops;
                                   double slowest = 0;
                                   for (const auto& h : hops)
                                       for (const auto& a : h.addresses)
                                           slowest = std::max(slowest, a.trips.meanUs() / 1000);
                                   char out[512];
                                   std::snprintf(out, sizeof out,
                                                 "(b) %zu hops, 5 ms each way per link: a round "
                                                 "lasts %.2f ms (median of %zu), the slowest hop's "
                                                 "round trip averages %.2f ms: %.3fx\n",
                                                 hops.size(), median(lengths), lengths.size(),
                                                 slowest, median(lengths) / slowest);
                                   return std::string(out);
                               })
                   .c_str(),
               stdout);
    return 0;
}

// The Loss % column of a report's text, one figure per hop.
std::string losses(const std::string& text, int column) {
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string x; words >> x;) w.push_back(x);
        if (w.size() > static_cast<std::size_t>(column) && !w[0].empty() &&
            std::isdigit(static_cast<unsigned char>(w[0].front())))
            out += (out.empty() ? "" : " ") + w[column];
    }
    return out;
}

int reportBesideMtr() {
    test::NetnsLab lab;
    if (!lab.build(test::path(3))) return failed(lab.error());
    const std::string r2 = lab.name("r2"), sender = lab.name("sender");
    const bool mtr = test::runProgram({"sh", "-c", "command -v mtr"}) == 0;
    const auto timed = [&](std::vector<std::string> argv, std::string* out) {
        argv.insert(argv.begin(), {"ip", "netns", "exec", sender});
        const auto start = Clock::now();
        test::runProgram(argv, out);
        return msBetween(start, Clock::now()) / 1000;
    };
    for (const bool dropping : {false, true}) {
        if (dropping) {
            for (std::vector<std::string> args :
                 {std::vector<std::string>{"add", "table", "ip", "lab"},
                  {"add", "chain", "ip", "lab", "in",
                   "{ type filter hook prerouting priority 0; }"},
                  {"add", "rule", "ip", "lab", "in", "icmp", "type", "echo-request", "numgen",
                   "inc", "mod", "2", "==", "0", "drop"}}) {
                args.insert(args.begin(), {"ip", "netns", "exec", r2, "nft"});
                if (test::runProgram(args) != 0) return failed("nft refused the drop rule");
            }
        }
        std::printf("(c) 4 hops%s, 10 rounds:\n",
                    dropping ? ", r2 dropping every second probe it gets" : ", no loss");
        std::string ours, theirs;
        const double oursS =
            timed({bench::cliPath(), "trace", "--report", "-c", "10", "203.0.113.2"}, &ours);
        std::printf("    norvik-cli trace --report -c 10  %5.2f s  loss %% per hop: %s\n", oursS,
                    losses(ours, 2).c_str());
        if (!mtr) {
            std::printf("    mtr is not installed\n");
            continue;
        }
        const double theirsS = timed({"mtr", "-r", "-c", "10", "-n", "203.0.113.2"}, &theirs);
        std::printf("    mtr -r -c 10 -n                  %5.2f s  loss %% per hop: %s\n", theirsS,
                    losses(theirs, 2).c_str());
        std::fflush(stdout);
    }
    return 0;
}

int longChain(int rounds) {
    test::NetnsLab lab;
    if (!lab.build(test::path(29))) return failed(lab.error());
    std::fputs(test::runInside(
                   lab.name("sender"), [rounds] { return longPath(rounds); }, 20000 + 2000 * rounds)
                   .c_str(),
               stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string why = test::NetnsLab::unavailableReason();
    if (!why.empty()) return failed(why);
    const int rounds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 60;
    int rc = delayedPath();
    std::fflush(stdout);
    rc |= reportBesideMtr();
    std::fflush(stdout);
    rc |= longChain(rounds);
    return rc;
}
