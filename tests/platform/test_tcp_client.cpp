// The Qt TCP client against real loopback servers, and the Qt timer.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <thread>

#include "../support/LoopbackTcpServer.h"
#include "../support/SpinUntil.h"
#include "platform/qt/QtTcpClient.h"
#include "platform/qt/QtTimer.h"

namespace norvik::test {
namespace {

using platform::TcpClient;
using End = ServerScript::End;

void coreApp() {
    static int argc = 1;
    static char arg0[] = "test_platform";
    static char* argv[] = {arg0, nullptr};
    if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
}

// A client whose events are written down: "C" connect, "D" data, "X" close,
// with the bytes read at each data event and the state at each close.
struct Recorded {
    platform::QtTcpClient client;
    std::string events;
    std::string bytes;
    std::vector<int> closeStates;

    Recorded() {
        coreApp();
        client.onConnect = [this] {
            events += 'C';
            client.SendData("example.test\r\n");
        };
        client.onDataArrival = [this](std::size_t) {
            events += 'D';
            bytes += client.GetData();
        };
        client.onClose = [this] {
            events += 'X';
            closeStates.push_back(client.State());
        };
    }
    bool ended() const { return !events.empty() && events.back() == 'X'; }
};

ServerScript chunked(std::vector<std::string> pieces, End end = End::Close) {
    ServerScript s;
    s.pieces = std::move(pieces);
    s.end = end;
    return s;
}

TEST(TcpClient, ServerScenariosGiveTheEventsInOrder) {
    struct Case {
        const char* name;
        ServerScript script;
        std::string events;  // connect, data pieces, close
        std::string bytes;
    };
    const std::string big(300000, 'w');
    const Case cases[] = {
        {"one piece", ServerScript::answer("Domain: EXAMPLE.TEST\r\n"), "CDX",
         "Domain: EXAMPLE.TEST\r\n"},
        {"three pieces", chunked({"Dom", "ain: \xC3", "\xA9\r\n"}), "CDDDX",
         "Domain: \xC3\xA9\r\n"},
        {"close without data", ServerScript::answer(""), "CX", ""},
        {"large answer", ServerScript::answer(big), "", big},
    };
    for (const Case& c : cases) {
        LoopbackTcpServer server(c.script);
        ASSERT_TRUE(server.listening());
        Recorded r;
        r.client.setLocalPort(0);
        r.client.Connect("127.0.0.1", server.port());
        EXPECT_EQ(r.client.State(), TcpClient::kResolvingHost) << c.name;
        ASSERT_TRUE(spinUntil([&] { return r.ended(); })) << c.name << " " << r.events;
        if (!c.events.empty()) {
            EXPECT_EQ(r.events, c.events) << c.name;
        }
        EXPECT_EQ(r.bytes, c.bytes) << c.name;
        EXPECT_EQ(r.closeStates, std::vector<int>{TcpClient::kPeerClosed}) << c.name;
        EXPECT_EQ(server.requests(), std::vector<std::string>{"example.test\r\n"}) << c.name;
        r.client.Close();
        EXPECT_EQ(r.client.State(), TcpClient::kClosed);
    }
}

TEST(TcpClient, AResetAfterTheAnswerEndsTheConnectionWithoutAHang) {
    ServerScript s = ServerScript::answer("partial answer\r\n", End::Reset);
    LoopbackTcpServer server(s);
    Recorded r;
    r.client.Connect("127.0.0.1", server.port());
    ASSERT_TRUE(spinUntil([&] { return r.ended() || r.client.State() == TcpClient::kError; }))
        << r.events;
    // Whatever arrived before the reset was read; a reset reads as a close.
    EXPECT_EQ(r.events.substr(0, 1), "C");
    EXPECT_TRUE(r.bytes.empty() || r.bytes == "partial answer\r\n") << r.bytes;
}

TEST(TcpClient, FailedAttemptsStartAsResolvingAndEndInErrorWithoutEvents) {
    const std::uint16_t refused = LoopbackTcpServer::closedPort();
    const std::pair<std::string, std::uint16_t> attempts[] = {
        {"127.0.0.1", refused},       {"", 43},         {"bad host name", 43},
        {std::string("a\0b", 3), 43}, {"\x01\x02", 43}, {"host/path", 43}};
    for (const auto& [host, port] : attempts) {
        Recorded r;
        r.client.Connect(host, port);
        EXPECT_EQ(r.client.State(), TcpClient::kResolvingHost) << host;
        EXPECT_TRUE(spinUntil([&] { return r.client.State() == TcpClient::kError; })) << host;
        spinFor(20);
        EXPECT_EQ(r.events, "") << host;
    }
    EXPECT_FALSE(platform::QtTcpClient::usableHost("bad host name"));
    EXPECT_TRUE(
        platform::QtTcpClient::usableHost("b\xC3\xBC"
                                          "cher.example"));
}

TEST(TcpClient, CloseSilencesTheConnectionAndDoesNothingWhenIdle) {
    Recorded idle;
    idle.client.Close();
    EXPECT_EQ(idle.client.State(), TcpClient::kClosed);
    EXPECT_EQ(idle.client.GetData(), "");

    // Close inside the connect event, before the answer arrives.
    LoopbackTcpServer server(ServerScript::answer("never seen\r\n"));
    Recorded r;
    r.client.onConnect = [&] {
        r.events += 'C';
        r.client.SendData("x\r\n");
        r.client.Close();
    };
    r.client.Connect("127.0.0.1", server.port());
    ASSERT_TRUE(spinUntil([&] { return server.connections() == 1 && !r.events.empty(); }));
    spinFor(150);
    EXPECT_EQ(r.events, "C");
    EXPECT_EQ(r.client.State(), TcpClient::kClosed);

    // Close inside a data event of an answer that goes on: nothing follows,
    // and a new Connect on the same client works.
    ServerScript endless;
    endless.endlessBlock = std::string(8192, 'e');
    endless.cap = 8 << 20;
    LoopbackTcpServer flood(endless);
    Recorded f;
    f.client.onDataArrival = [&](std::size_t) {
        f.events += 'D';
        f.client.Close();
    };
    f.client.Connect("127.0.0.1", flood.port());
    ASSERT_TRUE(spinUntil([&] { return f.events.find('D') != std::string::npos; }));
    spinFor(100);
    EXPECT_EQ(f.events, "CD");
    LoopbackTcpServer again(ServerScript::answer("second\r\n"));
    Recorded& g = f;
    g.events.clear();
    g.client.onDataArrival = [&](std::size_t) {
        g.events += 'D';
        g.bytes += g.client.GetData();
    };
    g.client.Connect("127.0.0.1", again.port());
    ASSERT_TRUE(spinUntil([&] { return g.ended(); }));
    EXPECT_EQ(g.bytes, "second\r\n");
}

TEST(Timer, EnablingARunningTimerKeepsItsPeriod) {
    coreApp();
    platform::QtTimer t;
    int ticks = 0;
    t.onTick = [&] { ++ticks; };
    t.setInterval(10000);
    EXPECT_FALSE(t.enabled());
    t.setEnabled(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    t.setEnabled(true);
    EXPECT_TRUE(t.enabled());
    EXPECT_LE(t.remainingMs(), 9950);
    t.setEnabled(false);
    EXPECT_EQ(t.remainingMs(), -1);

    t.setInterval(5);
    t.setEnabled(true);
    EXPECT_TRUE(spinUntil([&] { return ticks >= 2; }));
}

}  // namespace
}  // namespace norvik::test
