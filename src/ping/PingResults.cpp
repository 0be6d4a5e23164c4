#include "ping/PingResults.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace norvik::ping {

PingStatistics ComputeStatistics(const std::vector<PingRecord>& records) {
    PingStatistics s;
    s.sent = static_cast<int>(records.size());
    // Sums in whole microseconds stay exact far beyond any run's length.
    double sum = 0, sumSquares = 0, jitterSum = 0;
    bool havePrevious = false;
    std::uint32_t previous = 0, lo = 0, hi = 0;
    for (const PingRecord& r : records) {
        if (!r.replied()) continue;
        const std::uint32_t t = r.roundTripUs;
        if (s.received == 0 || t < lo) lo = t;
        if (s.received == 0 || t > hi) hi = t;
        ++s.received;
        sum += t;
        sumSquares += double(t) * t;
        if (havePrevious) jitterSum += std::abs(double(t) - double(previous));
        previous = t;
        havePrevious = true;
    }
    if (s.sent > 0) s.lossPercent = 100.0 * (s.sent - s.received) / s.sent;
    if (s.received == 0) return s;
    const double mean = sum / s.received;
    s.minMs = lo / 1000.0;
    s.maxMs = hi / 1000.0;
    s.avgMs = mean / 1000.0;
    s.mdevMs = std::sqrt(std::max(0.0, sumSquares / s.received - mean * mean)) / 1000.0;
    if (s.received > 1) s.jitterMs = jitterSum / (s.received - 1) / 1000.0;
    return s;
}

std::string TwoDecimals(double v) {
    // A decimal point whatever the locale. Fixed notation of a double can
    // take over 300 digits.
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
    return std::string(buf, r.ptr);
}

std::string Percent(double v) {
    std::string t = TwoDecimals(v);
    while (t.back() == '0') t.pop_back();
    if (t.back() == '.') t.pop_back();
    return t;
}

std::string LiveLine(const PingStatistics& s) {
    const auto one = [](double v) {
        char buf[400];
        const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 1);
        return std::string(buf, r.ptr);
    };
    return "Loss " + one(s.lossPercent) + "%  Avg " + one(s.avgMs) + " ms  Jitter " +
           one(s.jitterMs) + " ms";
}

std::string StatisticsLine(const PingStatistics& s) {
    std::string line = std::to_string(s.sent) + " sent, " + std::to_string(s.received) +
                       " received, " + Percent(s.lossPercent) + "% loss";
    if (s.received == 0) return line;
    line += ", min/avg/max/mdev " + TwoDecimals(s.minMs) + "/" + TwoDecimals(s.avgMs) + "/" +
            TwoDecimals(s.maxMs) + "/" + TwoDecimals(s.mdevMs) + " ms, jitter " +
            TwoDecimals(s.jitterMs) + " ms";
    return line;
}

}  // namespace norvik::ping
