// The TraceRoute page's monitor over a 30-hop path that answers at
// loopback speed, with the page's table on show (offscreen): per round,
// the time from the end of the round's wait to the table drawn; the longest
// stall of the event loop (a 5 ms timer's lateness, over the first half of
// the rounds); and the CPU the process uses between rounds against the wall
// time in between (over the second half, without that timer).
//
// The path is a probe socket of its own that answers every probe at once
// (hop k from 198.51.100.k, the destination at hop 30; hop 7 split between
// two routers, hop 12 silent every fifth round), so the figures are the
// window's and the monitor's own, not a network's.
//
// bench_monitor_page [ROUNDS [SPACING_MS]]: 60 rounds a second apart by default.
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <vector>

#include "../tests/support/LoopbackResolver.h"
#include "../tests/support/ScriptedEchoService.h"
#include "../tests/support/ScriptedMessageBox.h"
#include "../tests/support/TempStore.h"
#include "BenchApp.h"
#include "platform/qt/EventLoopWaiter.h"
#include "shell/MonitorModel.h"
#include "shell/RunGuard.h"
#include "shell/TracePage.h"

namespace {

using namespace norvik;
using Clock = std::chrono::steady_clock;
constexpr int kHops = 30;

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double msBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// The path: every probe is answered as it is sent.
class PathSocket : public platform::ProbeSocket {
  public:
    PathSocket() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~PathSocket() override { ::close(fd_); }

    platform::ProbeSent send(const platform::IpAddress& destination, int ttl,
                             std::uint16_t sequence, std::string_view) override {
        if (ttl == 1) ++round_;
        if (onRoundStart && ttl == 1) onRoundStart();
        platform::ProbeAnswer a;
        a.sequence = sequence;
        a.roundTripUs = static_cast<std::uint32_t>(40 + 12 * ttl + (round_ * 7 + ttl * 13) % 30);
        if (ttl >= kHops) {
            a.status = platform::status::kSuccess;
            a.from = destination;
        } else if (ttl == 12 && round_ % 5 == 0) {
            return {platform::status::kSuccess, Clock::now()};  // silent
        } else {
            a.status = platform::status::kTtlExpiredTransit;
            const int last = ttl == 7 && round_ % 2 == 0 ? 200 : ttl;
            a.from = *platform::IpAddress::parse("198.51.100." + std::to_string(last));
        }
        pending_.push_back(a);
        const std::uint64_t one = 1;
        if (::write(fd_, &one, sizeof one) < 0) std::perror("eventfd");
        return {platform::status::kSuccess, Clock::now()};
    }
    int fd() const override { return fd_; }
    std::vector<platform::ProbeAnswer> read() override {
        std::uint64_t n = 0;
        if (::read(fd_, &n, sizeof n) < 0) n = 0;
        std::vector<platform::ProbeAnswer> out(pending_.begin(), pending_.end());
        pending_.clear();
        return out;
    }

    std::function<void()> onRoundStart;

  private:
    int fd_;
    int round_ = 0;
    std::deque<platform::ProbeAnswer> pending_;
};

// Hands the page the one path socket, kept by the bench.
class Borrowed : public platform::ProbeSocket {
  public:
    explicit Borrowed(platform::ProbeSocket& s) : s_(s) {}
    platform::ProbeSent send(const platform::IpAddress& d, int ttl, std::uint16_t seq,
                             std::string_view p) override {
        return s_.send(d, ttl, seq, p);
    }
    int fd() const override { return s_.fd(); }
    std::vector<platform::ProbeAnswer> read() override { return s_.read(); }

