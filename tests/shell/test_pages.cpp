// Page switching, the lists each page fills, the IP Translation page on its
// own, and the icons and keyboard order of the window.

#include <QImage>
#include <QTest>
#include <QToolButton>

#include "ShellFixture.h"
#include "shell/DefaultButton.h"
#include "shell/IpTranslationPage.h"
#include "shell/PingPage.h"
#include "shell/Widgets.h"

namespace norvik::test {
namespace {

using Pages = ShellTest;

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
          "settingsminititle", "settingsrem", "settingsipv6"}},
    };
    for (const auto& page : pages) click(w(page.first));  // each page built
    for (const auto& page : pages) {
        click(w(page.first));
        for (const auto& [icon, controls] : pages) {
            for (const char* c : controls) {
                EXPECT_EQ(shown(c), icon == page.first) << page.first << " / " << c;
            }
        }
        // The status line under the trace and the whois answer.
        EXPECT_EQ(shown("traceLabel4"), page.first == std::string("traceroutewords") ||
                                            page.first == std::string("whoiswords"));
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
    click(w("tracerouteicon"));
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

// The IP Translation page on its own.
class IpTranslation : public PageTest {
  protected:
    QPushButton* button(const char* name) { return w<QPushButton>(name); }
    QStringList drawnDefault() {
        QStringList out;
        for (auto* b : window.findChildren<QPushButton*>())
            if (b->isDefault()) out << b->objectName();
        return out;
    }

    net::HostToIP hosts{resolver, boxes};
    shell::IpTranslationPage* ipPage = host<shell::IpTranslationPage>(
        hosts, shell::Headings{heading, intro}, [] { return false; });
    QLineEdit* ipad = w<QLineEdit>("ipad");
    QLineEdit* name = w<QLineEdit>("domainname");
};

TEST_F(IpTranslation, NameToAddressAndBackByClickOrEnter) {
    resolver.names["host.test"] = {127, 0, 0, 7};
    resolver.hosts[{127, 0, 0, 7}] = "host.test";
    resolver.names[""] = {127, 0, 0, 9};  // an empty name gives no address regardless
    for (const auto& [typed, address] : Texts{{"nowhere.test", ""},
                                              {"", ""},
                                              {"127.0.0.3", "127.0.0.3"},
                                              {"host.test", "127.0.0.7"},
                                              {"[::1]", "::1"},
                                              {"fe80::1%lo", "fe80::1%lo"},
                                              {"2001:db8::1::2", ""},
                                              {"[::1", ""},
                                              {"fe80::1%nosuchif9", ""}}) {
        ipad->setText("127.0.0.1");
        name->setText(typed);
        click(button("domtoip"));
        EXPECT_EQ(ipad->text(), address) << '"' << typed << '"';
    }
    // Enter runs the lookup of the box typed in.
    name->setText("127.0.0.3");
    EXPECT_EQ(defaults.button(), button("domtoip"));
    key(name, Qt::Key_Return);
    EXPECT_EQ(ipad->text(), "127.0.0.3");
    ipad->setText("127.0.0.7");
    EXPECT_EQ(defaults.button(), button("iptodom"));
    key(ipad, Qt::Key_Enter);
    EXPECT_EQ(name->text(), "host.test");
    resolver.names6["six.test"] = "::1";
    ipad->setText("::1");
    click(button("iptodom"));
    EXPECT_EQ(name->text(), "six.test");
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(button("iptodom")->isEnabled() && button("domtoip")->isEnabled());
    // (Texts that are no address at all: the resolver's own test.)
    ipad->setText("127.0.0.8");
    click(button("iptodom"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    const ScriptedMessageBox::Shown& b = boxes.shown[0];
    EXPECT_EQ(std::tie(b.text, b.caption, b.buttons, b.icon),
              std::make_tuple("No Such IP Address Exists.", "Norvik - No Such IP",
                              platform::Buttons::Ok, platform::Icon::Critical));
    EXPECT_EQ(name->text(), "");
}

// The button drawn as the default is the one Enter presses: that of the box
// with the cursor, also once a lookup wrote into the other box; a focused
// button does not become the default.
TEST_F(IpTranslation, TheFocusedBoxsButtonIsDrawnDefaultAndEnterPressesIt) {
    resolver.hosts[{127, 0, 0, 3}] = "three.test";
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    name->setText("127.0.0.3");
    for (const auto& [box, pressed, answer, expected] :
         {std::tuple<QLineEdit*, const char*, QLineEdit*, const char*>{name, "domtoip", ipad,
                                                                       "127.0.0.3"},
          {ipad, "iptodom", name, "three.test"}}) {
        box->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(drawnDefault(), QStringList{pressed});
        key(box, Qt::Key_Return);
        EXPECT_EQ(answer->text(), QString(expected));
        EXPECT_EQ(drawnDefault(), QStringList{pressed});
        button("domtoip")->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(drawnDefault(), QStringList{pressed});
    }
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
         {"Text5", "Combo2", "pinguntilstop", "Combo3", "carryoutping", "Label11"}},
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
