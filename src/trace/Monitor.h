#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/EchoService.h"
#include "platform/IpAddress.h"
#include "platform/ProbeSocket.h"
#include "platform/Resolver.h"
#include "trace/Tracer.h"

namespace norvik::trace {

inline constexpr int kMonitorHops = 30;
inline constexpr int kRoundSpacingMs = 1000;

// The round trips one address answered one hop with, summed up as they
// come.
class RoundTrips {
  public:
    void add(std::uint32_t us);

    int count() const { return count_; }
    std::uint32_t lastUs() const { return last_; }
    std::uint32_t bestUs() const { return best_; }
    std::uint32_t worstUs() const { return worst_; }
    double meanUs() const { return mean_; }
    // Sample standard deviation; 0 below two round trips.
    double stdDevUs() const;
    // Mean absolute difference of successive round trips; 0 below two.
    double jitterUs() const;

  private:
    int count_ = 0;
    std::uint32_t last_ = 0, best_ = 0, worst_ = 0;
    double mean_ = 0, squares_ = 0;  // running mean and sum of squared deviations
    double jumps_ = 0;               // sum of |difference| of successive ones
};

// One address that answered a hop: its name when names are wanted (empty
// when it has none), and its round trips.
struct HopAddress {
    platform::IpAddress address;
    std::string name;
    RoundTrips trips;
};

// One hop over the rounds: how many probes went to it, how many were
// answered, and by whom, in the order the addresses first answered.
struct MonitorHop {
    int hop = 0;
    int sent = 0;
    int answered = 0;
    std::vector<HopAddress> addresses;

    double lossPercent() const { return sent == 0 ? 0 : 100.0 * (sent - answered) / sent; }
};

// What a monitor has found so far: the page's table model and norvik-cli
// render it. Hops run from 1 to the destination's once it answered (or to
// a router that says it cannot get there), else to the last one probed.
struct MonitorTable {
    std::string target;  // the destination as typed
    platform::IpAddress destination;
    int rounds = 0;        // rounds counted
    bool reached = false;  // the destination answered in some round
    std::vector<MonitorHop> hops;
};

// The table's columns, in order.
inline constexpr const char* kMonitorColumns[] = {"Hop", "Host", "Loss %", "Sent",  "Last",
                                                  "Avg", "Best", "Worst",  "StDev", "Jitter"};
inline constexpr int kMonitorColumnCount = 10;
// The host of a hop no one answered.
inline constexpr char kSilentHost[] = "*";

// One row of the table: a hop with the address that answered it, one row
// per address when several did (each with its share of the hop's
// answers), or a lone row when none did. Loss and Sent are the hop's.
struct MonitorRow {
    int hop = 0;
    std::string host;  // the name when there is one, else the address; empty when silent
    std::string address;
    double sharePercent = 0;  // of the hop's answers
    bool split = false;       // the hop has several addresses
    double lossPercent = 0;
    int sent = 0;
    const RoundTrips* trips = nullptr;  // null for a silent hop
};
std::vector<MonitorRow> MonitorRows(const MonitorTable& table);
// The row's cells as shown: times in ms with one decimal, the loss with
// one decimal, empty time cells where nothing answered, the share after
// the host when the hop is split: "198.51.100.7 (40%)".
std::vector<std::string> MonitorCells(const MonitorRow& row);
// Microseconds as milliseconds with one decimal, whatever the locale.
std::string MsOneDecimal(double us);

// What the monitor reads and tells while it runs.
class MonitorView {
  public:
    virtual ~MonitorView() = default;
    // How the monitor waits for answers and for the next round.
    virtual platform::Waiter waiter() { return platform::pollWaiter; }
    // Input to the window is refused while a wait runs (Stop and Escape
    // still end it).
    virtual void setInputBlocked(bool /*blocked*/) {}
    // The user asked to stop (Stop or Escape): the round in flight is
    // dropped and the run ends.
    virtual bool stopRequested() { return false; }
    // The program is ending: the run ends at once, telling nothing more.
    virtual bool endRequested() { return false; }
    // A round has ended and the table holds it.
    virtual void roundEnded(const MonitorTable& /*table*/) {}
};

struct MonitorOptions {
    int rounds = 0;  // 0: until stopped
    int packetSize = kSmallestPacket;
    bool names = false;
    int maxHops = kMonitorHops;
    int timeoutMs = kTraceTimeoutMs;  // a round's longest wait
    int spacingMs = kRoundSpacingMs;  // from one round's start to the next
};

enum class MonitorEnding {
    Finished,  // every round asked for was made
    Stopped,   // the user stopped it
    Ended,     // the program is ending
};

// Watches the path to a destination in rounds: each round sends one probe
// to every hop at once (hops 1 to the destination's, found as the rounds
// go, at most maxHops) and lasts until all are answered or the time-out
// has passed; the next round starts spacingMs after the previous began, or
// at once when that took longer. Answers that come after their round count
// for nothing.
class Monitor {
  public:
    Monitor(MonitorView& view, platform::ProbeSocket& socket, platform::Resolver& resolver);

    MonitorEnding run(const std::string& target, const platform::IpAddress& destination,
                      const MonitorOptions& options);

    const MonitorTable& table() const { return table_; }

  private:
    struct Probe {
        bool sent = false;
        bool answered = false;
        platform::ProbeAnswer answer;
    };
    // Sends one round and waits for it; false when it was stopped or the
    // program is ending.
    bool round(std::vector<Probe>& probes, std::chrono::steady_clock::time_point start);
    void count(const std::vector<Probe>& probes);
    // Waits until `until`, passing over what arrives; false as round().
    bool idle(std::chrono::steady_clock::time_point until);
    bool wait(int ms);
    std::string nameOf(const platform::IpAddress& address);

    MonitorView& view_;
    platform::ProbeSocket& socket_;
    platform::Resolver& resolver_;
    platform::Waiter waiter_;
    MonitorOptions options_;
    MonitorTable table_;
    std::string payload_;
    int lastHop_ = kMonitorHops;      // hops probed per round
    std::uint16_t sequence_ = 0;      // the first of the round in flight
    std::uint16_t nextSequence_ = 0;  // the first of the next round
    std::map<std::string, std::string> names_;
};

}  // namespace norvik::trace
