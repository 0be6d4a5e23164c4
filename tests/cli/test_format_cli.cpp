// norvik-cli ping and trace with --format: the rows Save writes, as CSV,
// or as one JSON object per run.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "../support/RunCli.h"
#include "../support/TempStore.h"
#include "platform/LinuxEchoService.h"

namespace norvik {
namespace {

// The one JSON object a run prints, parsed strictly: anything before or
// after it fails.
QJsonObject parsed(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    EXPECT_TRUE(doc.isObject()) << text;
    return doc.object();
}

TEST(FormatCli, PingAndTraceWriteCsvAndJson) {
    const std::string why = platform::LinuxEchoService().unavailableReason();
    if (!why.empty()) GTEST_SKIP() << "no ICMP socket can be opened here: " << why;
    test::TempStore temp;

    auto r = test::runCli({"ping", "-n", "2", "--format", "csv", "127.0.0.1"}, temp.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const QStringList rows = QString::fromStdString(r.out).split("\r\n");
    ASSERT_EQ(rows.size(), 4) << r.out;  // header, two rows, nothing after the last CR LF
    EXPECT_EQ(rows[0],
              "timestamp,sequence,address,status_code,status_text,round_trip_ms,bytes,ttl");
    EXPECT_TRUE(QRegularExpression(R"(^20\d\d-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z,2,127\.0\.0\.1,0,)"
                                   R"(ip success,\d+\.\d{3},32,\d+$)")
                    .match(rows[2])
                    .hasMatch())
        << rows[2].toStdString();

    r = test::runCli({"ping", "-n", "3", "--format", "json", "127.0.0.1"}, temp.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const QJsonObject ping = parsed(r.out);
    EXPECT_EQ(ping["pings"].toArray().size(), 3);
    EXPECT_EQ(ping["statistics"].toObject()["received"].toInt(), 3);
    EXPECT_GT(ping["statistics"].toObject()["max_ms"].toDouble(), 0.0);

    r = test::runCli({"trace", "--format", "json", "127.0.0.1"}, temp.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const QJsonArray hops = parsed(r.out)["hops"].toArray();
    ASSERT_EQ(hops.size(), 1) << r.out;
    EXPECT_EQ(hops[0]["address"].toString(), "127.0.0.1");
    r = test::runCli({"trace", "--format", "csv", "127.0.0.1"}, temp.path());
    EXPECT_EQ(r.out.substr(0, 43), "hop,address,name,round_trip_ms\r\n1,127.0.0.1") << r.out;
}

}  // namespace
}  // namespace norvik
