#include "trace/Monitor.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace norvik::trace {

namespace {
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
}  // namespace

void RoundTrips::add(std::uint32_t us) {
    if (count_ == 0) {
        best_ = worst_ = us;
    } else {
        best_ = std::min(best_, us);
        worst_ = std::max(worst_, us);
        jumps_ += std::fabs(double(us) - double(last_));
    }
    ++count_;
    // Welford's running mean and squared deviations: no sum grows without
    // bound over a long run.
    const double delta = us - mean_;
    mean_ += delta / count_;
    squares_ += delta * (us - mean_);
    last_ = us;
}

double RoundTrips::stdDevUs() const {
    return count_ < 2 ? 0 : std::sqrt(std::max(squares_, 0.0) / (count_ - 1));
}

double RoundTrips::jitterUs() const { return count_ < 2 ? 0 : jumps_ / (count_ - 1); }

std::string MsOneDecimal(double us) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, us / 1000.0, std::chars_format::fixed, 1);
    return std::string(buf, r.ptr);
}

std::vector<MonitorRow> MonitorRows(const MonitorTable& table) {
    std::vector<MonitorRow> rows;
    for (const MonitorHop& hop : table.hops) {
        MonitorRow row;
        row.hop = hop.hop;
        row.lossPercent = hop.lossPercent();
        row.sent = hop.sent;
        row.split = hop.addresses.size() > 1;
        if (hop.addresses.empty()) rows.push_back(row);
        for (const HopAddress& a : hop.addresses) {
            row.address = a.address.toString();
            row.host = a.name.empty() ? row.address : a.name;
            row.sharePercent = 100.0 * a.trips.count() / hop.answered;
            row.trips = &a.trips;
            rows.push_back(row);
        }
    }
    return rows;
}

std::vector<std::string> MonitorCells(const MonitorRow& row) {
    std::vector<std::string> cells;
    cells.push_back(std::to_string(row.hop));
    std::string host = row.trips ? row.host : std::string(kSilentHost);
    if (row.split) host += " (" + std::to_string(std::lround(row.sharePercent)) + "%)";
    cells.push_back(host);
    cells.push_back(MsOneDecimal(row.lossPercent * 1000));
    cells.push_back(std::to_string(row.sent));
    if (row.trips) {
        const RoundTrips& t = *row.trips;
        for (double us : {double(t.lastUs()), t.meanUs(), double(t.bestUs()), double(t.worstUs()),
                          t.stdDevUs(), t.jitterUs()})
            cells.push_back(MsOneDecimal(us));
    }
    cells.resize(kMonitorColumnCount);
    return cells;
}

Monitor::Monitor(MonitorView& view, platform::ProbeSocket& socket, platform::Resolver& resolver)
    : view_(view), socket_(socket), resolver_(resolver) {}

MonitorEnding Monitor::run(const std::string& target, const platform::IpAddress& destination,
                           const MonitorOptions& options) {
    options_ = options;
    options_.maxHops = std::clamp(options.maxHops, 1, kLastHop);
    waiter_ = view_.waiter();
    if (!waiter_) waiter_ = platform::pollWaiter;
    table_ = MonitorTable{target, destination, 0, false, {}};
    payload_.assign(static_cast<std::size_t>(std::max(options.packetSize, 0)), kPacketFill);
    lastHop_ = options_.maxHops;
    names_.clear();

    std::vector<Probe> probes;
    for (int made = 0; options_.rounds <= 0 || made < options_.rounds; ++made) {
        const auto start = Clock::now();
        if (!round(probes, start))
            return view_.endRequested() ? MonitorEnding::Ended : MonitorEnding::Stopped;
        count(probes);
        view_.roundEnded(table_);
        if (view_.endRequested()) return MonitorEnding::Ended;
        if (view_.stopRequested()) return MonitorEnding::Stopped;
        if (options_.rounds > 0 && made + 1 >= options_.rounds) break;
        if (!idle(start + milliseconds(options_.spacingMs)))
            return view_.endRequested() ? MonitorEnding::Ended : MonitorEnding::Stopped;
    }
    return MonitorEnding::Finished;
}

