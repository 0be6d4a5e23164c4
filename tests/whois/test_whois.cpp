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

namespace norvik::test {
namespace {

using namespace whois;
using End = ServerScript::End;
using namespace std::string_literals;
using Strings = std::vector<std::string>;

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
        {"a\0b"s, QString::fromLatin1(QByteArray("a\0b", 3))},
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

// The whois lookup and the list download share one port-43 exchange: each
// case runs for both over real loopback TCP with a timer ticked by hand.

using platform::TcpClient;

// One client as these tests drive it, with its own texts and every status
// line it wrote.
struct Client {
    virtual ~Client() = default;
    virtual void start(std::uint16_t port, const std::string& host = "127.0.0.1") = 0;
    virtual std::string shown() = 0;  // the answer or the list as shown
    virtual bool cut() = 0;
    virtual bool keptCap() = 0;      // all that the cap allows was kept
    virtual std::string kept() = 0;  // what a time-out leaves as it was
    std::string status() const { return statuses.empty() ? "" : statuses.back(); }
    Strings statuses, ends;  // ends: the lookup's outcomes
    std::string request, retrieving, timedOut, lateMark, cutMark;
    platform::QtTcpClient tcp;
    ManualTimer timer;
};

struct LookupClient : Client {
    struct View : MemoryLookupView {
        Strings* statuses;
        void setStatusText(const QString& t) override {
            MemoryLookupView::setStatusText(t);
            statuses->push_back(t.toStdString());
        }
    } view;
    std::unique_ptr<WhoisLookup> lookup;
    std::uint16_t port = 0;
    LookupClient() {
        view.statuses = &statuses;
        view.domain = "Example.TEST";
        request = "Example.TEST\r\n";
        retrieving = kRetrieving;
        timedOut = kFailed;
        lateMark = "[answer cut after 60 s]\r\n";
        cutMark = "[answer cut at 4 MiB]\r\n";
    }
    void start(std::uint16_t to, const std::string& host) override {
        if (!lookup || to != port) {
            lookup.reset();  // the old one lets go of the client and timer first
            lookup = std::make_unique<WhoisLookup>(view, tcp, timer, port = to);
            lookup->onEnded = [this](WhoisLookup::Outcome o) {
                ends.push_back(o == WhoisLookup::Outcome::Done ? kDone : kFailed);
            };
        }
        view.server = QString::fromStdString(host);
        lookup->start();
    }
    std::string shown() override { return view.result.toStdString(); }
    bool cut() override { return lookup->cut(); }
    bool keptCap() override { return lookup->whoisReply().size() == kAnswerCap; }
    std::string kept() override { return view.items.join('|').toStdString(); }
};

struct ListClient : Client {
    struct View : MemoryListView {
        Strings* statuses;
        void setStatusText(const std::string& t) override {
            MemoryListView::setStatusText(t);
            statuses->push_back(t);
        }
    } view;
    std::string host;
    std::unique_ptr<ListDownload> download;
    std::uint16_t port = 0;
    ListClient() {
        view.statuses = &statuses;
        request = kListRequest;
        retrieving = kListRetrieving;
        timedOut = kListTimedOut;
    }
    void start(std::uint16_t to, const std::string& h) override {
        if (!download || to != port) {
            download.reset();
            download = std::make_unique<ListDownload>(
                tcp, timer, view, ListSource{[this] { return host; }, port = to});
            view.download = download.get();
        }
        host = h;
        download->start();
    }
    std::string shown() override {
        std::string all;
        for (const std::string& line : view.lines) all += line + "\n";
        return all;
    }
    bool cut() override { return download->cut(); }
    // Every whole 9-byte line of the cap, the cut one left out.
    bool keptCap() override {
        return download->serverEntries().serverEntries.size() == kListCap / 9;
    }
    std::string kept() override {
        std::string all;
        for (const std::string& entry : view.filter) all += entry + "|";
        return all + std::to_string(download->serverEntries().serverEntries.size());
    }
};

TEST(LookupHistory, DomainHistoryAddsEachExactTextOnce) {
    ensureCoreApp();
    LookupClient c;
    const std::pair<QString, QStringList> steps[] = {
        {"example.test", {"example.test"}},
        {"Example.test", {"example.test", "Example.test"}},
        {"example.test", {"example.test", "Example.test"}},
        {"www.example.test", {"example.test", "Example.test", "www.example.test"}},
        {"", {"example.test", "Example.test", "www.example.test", ""}},
        {"", {"example.test", "Example.test", "www.example.test", ""}},
    };
    for (const auto& [domain, items] : steps) {
        c.view.domain = domain;
        c.start(43, "");
        EXPECT_EQ(c.view.items, items) << domain.toStdString();
    }
}

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
    bool lookup() const { return GetParam() == Kind::Lookup; }
    std::unique_ptr<Client> c;
    std::unique_ptr<LoopbackTcpServer> server;
};

// Lookup: the answer as received, CR LF made CR CR LF, UTF-8 else Latin-1;
// list: the lines of the parsed list.
TEST_P(Port43, AnAnswerTheServerClosesIsShownWithDone) {
    const std::string longLine(1 << 20, 'x');
    const struct {
        const char* name;
        ServerScript script;
        std::string lookupShows, listShows;
    } cases[] = {
        {"pieces, UTF-8 split between them",
         ServerScript::inPieces({"a.x C=A\r\nM\xC3", "\xBCller.x C=B\r", "\n"}),
         "a.x C=A\r\r\nM\xC3\xBCller.x C=B\r\r\n", "A\ta.x \nB\tM\xC3\xBCller.x \n"},
        {"close without data", ServerScript::answer(""), "", ""},
        {"NUL and Latin-1", ServerScript::answer("w\xE9\0.x C=A\r\n"s), "w\xC3\xA9\0.x C=A\r\r\n"s,
         "A\tw\xC3\xA9\0.x \n"s},
        {"1 MiB line without CR LF", ServerScript::answer(longLine), longLine, ""},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        c->statuses.clear();
        c->ends.clear();
        serve(k.script);
        ASSERT_TRUE(spinUntil([&] { return c->status() == "Done"; }));
        ASSERT_GE(c->statuses.size(), 2u);
        EXPECT_EQ(c->statuses.front(), "Connecting...");
        for (std::size_t i = 1; i + 1 < c->statuses.size(); ++i)
            EXPECT_EQ(c->statuses[i], c->retrieving);
        EXPECT_EQ(c->statuses.size() > 2, !k.script.pieces[0].empty());
        const std::string shown = lookup() ? k.lookupShows : k.listShows;
        EXPECT_EQ(c->shown(), shown);
        EXPECT_EQ(c->ends, lookup() ? Strings{"Done"} : Strings{});
        EXPECT_EQ(server->requests(), Strings{c->request});
        EXPECT_FALSE(c->cut());
        // The timer goes on; its ticks change nothing after "Done".
        EXPECT_TRUE(c->timer.enabled());
        c->timer.fire();
        c->timer.fire();
        EXPECT_EQ(c->status(), "Done");
        EXPECT_EQ(c->shown(), shown);
    }
    // Every start enabled the timer; only the first started it.
    EXPECT_EQ(c->timer.restarts, 1);
}

// Nothing arrived: a server that accepts and is silent, a refused port
// (127.0.0.2: the server listens on 127.0.0.1 only), hosts that are none.
TEST_P(Port43, ATickBeforeAnyDataTimesOutLeavingTheRestAsItWas) {
    server = std::make_unique<LoopbackTcpServer>(ServerScript::silent());
    c->start(server->port(), "");  // the list: the built-in one
    const std::string kept = c->kept();
    std::vector<std::string> hosts = {"127.0.0.1", "127.0.0.2", "not a host!",
                                      "127.0.0.1:", "a\0b"s};
    if (lookup()) hosts.push_back("");  // for the list: the built-in one
    for (const std::string& host : hosts) {
        SCOPED_TRACE(host);
        c->statuses.clear();
        c->ends.clear();
        c->start(server->port(), host);
        spinFor(100);
        EXPECT_EQ(c->statuses, Strings{"Connecting..."});
        // The lookup names the server its box holds at the tick.
        auto* l = dynamic_cast<LookupClient*>(c.get());
        if (l) l->view.server += " (now)";
        c->timer.fire();
        EXPECT_EQ(c->statuses, (Strings{"Connecting...", c->timedOut}));
        EXPECT_EQ(c->ends, lookup() ? Strings{kFailed} : Strings{});
        EXPECT_EQ(c->shown(),
                  l ? "Timeout Occurred reaching " + host +
                          " (now)\r\n\r\nIt may be worth updating your Whois Server List"
                    : "");
        EXPECT_EQ(c->kept(), kept);
        EXPECT_FALSE(c->timer.enabled());
        EXPECT_EQ(c->tcp.State(), TcpClient::kClosed);
        c->timer.fire();
        EXPECT_EQ(c->statuses.size(), 2u);
    }
    EXPECT_EQ(c->timer.restarts, int(hosts.size()));
    EXPECT_EQ(c->timer.interval(), lookup() ? 0 : kListTimerMs);  // the lookup's is the window's
    EXPECT_EQ(server->requests().at(0), c->request);
}

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

}  // namespace
}  // namespace norvik::test
