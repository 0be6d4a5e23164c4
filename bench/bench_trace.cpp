// Trace timings across network namespaces built here (needs root):
//
// (a) A 5-hop path whose links each delay every packet by a known time, in
//     a user-space relay between TUN devices (the kernel here has no netem).
//     Hop k answers after 2 k d, so a trace cannot take less than the sum
//     of those round trips. The trace engine in-process, norvik-cli trace
//     and `traceroute -I -q 1 -N 1 -n` run side by side over the same path.
// (b) A 30-hop chain of veth links at loopback speed: a trace against 30
//     bare echoes at time to live 1..30, for what the trace adds per hop.
// (c) The same as (a) over IPv6 on 4 hops, against `traceroute -6 -I -q 1
//     -N 1 -n`.
// (d) A 4-hop IPv6 path of veth links (tests/support's path(3)) at loopback
//     speed: the trace engine in-process, norvik-cli trace -6 and the same
//     traceroute, each run in turn; process start-up is most of it.
//
// A small timing program rather than Google Benchmark: the runs are few and
// slow, and traceroute is timed as a process.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "../tests/support/DelayRelay.h"
#include "../tests/support/Netns.h"
#include "BenchApp.h"
#include "net/HostToIP.h"
#include "platform/LinuxEchoService.h"
#include "platform/StderrMessageBox.h"
#include "platform/SystemResolver.h"
#include "trace/MemoryTraceView.h"
#include "trace/Tracer.h"

