#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace norvik::ping {

// One echo of a ping run, as it is kept for the report's statistics and
// plot and for saving: what went out when, and what came back.
struct PingRecord {
    std::int64_t sentAtMs = 0;  // UTC, milliseconds since 1970
    int sequence = 0;           // the pass, from 1
    std::string address;        // the dotted address the echo went to
    std::int32_t status = 0;    // 0 is a reply
    std::uint32_t roundTripUs = 0;
    std::uint32_t bytes = 0;  // echoed data bytes
    int ttl = 0;              // time to live of the answer, 0 when unknown

    bool replied() const { return status == 0; }
};

// The figures of a run in milliseconds, as ping's summary gives them:
// mdev is the standard deviation of the replies' round trips, jitter the
// mean absolute difference between consecutive replies.
struct PingStatistics {
    int sent = 0;
    int received = 0;
    double lossPercent = 0;
    double minMs = 0, avgMs = 0, maxMs = 0, mdevMs = 0, jitterMs = 0;
};

PingStatistics ComputeStatistics(const std::vector<PingRecord>& records);

// "4 sent, 3 received, 25% loss, min/avg/max/mdev 0.04/0.05/0.07/0.01 ms,
// jitter 0.02 ms"; without replies it ends after the loss.
std::string StatisticsLine(const PingStatistics& s);

// The line under the counters while a run goes on, one decimal each:
// "Loss 0.0%  Avg 12.3 ms  Jitter 0.4 ms".
std::string LiveLine(const PingStatistics& s);

// A number with two decimals ("0.05"), and a percentage with up to two
// decimals and no trailing zeros ("25", "33.33").
std::string TwoDecimals(double v);
std::string Percent(double v);

}  // namespace norvik::ping
