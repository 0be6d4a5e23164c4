// The ends that the whois lookup and the list download share through one
// port-43 exchange, run for both over real loopback TCP with a timer ticked
// by hand: a server that stays open, one that drips, a reset after data,
// and one that never stops sending; then what only the list download does.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../support/LoopbackTcpServer.h"
#include "../support/ManualTimer.h"
#include "../support/SpinUntil.h"
#include "platform/qt/QtTcpClient.h"
#include "whois/ListDownload.h"
#include "whois/MemoryListView.h"
#include "whois/MemoryLookupView.h"

namespace norvik::test {
namespace {

using End = ServerScript::End;
using platform::TcpClient;

// One client as these tests drive it, with its own texts.
struct Client {
    virtual ~Client() = default;
    virtual void start(std::uint16_t port) = 0;
    virtual std::string status() = 0;
    virtual std::string shown() = 0;  // the answer or the list as shown
    virtual bool cut() = 0;
    virtual bool keptCap() = 0;  // all that the cap allows was kept
    std::string retrieving, lateMark, cutMark;
    platform::QtTcpClient tcp;
    ManualTimer timer;
};

struct LookupClient : Client {
    whois::MemoryLookupView view;
    std::unique_ptr<whois::WhoisLookup> lookup;
    LookupClient() {
        retrieving = "Connected...Retrieving Info";
        lateMark = "[answer cut after 60 s]\r\n";
        cutMark = "[answer cut at 4 MiB]\r\n";
    }
    void start(std::uint16_t port) override {
        if (!lookup) lookup = std::make_unique<whois::WhoisLookup>(view, tcp, timer, port);
        view.server = "127.0.0.1";
        lookup->start();
    }
    std::string status() override { return view.status.toStdString(); }
    std::string shown() override { return view.result.toStdString(); }
    bool cut() override { return lookup->cut(); }
    bool keptCap() override { return lookup->whoisReply().size() == whois::kAnswerCap; }
};

struct ListClient : Client {
    whois::MemoryListView view;
    std::unique_ptr<whois::ListDownload> download;
    ListClient() { retrieving = "Retrieving..."; }
    void start(std::uint16_t port) override {
        if (!download)
            download = std::make_unique<whois::ListDownload>(
                tcp, timer, view, whois::ListSource{[] { return std::string("127.0.0.1"); }, port});
        view.download = download.get();
        download->start();
    }
    std::string status() override { return view.status; }
    std::string shown() override {
        std::string all;
        for (const std::string& line : view.lines) all += line + "\n";
        return all;
    }
    bool cut() override { return download->cut(); }
    // Every whole 9-byte line of the cap, the cut one left out.
    bool keptCap() override {
        return download->serverEntries().serverEntries.size() == whois::kListCap / 9;
    }
};

enum class Kind { Lookup, ListDownload };

class Port43 : public ::testing::TestWithParam<Kind> {
  protected:
    Port43() {
        ensureCoreApp();
        if (GetParam() == Kind::Lookup) {
            c = std::make_unique<LookupClient>();
        } else {
            c = std::make_unique<ListClient>();
        }
    }
    void serve(const ServerScript& script) {
        server = std::make_unique<LoopbackTcpServer>(script);
        ASSERT_TRUE(server->listening());
        c->start(server->port());
    }
    std::unique_ptr<Client> c;
    std::unique_ptr<LoopbackTcpServer> server;
};

TEST_P(Port43, AServerThatStaysOpenIsEndedByTheFirstQuietTick) {
    serve(ServerScript::inPieces({"a.x C=A\r\n", "b.x C=A\r\n"}, End::KeepOpen));
    ASSERT_TRUE(spinUntil([&] { return server->bytesSent() == 18; }));
    // A second start drops what arrived and starts again.
    c->start(server->port());
    EXPECT_EQ(c->status(), "Connecting...");
    ASSERT_TRUE(spinUntil([&] { return server->bytesSent() == 36; }));
    spinFor(50);
    c->timer.fire();  // data came since the start: it goes on
    EXPECT_EQ(c->status(), c->retrieving);
    c->timer.fire();  // nothing new for a whole period
    EXPECT_EQ(c->status(), "Done");
    const std::string shown = c->shown();
    EXPECT_NE(shown.find("b.x"), std::string::npos);
    EXPECT_EQ(shown.find("b.x"), shown.rfind("b.x"));  // once, not twice
    EXPECT_EQ(server->connections(), 2);
    EXPECT_EQ(c->tcp.State(), TcpClient::kClosed);
}

TEST_P(Port43, ADripIsEndedSixTicksAfterTheConnectAsFarAsItCame) {
    ServerScript s =
        ServerScript::inPieces(std::vector<std::string>(500, "a.x C=A\r\n"), End::KeepOpen);
    s.pauseMs = 10;
    serve(s);
    for (int tick = 0; tick < whois::kAnswerTicks; ++tick) {
        const std::size_t had = server->bytesSent();
        ASSERT_TRUE(spinUntil([&] { return server->bytesSent() > had; })) << tick;
        spinFor(20);
        EXPECT_EQ(c->status(), c->retrieving);
        c->timer.fire();  // something new at every tick
    }
    EXPECT_EQ(c->status(), "Done");
    EXPECT_NE(c->shown().find("a.x"), std::string::npos);
    EXPECT_TRUE(c->shown().ends_with(c->lateMark));
    EXPECT_EQ(c->tcp.State(), TcpClient::kClosed);
}

TEST_P(Port43, AResetAfterDataEndsWithWhatArrived) {
    serve(ServerScript::answer("a.x C=A\r\n", End::Reset));
    // The reset ends the connection as a close, or as a failure that the
    // quiet ticks end.
    ASSERT_TRUE(spinUntil([&] {
        return c->tcp.State() != TcpClient::kConnected &&
               c->tcp.State() != TcpClient::kResolvingHost;
    }));
    spinFor(50);
    c->timer.fire();
    c->timer.fire();
    EXPECT_EQ(c->status(), "Done");
    EXPECT_NE(c->shown().find("a.x"), std::string::npos);
}

TEST_P(Port43, EndlessDataIsCutAtFourMebibytes) {
    ServerScript script;
    script.endlessBlock = "w.x C=E\r\n";
    serve(script);
    ASSERT_TRUE(spinUntil([&] { return c->status() == "Done"; }, 20000));
    EXPECT_TRUE(c->cut());
    EXPECT_TRUE(c->keptCap());
    EXPECT_TRUE(c->shown().ends_with(c->cutMark));
    EXPECT_EQ(c->tcp.State(), TcpClient::kClosed);
    spinFor(100);
    const std::size_t sent = server->bytesSent();
    spinFor(100);
    EXPECT_EQ(server->bytesSent(), sent);
    EXPECT_LT(sent, script.cap);
}

INSTANTIATE_TEST_SUITE_P(BothClients, Port43, ::testing::Values(Kind::Lookup, Kind::ListDownload),
                         [](const auto& info) {
                             return info.param == Kind::Lookup ? "Lookup" : "ListDownload";
                         });

// The list download alone: states and status texts, the built-in list and
// the time-out.

using Strings = std::vector<std::string>;

// The window's controls as plain fields, with every status written down.
struct RecordingListView : whois::MemoryListView {
    Strings statuses;
    void setStatusText(const std::string& text) override {
        MemoryListView::setStatusText(text);
        statuses.push_back(text);
    }
};

class ListDownloadTest : public ::testing::Test {
  protected:
    ListDownloadTest() { ensureCoreApp(); }

