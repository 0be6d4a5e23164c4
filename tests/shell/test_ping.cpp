// The Ping page: payload builder, input checks, runs through an echo
// double with their reports, the address history and a real run on
// loopback.

#include <sys/socket.h>
#include <unistd.h>

#include <QProgressBar>
#include <QTimer>

#include "ShellFixture.h"
#include "platform/LinuxEchoService.h"
#include "platform/SystemResolver.h"
#include "platform/qt/EventLoopWaiter.h"
#include "shell/Widgets.h"

namespace norvik::test {
namespace {

using platform::Answer;
using platform::Buttons;
using platform::Icon;

class PingPage : public ShellTest {
  protected:
    // The Ping page of a started window with an address, count and size.
    void prepare(const QString& address, const QString& count, const QString& size = "32") {
        start();
        w<QComboBox>("Combo1")->setEditText(address);
        w<QComboBox>("Combo2")->setEditText(count);
        w<QComboBox>("Combo3")->setEditText(size);
    }
    void pingNow() { click(w("carryoutping")); }
    shell::Form2& report() { return form->form2(); }
    QColor statusColour() { return w<QLabel>("status")->palette().color(QPalette::WindowText); }
    QString picture() { return w<shell::IconView>("Picture1")->iconName(); }
};

TEST_F(PingPage, PayloadBuilderFollowsTheSizeBox) {
    start();
    auto* size = w<QComboBox>("Combo3");
    const std::pair<const char*, const char*> cases[] = {
        {"8", "NorvikNo"}, {"1", "N"},    {"0", ""},      {"", ""},
        {"abc", ""},       {"2.5", "No"}, {" 3x", "Nor"}, {"-4", ""}};
    for (const auto& [typed, payload] : cases) {
        size->setEditText(typed);
        EXPECT_EQ(form->payload(), payload) << typed;
    }
    size->setEditText("70000");
    EXPECT_EQ(form->payload().size(), 65536);
    EXPECT_TRUE(form->payload().startsWith("NorvikNorvik"));
    // A pick from the list builds it as well.
    size->setCurrentIndex(1);
    emit size->activated(1);
    EXPECT_EQ(form->payload(), "NorvikNorvikNorv");
}

TEST_F(PingPage, ThreePingsWithATimeOutGiveTheWorkedReport) {
    resolver.names["router.test"] = {127, 0, 0, 2};
    echo.replyAfter(20);
    echo.replyAfter(31);
    echo.timeOut();
    prepare("router.test", "3");
    pingNow();
    ASSERT_EQ(echo.requests.size(), 3u);
    EXPECT_EQ(echo.requests[0].address, platform::inetAddr("127.0.0.2"));
    EXPECT_EQ(echo.requests[0].payload, "NorvikNorvikNorvikNorvikNorvikNo");
    EXPECT_EQ(echo.requests[0].timeoutMs, 500);
    EXPECT_EQ(report().text1(),
              "Ping Report for router.test [127.0.0.2]\r\n\r\n20 ms\r\n31 ms\r\nRequest Timed "
              "Out\r\n\r\n\r\nMinimum Ping:  20ms\r\nMaximum Ping:  31ms\r\nAverage Ping:  25ms");
    EXPECT_EQ(report().averageText(), " 25ms");
    EXPECT_EQ(report().timeoutsText(), " 1");
    EXPECT_TRUE(report().isVisible());
    EXPECT_EQ(report().findChild<QPlainTextEdit*>("Text1")->toPlainText(),
              "Ping Report for router.test [127.0.0.2]\n\n20 ms\n31 ms\nRequest Timed "
              "Out\n\n\nMinimum Ping:  20ms\nMaximum Ping:  31ms\nAverage Ping:  25ms");

    // The last pass failed: red, "Failed", the cross.
    EXPECT_EQ(text("status"), "Failed");
    EXPECT_EQ(statusColour(), QColor(0xEC, 0x00, 0x00));
    EXPECT_EQ(picture(), "cross");
    EXPECT_EQ(text("Text4_0"), "11010   [ ip req timed out ]");
    EXPECT_EQ(text("Text5"), "127.0.0.2");
    EXPECT_EQ(text("return1"), "Returned Data");
    EXPECT_TRUE(shown("Text4_0"));
    EXPECT_TRUE(shown("Text4_2"));
    EXPECT_TRUE(shown("Text4_3"));
    EXPECT_FALSE(shown("Text4_1"));
    EXPECT_FALSE(shown("Text4_5"));
    EXPECT_FALSE(shown("ProgressBar1"));
    EXPECT_FALSE(shown("todo"));
    EXPECT_TRUE(w<QPushButton>("carryoutping")->isEnabled());
    EXPECT_FALSE(form->inputBlocked());
    EXPECT_EQ(setting("nopings"), "3");
    EXPECT_EQ(storedSlots("SessionIPs"),
              (std::map<std::string, std::string>{{"1", "router.test"}}));
    EXPECT_EQ(items("Combo1"), (QStringList{"router.test"}));
}

TEST_F(PingPage, MinimumMaximumAndAverageOfAllSuccesses) {
    echo.replyAfter(5);
    echo.replyAfter(0);
    echo.replyAfter(7);
    prepare("127.0.0.1", "3");
    pingNow();
    EXPECT_EQ(report().text1(),
              "Ping Report for 127.0.0.1 [127.0.0.1]\r\n\r\n5 ms\r\n0 ms\r\n7 ms\r\n\r\n\r\n"
              "Minimum Ping:  0ms\r\nMaximum Ping:  7ms\r\nAverage Ping:  4ms");
    EXPECT_EQ(report().timeoutsText(), " 0");
    EXPECT_EQ(text("status"), "Successful");
    EXPECT_EQ(statusColour(), QColor(0x00, 0x00, 0x99));
    EXPECT_EQ(picture(), "tick");
    EXPECT_EQ(text("Text4_0"), "0   [ ip success ]");
    EXPECT_EQ(text("Text4_2"), "7 ms");
    EXPECT_EQ(text("Text4_3"), "6 bytes");
    EXPECT_EQ(text("Text4_1"), "33554559");  // 127.0.0.2 as a little-endian number
}

TEST_F(PingPage, CountsBelowOneRunNoPassAndEndFailed) {
    for (const char* count : {"0", "-2"}) {
        echo.requests.clear();
        prepare("127.0.0.1", count);
        pingNow();
        EXPECT_TRUE(echo.requests.empty()) << count;
        EXPECT_EQ(text("status"), "Failed") << count;
        EXPECT_EQ(picture(), "cross") << count;
        EXPECT_EQ(report().text1(),
                  "Ping Report for 127.0.0.1 []\r\n\r\n\r\n\r\nMinimum Ping:  0ms\r\nMaximum "
                  "Ping:  0ms\r\nAverage Ping: 0ms")
            << count;
        EXPECT_EQ(report().averageText(), "0ms");
        EXPECT_EQ(report().timeoutsText(), " 0");
        EXPECT_TRUE(report().isVisible());
        report().hide();
    }
}

TEST_F(PingPage, CountOfOneFillsTheReportWithoutShowingIt) {
    echo.replyAfter(3);
    prepare("127.0.0.1", "1");
    std::vector<QString> doneDuring;
    echo.during = [&](const platform::EchoRequest&, const platform::Waiter&) {
        doneDuring.push_back(text("done") + "|" + text("pc") + "|" + text("todo"));
    };
    pingNow();
    EXPECT_EQ(doneDuring, (std::vector<QString>{"0|0%|1"}));
    EXPECT_FALSE(report().isVisible());
    EXPECT_NE(report().text1().indexOf("3 ms"), -1);
    // View Report shows that run's report.
    click(w("Label11"));
    EXPECT_TRUE(report().isVisible());
}

TEST_F(PingPage, FractionalCountRunsTwoPassesAndShowsFortyPercent) {
    prepare("127.0.0.1", "2.5");
    std::vector<QString> during;
    std::vector<int> bar;
    echo.during = [&](const platform::EchoRequest&, const platform::Waiter&) {
        during.push_back(text("done") + "|" + text("pc"));
        bar.push_back(w<QProgressBar>("ProgressBar1")->value());
        EXPECT_TRUE(shown("ProgressBar1"));
        EXPECT_EQ(text("return1"), "Progress");
        EXPECT_EQ(text("status"), during.size() == 1 ? "Pinging..." : "Failed");
    };
    pingNow();
    EXPECT_EQ(during, (std::vector<QString>{"0|0%", "1| 40%"}));
    EXPECT_EQ(bar, (std::vector<int>{0, 40}));
    EXPECT_EQ(report().timeoutsText(), " 2");
}

TEST_F(PingPage, CountThatIsNoNumberAnsweredYesGoesOnWithoutAPass) {
    prepare("alpha.test", "abc");
    boxes.answers = {Answer::Yes};
    pingNow();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              "An Error Occurred (Error 13)\r\n\r\nDescription:\r\nType mismatch\r\n\r\nDo you "
              "wish to continue?\r\n");
    EXPECT_EQ(boxes.shown[0].caption, "Norvik - Error Occurred");
    EXPECT_EQ(boxes.shown[0].buttons, Buttons::YesNo);
    EXPECT_EQ(boxes.shown[0].icon, Icon::None);
    EXPECT_TRUE(echo.requests.empty());
    EXPECT_EQ(endCalls, 0);
    EXPECT_EQ(text("status"), "Failed");
    EXPECT_TRUE(w<QPushButton>("carryoutping")->isEnabled());
    EXPECT_EQ(storedSlots("SessionIPs"), (std::map<std::string, std::string>{{"1", "alpha.test"}}));
}

TEST_F(PingPage, CountThatIsNoNumberAnsweredNoEndsTheProgramUnsaved) {
    put("IPs", "1", "kept.test");
    prepare("alpha.test", "abc");
    boxes.answers = {Answer::No};
    pingNow();
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text,
              "Norvik is closing. If this error reoccurs try reinstalling or contact "
              "support@norvik.example");
    EXPECT_EQ(boxes.shown[1].icon, Icon::Critical);
    EXPECT_EQ(endCalls, 1);
    EXPECT_TRUE(form->ended());
    EXPECT_EQ(storedSlots("SessionIPs"), (std::map<std::string, std::string>{{"1", "kept.test"}}));
    EXPECT_EQ(storedSlots("IPs"), (std::map<std::string, std::string>{{"1", "kept.test"}}));
    EXPECT_EQ(setting("nopings"), "abc");
}

