// The whois lookup engine over real loopback TCP and a timer ticked by
// hand, and its text functions.
#include <gtest/gtest.h>

#include <memory>

#include "../support/LoopbackTcpServer.h"
#include "../support/ManualTimer.h"
#include "../support/SpinUntil.h"
#include "platform/Text.h"
#include "platform/qt/QtTcpClient.h"
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

}  // namespace
}  // namespace norvik::test
