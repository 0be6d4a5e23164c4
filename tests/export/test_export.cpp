// The export module: CSV as written and JSON parsed back, with the awkward characters
// that whois answers and host names bring.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "../support/DecimalComma.h"
#include "export/Export.h"

namespace norvik::exports {
namespace {

QJsonObject parseJson(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return doc.object();
}

const std::string kAwkward = "Registrant: \"Smith, J.\"\r\nAddress: 1, Main St\r\n\r\nend";

void CheckPingRows() {
    PingDocument doc{"host, \"quoted\"", "127.0.0.1", "Ping Report...", {}};
    doc.records.push_back({1796601117123, 1, "127.0.0.1", 0, 1234, 32, 64});
    doc.records.push_back({1796601117623, 2, "127.0.0.1", 11010, 0, 0, 0});

    // RFC 4180: CR LF ends a row; empty fields for what a time-out lacks.
    EXPECT_EQ(Render(Format::Csv, doc),
              "timestamp,sequence,address,status_code,status_text,round_trip_ms,bytes,ttl\r\n"
              "2026-12-06T23:51:57.123Z,1,127.0.0.1,0,ip success,1.234,32,64\r\n"
              "2026-12-06T23:51:57.623Z,2,127.0.0.1,11010,ip req timed out,,,\r\n");

    const QJsonObject o = parseJson(Render(Format::Json, doc));
    EXPECT_EQ(o["target"].toString(), "host, \"quoted\"");
    EXPECT_EQ(o["statistics"]["loss_percent"].toDouble(), 50.0);
    const QJsonArray pings = o["pings"].toArray();
    ASSERT_EQ(pings.size(), 2);
    EXPECT_EQ(pings[0]["round_trip_ms"].toDouble(), 1.234);
    EXPECT_EQ(pings[0]["timestamp"].toString(), "2026-12-06T23:51:57.123Z");
    EXPECT_EQ(pings[1]["status_text"].toString(), "ip req timed out");
    EXPECT_TRUE(pings[1]["round_trip_ms"].isNull());
    EXPECT_EQ(Render(Format::Text, doc), "Ping Report...");

    // The rows are written by hand: any text comes back as it went in.
    doc.records[1].address = "a\"b\\c\td,\r\n\x01";
    const QJsonArray again = parseJson(Render(Format::Json, doc))["pings"].toArray();
    EXPECT_EQ(again[1]["address"].toString().toStdString(), doc.records[1].address);
}

TEST(ExportTest, PingRowsParseBack) { CheckPingRows(); }

// CSV and JSON always write a decimal point.
TEST(ExportTest, PingRowsUnderADecimalComma) {
    NORVIK_UNDER_DECIMAL_COMMA();
    CheckPingRows();
}

TEST(ExportTest, TraceAndWhoisRowsKeepQuotesCommasAndLineBreaks) {
    TraceDocument trace{
        "dest",
        "",
        {{1, "2001:db8::1", "gw, \"edge\"\nrouter", true, 870}, {2, "", "", false, 0}},
        "2001:db8::9"};
    // A field with a quote, comma or line break is quoted, its quotes doubled.
    EXPECT_EQ(
        Render(Format::Csv, trace),
        "hop,address,name,round_trip_ms\r\n1,2001:db8::1,\"gw, \"\"edge\"\"\nrouter\",0.870\r\n"
        "2,,,\r\n");
    EXPECT_EQ(parseJson(Render(Format::Json, trace))["family"].toInt(), 6);
    const QJsonArray hops = parseJson(Render(Format::Json, trace))["hops"].toArray();
    EXPECT_EQ(hops[0]["name"].toString().toStdString(), "gw, \"edge\"\nrouter");
    EXPECT_TRUE(hops[1]["address"].isNull());

    WhoisDocument whois{"whois.example", "example.test", 0, kAwkward};
    EXPECT_EQ(
        Render(Format::Csv, whois),
        "server,domain,timestamp,answer\r\nwhois.example,example.test,1970-01-01T00:00:00.000Z,"
        "\"Registrant: \"\"Smith, J.\"\"\r\nAddress: 1, Main St\r\n\r\nend\"\r\n");
    const QJsonObject o = parseJson(Render(Format::Json, whois));
    EXPECT_EQ(o["answer"].toString().toStdString(), kAwkward);
    EXPECT_EQ(o["server"].toString(), "whois.example");

    // An RDAP answer: its service and query; JSON holds the object itself,
    // or null when the lookup found none.
    RdapDocument rdap{"https://rdap.example/domain/a.test", "a.test", 0, kAwkward,
                      R"({"ldhName": "A.TEST"})"};
    EXPECT_EQ(Render(Format::Csv, rdap),
              "service,query,timestamp,answer\r\nhttps://rdap.example/domain/"
              "a.test,a.test,1970-01-01T00:00:00.000Z,\"Registrant: \"\"Smith, J.\"\"\r\nAddress: "
              "1, Main St\r\n\r\nend\"\r\n");
    EXPECT_EQ(parseJson(Render(Format::Json, rdap))["rdap"].toObject()["ldhName"], "A.TEST");
    rdap.object.clear();
    EXPECT_TRUE(parseJson(Render(Format::Json, rdap))["rdap"].isNull());
}

TEST(ExportTest, FormatNamesFiltersAndExtensions) {
    EXPECT_EQ(ParseFormat("csv"), Format::Csv);
    EXPECT_EQ(ParseFormat("xml"), std::nullopt);
    EXPECT_EQ(FormatOfFilter(kJsonFilter), Format::Json);
    const struct {
        const char* path;
        Format format;
        const char* saved;
    } cases[] = {{"/tmp/run", Format::Csv, "/tmp/run.csv"},
                 {"/tmp/run.log", Format::Json, "/tmp/run.log"},
                 {"/tmp/.d/run", Format::Text, "/tmp/.d/run.txt"},
                 {"/tmp/.hidden", Format::Json, "/tmp/.hidden.json"}};
    for (const auto& c : cases) EXPECT_EQ(WithExtension(c.path, c.format), c.saved) << c.path;
    EXPECT_EQ(MsWithThreeDecimals(5), "0.005");
    EXPECT_EQ(IsoUtc(-1), "1969-12-31T23:59:59.999Z");
}

}  // namespace
}  // namespace norvik::exports
