// Page switching, the fixed controls, the lists each page fills, the IP
// Translation lookups, and the icons and keyboard order of the window.

#include <QImage>
#include <QTest>
#include <QToolButton>

#include "ShellFixture.h"
#include "shell/PingPage.h"
#include "shell/Widgets.h"

namespace norvik::test {
namespace {

using Pages = ShellTest;

TEST_F(Pages, FixedControlsCarryTheirCaptionsAndTooltips) {
    start();
    const Texts tips = {{"pingicon", "Ping"},
                        {"tracerouteicon", "TraceRoute"},
                        {"whoisicon", "Whois Lookup"},
                        {"iptransicon", "IP Translation"},
                        {"Image7", "Settings"},
                        {"Image5", "About Norvik"},
                        {"Image2", "Help"},
                        {"quiticon", ""}};
    for (const auto& [name, tip] : tips) {
        EXPECT_EQ(w(name)->toolTip(), tip) << name;
        EXPECT_FALSE(w<QToolButton>(name)->icon().isNull()) << name;
    }
    expectTexts({{"pingwords", "Ping"},
                 {"traceroutewords", "TraceRoute"},
                 {"whoiswords", "Whois Lookup"},
                 {"iptranswords", "IP  Translation"},
                 {"Label4", "Settings"},
                 {"Label5", "About  "},
                 {"Label7", "Help"},
                 {"quitwords", "Quit"}});
    for (QLabel* l : form->findChildren<QLabel*>()) {
        EXPECT_EQ(l->textFormat(), Qt::PlainText) << l->objectName().toStdString();
    }
}

TEST_F(Pages, ExactlyOnePagesControlsAreVisibleAtATime) {
    start();
    // Each page's word label and its controls ("intro" and "traceLabel4"
    // are shared and left out).
    const std::vector<std::pair<const char*, std::vector<const char*>>> pages = {
        {"pingwords",
         {"carryoutping", "Label1", "Label2", "Label9", "Label11", "Label12", "Combo1", "Combo2",
          "Combo3", "Text5"}},
        {"traceroutewords",
         {"trace1", "trace3", "trace", "traceCombo1", "traceText3", "Check1", "traceaway",
          "tracecopy", "tracesave"}},
        {"whoiswords",
         {"whoisLabel2", "whoisLabel6", "whoisCombo1", "whoiscombo2", "lookupwhois", "whois1",
          "whoisuk", "whoisus", "whoisserver", "countrydropdown", "whoisresult", "whoiscopy",
          "whoissave"}},
        {"iptranswords", {"Label8", "Label3", "iptodom", "domtoip", "ipad", "domainname"}},
        {"Label4",
         {"List1", "settingsdelsel", "settingsdelall", "settingsremember", "settingsback",
          "settingsback2", "settingsexplain", "settingscheck1", "settingscheck2", "settingscheck3",
          "settingsminititle", "settingsrem"}},
    };
    for (const auto& page : pages) {
        click(w(page.first));
        for (const auto& [icon, controls] : pages) {
            for (const char* c : controls) {
                EXPECT_EQ(shown(c), icon == page.first) << page.first << " / " << c;
            }
        }
    }
}

TEST_F(Pages, SettingsAndIpTranslationPagesSetTheirHeadingsAndTexts) {
    start();
    click(w("Image7"));
    EXPECT_FALSE(shown("intro"));
    expectTexts({{"nme", "Settings"},
                 {"return1", "Progress"},
                 {"settingsexplain",
                  "This setting ensures addresses and settings used during a Norvik session are "
                  "saved for future sessions."}});

    click(w("iptransicon"));
    EXPECT_TRUE(shown("intro"));
    expectTexts({{"nme", "IP Translation"},
                 {"return1", "IP Translation"},
                 {"intro",
                  "Here you can convert IP addresses to Domain Names and vice versa.\r\n\r\nDid "
                  "you know..you can translate a domain name to an IP address using the ping "
                  "function. Just enter the domain name and click in the IP address box!"},
                 {"Label8", "IP Address (eg: 192.0.2.1)"},
                 {"Label3", "Domain Name (eg: www.example.com)"},
                 {"iptodom", "IP to Domain Name"},
                 {"domtoip", "Domain Name to IP"}});
}

TEST_F(Pages, PingPageListsAndTheirResetOnReshowing) {
    putAll("IPs", {{"1", "alpha.test"}, {"3", "127.0.0.1"}});
    put("", "nopings", "20");
    start();
    EXPECT_EQ(items("Combo2"), (QStringList{"1", "2", "3", "4", "5", "10", "20", "50"}));
    EXPECT_EQ(items("Combo3"), (QStringList{"1", "16", "32"}));
    EXPECT_EQ(text("Combo2"), "20");
    EXPECT_EQ(items("Combo1"), (QStringList{"alpha.test", "127.0.0.1"}));

    fill("typed.test", "7", "1");
    click(w("pingicon"));
    expectTexts({{"Combo1", "alpha.test"},
                 {"Combo2", "20"},
                 {"Combo3", "32"},
                 {"return1", "Welcome to Norvik!"}});
    EXPECT_EQ(form->pingPage().payload().size(), 32);
}

// (The hint, the hidden destination and Enter: the TraceRoute page's own
// tests.)
TEST_F(Pages, TracePageFillsFromTheSessionList) {
    putAll("IPs", {{"1", "alpha.test"}, {"2", "beta.test"}, {"4", "delta.test"}});
    start();
    w<QComboBox>("traceCombo1")->setEditText("typed before");
    click(w("tracerouteicon"));
    expectTexts({{"nme", "TraceRoute"}, {"traceCombo1", "alpha.test"}, {"traceText3", "32"}});
    EXPECT_EQ(items("traceCombo1"), (QStringList{"alpha.test", "beta.test", "delta.test"}));

    // With no session addresses the box ends up empty, typed text and all.
    click(w("Image7"));
    answerAndClick(platform::Answer::Yes, "settingsdelall");
    w<QComboBox>("traceCombo1")->setEditText("typed again");
    click(w("traceroutewords"));
    EXPECT_TRUE(items("traceCombo1").isEmpty());
    EXPECT_EQ(text("traceCombo1"), "");
}

TEST_F(Pages, WhoisPageWithoutDirectoryOffersAllAndTheDefaultServer) {
    putAll("IPs", {{"1", "WWW.Example.test"}, {"3", "wwwexample.test"}, {"4", "www."}});
    start();
    click(w("whoisicon"));
    EXPECT_TRUE(shown("traceLabel4"));
    expectTexts({{"nme", "Whois Lookup"},
                 {"whoisLabel6", "Note: Do NOT include \"www\" of domain."},
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

TEST_F(Pages, WhoisDirectoryWalkAndCountryPicks) {
    putAll("Servers\\GB",
           {{"Total", " 2"}, {"1", "whois.gb-one.test"}, {"2", "whois.gb-two.test"}});
    putAll("Servers\\US", {{"Total", " 1"}, {"1", "whois.us-one.test"}});
    putAll("Servers\\XX", {{"Total", " 2"}, {"1", "whois.xx.test"}});
    put("Servers\\ZZ", "Total", " 0");
    start();
    click(w("whoisicon"));
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

class IpTranslation : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        start();
        click(w("iptransicon"));
    }
    QLineEdit* ipad() { return w<QLineEdit>("ipad"); }
    QLineEdit* name() { return w<QLineEdit>("domainname"); }
};

TEST_F(IpTranslation, NameToAddressAndBackByClickOrEnter) {
    resolver.names["host.test"] = {127, 0, 0, 7};
    resolver.hosts[{127, 0, 0, 7}] = "host.test";
    resolver.names[""] = {127, 0, 0, 9};  // an empty name gives no address regardless
    for (const auto& [typed, address] : Texts{{"nowhere.test", ""},
                                              {"", ""},
                                              {"127.0.0.3", "127.0.0.3"},
                                              {"host.test", "127.0.0.7"}}) {
        ipad()->setText("127.0.0.1");
        name()->setText(typed);
        click(w("domtoip"));
        EXPECT_EQ(ipad()->text(), address) << '"' << typed << '"';
    }
    // Enter runs the lookup of the box typed in.
    name()->setText("127.0.0.3");
    EXPECT_EQ(form->defaultButton(), w<QPushButton>("domtoip"));
    key(name(), Qt::Key_Return);
    EXPECT_EQ(ipad()->text(), "127.0.0.3");
    ipad()->setText("127.0.0.7");
    EXPECT_EQ(form->defaultButton(), w<QPushButton>("iptodom"));
    key(ipad(), Qt::Key_Enter);
    EXPECT_EQ(name()->text(), "host.test");
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(w<QPushButton>("iptodom")->isEnabled());
    EXPECT_TRUE(w<QPushButton>("domtoip")->isEnabled());
}

// The button drawn as the default is the one Enter presses: that of the box
// with the cursor, also once a lookup wrote into the other box; a focused
// button does not become the default.
TEST_F(IpTranslation, TheFocusedBoxsButtonIsDrawnDefaultAndEnterPressesIt) {
    resolver.hosts[{127, 0, 0, 3}] = "three.test";
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    const auto defaults = [&] {
        QStringList out;
        for (auto* b : form->findChildren<QPushButton*>())
            if (b->isDefault()) out << b->objectName();
        return out;
    };
    name()->setText("127.0.0.3");
    struct Row {
        QWidget* box;
        const char* button;
        QLineEdit* answer;
        const char* expected;
    };
    for (const Row& r : {Row{name(), "domtoip", ipad(), "127.0.0.3"},
                         Row{ipad(), "iptodom", name(), "three.test"}}) {
        r.box->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(defaults(), QStringList{r.button});
        key(r.box, Qt::Key_Return);
        EXPECT_EQ(r.answer->text(), QString(r.expected));
        EXPECT_EQ(defaults(), QStringList{r.button});
        w("domtoip")->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(defaults(), QStringList{r.button});
    }
    // So on the TraceRoute page: the page's box gives the focus to its button.
    click(w("tracerouteicon"));
    w("traceText3")->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(defaults(), QStringList{"traceaway"});
    w<QComboBox>("traceCombo1")->setEditText("127.0.0.1");
    key(w("traceText3"), Qt::Key_Return);
    EXPECT_EQ(echo.requests.size(), 1u);
}

// (Texts that are no address at all: the resolver's own test.)
TEST_F(IpTranslation, AddressWithoutANameSaysSoAndClearsTheName) {
    ipad()->setText("127.0.0.8");
    name()->setText("stale.test");
    click(w("iptodom"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    expectBox(0, "No Such IP Address Exists.", "Norvik - No Such IP", platform::Buttons::Ok,
              platform::Icon::Critical);
    EXPECT_EQ(name()->text(), "");
}

using Look = ShellTest;

TEST_F(Look, EveryIconIsAValidDrawing) {
    for (const char* name : {"norvik", "ping", "traceroute", "whois", "iptrans", "settings",
                             "about", "help", "quit", "inprogress", "tick", "cross"}) {
        // Drawn at twice the size, it covers part of its square (a drawing
        // that does not load paints nothing).
        const QImage img = shell::NamedIcon(name).pixmap(96, 96).toImage();
        ASSERT_EQ(img.size(), QSize(96, 96)) << name;
        int inked = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) inked += qAlpha(img.pixel(x, y)) > 0;
        EXPECT_GT(inked, 96 * 96 / 40) << name;
    }
}

TEST_F(Look, TabGoesThroughThePingInputsAndFromResultsToTheirCopyAndSave) {
    start();
    const struct {
        shell::Form1::PageId show;
        const char* from;
        QStringList next;
    } cases[] = {
        {shell::Form1::PageId::Ping,
         "Combo1",
         {"Text5", "Combo2", "Combo3", "carryoutping", "Label11"}},
        {shell::Form1::PageId::Trace, "trace", {"tracecopy", "tracesave"}},
        {shell::Form1::PageId::Whois, "whoisresult", {"whoiscopy", "whoissave"}},
    };
    for (const auto& c : cases) {
        form->showPage(c.show);
        QWidget* at = w(c.from);
        QStringList order;
        while (order.size() < c.next.size()) {
            at = at->nextInFocusChain();
            while (!at->isVisibleTo(form.get()) || at->focusPolicy() == Qt::NoFocus ||
                   at->focusProxy() != nullptr)
                at = at->nextInFocusChain();
            order << at->objectName();
        }
        EXPECT_EQ(order, c.next) << c.from;
    }
}

}  // namespace
}  // namespace norvik::test
