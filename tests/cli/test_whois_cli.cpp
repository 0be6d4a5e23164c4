// norvik-cli whois and servers against real loopback servers, the real
// 10-second time-outs included, on store files of the test's own.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "../support/LoopbackTcpServer.h"
#include "../support/RunCli.h"
#include "../support/ServerDirectory.h"
#include "../support/TempStore.h"
#include "whois/ServerList.h"

namespace norvik::test {
namespace {

CliResult whoisCli(std::vector<std::string> args) {
    static TempStore temp;
    args.insert(args.begin(), "whois");
    return runCli(args, temp.path());
}

std::string portOf(const LoopbackTcpServer& s) { return std::to_string(s.port()); }

// The answer as received, the query as the engine sends it; an endless one
// cut; silent servers end at the real 10-second time-out of the window's timer.
TEST(WhoisCli, AnswersCutsAndTimeOuts) {
    const std::string a = "Domain: EXAMPLE.TEST\r\nName: M\xC3\xBCller\nraw \xFF\r\n";
    ServerScript endless;
    endless.endlessBlock = std::string(4095, 'e') + "\n";
    const ServerScript answer = ServerScript::answer(a);
    const std::string late =
        "Timeout Occurred reaching 127.0.0.1\n\nIt may be worth updating your "
        "Whois Server List\n";
    const std::string cut = "\n[answer cut at 4 MiB]\n", q = "example.test\r\n";
    const std::string gone = "Timed Out. The server is currently unavailable\n";
    const struct {
        std::vector<std::string> args;
        ServerScript script;
        int exit;
        std::string outEnd;
        std::size_t outSize;
        std::string err, request;
    } cases[] = {
        {{"whois", "b\u00fccher.de"}, answer, 0, a, a.size(), "", "xn--bcher-kva.de\r\n"},
        {{"whois", "example.test"}, endless, 0, cut, (4u << 20) + 22, "", q},
        {{"whois", "example.test"}, ServerScript::silent(), 1, "", 0, late, q},
        {{"servers", "--store"}, ServerScript::silent(), 1, "", 0, gone, "whois-servers\r\n"}};
    TempStore store;
    for (const auto& c : cases) {
        LoopbackTcpServer server(c.script);
        std::vector<std::string> args = c.args;
        args.insert(args.begin() + 1,
                    {c.args[0] == "whois" ? "-h" : "--host", "127.0.0.1", "-p", portOf(server)});
        const auto r = runCli(args, store.path());
        EXPECT_EQ(r.exitCode, c.exit) << r.err;
        EXPECT_EQ(r.out.size(), c.outSize);
        EXPECT_TRUE(r.out.ends_with(c.outEnd)) << r.out.substr(0, 100);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(server.requests(), std::vector<std::string>{c.request});
    }
    EXPECT_FALSE(directoryExists(*store.open()));  // the timed-out download stored nothing
}

TEST(WhoisCli, FollowAsksEachReferredServerOnceAndAtMostThreeSteps) {
    // The registrar, on the registry's host but another port, names the
    // registry again, which is not asked twice.
    const std::uint16_t registryPort = LoopbackTcpServer::closedPort();
    const std::string registrarAnswer =
        "Registrar answer\r\nRegistrar WHOIS Server: 127.0.0.1:" + std::to_string(registryPort) +
        "\r\nno end";
    LoopbackTcpServer registrar(ServerScript::answer(registrarAnswer));
    const std::string registryAnswer =
        "Registry answer\r\nReferralServer: whois://127.0.0.1:" + portOf(registrar) + "/\r\n";
    LoopbackTcpServer registry(ServerScript::answer(registryAnswer), "127.0.0.1", registryPort);
    ASSERT_TRUE(registry.listening());
    auto r = whoisCli({"-h", "127.0.0.1", "-p", portOf(registry), "--follow", "example.test"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "# 127.0.0.1\n" + registryAnswer + "# 127.0.0.1\n" + registrarAnswer + "\n");
    EXPECT_EQ(registry.connections(), 1);
    EXPECT_EQ(registrar.requests(), std::vector<std::string>{"example.test\r\n"});

    // A chain of five: the first and three referred servers are asked.
    std::vector<std::unique_ptr<LoopbackTcpServer>> chain;
    std::string next;
    for (int i = 5; i >= 1; --i) {
        chain.insert(chain.begin(),
                     std::make_unique<LoopbackTcpServer>(
                         ServerScript::answer("step " + std::to_string(i) + "\n" + next),
                         "127.0.0." + std::to_string(i)));
        next = "refer: 127.0.0." + std::to_string(i) + ":" + portOf(*chain.front()) + "\n";
    }
    r = whoisCli({"-h", "127.0.0.1", "-p", portOf(*chain[0]), "--follow", "example.test"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(chain[i]->connections(), i < 4 ? 1 : 0) << i;
}

// Server text on a terminal shows its control characters; to a pipe it
// goes as sent: whois answers (UTF-8, and one character per byte), the
// server list, and its countries stored and listed by reg enum.
TEST(WhoisCli, ControlCharactersReachATerminalVisibleAndAPipeAsSent) {
    // ESC [2J, an OSC 52 clipboard write, an OSC 0 title, C1 CSI, backspaces.
    const std::string utf8 =
        "a\x1b[2J b\x1b]52;c;aGk=\x07 c\x1b]0;t\x07 d\xc2\x9b"
        "1m \xc3\xa9\b\b\tf\r\n";
    const std::string latin1 =
        "x\x9b"
        "2J\xe9\x7f\n";
    const std::string country = "e\x1b]0;t\x07";
    LoopbackTcpServer utf8Server(ServerScript::answer(utf8));
    LoopbackTcpServer latin1Server(ServerScript::answer(latin1));
    LoopbackTcpServer list(ServerScript::answer("w.x C=" + country + "\r\n"));
    TempStore store;
    const struct {
        std::vector<std::string> args;
        std::string piped, shown;
    } cases[] = {
        {{"whois", "-h", "127.0.0.1", "-p", portOf(utf8Server), "d.test"},
         utf8,
         "a^[[2J b^[]52;c;aGk=^G c^[]0;t^G dM-^[1m \xc3\xa9^H^H\tf\r\n"},
        {{"whois", "-h", "127.0.0.1", "-p", portOf(latin1Server), "d.test"},
         latin1,
         "xM-^[2J\xc3\xa9^?\n"},
        {{"servers", "--host", "127.0.0.1", "-p", portOf(list), "--store"},
         country + "\tw.x \n",
         "e^[]0;t^G\tw.x \n"},
        {{"reg", "enum", "HKEY_LOCAL_MACHINE", "Software\\Tarnwell\\Norvik\\Servers"},
         country + "\n",
         "e^[]0;t^G\n"},
    };
    for (const auto& c : cases) {
        for (const bool terminal : {false, true}) {
            const auto r = runCli(c.args, store.path(), 30000, terminal);
            EXPECT_EQ(r.exitCode, 0) << c.args[0] << r.err;
            EXPECT_EQ(r.out, terminal ? c.shown : c.piped) << c.args[0] << " " << terminal;
        }
    }
}

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

}  // namespace
}  // namespace norvik::test
