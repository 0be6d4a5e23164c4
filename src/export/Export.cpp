#include "export/Export.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>

#include "net/PingModule.h"

namespace norvik::exports {

namespace {

const char kCrLf[] = "\r\n";

QString q(const std::string& s) { return QString::fromStdString(s); }

// A round trip in ms as a JSON number with at most three decimals.
QJsonValue msValue(std::uint32_t us) { return QJsonValue(us / 1000.0); }
double threeDecimals(double v) { return std::round(v * 1000) / 1000; }

// 6 for IPv6 text, else 4.
int familyOf(const std::string& address) { return address.find(':') != std::string::npos ? 6 : 4; }

std::string json(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

void csvRow(std::string& out, std::initializer_list<std::string> fields) {
    bool first = true;
    for (const std::string& f : fields) {
        if (!first) out += ',';
        out += CsvField(f);
        first = false;
    }
    out += kCrLf;
}

}  // namespace

std::optional<Format> ParseFormat(const std::string& name) {
    if (name == "text") return Format::Text;
    if (name == "csv") return Format::Csv;
    if (name == "json") return Format::Json;
    return std::nullopt;
}

std::optional<Format> FormatOfFilter(const std::string& filter) {
    if (filter == kTextFilter) return Format::Text;
    if (filter == kCsvFilter) return Format::Csv;
    if (filter == kJsonFilter) return Format::Json;
    return std::nullopt;
}

std::string WithExtension(const std::string& path, Format format) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) return path;
    switch (format) {
        case Format::Text:
            return path + ".txt";
        case Format::Csv:
            return path + ".csv";
        case Format::Json:
            return path + ".json";
    }
    return path;
}

std::string IsoUtc(std::int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    const int millis = static_cast<int>(ms - std::int64_t(seconds) * 1000);
    std::tm tm{};
    ::gmtime_r(&seconds, &tm);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
    return buf;
}

std::string MsWithThreeDecimals(std::uint32_t us) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%u.%03u", us / 1000, us % 1000);
    return buf;
}

