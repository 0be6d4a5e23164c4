// The Whois Lookup page: lookups against real loopback servers, the
// time-out through the window's timer ticked by hand, the quick buttons,
// Enter, and the referral link.
#include <QFocusEvent>
#include <QFontInfo>

#include "../support/LoopbackTcpServer.h"
#include "../support/SpinUntil.h"
#include "ShellFixture.h"
#include "shell/WhoisPage.h"

namespace norvik::test {
namespace {

// The Whois Lookup page on its own.
class WhoisPage : public PageTest {
  protected:
    void openPage(std::uint16_t port) {
        host<shell::WhoisPage>(
            shell::WhoisFrame{status, client, *timer, port, [this] { return timers.make(); },
                              [] { return false; }},
            reg, boxes);
    }
    void lookUp(const QString& domain, const QString& server) {
        w<QComboBox>("whoisCombo1")->setEditText(domain);
        w<QComboBox>("whoiscombo2")->setEditText(server);
        click(w("lookupwhois"));
    }
    bool lookupEnded() {
        return spinUntil([&] { return w<QPushButton>("lookupwhois")->isEnabled(); });
    }
    platform::QtTcpClient client;
    std::unique_ptr<platform::Timer> timer = timers.make();
};

TEST_F(WhoisPage, ALookupShowsTheAnswerAndOffersItsReferralUntilClicked) {
    LoopbackTcpServer registry(ServerScript::answer(
        "Domain Name: EXAMPLE.TEST\r\nRegistrar WHOIS Server: 127.0.0.2\r\nName: M\xC3\xBCller\n"));
    LoopbackTcpServer registrar(ServerScript::answer("Registrant: someone\r\n"), "127.0.0.2",
                                registry.port());
    if (!registrar.listening()) GTEST_SKIP() << "127.0.0.2 port " << registry.port() << " is taken";
    openPage(registry.port());
    // Enter in the domain box looks up: there the lookup button is the default.
    auto* domain = w<QComboBox>("whoisCombo1");
    QFocusEvent in(QEvent::FocusIn);
    QCoreApplication::sendEvent(domain, &in);
    EXPECT_EQ(defaults.button(), w<QPushButton>("lookupwhois"));
    w<QComboBox>("whoiscombo2")->setEditText("127.0.0.1");
    domain->setEditText("Example.test");
    key(domain, Qt::Key_Return);
    expectTexts({{"traceLabel4", "Connecting..."}, {"whoisresult", ""}});
    EXPECT_FALSE(w<QPushButton>("lookupwhois")->isEnabled());
    ASSERT_TRUE(lookupEnded());
    expectTexts({{"traceLabel4", "Done"},
                 {"whoisresult", QString::fromUtf8("Domain Name: EXAMPLE.TEST\nRegistrar WHOIS "
                                                   "Server: 127.0.0.2\nName: M\xC3\xBCller\n")
                                     .toUtf8()
                                     .constData()},
                 {"whoisrefer", "Ask 127.0.0.2"}});
    EXPECT_TRUE(QFontInfo(w("whoisresult")->font()).fixedPitch());
    EXPECT_TRUE(shown("whoisrefer"));
    EXPECT_EQ(items("whoisCombo1").last(), "Example.test");
    EXPECT_EQ(registry.requests(), std::vector<std::string>{"Example.test\r\n"});
    EXPECT_EQ(registrar.connections(), 0);

    // The link by keyboard: the same domain, asked of the named server,
    // even after the domain box changed.
    domain->setEditText("other.test");
    key(w("whoisrefer"), Qt::Key_Space);
    expectTexts({{"whoiscombo2", "127.0.0.2"}, {"traceLabel4", "Connecting..."}});
    EXPECT_FALSE(shown("whoisrefer"));
    ASSERT_TRUE(lookupEnded());
    EXPECT_EQ(registrar.requests(), std::vector<std::string>{"Example.test\r\n"});
    expectTexts({{"whoisresult", "Registrant: someone\n"}, {"traceLabel4", "Done"}});
    EXPECT_FALSE(shown("whoisrefer"));
}

TEST_F(WhoisPage, QuickButtonsPickTheCountryAndItsDefaultServer) {
    putAll("Servers\\GB", {{"Total", " 2"}, {"1", "a.gb.test"}, {"2", "b.gb.test"}});
    putAll("Servers\\DE", {{"Total", " 1"}, {"1", "de.test"}});
    openPage(43);
    status->setText("as before");
    struct Case {
        const char* button;
        const char* country;
        QStringList servers;
        const char* server;
    };
    const Case cases[] = {{"whoisuk", "GB", {"a.gb.test", "b.gb.test"}, "whois.nic.uk"},
                          {"whoisus", "US", {}, "whois.verisign-grs.com"}};
    for (const Case& c : cases) {
        click(w(c.button));
        expectTexts({{"countrydropdown", c.country},
                     {"whoiscombo2", c.server},
                     {"traceLabel4", "as before"}});
        EXPECT_EQ(items("whoiscombo2"), c.servers) << c.button;
        EXPECT_TRUE(w<QPushButton>("lookupwhois")->isEnabled());
    }
}

TEST_F(WhoisPage, WhoisPageWithoutDirectoryOffersAllAndTheDefaultServer) {
    putAll("SessionIPs", {{"1", "WWW.Example.test"}, {"3", "wwwexample.test"}, {"4", "www."}});
    openPage(43);
    expectTexts({{"whoisLabel6", "Note: Do NOT include \"www\" of domain."},
                 {"whoisresult",
                  "Select the domain you wish to perform a lookup on and a Whois server for the "
                  "relevant country.\n\nClick LOOKUP to perform Whois lookup on domain.\n\n"
                  "Domain information will appear in this box."},
                 {"whoiscombo2", "whois.verisign-grs.com"},
                 {"whoisCombo1", "Example.test"}});
    EXPECT_EQ(items("countrydropdown"), (QStringList{"All"}));
    EXPECT_TRUE(items("whoiscombo2").isEmpty());
    EXPECT_EQ(items("whoisCombo1"), (QStringList{"Example.test", "wwwexample.test", ""}));
}

TEST_F(WhoisPage, WhoisDirectoryWalkAndCountryPicks) {
    putAll("Servers\\GB",
           {{"Total", " 2"}, {"1", "whois.gb-one.test"}, {"2", "whois.gb-two.test"}});
    putAll("Servers\\US", {{"Total", " 1"}, {"1", "whois.us-one.test"}});
    putAll("Servers\\XX", {{"Total", " 2"}, {"1", "whois.xx.test"}});
    put("Servers\\ZZ", "Total", " 0");
    openPage(43);
    EXPECT_EQ(items("countrydropdown"), (QStringList{"All", "GB", "US", "XX", "ZZ"}));
    const QStringList all{"whois.gb-one.test", "whois.gb-two.test", "whois.us-one.test",
                          "whois.xx.test", "Error"};
    EXPECT_EQ(items("whoiscombo2"), all);
    EXPECT_EQ(text("whoiscombo2"), "whois.verisign-grs.com");

    const std::pair<int, QStringList> picks[] = {
        {1, {"whois.gb-one.test", "whois.gb-two.test"}}, {4, {}}, {0, all}};
    for (const auto& [index, servers] : picks) {
        w<QComboBox>("countrydropdown")->setCurrentIndex(index);
        emit w<QComboBox>("countrydropdown")->activated(index);
        EXPECT_EQ(items("whoiscombo2"), servers) << "country " << index;
        if (index == 1) {
            EXPECT_EQ(text("whoiscombo2"), "");  // a country's list leaves the box empty
        }
    }
}

// A trace that fails leaves a lookup in progress alone, and the lookup still
// ends although the trace wrote over the shared status line.
class WhoisWindow : public ShellTest {
  protected:
    ManualTimer& Timer1() {
        EXPECT_EQ(timers.live.size(), 1u);
        return timers.at(0);
    }
};

TEST_F(WhoisWindow, AFailingTraceLeavesALookupRunning) {
    LoopbackTcpServer silent(ServerScript::silent());
    LoopbackTcpServer quiet(
        ServerScript::answer("Domain: example.test\n", ServerScript::End::KeepOpen));
    struct Case {
        LoopbackTcpServer* server;
        const char* status;  // the lookup's once the trace has ended
        int ticks;
        const char* ends;
        const char* shows;
    } cases[] = {
        {&silent, "Connecting...", 1, "Failed!",
         "Timeout Occurred reaching 127.0.0.1\n\nIt may be worth updating your Whois Server List"},
        {&quiet, "Connected...Retrieving Info", 2, "Done", "Domain: example.test\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        whoisPort = c.server->port();
        start();
        click(w("whoisicon"));
        EXPECT_EQ(Timer1().interval(), 10000);
        w<QComboBox>("whoisCombo1")->setEditText("example.test");
        w<QComboBox>("whoiscombo2")->setEditText("127.0.0.1");
        click(w("lookupwhois"));
        ASSERT_TRUE(spinUntil([&] {
            return text("traceLabel4") == c.status &&
                   form->whoisClient().State() == platform::TcpClient::kConnected;
        }));
        click(w("tracerouteicon"));
        w<QComboBox>("traceCombo1")->setEditText("198.51.100.9");
        click(w("traceaway"));  // no answer: the trace times out at hop 1
        EXPECT_EQ(text("traceLabel4"), "Trace Route Timed Out");
        EXPECT_EQ(form->whoisClient().State(), platform::TcpClient::kConnected);
        EXPECT_FALSE(w("lookupwhois")->isEnabled());
        for (int i = 0; i < c.ticks; ++i) Timer1().fire();
        expectTexts({{"traceLabel4", c.ends}, {"whoisresult", c.shows}});
        EXPECT_TRUE(w("lookupwhois")->isEnabled());
    }
}

}  // namespace
}  // namespace norvik::test