    // A list host on loopback, and the download that asks it.
    void serve(ServerScript script) {
        server = std::make_unique<LoopbackTcpServer>(std::move(script));
        ASSERT_TRUE(server->listening());
        host = "127.0.0.1";
        make(server->port());
    }
    void make(std::uint16_t port) {
        download = std::make_unique<whois::ListDownload>(
            winsock, timer, view, whois::ListSource{[this] { return host; }, port});
        view.download = download.get();
    }
    bool reaches(const std::string& status, int ms = 5000) {
        return spinUntil([&] { return view.statusText() == status; }, ms);
    }

    std::string host;
    RecordingListView view;
    ManualTimer timer;
    platform::QtTcpClient winsock;
    std::unique_ptr<LoopbackTcpServer> server;
    std::unique_ptr<whois::ListDownload> download;
};

TEST_F(ListDownloadTest, AnAnswerInPiecesIsShownWhenTheHostCloses) {
    serve(ServerScript::inPieces({"w1.x C=GB\r\nw2", ".x C=GB\r\n", "z.x C=de\r\n"}));
    EXPECT_TRUE(timer.enabled());
    EXPECT_EQ(timer.interval(), 10000);
    download->start();
    EXPECT_EQ(view.statuses, Strings{"Connecting..."});
    ASSERT_TRUE(reaches("Done"));
    ASSERT_GE(view.statuses.size(), 3u);
    for (std::size_t i = 1; i + 1 < view.statuses.size(); ++i)
        EXPECT_EQ(view.statuses[i], "Retrieving...");
    EXPECT_EQ(server->requests(), Strings{"whois-servers\r\n"});
    EXPECT_EQ(view.filter, (Strings{" All servers", "de", "GB"}));
    EXPECT_EQ(view.lines, (Strings{"de\tz.x ", "GB\tw1.x ", "GB\tw2.x "}));
    // Ticks after the end change nothing; the timer keeps running.
    timer.fire();
    timer.fire();
    EXPECT_EQ(view.statusText(), "Done");
    EXPECT_TRUE(timer.enabled());
    EXPECT_FALSE(download->cut());
}

TEST_F(ListDownloadTest, RefusedAndUnusableHostsEndAtTheTimeOutKeepingTheFilter) {
    make(LoopbackTcpServer::closedPort());
    download->start();  // no host yet: the built-in list
    const Strings filter = view.filter;
    for (const char* bad : {"127.0.0.1", "no host!", "127.0.0.1:", "\x01\x02"}) {
        host = bad;
        view.statuses.clear();
        download->start();
        EXPECT_TRUE(timer.enabled());
        spinFor(100);
        EXPECT_EQ(view.statuses, Strings{"Connecting..."}) << bad;
        timer.fire();
        EXPECT_EQ(view.statusText(), "Timed Out. The server is currently unavailable") << bad;
        EXPECT_FALSE(timer.enabled());
        EXPECT_TRUE(view.lines.empty());
        // The filter and the entries of the download before stay.
        EXPECT_EQ(view.filter, filter);
        EXPECT_FALSE(download->serverEntries().serverEntries.empty());
    }
}

}  // namespace
}  // namespace norvik::test