namespace {

using namespace norvik;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Link i joins namespace i and i+1: 198.51.100.(4i+1) on the left,
// 198.51.100.(4i+2) on the right.
std::string left(int i) { return "198.51.100." + std::to_string(4 * i + 1); }
std::string right(int i) { return "198.51.100." + std::to_string(4 * i + 2); }
std::string role(int i) { return "n" + std::to_string(i); }
const std::string kSender = left(0);
// The same links over IPv6: 2001:db8:100:<i>::1 on the left, ::2 on the
// right; routed by device, as the links are point to point.
std::string left6(int i) { return "2001:db8:100:" + std::to_string(i) + "::1"; }
std::string right6(int i) { return "2001:db8:100:" + std::to_string(i) + "::2"; }

// Namespaces 0..hops, forwarding in between; routers send their errors
// without rate limits, and routes lead on to the last and back to 0.
bool buildChain(test::NetnsLab& lab, int hops) {
    for (int i = 0; i <= hops; ++i) {
        if (!lab.add(role(i)) || !lab.sysctl(role(i), "net/ipv4/icmp_ratelimit", "0") ||
            !lab.sysctl(role(i), "net/ipv4/icmp_ratemask", "0"))
            return false;
        if (i > 0 && i < hops && !lab.sysctl(role(i), "net/ipv4/ip_forward", "1")) return false;
        if (!lab.sysctl(role(i), "net/ipv6/icmp/ratelimit", "0") ||
            (i > 0 && i < hops && !lab.sysctl(role(i), "net/ipv6/conf/all/forwarding", "1")))
            return false;
    }
    return true;
}

bool routeChain(test::NetnsLab& lab, int hops) {
    for (int i = 0; i <= hops; ++i) {
        if (i < hops && (!lab.ip(role(i), {"route", "add", "default", "via", right(i)}) ||
                         !lab.ip(role(i), {"-6", "route", "add", "default", "dev",
                                           test::DelayRelay::device(i, 0)})))
            return false;
        if (i > 0 && (!lab.ip(role(i), {"route", "replace", kSender + "/32", "via", left(i - 1)}) ||
                      !lab.ip(role(i), {"-6", "route", "replace", left6(0) + "/128", "dev",
                                        test::DelayRelay::device(i - 1, 1)})))
            return false;
    }
    return true;
}

// A trace in this process (inside a namespace): its time in ms, and the
// results box.
std::pair<double, std::string> engineTrace(const std::string& to) {
    std::ostringstream quiet;
    platform::StderrMessageBox boxes(quiet);
    platform::SystemResolver resolver;
    net::HostToIP hosts(resolver, boxes);
    platform::LinuxEchoService echo;
    trace::MemoryTraceView view;
    view.destination = to;
    const auto start = Clock::now();
    trace::Tracer(view, hosts, resolver, echo, boxes).trace();
    return {msSince(start), view.results};
}

// The bare echoes a trace to `to` sends, at time to live 1..hops: their
// summed time in ms.
double bareEchoes(const std::string& to, int hops) {
    platform::LinuxEchoService echo;
    const auto start = Clock::now();
    for (int ttl = 1; ttl <= hops; ++ttl) {
        platform::EchoRequest q;
        q.address = *net::AddressOfText(to);
        q.payload = std::string(32, 'a');
        q.ttl = ttl;
        q.timeoutMs = 2400;
        echo.send(q, platform::pollWaiter);
    }
    return msSince(start);
}

// A program run inside a namespace, timed from outside with `ip netns exec`.
double timedProgram(const std::string& ns, std::vector<std::string> argv, std::string* out) {
    argv.insert(argv.begin(), {"ip", "netns", "exec", ns});
    const auto start = Clock::now();
    const int code = test::runProgram(argv, out);
    const double ms = msSince(start);
    return code == 0 ? ms : -1;
}

int countHops(const std::string& text, const std::string& marker) {
    int n = 0;
    for (auto p = text.find(marker); p != std::string::npos; p = text.find(marker, p + 1)) ++n;
    return n;
}

int labFailed(const test::NetnsLab& lab) {
    std::cerr << lab.error() << "\n";
    return 1;
}

// One run of the engine's trace and the same echoes bare, the bare ones
// first in odd runs.
struct Paired {
    double echoMs, traceMs;
    std::string text;  // the trace's results
};
Paired echoesAndTrace(const std::string& to, int hops, int run) {
    const double first = run % 2 ? bareEchoes(to, hops) : 0;
    auto [ms, text] = engineTrace(to);
    return {run % 2 ? first : bareEchoes(to, hops), ms, std::move(text)};
}

int delayedPath(int runs, int kHops, bool v6) {
    constexpr auto kDelay = std::chrono::microseconds(5000);  // one way, per link
    test::NetnsLab lab;
    if (!buildChain(lab, kHops)) {
        return labFailed(lab);
    }
    std::vector<test::DelayedLink> links;
    for (int i = 0; i < kHops; ++i)
        links.push_back({role(i), left(i), role(i + 1), right(i), kDelay, left6(i), right6(i)});
    const test::DelayRelay relay(lab, links);
    if (!relay.error().empty()) {
        std::cerr << relay.error() << "\n";
        return 1;
    }
    if (!routeChain(lab, kHops)) {
        return labFailed(lab);
    }
    const std::string dest = v6 ? right6(kHops - 1) : right(kHops - 1);
    const std::vector<std::string> family =
        v6 ? std::vector<std::string>{"-6"} : std::vector<std::string>{};
    const std::string sender = lab.name(role(0));
    double floorMs = 0;  // the sum of the hops' round trips
    for (int k = 1; k <= kHops; ++k) floorMs += 2.0 * k * kDelay.count() / 1000.0;

    std::vector<double> engine, echoes, cli, traceroute, bare;
    int engineHops = 0, cliHops = 0, tracerouteHops = 0;
    const std::string cliBinary = bench::cliPath();
    for (int r = 0; r < runs; ++r) {
        const std::string got = test::runInside(sender, [&] {
            const Paired p = echoesAndTrace(dest, kHops, r);
            return std::to_string(p.echoMs) + " " + std::to_string(p.traceMs) + "\n" + p.text;
        });
        std::istringstream in(got);
        double echoMs = 0, ms = 0;
        in >> echoMs >> ms;
        echoes.push_back(echoMs);
        engine.push_back(ms);
        engineHops = countHops(got, "Hop #");
        std::string out;
        std::vector<std::string> argv = {cliBinary, "trace"};
        argv.insert(argv.end(), family.begin(), family.end());
        argv.push_back(dest);
        cli.push_back(timedProgram(sender, argv, &out));
        cliHops = countHops(out, "Hop #");
        argv = {"traceroute"};
        argv.insert(argv.end(), family.begin(), family.end());
        argv.insert(argv.end(), {"-I", "-q", "1", "-N", "1", "-n", dest});
        traceroute.push_back(timedProgram(sender, argv, &out));
        tracerouteHops = countHops(out, " ms");
        bare.push_back(timedProgram(sender, {"true"}, &out));
    }
    const double e = median(engine), c = median(cli), t = median(traceroute), b = median(bare);
    const double sum = median(echoes);
    std::printf(
        "(%s) %d %shops, %.1f ms each way per link: hop round trips sum to %.1f ms as set, "
        "%.1f ms as measured by bare echoes\n",
        v6 ? "c" : "a", kHops, v6 ? "IPv6 " : "", kDelay.count() / 1000.0, floorMs, sum);
    std::printf("    %-28s%7.1f ms  %.3fx the measured sum  (%d hops)\n", "trace engine in-process",
                e, e / sum, engineHops);
    std::printf("    %-28s%7.1f ms  %.3fx  (%d hops)\n",
                v6 ? "norvik-cli trace -6" : "norvik-cli trace", c, c / sum, cliHops);
    std::printf("    %-28s%7.1f ms  %.3fx  (%d hops)\n",
                v6 ? "traceroute -6 -I -q1 -N1 -n" : "traceroute -I -q1 -N1 -n", t, t / sum,
                tracerouteHops);
    std::printf("    %-28s%7.1f ms  (a process started in the namespace)\n", "ip netns exec true",
                b);
    std::printf("    ratio to traceroute: engine %.3f, norvik-cli %.3f\n", e / t, c / t);
    std::printf("    medians of %d runs\n", runs);
    return 0;
}

int longChain(int runs) {
    constexpr int kHops = 30;
    test::NetnsLab lab;
    if (!lab.build(test::path(kHops - 1))) {  // 29 routers: the destination is hop 30
        return labFailed(lab);
    }
    const std::string dest = "203.0.113.2";
    const std::string got = test::runInside(
        lab.name("sender"),
        [&] {
            std::vector<double> traces, echoes;
            int hops = 0;
            for (int r = 0; r < runs; ++r) {
                const Paired p = echoesAndTrace(dest, kHops, r);
                echoes.push_back(p.echoMs);
                traces.push_back(p.traceMs);
                hops = countHops(p.text, "Hop #");
            }
            const double t = median(traces), e = median(echoes);
            char line[512];
            std::snprintf(line, sizeof line,
                          "(b) 30 hops at loopback speed (%d hops traced): trace %.3f ms, 30 bare "
                          "echoes %.3f ms;\n    per hop: echo %.1f us, trace overhead %.1f us "
                          "(medians of %d runs)\n",
                          hops, t, e, e / kHops * 1000, (t - e) / kHops * 1000, runs);
            return std::string(line);
        },
        120000);
    std::fputs(got.c_str(), stdout);
    return 0;
}

int ipv6Path(int runs) {
    constexpr int kHops = 4;
    test::NetnsLab lab;
    if (!lab.build(test::path(kHops - 1))) return labFailed(lab);
    const std::string dest = "2001:db8:3::2";
    const std::string sender = lab.name("sender");
    const std::string cli = bench::cliPath();
    const std::vector<std::string> traceroute = {"traceroute", "-6", "-I", "-q", "1",
                                                 "-N",         "1",  "-n", dest};
    std::string out;
    // Neighbour discovery along the path first, outside the timings.
    timedProgram(sender, traceroute, &out);
    std::vector<double> engine, norvik, peer;
    int engineHops = 0, cliHops = 0, peerHops = 0;
    for (int r = 0; r < runs; ++r) {
        const std::string got = test::runInside(sender, [&] {
            auto [ms, text] = engineTrace(dest);
            return std::to_string(ms) + "\n" + text;
        });
        engine.push_back(std::atof(got.c_str()));
        engineHops = countHops(got, "Hop #");
        norvik.push_back(timedProgram(sender, {cli, "trace", "-6", dest}, &out));
        cliHops = countHops(out, "Hop #");
        peer.push_back(timedProgram(sender, traceroute, &out));
        peerHops = countHops(out, " ms");
    }
    const double e = median(engine), c = median(norvik), t = median(peer);
    std::printf("(d) 4 IPv6 hops at loopback speed, medians of %d runs\n", runs);
    std::printf("    trace engine in-process          %7.2f ms  (%d hops)\n", e, engineHops);
    std::printf("    norvik-cli trace -6              %7.2f ms  (%d hops)\n", c, cliHops);
    std::printf("    traceroute -6 -I -q1 -N1 -n      %7.2f ms  (%d hops)\n", t, peerHops);
    std::printf("    ratio to traceroute: engine %.3f, norvik-cli %.3f\n", e / t, c / t);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string why = test::NetnsLab::unavailableReason();
    if (!why.empty()) {
        std::cerr << "bench_trace: " << why << "\n";
        return 1;
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    int rc = delayedPath(runs, 5, false);
    std::fflush(stdout);
    rc |= delayedPath(runs, 4, true);
    std::fflush(stdout);
    rc |= longChain(runs * 5);
    std::fflush(stdout);
    rc |= ipv6Path(runs * 3);
    return rc;
}
