// norvik-cli servers, run as a program on a store file of the test's own,
// against the built-in list and loopback list hosts.
#include <gtest/gtest.h>

#include <fstream>

#include "../support/LoopbackTcpServer.h"
#include "../support/RunCli.h"
#include "../support/ServerDirectory.h"
#include "../support/TempStore.h"
#include "whois/ServerList.h"

namespace norvik::test {
namespace {

using Words = std::vector<std::string>;

std::string printed(const std::string& answer) {
    std::string out;
    for (const auto& line : whois::ListLines(whois::ParseServerList(answer), whois::kAllServers))
        out += line + "\n";
    return out;
}

class ServersCli : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(tmp.valid()); }
    CliResult servers(Words words) {
        words.insert(words.begin(), "servers");
        return runCli(words, tmp.path());
    }
    TempStore tmp;
};

TEST_F(ServersCli, WithoutAHostTheBuiltInListIsPrintedAndStoredOnRequest) {
    auto r = servers({});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, printed(whois::BuiltInServerList()));
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(std::ifstream(tmp.path()).good());  // only read: no store is made
    r = servers({"--store"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, printed(whois::BuiltInServerList()));
    auto keys = tmp.open();
    EXPECT_EQ(readDirectory(*keys).at("GB"), (std::vector<std::string>{" 1", "whois.nic.uk"}));
}

TEST_F(ServersCli, AStoredOrGivenHostIsAsked) {
    const std::string answer = "b.x C=gb\r\na.x C=GB\r\nz.x C=de\r\n";
    LoopbackTcpServer server(ServerScript::answer(answer));
    ASSERT_TRUE(server.listening());
    const std::string port = std::to_string(server.port());
    auto r = servers({"--host", "127.0.0.1", "-p", port});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "de\tz.x \nGB\ta.x \ngb\tb.x \n");
    {
        auto keys = tmp.open();
        ASSERT_TRUE(keys->createKey(store::HKEY_LOCAL_MACHINE, {"Software", "Tarnwell", "Norvik"}));
        ASSERT_TRUE(keys->writeValue(store::HKEY_LOCAL_MACHINE, {"Software", "Tarnwell", "Norvik"},
                                     whois::kListHostValue, "127.0.0.1"));
    }
    r = servers({"-p", port, "--store"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, printed(answer));
    auto keys = tmp.open();
    EXPECT_EQ(readDirectory(*keys),
              (Directory{{"de", {" 1", "z.x"}}, {"gb", {" 2", "a.x", "b.x"}}}));
    EXPECT_EQ(server.requests(), (Words{"whois-servers\r\n", "whois-servers\r\n"}));
}

// Waits the real 10 seconds of the window's timer.
TEST_F(ServersCli, AHostThatNeverAnswersTimesOut) {
    LoopbackTcpServer server(ServerScript::silent());
    ASSERT_TRUE(server.listening());
    const auto r = servers({"--host", "127.0.0.1", "-p", std::to_string(server.port()), "--store"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Timed Out. The server is currently unavailable\n");
    auto keys = tmp.open();
    EXPECT_FALSE(directoryExists(*keys));
}

}  // namespace
}  // namespace norvik::test
