// norvik-cli ping, run as a program on a store file of the test's own, and
// ping and trace with --format: the rows Save writes, as CSV, or as one JSON
// object per run.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <csignal>

#include "../support/RunCli.h"
#include "../support/ScriptedMessageBox.h"
#include "../support/TempStore.h"
#include "platform/LinuxEchoService.h"
#include "store/Registry.h"
#include "store/Settings.h"

namespace norvik {
namespace {

class PingCli : public ::testing::Test {
  protected:
    std::string read(const std::string& key, const std::string& name) {
        auto keys = temp.open();
        test::ScriptedMessageBox boxes;
        store::Registry reg(*keys, boxes);
        return reg.ReadKeyValue(key, name);
    }
    test::TempStore temp;
};

TEST_F(PingCli, PingsLoopbackAndWritesWhatTheWindowWrites) {
    if (!platform::LinuxEchoService().unavailableReason().empty()) {
        GTEST_SKIP() << "no ICMP socket can be opened here";
    }
    const auto r = test::runCli({"ping", "-n", "2", "-s", "16", "127.0.0.1"}, temp.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // One line a ping, then the report with LF line ends, then the time-outs.
    const std::string line = "0   [ ip success ]\t";
    ASSERT_EQ(r.out.compare(0, line.size(), line), 0) << r.out;
    EXPECT_NE(r.out.find(" ms\t16 bytes\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Ping Report for 127.0.0.1 [127.0.0.1]\n\n"), std::string::npos);
    EXPECT_NE(r.out.find("\nAverage Ping: "), std::string::npos);
    EXPECT_EQ(r.out.find('\r'), std::string::npos);
    EXPECT_NE(r.out.find("Time Outs: 0\n"), std::string::npos) << r.out;
    EXPECT_EQ(read(store::kNorvikKey, "nopings"), "2");
    EXPECT_EQ(read(store::kSessionIPsKey, "1"), "127.0.0.1");

    // Without -n the stored count is taken.
    const auto again = test::runCli({"ping", "127.0.0.1"}, temp.path());
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(QString::fromStdString(again.out).count("[ ip success ]"), 2) << again.out;
    EXPECT_EQ(read(store::kSessionIPsKey, "2"), "Error");  // listed once
}

TEST_F(PingCli, UntilStoppedEndsWithTheReportAtSigint) {
    if (!platform::LinuxEchoService().unavailableReason().empty()) {
        GTEST_SKIP() << "no ICMP socket can be opened here";
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("NORVIK_STORE", QString::fromStdString(temp.path()));
    p.setProcessEnvironment(env);
    p.start(QString::fromUtf8(std::getenv("NORVIK_CLI")), {"ping", "-n", "0", "127.0.0.1"});
    // The first ping's line, then the signal during the pause before the next.
    ASSERT_TRUE(p.waitForReadyRead(5000));
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitCode(), 0);
    const QString out = QString::fromUtf8(p.readAll());
    EXPECT_EQ(out.count("[ ip success ]"), 1) << out.toStdString();
    EXPECT_TRUE(out.contains("Ping Report for 127.0.0.1 [127.0.0.1]\n\n")) << out.toStdString();
    EXPECT_TRUE(out.endsWith("Time Outs: 0\n")) << out.toStdString();
    EXPECT_EQ(read(store::kNorvikKey, "nopings"), "Error");  // a run without a count keeps none
}

TEST_F(PingCli, BadInputGivesTheRunsMessagesAndExitCodes) {
    auto r = test::runCli({"ping", "-n", "abc", "127.0.0.1"}, temp.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Type mismatch"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Norvik is closing."), std::string::npos) << r.err;
    EXPECT_EQ(read(store::kSessionIPsKey, "1"), "Error");  // No saves nothing

    r = test::runCli({"ping", "-n", "1", "-s", "0", "127.0.0.1"}, temp.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Enter some data to send first! Just the number 1 will do."),
              std::string::npos);

    r = test::runCli({"ping", "-n", "1", "255.255.255.255"}, temp.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("-1   [ inet_addr: bad IP format ]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Time Outs: 1"), std::string::npos);
}

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
    EXPECT_EQ(ping["family"].toInt(), 4);
    r = test::runCli({"ping", "-n", "1", "--format", "json", "::1"}, temp.path());
    EXPECT_EQ(parsed(r.out)["family"].toInt(), 6) << r.out;

    r = test::runCli({"trace", "--format", "json", "127.0.0.1"}, temp.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(parsed(r.out)["family"].toInt(), 4);
    const QJsonArray hops = parsed(r.out)["hops"].toArray();
    ASSERT_EQ(hops.size(), 1) << r.out;
    EXPECT_EQ(hops[0]["address"].toString(), "127.0.0.1");
    r = test::runCli({"trace", "--format", "csv", "127.0.0.1"}, temp.path());
    EXPECT_EQ(r.out.substr(0, 43), "hop,address,name,round_trip_ms\r\n1,127.0.0.1") << r.out;

    // The monitor's report: one round, loopback at hop 1, six times.
    const struct {
        const char *format, *pattern;
    } reports[] = {
        {"text", R"(^Hop  Host       Loss %  Sent  Last  Avg  Best  Worst  StDev  Jitter\n)"
                 R"(  1  127\.0\.0\.1     0\.0     1( +\d+\.\d){6}\n$)"},
        {"csv", R"(^Hop,Host,Loss %,Sent,Last,Avg,Best,Worst,StDev,Jitter\r\n)"
                R"(1,127\.0\.0\.1,0\.0,1(,\d+\.\d){6}\r\n$)"},
        {"json",
         R"(^\{"kind":"monitor","target":"127\.0\.0\.1","destination":"127\.0\.0\.1",)"
         R"("family":4,"rounds":1,"reached":true,"hops":\[\{"hop":1,"address":"127\.0\.0\.1",.*)"
         R"("jitter_ms":0\.0\}\]\}\n$)"},
    };
    for (const auto& c : reports) {
        r = test::runCli({"trace", "--report", "-c", "1", "--format", c.format, "127.0.0.1"},
                         temp.path());
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(QRegularExpression(c.pattern).match(QString::fromStdString(r.out)).hasMatch())
            << r.out;
    }
}

}  // namespace
}  // namespace norvik
