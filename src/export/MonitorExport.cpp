#include "export/MonitorExport.h"

#include <algorithm>
#include <array>

namespace norvik::exports {

namespace {

const char kCrLf[] = "\r\n";

std::string text(const trace::MonitorTable& table) {
    std::vector<std::vector<std::string>> lines;
    lines.emplace_back(std::begin(trace::kMonitorColumns), std::end(trace::kMonitorColumns));
    for (const trace::MonitorRow& row : trace::MonitorRows(table))
        lines.push_back(trace::MonitorCells(row));
    std::array<std::size_t, trace::kMonitorColumnCount> widths{};
    for (const auto& cells : lines)
        for (std::size_t i = 0; i < cells.size(); ++i)
            widths[i] = std::max(widths[i], cells[i].size());
    std::string out;
    for (const auto& cells : lines) {
        std::string line;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const std::string pad(widths[i] - cells[i].size(), ' ');
            if (i > 0) line += "  ";
            // The host is the one column of text: it is aligned left.
            line += i == 1 ? cells[i] + pad : pad + cells[i];
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + kCrLf;
    }
    return out;
}

std::string csv(const trace::MonitorTable& table) {
    std::string out;
    const auto row = [&out](const std::vector<std::string>& cells) {
        for (std::size_t i = 0; i < cells.size(); ++i) out += (i ? "," : "") + CsvField(cells[i]);
        out += kCrLf;
    };
    row({std::begin(trace::kMonitorColumns), std::end(trace::kMonitorColumns)});
    for (const trace::MonitorRow& r : trace::MonitorRows(table)) row(trace::MonitorCells(r));
    return out;
}

std::string json(const trace::MonitorTable& table) {
    std::string out = "{\"kind\":\"monitor\",\"target\":" + JsonString(table.target) +
                      ",\"destination\":" + JsonString(table.destination.toString()) +
                      ",\"family\":" + (table.destination.isV6() ? "6" : "4") +
                      ",\"rounds\":" + std::to_string(table.rounds) +
                      ",\"reached\":" + (table.reached ? "true" : "false") + ",\"hops\":[";
    bool first = true;
    for (const trace::MonitorRow& r : trace::MonitorRows(table)) {
        const std::vector<std::string> cells = trace::MonitorCells(r);
        out += first ? "{" : ",{";
        first = false;
        out += "\"hop\":" + cells[0];
        out += ",\"address\":" + (r.trips ? JsonString(r.address) : "null");
        out += ",\"host\":" + (r.trips ? JsonString(r.host) : "null");
        out +=
            ",\"share_percent\":" + (r.trips ? trace::MsOneDecimal(r.sharePercent * 1000) : "null");
        out += ",\"loss_percent\":" + cells[2] + ",\"sent\":" + cells[3];
        const char* names[] = {"last_ms", "avg_ms", "best_ms", "worst_ms", "stdev_ms", "jitter_ms"};
        for (std::size_t i = 0; i < 6; ++i)
            out += std::string(",\"") + names[i] + "\":" + (r.trips ? cells[4 + i] : "null");
        out += "}";
    }
    return out + "]}";
}

}  // namespace

std::string Render(Format format, const trace::MonitorTable& table) {
    switch (format) {
        case Format::Csv:
            return csv(table);
        case Format::Json:
            return json(table);
        default:
            return text(table);
    }
}

}  // namespace norvik::exports
