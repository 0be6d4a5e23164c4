// norvik-cli whois against real loopback servers, the real 10-second
// time-out included.
#include <gtest/gtest.h>

#include <memory>

#include "../support/LoopbackTcpServer.h"
#include "../support/RunCli.h"
#include "../support/TempStore.h"

namespace norvik::test {
namespace {

CliResult whoisCli(std::vector<std::string> args) {
    static TempStore temp;
    args.insert(args.begin(), "whois");
    return runCli(args, temp.path());
}

std::string portOf(const LoopbackTcpServer& s) { return std::to_string(s.port()); }

TEST(WhoisCli, PrintsTheAnswerAsReceived) {
    const std::string answer = "Domain: EXAMPLE.TEST\r\nName: M\xC3\xBCller\nraw \xFF\r\n";
    LoopbackTcpServer server(ServerScript::answer(answer));
    // The domain goes out as the engine's query: ASCII-compatible beyond ASCII.
    const auto r = whoisCli({"-h", "127.0.0.1", "-p", portOf(server),
                             "b\xC3\xBC"
                             "cher.de"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, answer);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(server.requests(), std::vector<std::string>{"xn--bcher-kva.de\r\n"});
}

TEST(WhoisCli, FollowAsksEachReferredServerOnceAndAtMostThreeSteps) {
    // The registrar names the registry again, which is not asked twice.
    LoopbackTcpServer registrar(
        ServerScript::answer("Registrar answer\r\nRegistrar WHOIS Server: 127.0.0.1\r\nno end"),
        "127.0.0.2");
    const std::string registryAnswer =
        "Registry answer\r\nReferralServer: whois://127.0.0.2:" + portOf(registrar) + "/\r\n";
    LoopbackTcpServer registry(ServerScript::answer(registryAnswer));
    auto r = whoisCli({"-h", "127.0.0.1", "-p", portOf(registry), "--follow", "example.test"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "# 127.0.0.1\n" + registryAnswer +
                         "# 127.0.0.2\nRegistrar answer\r\nRegistrar WHOIS Server: "
                         "127.0.0.1\r\nno end\n");
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

TEST(WhoisCli, EndlessAnswersAreCutAndBadArgumentsRefused) {
    ServerScript endless;
    endless.endlessBlock = std::string(4095, 'e') + "\n";
    LoopbackTcpServer server(endless);
    auto r = whoisCli({"-h", "127.0.0.1", "-p", portOf(server), "example.test"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.size(), (std::size_t{4} << 20) + 22);
    EXPECT_EQ(r.out.substr(r.out.size() - 23), "\n[answer cut at 4 MiB]\n");

    const std::vector<std::string> bad[] = {
        {}, {"-p", "x", "d.test"}, {"-p", "0", "d.test"}, {"a.test", "b.test"}, {"-q", "d.test"}};
    for (const auto& args : bad) {
        r = whoisCli(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("usage: norvik-cli whois"), std::string::npos) << r.err;
    }
}

TEST(WhoisCli, ASilentServerTimesOutAfterTenSeconds) {
    LoopbackTcpServer silent(ServerScript::silent());
    const auto r = whoisCli({"-h", "127.0.0.1", "-p", portOf(silent), "example.test"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "Timeout Occurred reaching 127.0.0.1\n\nIt may be worth updating your Whois Server "
              "List\n");
    EXPECT_EQ(silent.requests(), std::vector<std::string>{"example.test\r\n"});
}

}  // namespace
}  // namespace norvik::test
