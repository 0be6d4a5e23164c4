// The Qt TCP client and timer: what the whois tests over them do not show.
#include <gtest/gtest.h>

#include <thread>

#include "../support/LoopbackTcpServer.h"
#include "../support/SpinUntil.h"
#include "platform/qt/QtTcpClient.h"
#include "platform/qt/QtTimer.h"

namespace norvik::test {
namespace {

using platform::TcpClient;

// A client that writes its events down: "C" connect, "D" data, "X" close.
struct Recorded {
    platform::QtTcpClient client;
    std::string events, bytes;
    Recorded() {
        ensureCoreApp();
        client.onConnect = [this] { events += 'C'; };
        client.onDataArrival = [this](std::size_t) {
            events += 'D';
            bytes += client.GetData();
        };
        client.onClose = [this] { events += 'X'; };
    }
};

TEST(TcpClient, FailedAttemptsReadFourThenNineWithoutEvents) {
    const std::pair<std::string, std::uint16_t> attempts[] = {
        {"127.0.0.1", LoopbackTcpServer::closedPort()},
        {"", 43},
        {"bad host name", 43},
        {std::string("a\0b", 3), 43},
        {"host/path", 43}};
    for (const auto& [host, port] : attempts) {
        Recorded r;
        r.client.Connect(host, port);
        EXPECT_EQ(r.client.State(), TcpClient::kResolvingHost) << host;
        EXPECT_TRUE(spinUntil([&] { return r.client.State() == TcpClient::kError; })) << host;
        spinFor(20);
        EXPECT_EQ(r.events, "") << host;
    }
    EXPECT_TRUE(
        platform::QtTcpClient::usableHost("b\xC3\xBC"
                                          "cher.example"));
}

TEST(TcpClient, NoEventFollowsCloseAndTheClientConnectsAgain) {
    Recorded idle;
    idle.client.Close();
    EXPECT_EQ(idle.client.State(), TcpClient::kClosed);
    EXPECT_EQ(idle.client.GetData(), "");

    // Closed inside the data event of an answer that goes on and on.
    ServerScript endless;
    endless.readRequest = false;
    endless.endlessBlock = std::string(8192, 'e');
    endless.cap = 8 << 20;
    LoopbackTcpServer flood(endless);
    Recorded r;
    r.client.onDataArrival = [&](std::size_t) {
        r.events += 'D';
        r.client.Close();
    };
    r.client.Connect("127.0.0.1", flood.port());
    ASSERT_TRUE(spinUntil([&] { return r.events == "CD"; }));
    spinFor(100);
    EXPECT_EQ(r.events, "CD");
    EXPECT_EQ(r.client.State(), TcpClient::kClosed);

    ServerScript answer = ServerScript::answer("second\r\n");
    answer.readRequest = false;
    LoopbackTcpServer again(answer);
    Recorded s;
    s.client.Connect("127.0.0.1", again.port());
    ASSERT_TRUE(spinUntil([&] { return s.events.find('X') != std::string::npos; }));
    EXPECT_EQ(s.bytes, "second\r\n");
    EXPECT_EQ(s.client.State(), TcpClient::kPeerClosed);
}

TEST(Timer, EnablingARunningTimerKeepsItsPeriod) {
    ensureCoreApp();
    platform::QtTimer t;
    int ticks = 0;
    t.onTick = [&] { ++ticks; };
    t.setInterval(10000);
    t.setEnabled(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    t.setEnabled(true);
    EXPECT_LE(t.remainingMs(), 9950);
    t.setEnabled(false);
    EXPECT_FALSE(t.enabled());
    t.setInterval(5);
    t.setEnabled(true);
    EXPECT_TRUE(spinUntil([&] { return ticks >= 2; }));
}

}  // namespace
}  // namespace norvik::test