std::string JsonString(const std::string& text) {
    // Through QString, so that bytes that are no UTF-8 become replacement
    // characters as QJsonDocument would make them.
    const QByteArray utf8 = QString::fromStdString(text).toUtf8();
    std::string out = "\"";
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + '"';
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string Render(Format format, const PingDocument& doc) {
    if (format == Format::Text) return doc.text;
    if (format == Format::Csv) {
        std::string out;
        out.reserve(doc.records.size() * 80 + 100);
        csvRow(out, {"timestamp", "sequence", "address", "status_code", "status_text",
                     "round_trip_ms", "bytes", "ttl"});
        for (const ping::PingRecord& r : doc.records) {
            const bool replied = r.replied();
            csvRow(out, {IsoUtc(r.sentAtMs), std::to_string(r.sequence), r.address,
                         std::to_string(r.status), net::StatusTableText(r.status),
                         replied ? MsWithThreeDecimals(r.roundTripUs) : std::string(),
                         replied ? std::to_string(r.bytes) : std::string(),
                         replied && r.ttl > 0 ? std::to_string(r.ttl) : std::string()});
        }
        return out;
    }
    // 10,000 rows as QJsonObjects cost some 40 ms of allocations; the rows
    // are written directly instead, into the array the document leaves
    // empty for them.
    std::string pings = "[";
    pings.reserve(doc.records.size() * 170 + 2);
    std::map<std::int32_t, std::string> statusTexts;
    for (const ping::PingRecord& r : doc.records) {
        const bool replied = r.replied();
        auto text = statusTexts.find(r.status);
        if (text == statusTexts.end())
            text = statusTexts.emplace(r.status, JsonString(net::StatusTableText(r.status))).first;
        if (pings.size() > 1) pings += ',';
        pings += "{\"address\":" + JsonString(r.address);
        pings += ",\"bytes\":" + (replied ? std::to_string(r.bytes) : "null");
        pings += ",\"round_trip_ms\":" + (replied ? MsWithThreeDecimals(r.roundTripUs) : "null");
        pings += ",\"sequence\":" + std::to_string(r.sequence);
        pings += ",\"status_code\":" + std::to_string(r.status);
        pings += ",\"status_text\":" + text->second;
        pings += ",\"timestamp\":\"" + IsoUtc(r.sentAtMs) + '"';
        pings += ",\"ttl\":" + (replied && r.ttl > 0 ? std::to_string(r.ttl) : "null") + '}';
    }
    pings += ']';
    const ping::PingStatistics s = ping::ComputeStatistics(doc.records);
    QJsonObject stats{
        {"sent", s.sent}, {"received", s.received}, {"loss_percent", threeDecimals(s.lossPercent)}};
    if (s.received > 0) {
        stats.insert("min_ms", threeDecimals(s.minMs));
        stats.insert("avg_ms", threeDecimals(s.avgMs));
        stats.insert("max_ms", threeDecimals(s.maxMs));
        stats.insert("mdev_ms", threeDecimals(s.mdevMs));
        stats.insert("jitter_ms", threeDecimals(s.jitterMs));
    }
    std::string out = json(QJsonObject{{"kind", "ping"},
                                       {"target", q(doc.target)},
                                       {"address", q(doc.address)},
                                       {"family", familyOf(doc.address)},
                                       {"statistics", stats},
                                       {"pings", QJsonArray()}});
    // Inside the document's strings a quote is escaped, so this can only
    // be the key itself.
    const std::string empty = "\"pings\":[]";
    const std::size_t at = out.find(empty);
    out.replace(at + empty.size() - 2, 2, pings);
    return out;
}

std::string Render(Format format, const TraceDocument& doc) {
    if (format == Format::Text) return doc.text;
    if (format == Format::Csv) {
        std::string out;
        csvRow(out, {"hop", "address", "name", "round_trip_ms"});
        for (const trace::HopRecord& h : doc.hops) {
            csvRow(out, {std::to_string(h.hop), h.address, h.name,
                         h.answered ? MsWithThreeDecimals(h.roundTripUs) : std::string()});
        }
        return out;
    }
    QJsonArray hops;
    for (const trace::HopRecord& h : doc.hops) {
        hops.append(QJsonObject{
            {"hop", h.hop},
            {"address", h.answered ? QJsonValue(q(h.address)) : QJsonValue()},
            {"name", q(h.name)},
            {"round_trip_ms", h.answered ? msValue(h.roundTripUs) : QJsonValue()},
        });
    }
    return json(QJsonObject{{"kind", "trace"},
                            {"target", q(doc.target)},
                            {"family", familyOf(doc.address)},
                            {"hops", hops}});
}

std::string Render(Format format, const WhoisDocument& doc) {
    if (format == Format::Text) return doc.answer;
    const std::string when = IsoUtc(doc.receivedAtMs);
    if (format == Format::Csv) {
        std::string out;
        csvRow(out, {"server", "domain", "timestamp", "answer"});
        csvRow(out, {doc.server, doc.domain, when, doc.answer});
        return out;
    }
    return json(QJsonObject{{"kind", "whois"},
                            {"server", q(doc.server)},
                            {"domain", q(doc.domain)},
                            {"timestamp", q(when)},
                            {"answer", q(doc.answer)}});
}

std::string Render(Format format, const RdapDocument& doc) {
    if (format == Format::Text) return doc.answer;
    const std::string when = IsoUtc(doc.receivedAtMs);
    if (format == Format::Csv) {
        std::string out;
        csvRow(out, {"service", "query", "timestamp", "answer"});
        csvRow(out, {doc.service, doc.query, when, doc.answer});
        return out;
    }
    const QJsonDocument object = QJsonDocument::fromJson(QByteArray::fromStdString(doc.object));
    return json(
        QJsonObject{{"kind", "rdap"},
                    {"service", q(doc.service)},
                    {"query", q(doc.query)},
                    {"timestamp", q(when)},
                    {"answer", q(doc.answer)},
                    {"rdap", object.isObject() ? QJsonValue(object.object()) : QJsonValue()}});
}

}  // namespace norvik::exports
