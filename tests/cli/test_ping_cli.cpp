#include <gtest/gtest.h>

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

}  // namespace
}  // namespace norvik