TEST_F(PingPage, InputChecksStopBeforeAnyEcho) {
    prepare("", "3");
    pingNow();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Where exactly did you want to ping?!");
    EXPECT_EQ(boxes.shown[0].caption, "Norvik");
    EXPECT_EQ(boxes.shown[0].buttons, Buttons::Ok);
    EXPECT_EQ(boxes.shown[0].icon, Icon::Critical);
    EXPECT_EQ(setting("nopings"), "3");

    w<QComboBox>("Combo1")->setEditText("127.0.0.1");
    w<QComboBox>("Combo2")->setEditText("4");
    w<QComboBox>("Combo3")->setEditText("0");
    pingNow();
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text, "Enter some data to send first! Just the number 1 will do.");
    EXPECT_EQ(boxes.shown[1].icon, Icon::Critical);
    EXPECT_TRUE(echo.requests.empty());
    EXPECT_EQ(setting("nopings"), "4");
    EXPECT_TRUE(storedSlots("SessionIPs").empty());
    // The panel still switches to the reply fields; the status area stays as
    // it was.
    EXPECT_EQ(text("return1"), "Returned Data");
    EXPECT_FALSE(shown("status"));
    EXPECT_TRUE(w<QPushButton>("carryoutping")->isEnabled());
}

TEST_F(PingPage, EnterInTheAddressBoxStartsARun) {
    prepare("127.0.0.1", "1");
    auto* combo = w<QComboBox>("Combo1");
    EXPECT_EQ(form->defaultButton(), w<QPushButton>("carryoutping"));
    key(combo, Qt::Key_Return);
    EXPECT_EQ(echo.requests.size(), 1u);
    key(combo->lineEdit(), Qt::Key_Enter);
    EXPECT_EQ(echo.requests.size(), 2u);
    // The typed address was not added to the list by the box itself.
    EXPECT_EQ(items("Combo1"), (QStringList{"127.0.0.1"}));
}

