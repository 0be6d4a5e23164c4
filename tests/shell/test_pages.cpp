// Page switching, the fixed controls and the lists each page fills.

#include <QTextOption>
#include <QToolButton>

#include "ShellFixture.h"

namespace norvik::test {
namespace {

using Pages = ShellTest;

const char* const kPingControls[] = {"intro",  "carryoutping", "Label1",  "Label2",
                                     "Label9", "Label11",      "Label12", "Combo1",
                                     "Combo2", "Combo3",       "Text5"};
const char* const kIpControls[] = {"Label8", "Label3", "iptodom", "domtoip", "ipad", "domainname"};
const char* const kSettingsControls[] = {
    "List1",          "settingsdelsel", "settingsdelall",    "settingsremember",
    "settingsback",   "settingsback2",  "settingsexplain",   "settingscheck1",
    "settingscheck2", "settingscheck3", "settingsminititle", "settingsrem"};
const char* const kTraceControls[] = {"trace1",      "trace3",     "trace",  "traceLabel4",
                                      "traceCombo1", "traceText3", "Check1", "traceaway"};
const char* const kWhoisControls[] = {
    "whoisLabel2", "whoisLabel6", "whoisCombo1", "whoiscombo2",     "lookupwhois", "whois1",
    "whoisuk",     "whoisus",     "whoisserver", "countrydropdown", "whoisresult"};

TEST_F(Pages, FixedControlsCarryTheirCaptionsAndTooltips) {
    start();
    const std::pair<const char*, const char*> tips[] = {{"pingicon", "Ping"},
                                                        {"tracerouteicon", "TraceRoute"},
                                                        {"whoisicon", "Whois Lookup"},
                                                        {"iptransicon", "IP Translation"},
                                                        {"Image7", "Settings"},
                                                        {"Image5", "About Norvik"},
                                                        {"Image2", "Help"},
                                                        {"quiticon", ""}};
    for (const auto& [name, tip] : tips) EXPECT_EQ(w(name)->toolTip(), tip) << name;
    const std::pair<const char*, const char*> words[] = {{"pingwords", "Ping"},
                                                         {"traceroutewords", "TraceRoute"},
                                                         {"whoiswords", "Whois Lookup"},
                                                         {"iptranswords", "IP  Translation"},
                                                         {"Label4", "Settings"},
                                                         {"Label5", "About  "},
                                                         {"Label7", "Help"},
                                                         {"quitwords", "Quit"}};
    for (const auto& [name, caption] : words) {
        EXPECT_EQ(text(name), caption) << name;
        EXPECT_EQ(w<QLabel>(name)->textFormat(), Qt::PlainText) << name;
    }
    for (QLabel* l : form->findChildren<QLabel*>()) {
        EXPECT_EQ(l->textFormat(), Qt::PlainText) << l->objectName().toStdString();
    }
    for (const char* icon : {"pingicon", "tracerouteicon", "whoisicon", "iptransicon", "Image7",
                             "Image5", "Image2", "quiticon"}) {
        EXPECT_FALSE(w<QToolButton>(icon)->icon().isNull()) << icon;
    }
    // About and Help arrive later; their clicks must do no harm.
    for (const char* later : {"Image5", "Label5", "Image2", "Label7"}) click(w(later));
    EXPECT_FALSE(form->ended());
    EXPECT_EQ(text("nme"), "Ping");
}

TEST_F(Pages, ExactlyOnePagesControlsAreVisibleAtATime) {
    start();
    struct Page {
        const char* icon;
        std::vector<const char*> own;
    };
    const std::vector<Page> pages = {
        {"pingwords", {std::begin(kPingControls), std::end(kPingControls)}},
        {"traceroutewords", {std::begin(kTraceControls), std::end(kTraceControls)}},
        {"whoiswords", {std::begin(kWhoisControls), std::end(kWhoisControls)}},
        {"iptranswords", {std::begin(kIpControls), std::end(kIpControls)}},
        {"Label4", {std::begin(kSettingsControls), std::end(kSettingsControls)}},
    };
    for (const Page& page : pages) {
        click(w(page.icon));
        for (const Page& other : pages) {
            for (const char* c : other.own) {
                if (std::string(c) == "intro" || std::string(c) == "traceLabel4") continue;
                EXPECT_EQ(shown(c), &other == &page) << page.icon << " / " << c;
            }
        }
    }
}

TEST_F(Pages, SettingsPageLeavesTheProgressHeadingAndHidesIntro) {
    start();
    click(w("Image7"));
    EXPECT_EQ(text("nme"), "Settings");
    EXPECT_EQ(text("return1"), "Progress");
    EXPECT_FALSE(shown("intro"));
    EXPECT_EQ(text("settingsexplain"),
              "This setting ensures addresses and settings used during a Norvik session are "
              "saved for future sessions.");
}

TEST_F(Pages, IpTranslationPageTexts) {
    start();
    click(w("iptransicon"));
    EXPECT_EQ(text("nme"), "IP Translation");
    EXPECT_EQ(text("return1"), "IP Translation");
    EXPECT_TRUE(shown("intro"));
    EXPECT_EQ(text("intro"),
              "Here you can convert IP addresses to Domain Names and vice versa.\r\n\r\nDid you "
              "know..you can translate a domain name to an IP address using the ping function. "
              "Just enter the domain name and click in the IP address box!");
    EXPECT_EQ(text("Label8"), "IP Address (eg: 192.0.2.1)");
    EXPECT_EQ(text("Label3"), "Domain Name (eg: www.example.com)");
    EXPECT_EQ(w<QPushButton>("iptodom")->text(), "IP to Domain Name");
    EXPECT_EQ(w<QPushButton>("domtoip")->text(), "Domain Name to IP");
}

TEST_F(Pages, PingPageListsAndTheirResetOnReshowing) {
    put("IPs", "1", "alpha.test");
    put("IPs", "3", "127.0.0.1");
    put("", "nopings", "20");
    start();
    EXPECT_EQ(items("Combo2"), (QStringList{"1", "2", "3", "4", "5", "10", "20", "50"}));
    EXPECT_EQ(items("Combo3"), (QStringList{"1", "16", "32"}));
    EXPECT_EQ(text("Combo2"), "20");
    EXPECT_EQ(items("Combo1"), (QStringList{"alpha.test", "127.0.0.1"}));

    w<QComboBox>("Combo1")->setEditText("typed.test");
    w<QComboBox>("Combo2")->setEditText("7");
    w<QComboBox>("Combo3")->setCurrentIndex(0);
    click(w("pingicon"));
    EXPECT_EQ(text("Combo1"), "alpha.test");
    EXPECT_EQ(text("Combo2"), "20");
    EXPECT_EQ(text("Combo3"), "32");
    EXPECT_EQ(form->payload().size(), 32);
    EXPECT_EQ(text("return1"), "Welcome to Norvik!");
}

TEST_F(Pages, StoredDisplaySettingsGovernTheReplyFields) {
    put("", "Display Address Returned", "0");
    put("", "Display Packet Size Returned", "0abc");
    put("", "Display Data Pointer", "1");
    start();
    EXPECT_FALSE(w<QCheckBox>("settingscheck1")->isChecked());
    EXPECT_FALSE(w<QCheckBox>("settingscheck2")->isChecked());
    EXPECT_TRUE(w<QCheckBox>("settingscheck3")->isChecked());
    // The load writes back what it changes, as a click would.
    EXPECT_EQ(setting("Display Data Pointer"), "1");
    EXPECT_EQ(setting("Display Packet Size Returned"), "0abc");
    EXPECT_FALSE(shown("Text4_1"));
    EXPECT_FALSE(shown("return7"));
}

TEST_F(Pages, TracePageShowsItsHintAndFillsFromTheSessionList) {
    put("IPs", "1", "alpha.test");
    put("IPs", "2", "beta.test");
    put("IPs", "4", "delta.test");
    start();
    w<QComboBox>("traceCombo1")->setEditText("typed before");
    click(w("tracerouteicon"));
    EXPECT_EQ(text("nme"), "TraceRoute");
    EXPECT_EQ(text("trace"),
              "Type the domain or IP you wish to trace a route to in the 'Address to trace to' "
              "box.\n\nClick TRACE ROUTE to perform trace on domain.\n\nTrace Route information "
              "will appear in this box.");
    EXPECT_EQ(items("traceCombo1"), (QStringList{"alpha.test", "beta.test", "delta.test"}));
    EXPECT_EQ(text("traceCombo1"), "alpha.test");
    EXPECT_EQ(text("traceText3"), "32");
    EXPECT_EQ(text("traceText1"), "");
    EXPECT_FALSE(shown("traceText1"));
    EXPECT_EQ(form->defaultButton(), w<QPushButton>("traceaway"));
    const auto tabs = w<QPlainTextEdit>("trace")->document()->defaultTextOption().tabs();
    ASSERT_EQ(tabs.size(), 4);
    EXPECT_LT(tabs[0].position, tabs[1].position);
    EXPECT_NEAR(tabs[3].position / tabs[0].position, 182.0 / 30.0, 1e-9);
    // The trace itself comes later; its button must do no harm.
    click(w("traceaway"));
    EXPECT_FALSE(form->ended());

    // With no session addresses the box ends up empty, typed text and all.
    boxes.answers = {platform::Answer::Yes};
    click(w("Image7"));
    click(w("settingsdelall"));
    w<QComboBox>("traceCombo1")->setEditText("typed again");
    click(w("traceroutewords"));
    EXPECT_TRUE(items("traceCombo1").isEmpty());
    EXPECT_EQ(text("traceCombo1"), "");
}

TEST_F(Pages, WhoisPageWithoutDirectoryOffersAllAndTheDefaultServer) {
    put("IPs", "1", "WWW.Example.test");
    put("IPs", "3", "wwwexample.test");
    put("IPs", "4", "www.");
    start();
    click(w("whoisicon"));
    EXPECT_EQ(text("nme"), "Whois Lookup");
    EXPECT_TRUE(shown("traceLabel4"));
    EXPECT_EQ(text("whoisLabel6"), "Note: Do NOT include \"www\" of domain.");
    EXPECT_EQ(text("whoisresult"),
              "Select the domain you wish to perform a lookup on and a Whois server for the "
              "relevant country.\n\nClick LOOKUP to perform Whois lookup on domain.\n\nDomain "
              "information will appear in this box.");
    EXPECT_EQ(items("countrydropdown"), (QStringList{"All"}));
    EXPECT_TRUE(items("whoiscombo2").isEmpty());
    EXPECT_EQ(text("whoiscombo2"), "whois.verisign-grs.com");
    EXPECT_EQ(items("whoisCombo1"), (QStringList{"Example.test", "wwwexample.test", ""}));
    EXPECT_EQ(text("whoisCombo1"), "Example.test");
    // The quick selections and the lookup arrive later; they do no harm.
    for (const char* later : {"whoisuk", "whoisus", "whoisserver", "lookupwhois"}) click(w(later));
    EXPECT_FALSE(form->ended());
}

TEST_F(Pages, WhoisDirectoryWalkAndCountryPicks) {
    put("Servers\\GB", "Total", " 2");
    put("Servers\\GB", "1", "whois.gb-one.test");
    put("Servers\\GB", "2", "whois.gb-two.test");
    put("Servers\\US", "Total", " 1");
    put("Servers\\US", "1", "whois.us-one.test");
    put("Servers\\ZZ", "Total", " 0");
    put("Servers\\XX", "Total", " 2");
    put("Servers\\XX", "1", "whois.xx.test");
    start();
    click(w("whoisicon"));
    EXPECT_EQ(items("countrydropdown"), (QStringList{"All", "GB", "US", "XX", "ZZ"}));
    const QStringList all{"whois.gb-one.test", "whois.gb-two.test", "whois.us-one.test",
                          "whois.xx.test", "Error"};
    EXPECT_EQ(items("whoiscombo2"), all);
    EXPECT_EQ(text("whoiscombo2"), "whois.verisign-grs.com");

    auto* country = w<QComboBox>("countrydropdown");
    country->setCurrentIndex(1);
    form->countrydropdown_Click();
    EXPECT_EQ(items("whoiscombo2"), (QStringList{"whois.gb-one.test", "whois.gb-two.test"}));
    EXPECT_EQ(text("whoiscombo2"), "");
    country->setCurrentIndex(4);
    form->countrydropdown_Click();
    EXPECT_TRUE(items("whoiscombo2").isEmpty());
    country->setCurrentIndex(0);
    form->countrydropdown_Click();
    EXPECT_EQ(items("whoiscombo2"), all);
}

}  // namespace
}  // namespace norvik::test
