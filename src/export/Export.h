#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ping/PingResults.h"
#include "trace/TraceView.h"

// The one writer of saved and exported results: the report window, the
// TraceRoute and Whois Lookup pages and norvik-cli all go through it.
namespace norvik::exports {

enum class Format { Text, Csv, Json };

// "text", "csv", "json".
std::optional<Format> ParseFormat(const std::string& name);

// The save dialog's filters, in this order, and the format each stands for.
inline constexpr const char* kTextFilter = "Text (*.txt)";
inline constexpr const char* kCsvFilter = "CSV (*.csv)";
inline constexpr const char* kJsonFilter = "JSON (*.json)";
std::optional<Format> FormatOfFilter(const std::string& filter);
// The file name with the format's extension, added when it has none of its
// own ("run" gives "run.csv", "run.log" stays).
std::string WithExtension(const std::string& path, Format format);

// A ping run: what was asked for, the report text as shown (CR LF line
// ends) and one record per echo.
struct PingDocument {
    std::string target;   // the address as typed
    std::string address;  // as resolved
    std::string text;
    std::vector<ping::PingRecord> records;
};

// A trace: the destination as typed, the results text and one record per
// hop line.
struct TraceDocument {
    std::string target;
    std::string text;
    std::vector<trace::HopRecord> hops;
    std::string address;  // the destination as resolved; its family goes into JSON
};

// A whois answer and where and when it came from.
struct WhoisDocument {
    std::string server;
    std::string domain;
    std::int64_t receivedAtMs = 0;  // UTC, milliseconds since 1970
    std::string answer;             // as shown (CR LF line ends)
};

// An RDAP answer as shown (or the reason its lookup failed), the service's
// URL that answered, the query as typed and when it was shown.
struct RdapDocument {
    std::string service;  // empty when no service was asked
    std::string query;
    std::int64_t receivedAtMs = 0;  // UTC, milliseconds since 1970
    std::string answer;             // as shown (CR LF line ends)
    std::string object;             // the RDAP object as received (JSON); empty without one
};

// Text is the document's text as it stands; CSV has a header row and CR LF
// row ends (fields quoted where they hold a comma, quote or line break);
// JSON is one object for the whole run, with "family" 4 or 6 for a ping or
// trace (6 when the resolved address is IPv6 text).
std::string Render(Format format, const PingDocument& doc);
std::string Render(Format format, const TraceDocument& doc);
std::string Render(Format format, const WhoisDocument& doc);
// JSON holds the RDAP object itself under "rdap" (null without one).
std::string Render(Format format, const RdapDocument& doc);

// 2026-12-06T23:51:57.123Z
std::string IsoUtc(std::int64_t ms);
// Microseconds as milliseconds with three decimals: 1234 gives "1.234".
std::string MsWithThreeDecimals(std::uint32_t us);
// A JSON string literal, quotes included.
std::string JsonString(const std::string& text);
// One CSV field, quoted when it has to be.
std::string CsvField(const std::string& text);

}  // namespace norvik::exports