TEST_F(PingPage, AddressPreviewResolvesIntoTheAddressBox) {
    resolver.names["router.test"] = {127, 0, 0, 5};
    prepare("router.test", "1");
    click(w("Text5"));
    EXPECT_EQ(text("Text5"), "127.0.0.5");
    w<QComboBox>("Combo1")->setEditText("nowhere.test");
    click(w("Text5"));
    EXPECT_EQ(text("Text5"), "");
    resolver.names[""] = {127, 0, 0, 9};
    w<QComboBox>("Combo1")->setEditText("");
    click(w("Text5"));
    EXPECT_EQ(text("Text5"), "");
    EXPECT_TRUE(echo.requests.empty());
}

TEST_F(PingPage, HistoryAddsNewAddressesCaseSensitively) {
    put("IPs", "1", "example.test");
    echo.replyAfter(1);
    echo.replyAfter(1);
    prepare("Example.test", "1");
    pingNow();
    w<QComboBox>("Combo1")->setEditText("example.test");
    pingNow();
    EXPECT_EQ(storedSlots("SessionIPs"),
              (std::map<std::string, std::string>{{"1", "example.test"}, {"2", "Example.test"}}));
}

TEST_F(PingPage, HistoryAfterRemoveSelectedLeavesNoStaleSlot) {
    put("IPs", "1", "alpha.test");
    put("IPs", "2", "beta.test");
    put("IPs", "3", "gamma.test");
    start();
    click(w("Image7"));
    w<QListWidget>("List1")->item(0)->setSelected(true);
    boxes.answers = {Answer::Yes};
    click(w("settingsdelsel"));
    click(w("pingicon"));
    ASSERT_EQ(items("Combo1"), (QStringList{"beta.test", "gamma.test"}));
    w<QComboBox>("Combo2")->setEditText("1");
    w<QComboBox>("Combo1")->setEditText("beta.test");
    echo.replyAfter(2);
    pingNow();
    EXPECT_EQ(storedSlots("SessionIPs"),
              (std::map<std::string, std::string>{{"1", "beta.test"}, {"2", "gamma.test"}}));
    click(w("pingicon"));
    EXPECT_EQ(items("Combo1"), (QStringList{"beta.test", "gamma.test"}));
}

