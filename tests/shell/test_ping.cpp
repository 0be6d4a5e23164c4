// The Ping page: the size box, input checks, runs through an echo double
// with their reports, the address history and the report window. (A real
// run on loopback: PingCli.PingsLoopbackAndWritesWhatTheWindowWrites. The
// event loop serving during waits is checked by the closes that come from
// a timer while an echo waits.)

#include <QProgressBar>
#include <QTimer>

#include "ShellFixture.h"
#include "platform/LinuxEchoService.h"
#include "platform/qt/EventLoopWaiter.h"
#include "shell/PingPage.h"
#include "shell/RttPlot.h"
#include "shell/Widgets.h"

namespace norvik::test {
namespace {

using platform::Answer;

class PingPage : public ShellTest {
  protected:
    shell::Form2& report() { return form->form2(); }
    QColor statusColour() { return w<QLabel>("status")->palette().color(QPalette::WindowText); }
    QString picture() { return w<shell::IconView>("Picture1")->iconName(); }
};

TEST_F(PingPage, PayloadFollowsTheSizeBoxTypedOrPicked) {
    start();
    // (What each size gives: the payload's own test.)
    auto* size = w<QComboBox>("Combo3");
    size->setEditText("8");
    EXPECT_EQ(form->pingPage().payload(), "NorvikNo");
    size->setCurrentIndex(1);
    emit size->activated(1);
    EXPECT_EQ(form->pingPage().payload(), "NorvikNorvikNorv");
}

// (A run with a time-out and its report: Results.ReportWindowShowsTheRunsFiguresAndKeepsThem.)
TEST_F(PingPage, TheCountDecidesThePassesTheProgressAndWhetherTheReportShows) {
    struct Case {
        const char* count;
        std::vector<QString> during;  // done|pc|todo|bar|status as each echo goes out
        const char* status;
        const char* picture;
        const char* timeouts;
        bool reportShown;
    };
    const Case cases[] = {
        {"0", {}, "Failed", "cross", " 0", true},
        {"-2", {}, "Failed", "cross", " 0", true},
        {"2.5", {"0|0%|2.5|0|Pinging...", "1| 40%|2.5|40|Failed"}, "Failed", "cross", " 2", true},
        {"1", {"0|0%|1|0|Pinging..."}, "Successful", "tick", " 0", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        prepare("127.0.0.1", c.count);
        if (!c.reportShown) echo.replyAfter(3);  // the one pass of "1" is answered
        std::vector<QString> during;
        echo.onSend = [&](const platform::EchoRequest&, const platform::Waiter&) {
            const int bar = w<QProgressBar>("ProgressBar1")->value();
            during.push_back(QStringList{text("done"), text("pc"), text("todo"),
                                         QString::number(bar), text("status")}
                                 .join('|'));
            EXPECT_TRUE(shown("ProgressBar1"));
            EXPECT_EQ(text("return1"), "Progress");
        };
        pingNow();
        EXPECT_EQ(during, c.during);
        EXPECT_EQ(text("status"), c.status);
        EXPECT_EQ(picture(), c.picture);
        EXPECT_EQ(report().timeoutsText(), c.timeouts);
        EXPECT_EQ(report().isVisible(), c.reportShown);
        if (c.during.empty()) {
            EXPECT_EQ(report().reportText(),
                      "Ping Report for 127.0.0.1 []\r\n\r\n\r\n\r\nMinimum Ping:  0ms\r\nMaximum "
                      "Ping:  0ms\r\nAverage Ping: 0ms");
            EXPECT_EQ(report().averageText(), "0ms");
        }
        report().hide();
    }
    // With one pass the report is filled but only View Report shows it.
    EXPECT_NE(report().reportText().indexOf("3 ms"), -1);
    click(w("Label11"));
    EXPECT_TRUE(report().isVisible());
}

// In a run of more than one ping the plot and the line follow the replies;
// until stopped, the counters count up and the bar beats.
TEST_F(PingPage, LivePlotAndLineAndPingingUntilStopped) {
    prepare("127.0.0.1", "3");
    echo.replyAfter(10);
    echo.failWith(platform::status::kTimedOut);
    echo.replyAfter(15);
    std::vector<QString> during;
    echo.onSend = [&](const platform::EchoRequest&, const platform::Waiter&) {
        during.push_back(QString::number(w<shell::RttPlot>("pingplot")->count()) + "|" +
                         (shown("pinglive") ? text("pinglive") : "hidden"));
    };
    pingNow();
    EXPECT_EQ(during, (std::vector<QString>{"0|", "1|Loss 0.0%  Avg 10.0 ms  Jitter 0.0 ms",
                                            "2|Loss 50.0%  Avg 10.0 ms  Jitter 0.0 ms"}));
    EXPECT_EQ(text("pinglive"), "Loss 33.3%  Avg 12.5 ms  Jitter 5.0 ms");
    EXPECT_FALSE(shown("pingplot"));

    click(w("pinguntilstop"));
    EXPECT_FALSE(w("Combo2")->isEnabled());
    echo.replyAfter(10);
    echo.replyAfter(12);
    echo.requests.clear();
    during.clear();
    echo.onSend = [&](const platform::EchoRequest&, const platform::Waiter&) {
        during.push_back(text("done") + "|" + text("todo") + "|" +
                         QString::number(w<QProgressBar>("ProgressBar1")->value()) + "|" +
                         text("pinglive"));
        // Stopped in the pause after the second ping.
        if (echo.requests.size() == 2)
            QTimer::singleShot(0, form.get(), [this] { click(w("pingstop")); });
    };
    pingNow();
    EXPECT_EQ(echo.requests.size(), 2u);
    EXPECT_EQ(during,
              (std::vector<QString>{"0||0|", "1||10|Loss 0.0%  Avg 10.0 ms  Jitter 0.0 ms"}));
    EXPECT_EQ(text("pinglive"), "Loss 0.0%  Avg 11.0 ms  Jitter 2.0 ms");
    EXPECT_TRUE(report().isVisible());
    EXPECT_TRUE(report().reportText().contains("\r\n10 ms\r\n12 ms\r\n"));
}

// A missing address or size stops before any echo with its message; a
// count that is no number asks whether to go on: No ends the program with
// nothing saved, Yes goes on without a pass and keeps the address.
TEST_F(PingPage, InputChecksStopBeforeAnyEcho) {
    put("IPs", "1", "kept.test");
    const std::string mismatch =
        "An Error Occurred (Error 13)\r\n\r\nDescription:\r\nType mismatch\r\n\r\n"
        "Do you wish to continue?\r\n";
    const struct {
        const char *address, *count, *size;
        Answer answer;  // Ok: no question is asked
        std::string message;
    } cases[] = {{"", "3", "32", Answer::Ok, "Where exactly did you want to ping?!"},
                 {"127.0.0.1", "4", "0", Answer::Ok,
                  "Enter some data to send first! Just the number 1 will do."},
                 {"alpha.test", "abc", "32", Answer::No, mismatch},
                 {"alpha.test", "abc", "32", Answer::Yes, mismatch}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message + " " + (c.answer == Answer::No ? "No" : ""));
        boxes.shown.clear();
        endCalls = 0;
        prepare(c.address, c.count, c.size);
        answerAndClick(c.answer, "carryoutping");
        Slots session{{"1", "kept.test"}};
        if (c.answer == Answer::Ok) {
            ASSERT_EQ(boxes.shown.size(), 1u);
            expectBox(0, c.message, "Norvik", platform::Buttons::Ok, platform::Icon::Critical);
            // The panel still switches to the reply fields; the status area
            // stays as it was.
            EXPECT_EQ(text("return1"), "Returned Data");
            EXPECT_FALSE(shown("status"));
            EXPECT_TRUE(w("carryoutping")->isEnabled());
        } else {
            expectErrorBox(0, c.message);
            EXPECT_EQ(boxes.shown.size(), c.answer == Answer::Yes ? 1u : 2u);
            if (c.answer == Answer::No) expectClosingBox(1);
            if (c.answer == Answer::Yes) session["2"] = "alpha.test";
        }
        expectEnded(c.answer == Answer::No);
        EXPECT_TRUE(echo.requests.empty());
        EXPECT_EQ(setting("nopings"), c.count);
        EXPECT_EQ(storedSlots("IPs"), (Slots{{"1", "kept.test"}}));
        EXPECT_EQ(storedSlots("SessionIPs"), session);
    }
    EXPECT_EQ(text("status"), "Failed");
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
    resolver.names[""] = {127, 0, 0, 9};  // an empty address previews nothing regardless
    start();
    for (const auto& [typed, preview] : Texts{{"router.test", "127.0.0.5"},
                                              {"nowhere.test", ""},
                                              {"", ""},
                                              {"2001:db8::1", "2001:db8::1"},
                                              {"2001:db8::1::2", ""}}) {
        w<QComboBox>("Combo1")->setEditText(typed);
        click(w("Text5"));
        EXPECT_EQ(text("Text5"), preview) << '"' << typed << '"';
    }
    EXPECT_TRUE(echo.requests.empty());
}

// A real ICMPv6 echo: the address used stands in the address field and, in
// its text, in the reply's address field.
TEST_F(PingPage, PingsIpv6LoopbackAndShowsTheAddressUsed) {
    platform::LinuxEchoService real;
    echoInUse = &real;
    prepare("[::1]", "1");
    pingNow();
    expectTexts({{"Text5", "::1"}, {"Text4_0", "0   [ ip success ]"}, {"Text4_1", "::1"}});
    EXPECT_EQ(storedSlots("SessionIPs"), (Slots{{"1", "[::1]"}}));
}

TEST_F(PingPage, HistoryAfterRemoveSelectedLeavesNoStaleSlot) {
    putAll("IPs", {{"1", "alpha.test"}, {"2", "beta.test"}, {"3", "gamma.test"}});
    start();
    click(w("Image7"));
    w<QListWidget>("List1")->item(0)->setSelected(true);
    answerAndClick(Answer::Yes, "settingsdelsel");
    click(w("pingicon"));
    ASSERT_EQ(items("Combo1"), (QStringList{"beta.test", "gamma.test"}));
    w<QComboBox>("Combo2")->setEditText("1");
    w<QComboBox>("Combo1")->setEditText("beta.test");
    echo.replyAfter(2);
    pingNow();
    EXPECT_EQ(storedSlots("SessionIPs"), (Slots{{"1", "beta.test"}, {"2", "gamma.test"}}));
    click(w("pingicon"));
    EXPECT_EQ(items("Combo1"), (QStringList{"beta.test", "gamma.test"}));
}

TEST_F(PingPage, DisplaySettingsAreReadAtStartAndAgainAtTheEndOfASuccessfulRun) {
    putAll("", {{"Display Address Returned", "0"},
                {"Display Packet Size Returned", "0abc"},
                {"Display Data Pointer", "1"}});
    prepare("127.0.0.1", "1");
    EXPECT_EQ(displayChecks(), "001");
    // The load writes back only what it changes.
    EXPECT_EQ(setting("Display Packet Size Returned"), "0abc");
    putAll("", {{"Display Address Returned", "1"}, {"Display Packet Size Returned", "0"}});
    echo.replyAfter(4);
    pingNow();
    expectShown({"Text4_1", "return7", "Text4_5", "return5"}, true);
    expectShown({"Text4_3", "return4"}, false);
    EXPECT_EQ(displayChecks(), "101");
    // A pass that succeeded: blue, "Successful", the tick, and the reply.
    EXPECT_EQ(statusColour(), QColor(0x00, 0x00, 0x99));
    EXPECT_EQ(picture(), "tick");
    expectTexts({{"status", "Successful"},
                 {"Text4_1", "16777343"},  // 127.0.0.1 as a little-endian number
                 {"return2", "Returned Status"},
                 {"return3", "Ping Time"}});
}

TEST_F(PingPage, ClosingDuringARunEndsItWhenTheEchoInFlightEnds) {
    waiter = platform::eventLoopWaiter;
    put("IPs", "1", "kept.test");
    prepare("127.0.0.1", "5");
    SilentSocket silent;
    echo.onSend = [&](const platform::EchoRequest& r, const platform::Waiter& wait) {
        // The close request comes in while the echo waits.
        QTimer::singleShot(20, form.get(), [this] { form->close(); });
        wait(silent.fd[0], r.timeoutMs);
    };
    pingNow();
    EXPECT_EQ(echo.requests.size(), 1u);
    expectEnded(true);
    EXPECT_FALSE(form->pingPage().running());
    // The run wrote nothing after the close.
    EXPECT_EQ(storedSlots("SessionIPs"), (Slots{{"1", "kept.test"}}));
    EXPECT_FALSE(form->hasForm2() && form->form2().isVisible());
}

using Report = ShellTest;

TEST_F(Report, ViewReportBeforeAnyRunShowsTheDesignTextsAndEscapeOrEndingHidesIt) {
    start();
    click(w("Label11"));
    shell::Form2& r = form->form2();
    ASSERT_TRUE(r.isVisible());
    EXPECT_EQ(r.windowTitle(), "Norvik Report");
    EXPECT_EQ(r.reportText(), "");
    EXPECT_EQ(r.averageText(), "0ms");
    EXPECT_EQ(r.timeoutsText(), "0");
    auto* reportText = r.findChild<QPlainTextEdit*>("Text1");
    EXPECT_TRUE(reportText->isReadOnly());
    expectTexts({{"Label1", "Ping Report"},
                 {"Label2", "Average Ping:"},
                 {"Label3", "Time Outs:"},
                 {"Command1", "Close"}},
                &r);
    // Escape closes it; ending the program takes it along.
    key(reportText, Qt::Key_Escape);
    EXPECT_FALSE(r.isVisible());
    click(w("Label11"));
    ASSERT_TRUE(r.isVisible());
    form->close();
    EXPECT_FALSE(r.isVisible());
}

}  // namespace
}  // namespace norvik::test