  private:
    platform::ProbeSocket& s_;
};

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * (v.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 60;
    const int spacingMs = argc > 2 ? std::max(0, std::atoi(argv[2])) : 1000;
    bench::app();

    test::TempStore temp;
    auto keys = temp.open();
    test::ScriptedMessageBox boxes;
    store::Registry reg(*keys, boxes);
    test::LoopbackResolver resolver;
    net::HostToIP hosts(resolver, boxes);
    test::ScriptedEchoService echo;
    PathSocket path;
    shell::TracePage* page = nullptr;

    // Per round: from the end of its wait for answers to the next wait (the
    // table updated and drawn). Between rounds: CPU against wall time.
    std::vector<double> updates;
    int made = 0;
    Clock::time_point waited{}, idleFrom{};
    double idleCpuFrom = 0, idleCpu = 0, idleWall = 0;
    QTimer beat;
    const auto roundOver = [&] {
        const auto now = Clock::now();
        updates.push_back(msBetween(waited, now));
        waited = {};
        idleFrom = now;
        idleCpuFrom = cpuSeconds();
        if (++made >= rounds) page->stop();
        if (made == rounds / 2) beat.stop();
    };
    path.onRoundStart = [&] {
        // A round longer than the spacing is followed at once by the next.
        if (waited != Clock::time_point{}) roundOver();
        if (idleFrom != Clock::time_point{} && !beat.isActive()) {
            idleCpu += cpuSeconds() - idleCpuFrom;
            idleWall += msBetween(idleFrom, Clock::now()) / 1000;
        }
        idleFrom = {};
    };

    // The window's own input guard and waits, watched.
    QLabel status;
    QWidget window;
    shell::RunGuard guard(window, platform::eventLoopWaiter);
    struct Watched : shell::RunControl {
        shell::RunGuard& guard;
        std::function<void(bool blocked)> beforeWait;
        std::function<void()> afterRoundWait;
        Watched(shell::RunGuard& g) : guard(g) {}
        bool ended() const override { return guard.ended(); }
        bool inputBlocked() const override { return guard.inputBlocked(); }
        void blockInput(bool b, bool hold) override { guard.blockInput(b, hold); }
        bool wait(int fd, int ms, const bool& stop) override {
            const bool blocked = guard.inputBlocked();
            beforeWait(blocked);
            const bool ready = guard.wait(fd, ms, stop);
            if (blocked) afterRoundWait();
            return ready;
        }
        void addRun(shell::StoppableRun& run) override { guard.addRun(run); }
    } runs(guard);
    runs.beforeWait = [&](bool blocked) {
        if (!blocked && waited != Clock::time_point{}) roundOver();
    };
    runs.afterRoundWait = [&] { waited = Clock::now(); };
    shell::TraceFrame frame{&status, runs};
    frame.openProbes = [&](platform::Family) { return std::make_unique<Borrowed>(path); };
    frame.roundSpacingMs = spacingMs;
    page = new shell::TracePage(frame, reg, hosts, resolver, echo, boxes, &window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(page);
    layout->addWidget(page->resultsSection(), 1);
    window.resize(900, 760);
    window.show();
    page->enter();
    page->findChild<QComboBox*>("traceCombo1")->setEditText("203.0.113.30");
    page->findChild<QCheckBox*>("tracemonitor")->setChecked(true);

    // Stalls of the event loop: how late a 5 ms timer ticks.
    QElapsedTimer ticks;
    double longestStall = 0;
    beat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        if (ticks.isValid()) longestStall = std::max(longestStall, ticks.nsecsElapsed() / 1e6 - 5);
        ticks.restart();
    });
    beat.start(5);

    const auto began = Clock::now();
    page->trace();
    const double wall = msBetween(began, Clock::now()) / 1000;

    const int rows = page->monitorModel().rowCount();
    // NORVIK_BENCH_GRAB=file.png: the window as the run left it.
    if (const QString grab = qEnvironmentVariable("NORVIK_BENCH_GRAB"); !grab.isEmpty())
        window.grab().save(grab);
    std::printf(
        "monitor of a %d-hop path at loopback speed: %d rounds %d ms apart, %.1f s, "
        "%d table rows, status \"%s\"\n",
        kHops, made, spacingMs, wall, rows, status.text().toUtf8().constData());
    // The first round inserts every row; the others change cells in place.
    const std::vector<double> later(updates.begin() + 1, updates.end());
    std::printf(
        "table update per round (round's wait over to table drawn): first round %.2f ms; "
        "then median %.2f ms, 95th %.2f ms, max %.2f ms (target < 5 ms)\n",
        updates.empty() ? 0.0 : updates[0], percentile(later, 0.5), percentile(later, 0.95),
        percentile(later, 1.0));
    std::printf("longest event-loop stall over %d rounds: %.2f ms (target < 50 ms)\n", rounds / 2,
                longestStall);
    std::printf("CPU between rounds: %.2f%% of one core over %.1f s (target < 2%%)\n",
                idleWall > 0 ? 100 * idleCpu / idleWall : 0.0, idleWall);
    return rows == kHops + 1 && made == rounds ? 0 : 1;
}
