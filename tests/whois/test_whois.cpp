// The whois lookup engine and the list download over real loopback TCP and
// a timer ticked by hand, and the lookup's text functions.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../support/LoopbackTcpServer.h"
#include "../support/ManualTimer.h"
#include "../support/SpinUntil.h"
#include "platform/Text.h"
#include "platform/qt/QtTcpClient.h"
#include "whois/ListDownload.h"
#include "whois/MemoryListView.h"
#include "whois/MemoryLookupView.h"
#include "whois/WhoisLookup.h"

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace norvik::test {
namespace {

using namespace whois;
using End = ServerScript::End;
using Statuses = std::vector<std::string>;

// Every status line the lookup writes, in order.
struct RecordingView : MemoryLookupView {
    Statuses statuses;
    void setStatusText(const QString& t) override {
        MemoryLookupView::setStatusText(t);
        statuses.push_back(t.toStdString());
    }
};

const QString kTimeout =
    "Timeout Occurred reaching %1\r\n\r\nIt may be worth updating your Whois Server List";

class Lookup : public ::testing::Test {
  protected:
    Lookup() { ensureCoreApp(); }

    // Starts a lookup of `domain` at 127.0.0.1 on the server's port.
    void start(std::uint16_t port, const QString& domain = "Example.TEST",
               const QString& server = "127.0.0.1") {
        lookup.reset();  // the old one lets go of the client and timer first
        lookup = std::make_unique<WhoisLookup>(view, client, timer, port);
        lookup->onEnded = [this](WhoisLookup::Outcome o) { outcomes.push_back(o); };
        view.domain = domain;
        view.server = server;
        lookup->start();
    }
    bool ended() {
        return spinUntil([&] { return view.lookupEnabled; });
    }

    RecordingView view;
    platform::QtTcpClient client;
    ManualTimer timer;
    std::unique_ptr<WhoisLookup> lookup;
    std::vector<WhoisLookup::Outcome> outcomes;
};

TEST_F(Lookup, ServerAnswersEndInDoneWithTheAnswerShown) {
    const std::string longLine(1 << 20, 'x');
    struct Case {
        const char* name;
        ServerScript script;
        Statuses statuses;
        QString result;
    };
    const std::string c = "Connecting...", r = "Connected...Retrieving Info", d = "Done";
    const Case cases[] = {
        {"one piece, CR LF",
         ServerScript::answer("Domain: EXAMPLE.TEST\r\nStatus: ok\r\n"),
         {c, r, d},
         "Domain: EXAMPLE.TEST\r\r\nStatus: ok\r\r\n"},
        {"pieces with UTF-8 split",
         ServerScript::inPieces({"Name: M\xC3", "\xBCller\r", "\nend"}),
         {c, r, r, r, d},
         QString::fromUtf8("Name: M\xC3\xBCller\r\r\nend")},
        {"close without data", ServerScript::answer(""), {c, d}, ""},
        {"NUL and invalid UTF-8",
         ServerScript::answer(std::string("A\0B\xFF\n", 5)),
         {c, r, d},
         QString::fromLatin1(QByteArray("A\0B\xFF\r\n", 6))},
        {"1 MiB line without CR LF",
         ServerScript::answer(longLine),
         {},
         QString::fromLatin1(longLine)},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        LoopbackTcpServer server(k.script);
        view.statuses.clear();
        outcomes.clear();
        start(server.port());
        EXPECT_FALSE(view.lookupEnabled);
        ASSERT_TRUE(ended());
        if (!k.statuses.empty()) {
            EXPECT_EQ(view.statuses, k.statuses);
        }
        EXPECT_EQ(view.status, "Done");
        EXPECT_EQ(view.result, k.result);
        EXPECT_EQ(outcomes, std::vector{WhoisLookup::Outcome::Done});
        EXPECT_EQ(server.requests(), std::vector<std::string>{"Example.TEST\r\n"});
        // The timer goes on; its ticks change nothing after "Done".
        EXPECT_TRUE(timer.enabled());
        timer.fire();
        timer.fire();
        EXPECT_EQ(view.status, "Done");
        EXPECT_EQ(view.result, k.result);
    }
    // Every lookup enabled the timer; only the first started it.
    EXPECT_EQ(timer.restarts, 1);
}

TEST_F(Lookup, ATickWhileConnectingFailsWithTheTimeoutText) {
    LoopbackTcpServer silent(ServerScript::silent());
    const std::uint16_t refused = LoopbackTcpServer::closedPort();
    struct Case {
        const char* name;
        std::uint16_t port;
        QString server;
    };
    const Case cases[] = {{"accepts, never answers", silent.port(), "127.0.0.1"},
                          {"refused", refused, "127.0.0.1"},
                          {"empty server", 43, ""},
                          {"malformed server", 43, "not a host!"},
                          {"NUL in server", 43, QString::fromLatin1("a\0b", 3)}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        view.statuses.clear();
        start(k.port, "example.test", k.server);
        EXPECT_EQ(view.statuses, Statuses{"Connecting..."});
        spinFor(100);
        EXPECT_EQ(view.status, "Connecting...");
        // The box names the server it holds at the tick.
        view.server += " (now)";
        timer.fire();
        EXPECT_EQ(view.statuses, (Statuses{"Connecting...", "Failed!"}));
        EXPECT_EQ(view.result, kTimeout.arg(k.server + " (now)"));
        EXPECT_TRUE(view.lookupEnabled);
        EXPECT_FALSE(timer.enabled());
        EXPECT_EQ(client.State(), platform::TcpClient::kClosed);
        timer.fire();
        EXPECT_EQ(view.status, "Failed!");
    }
    EXPECT_EQ(timer.restarts, 5);
    EXPECT_EQ(silent.requests().at(0), "example.test\r\n");
}

TEST_F(Lookup, DomainHistoryAddsEachExactTextOnce) {
    const std::pair<QString, QStringList> steps[] = {
        {"example.test", {"example.test"}},
        {"Example.test", {"example.test", "Example.test"}},
        {"example.test", {"example.test", "Example.test"}},
        {"www.example.test", {"example.test", "Example.test", "www.example.test"}},
        {"", {"example.test", "Example.test", "www.example.test", ""}},
        {"", {"example.test", "Example.test", "www.example.test", ""}},
    };
    for (const auto& [domain, items] : steps) {
        start(43, domain, "");
        EXPECT_EQ(view.items, items) << domain.toStdString();
    }
}

TEST(WhoisText, QueriesKeepAsciiAndUseAceBeyondIt) {
    const std::pair<QString, std::string> cases[] = {
        {"Example.COM", "Example.COM\r\n"},
        {"www.example.test", "www.example.test\r\n"},
        {"[2001:DB8::1]", "[2001:DB8::1]\r\n"},
        {"", "\r\n"},
        {QString::fromUtf8("b\xC3\xBC"
                           "cher.de"),
         "xn--bcher-kva.de\r\n"},
        {QString::fromUtf8("M\xC3\xBCnchen.DE"), "xn--mnchen-3ya.de\r\n"},
    };
    for (const auto& [domain, bytes] : cases) EXPECT_EQ(QueryBytes(domain), bytes);
}

TEST(WhoisText, AnswersDecodeAsUtf8ElseLatin1) {
    const std::pair<std::string, QString> cases[] = {
        {"plain", "plain"},
        {"caf\xC3\xA9", QString::fromUtf8("caf\xC3\xA9")},
        {"caf\xE9", QString::fromLatin1("caf\xE9")},
        {"\xC3\xA9\xFF", QString::fromLatin1("\xC3\xA9\xFF")},
        {std::string("a\0b", 3), QString::fromLatin1(QByteArray("a\0b", 3))},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(DecodeAnswer(bytes), text);
}

TEST(WhoisText, LineEndsCutMarksAndDisplayLines) {
    EXPECT_EQ(platform::LfToCrLf("a\nb\r\nc\r"), "a\r\nb\r\r\nc\r");
    const std::pair<std::string, std::string> cuts[] = {
        {"abc", "abc\n"},
        {"abc\n", "abc\n"},
        {"ab\xC3", "ab\n"},
        {"ab\xE2\x82", "ab\n"},
        {"ab\xE2\x82\xAC", "ab\xE2\x82\xAC\n"},
        {"ab\xF0\x9F\x98", "ab\n"},
        {"", ""},
    };
    for (const auto& [in, kept] : cuts) EXPECT_EQ(MarkCut(in), kept + "[answer cut at 4 MiB]\n");
    EXPECT_EQ(DisplayLines("a\r\r\nb\r\nc\nd\re\r\r"), "a\nb\nc\nd\ne\n\n");
}

TEST(WhoisText, ReferralsNameAnotherServer) {
    const std::string asked = "whois.registry.test";
    struct Case {
        std::string answer;
        std::optional<Referral> found;
    };
    const Case cases[] = {
        {"Domain Name: X\r\nRegistrar WHOIS Server: whois.example-registrar.test\r\n",
         Referral{"whois.example-registrar.test", 43}},
        {"   registrar whois server: WHOIS.R.test", Referral{"WHOIS.R.test", 43}},
        {"refer:        whois.nic.test\n", Referral{"whois.nic.test", 43}},
        {"whois:        whois.nic.test\n", Referral{"whois.nic.test", 43}},
        {"ReferralServer: whois://whois.rir.test\n", Referral{"whois.rir.test", 43}},
        {"ReferralServer:  whois://whois.rir.test:4321/\n", Referral{"whois.rir.test", 4321}},
        {"ReferralServer: rwhois://rwhois.rir.test:4321\n", std::nullopt},
        {"ReferralServer: whois://whois.rir.test:0\n", std::nullopt},
        {"Registrar WHOIS Server: \r\n", std::nullopt},
        {"Registrar URL: http://registrar.test\r\n", std::nullopt},
        {"% refer: whois.nic.test\n", std::nullopt},
        {"refer: localhost\n", std::nullopt},
        {"refer: not a host!\n", std::nullopt},
        {"Registrar WHOIS Server: WHOIS.Registry.test.\r\n", std::nullopt},
        {"refer: whois.registry.test\nrefer: whois.other.test\n", Referral{"whois.other.test", 43}},
        {"refer: 127.0.0.2\n", Referral{"127.0.0.2", 43}},
        {"", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(FindReferral(c.answer, asked), c.found) << c.answer;
}

// The ends that the whois lookup and the list download share through one
// port-43 exchange, run for both over real loopback TCP with a timer ticked
// by hand: a server that stays open, one that drips, a reset after data,
// and one that never stops sending; then what only the list download does.

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