TEST_F(PingPage, DisplaySettingsAreReadAgainAtTheEndOfARun) {
    prepare("127.0.0.1", "1");
    put("", "Display Address Returned", "1");
    put("", "Display Packet Size Returned", "0");
    put("", "Display Data Pointer", "1");
    echo.replyAfter(4);
    pingNow();
    EXPECT_TRUE(shown("Text4_1"));
    EXPECT_TRUE(shown("return7"));
    EXPECT_FALSE(shown("Text4_3"));
    EXPECT_FALSE(shown("return4"));
    EXPECT_TRUE(shown("Text4_5"));
    EXPECT_TRUE(shown("return5"));
    EXPECT_TRUE(w<QCheckBox>("settingscheck1")->isChecked());
    EXPECT_FALSE(w<QCheckBox>("settingscheck2")->isChecked());
    EXPECT_TRUE(w<QCheckBox>("settingscheck3")->isChecked());
    EXPECT_EQ(text("return2"), "Returned Status");
    EXPECT_EQ(text("return3"), "Ping Time");
}

TEST_F(PingPage, InputIsRefusedWhileAnEchoWaits) {
    prepare("127.0.0.1", "2");
    int checked = 0;
    echo.during = [&](const platform::EchoRequest&, const platform::Waiter&) {
        EXPECT_TRUE(form->inputBlocked());
        EXPECT_FALSE(w<QPushButton>("carryoutping")->isEnabled());
        // Neither a page icon nor typing reaches the window.
        click(w("iptransicon"));
        key(w<QComboBox>("Combo1")->lineEdit(), Qt::Key_X, "x");
        EXPECT_EQ(text("nme"), "Ping");
        EXPECT_EQ(text("Combo1"), "127.0.0.1");
        // Nor does a second start through Enter.
        key(w("Combo1"), Qt::Key_Return);
        ++checked;
    };
    pingNow();
    EXPECT_EQ(checked, 2);
    EXPECT_EQ(echo.requests.size(), 2u);
    EXPECT_FALSE(form->inputBlocked());
    click(w("iptransicon"));
    EXPECT_EQ(text("nme"), "IP Translation");
}

TEST_F(PingPage, ClosingDuringARunEndsItWhenTheEchoInFlightEnds) {
    waiter = platform::eventLoopWaiter;
    put("IPs", "1", "kept.test");
    prepare("127.0.0.1", "5");
    int sockets[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
    echo.during = [&](const platform::EchoRequest& r, const platform::Waiter& wait) {
        // The close request comes in while the echo waits.
        QTimer::singleShot(20, form.get(), [this] { form->close(); });
        wait(sockets[0], r.timeoutMs);
    };
    pingNow();
    ::close(sockets[0]);
    ::close(sockets[1]);
    EXPECT_EQ(echo.requests.size(), 1u);
    EXPECT_EQ(endCalls, 1);
    EXPECT_TRUE(form->ended());
    EXPECT_FALSE(form->pingRunning());
    // The run wrote nothing after the close.
    EXPECT_EQ(storedSlots("SessionIPs"), (std::map<std::string, std::string>{{"1", "kept.test"}}));
    EXPECT_FALSE(form->hasForm2() && form->form2().isVisible());
}

TEST_F(PingPage, RealPingToLoopback) {
    platform::LinuxEchoService real;
    platform::SystemResolver system;
    echoInUse = &real;
    resolverInUse = &system;
    waiter = platform::eventLoopWaiter;
    prepare("127.0.0.1", "2");
    pingNow();
    if (!real.unavailableReason().empty()) {
        GTEST_SKIP() << "no ICMP socket: " << real.unavailableReason();
    }
    EXPECT_EQ(text("Text4_0"), "0   [ ip success ]");
    EXPECT_EQ(text("status"), "Successful");
    EXPECT_EQ(text("Text4_3"), "32 bytes");
    EXPECT_EQ(text("Text5"), "127.0.0.1");
    EXPECT_EQ(report().timeoutsText(), " 0");
    EXPECT_TRUE(report().text1().startsWith("Ping Report for 127.0.0.1 [127.0.0.1]\r\n\r\n"));
}

}  // namespace
}  // namespace norvik::test