bool Monitor::round(std::vector<Probe>& probes, Clock::time_point start) {
    // The sequences of a round follow those of the one before (of this run
    // or an earlier one), so that an answer to an earlier round is never
    // taken for one to this round.
    sequence_ = nextSequence_;
    nextSequence_ = static_cast<std::uint16_t>(sequence_ + lastHop_);
    probes.assign(static_cast<std::size_t>(lastHop_), Probe{});
    int waiting = 0;
    for (int ttl = 1; ttl <= lastHop_; ++ttl) {
        const auto sequence = static_cast<std::uint16_t>(sequence_ + ttl - 1);
        Probe& probe = probes[static_cast<std::size_t>(ttl - 1)];
        // A probe the system refuses counts as sent and lost.
        probe.sent = socket_.send(table_.destination, ttl, sequence, payload_).status ==
                     platform::status::kSuccess;
        if (probe.sent) ++waiting;
    }
    const auto deadline = start + milliseconds(options_.timeoutMs);
    while (waiting > 0) {
        const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        const bool ready = wait(static_cast<int>(left));
        if (view_.endRequested() || view_.stopRequested() || platform::waitsAbandoned())
            return false;
        if (!ready) continue;
        for (const platform::ProbeAnswer& answer : socket_.read()) {
            const auto index = static_cast<std::uint16_t>(answer.sequence - sequence_);
            if (index >= probes.size()) continue;  // an earlier round's: too late
            Probe& probe = probes[index];
            if (!probe.sent || probe.answered) continue;
            probe.answered = true;
            probe.answer = answer;
            --waiting;
        }
    }
    return true;
}

void Monitor::count(const std::vector<Probe>& probes) {
    const platform::IpAddress& destination = table_.destination;
    // Where the path ends: the lowest hop that the destination answered
    // itself, or that a router answered with other than an expired time
    // to live (it cannot get there).
    int endsAt = 0;
    for (std::size_t i = 0; i < probes.size() && endsAt == 0; ++i) {
        const Probe& p = probes[i];
        if (!p.answered) continue;
        const bool arrived =
            p.answer.status == platform::status::kSuccess || p.answer.from == destination;
        if (arrived) table_.reached = true;
        if (arrived || p.answer.status != platform::status::kTtlExpiredTransit)
            endsAt = static_cast<int>(i) + 1;
    }
    const int counted = endsAt != 0 ? endsAt : lastHop_;
    if (endsAt != 0) {
        // The path is this long now: hops beyond it held the answers to
        // probes that outran it.
        lastHop_ = endsAt;
        if (table_.hops.size() > static_cast<std::size_t>(endsAt))
            table_.hops.resize(static_cast<std::size_t>(endsAt));
    } else if (lastHop_ < options_.maxHops && probes.back().answered) {
        // A router answered where the destination was: the path grew, and
        // the next round looks as far as it may.
        lastHop_ = options_.maxHops;
    }
    for (int ttl = 1; ttl <= counted; ++ttl) {
        if (table_.hops.size() < static_cast<std::size_t>(ttl))
            table_.hops.push_back(MonitorHop{ttl, 0, 0, {}});
        MonitorHop& hop = table_.hops[static_cast<std::size_t>(ttl - 1)];
        const Probe& probe = probes[static_cast<std::size_t>(ttl - 1)];
        ++hop.sent;
        if (!probe.answered) continue;
        ++hop.answered;
        auto at = std::find_if(hop.addresses.begin(), hop.addresses.end(),
                               [&](const HopAddress& a) { return a.address == probe.answer.from; });
        if (at == hop.addresses.end()) {
            hop.addresses.push_back(HopAddress{probe.answer.from, nameOf(probe.answer.from), {}});
            at = hop.addresses.end() - 1;
        }
        at->trips.add(probe.answer.roundTripUs);
    }
    ++table_.rounds;
}

bool Monitor::idle(Clock::time_point until) {
    for (;;) {
        const auto left = std::chrono::ceil<milliseconds>(until - Clock::now()).count();
        if (left <= 0) return true;
        // Late answers wake the wait; they are read and count for nothing.
        if (wait(static_cast<int>(left))) socket_.read();
        if (view_.endRequested() || view_.stopRequested() || platform::waitsAbandoned())
            return false;
    }
}

bool Monitor::wait(int ms) {
    view_.setInputBlocked(true);
    const bool ready = waiter_(socket_.fd(), ms);
    view_.setInputBlocked(false);
    return ready;
}

std::string Monitor::nameOf(const platform::IpAddress& address) {
    if (!options_.names) return {};
    const std::string key = address.toString();
    if (const auto known = names_.find(key); known != names_.end()) return known->second;
    std::string name;
    if (const auto found = resolver_.lookupAddress(address))
        name = found->substr(0, found->find('\0'));
    names_[key] = name;
    return name;
}

}  // namespace norvik::trace
