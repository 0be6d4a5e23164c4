// Start-up, /quiet, Quit and Close.

#include <signal.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <sstream>

#include "ShellFixture.h"
#include "shell/QuietPresence.h"
#include "shell/TerminationSignals.h"

namespace norvik::test {
namespace {

using platform::Answer;
using platform::Buttons;
using platform::Icon;
using Startup = ShellTest;

TEST_F(Startup, EmptyStoreStartsOnThePingPageAndWritesTheDefaultsBack) {
    start();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(form->windowTitle(), "Norvik v4.01");
    EXPECT_EQ(form->objectName(), "Form1");
    EXPECT_TRUE(keyStore->keyExists(store::HKEY_LOCAL_MACHINE, norvikPath("SessionIPs")));
    EXPECT_TRUE(storedSlots("SessionIPs").empty());

    EXPECT_EQ(setting("Remember Settings on exit"), "1");
    EXPECT_EQ(setting("Display Packet Size Returned"), "1");
    EXPECT_EQ(setting("Display Address Returned"), std::nullopt);
    EXPECT_EQ(setting("Display Data Pointer"), std::nullopt);

    EXPECT_TRUE(w<QCheckBox>("settingsremember")->isChecked());
    EXPECT_FALSE(w<QCheckBox>("settingscheck1")->isChecked());
    EXPECT_TRUE(w<QCheckBox>("settingscheck2")->isChecked());
    EXPECT_FALSE(w<QCheckBox>("settingscheck3")->isChecked());

    EXPECT_EQ(text("nme"), "Ping");
    EXPECT_EQ(text("return1"), "Welcome to Norvik!");
    EXPECT_TRUE(shown("intro"));
    EXPECT_TRUE(items("Combo1").isEmpty());
    EXPECT_EQ(text("Combo1"), "");
    EXPECT_EQ(text("Combo2"), "1");
    EXPECT_EQ(text("Combo3"), "32");
    EXPECT_EQ(form->payload(), "NorvikNorvikNorvikNorvikNorvikNo");
    // Welcome mode: no reply fields, no counters, no status area.
    for (const char* hidden : {"Text4_0", "Text4_1", "Text4_2", "Text4_3", "Text4_5", "return2",
                               "return7", "ProgressBar1", "todo", "status", "Picture1", "Text2"}) {
        EXPECT_FALSE(shown(hidden)) << hidden;
    }
}

TEST_F(Startup, RememberedAddressesAreCopiedIntoTheSessionListSlotForSlot) {
    put("IPs", "1", "alpha.test");
    put("IPs", "2", "127.0.0.1");
    put("IPs", "5", "omega.test");
    put("IPs", "6", "Error");
    put("SessionIPs", "3", "left over from the last run");
    start();
    EXPECT_EQ(storedSlots("SessionIPs"),
              (std::map<std::string, std::string>{
                  {"1", "alpha.test"}, {"2", "127.0.0.1"}, {"5", "omega.test"}}));
    EXPECT_EQ(items("Combo1"), (QStringList{"alpha.test", "127.0.0.1", "omega.test"}));
    EXPECT_EQ(text("Combo1"), "alpha.test");
}

TEST_F(Startup, QuitWithRememberOnRenumbersTheSessionListIntoIPs) {
    put("IPs", "1", "alpha.test");
    put("IPs", "2", "127.0.0.1");
    put("IPs", "5", "omega.test");
    start();
    // The words do what the icon does.
    click(w("quitwords"));
    EXPECT_EQ(storedSlots("IPs"),
              (std::map<std::string, std::string>{
                  {"1", "alpha.test"}, {"2", "127.0.0.1"}, {"3", "omega.test"}}));
    EXPECT_EQ(endCalls, 1);
    EXPECT_TRUE(form->ended());
    EXPECT_TRUE(form->isHidden());
}

TEST_F(Startup, QuitWithRememberOffSavesNothing) {
    put("IPs", "1", "alpha.test");
    put("", "Remember Settings on exit", "0");
    start();
    EXPECT_FALSE(w<QCheckBox>("settingsremember")->isChecked());
    put("SessionIPs", "2", "beta.test");
    form->quiticon_Click();
    EXPECT_EQ(storedSlots("IPs"), (std::map<std::string, std::string>{{"1", "alpha.test"}}));
    EXPECT_EQ(endCalls, 1);
}

TEST_F(Startup, ClosingTheWindowNeverSaves) {
    put("IPs", "1", "alpha.test");
    start();
    ASSERT_TRUE(w<QCheckBox>("settingsremember")->isChecked());
    put("SessionIPs", "2", "beta.test");
    form->show();
    form->close();
    EXPECT_EQ(storedSlots("IPs"), (std::map<std::string, std::string>{{"1", "alpha.test"}}));
    EXPECT_EQ(endCalls, 1);
    EXPECT_TRUE(form->ended());
    // Nothing acts once the program has ended.
    form->quiticon_Click();
    EXPECT_EQ(endCalls, 1);
    EXPECT_EQ(storedSlots("IPs").size(), 1u);
}

TEST_F(Startup, QuietArgumentIsTrimmedAndCaseFolded) {
    using shell::Form1;
    for (const char* quiet : {"/quiet", "/QUIET", "  /quiet  ", "\t/Quiet "}) {
        EXPECT_TRUE(Form1::IsQuietArgument(QString::fromLatin1(quiet))) << quiet;
    }
    for (const char* normal : {"", "/quiet x", "-quiet", "quiet", "/quiet/", "/ quiet"}) {
        EXPECT_FALSE(Form1::IsQuietArgument(QString::fromLatin1(normal))) << normal;
    }
}

TEST_F(Startup, QuietStartLoadsNothing) {
    put("IPs", "1", "alpha.test");
    put("SessionIPs", "4", "from last time");
    make();
    EXPECT_EQ(form->Form_Load(QStringLiteral(" /QUIET ")), shell::Form1::Start::Quiet);
    EXPECT_TRUE(form->isHidden());
    EXPECT_EQ(storedSlots("SessionIPs"),
              (std::map<std::string, std::string>{{"4", "from last time"}}));
    EXPECT_EQ(setting("Remember Settings on exit"), std::nullopt);
    EXPECT_TRUE(items("Combo2").isEmpty());
}

TEST_F(Startup, OtherArgumentsStartNormally) {
    put("IPs", "1", "alpha.test");
    make();
    EXPECT_EQ(form->Form_Load(QStringLiteral("/quiet x")), shell::Form1::Start::Normal);
    EXPECT_EQ(storedSlots("SessionIPs"), (std::map<std::string, std::string>{{"1", "alpha.test"}}));
    EXPECT_EQ(text("Combo1"), "alpha.test");
}

TEST_F(Startup, ShowNorvikFromTheNotificationAreaRunsTheStartUpThen) {
    put("IPs", "2", "alpha.test");
    make();
    ASSERT_EQ(form->Form_Load(QStringLiteral("/quiet")), shell::Form1::Start::Quiet);
    int quits = 0;
    shell::QuietPresence quiet(*form, [&] { ++quits; });
    std::ostringstream err;
    quiet.start(true, err);
    ASSERT_TRUE(quiet.hasTrayIcon());
    EXPECT_TRUE(err.str().empty());
    QStringList actions;
    for (QAction* a : quiet.menu()->actions()) {
        if (!a->isSeparator()) actions << a->text();
    }
    EXPECT_EQ(actions, (QStringList{"Show Norvik", "Quit"}));
    EXPECT_TRUE(storedSlots("SessionIPs").empty());

    quiet.menu()->actions().first()->trigger();
    EXPECT_FALSE(quiet.hasTrayIcon());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(storedSlots("SessionIPs"), (std::map<std::string, std::string>{{"2", "alpha.test"}}));
    EXPECT_EQ(text("Combo1"), "alpha.test");
    EXPECT_EQ(quits, 0);
}

TEST_F(Startup, QuietWithoutNotificationAreaSaysSoAndEndsOnSigterm) {
    make();
    int quits = 0;
    {
        shell::QuietPresence quiet(*form, [&] { ++quits; });
        std::ostringstream err;
        quiet.start(false, err);
        EXPECT_NE(err.str().find("Norvik is running hidden"), std::string::npos) << err.str();
        ASSERT_TRUE(quiet.waitsForSignals());
        ASSERT_EQ(::raise(SIGTERM), 0);
        // The signal arrives as a readable pipe; serve events until it is
        // read (a bounded number of rounds).
        for (int round = 0; round < 200 && quits == 0; ++round) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        EXPECT_EQ(quits, 1);
        ASSERT_EQ(::raise(SIGINT), 0);
        for (int round = 0; round < 200 && quits == 1; ++round) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        EXPECT_EQ(quits, 2);
    }
    // The handlers are given back with the presence.
    struct sigaction now {};
    ASSERT_EQ(::sigaction(SIGTERM, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
    EXPECT_EQ(endCalls, 0);
}

TEST_F(Startup, StoreFaultOpensTheStartupErrorDialogAndYesGoesOn) {
    FaultyStore faulty(*sqlite);
    faulty.failWhen = [](const std::string& op, const std::string& key, const std::string& name) {
        return op == "read" && key == "IPs" && name == "2";
    };
    keyStore = &faulty;
    put("IPs", "1", "alpha.test");
    put("IPs", "2", "beta.test");
    put("IPs", "3", "gamma.test");
    boxes.answers = {Answer::Yes};
    start();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              "Error  5 occurred.\r\nDisk not ready\r\nDo you wish to continue?");
    EXPECT_EQ(boxes.shown[0].caption, "Norvik - Error Occurred");
    EXPECT_EQ(boxes.shown[0].buttons, Buttons::YesNo);
    EXPECT_EQ(boxes.shown[0].icon, Icon::None);
    // Start-up went on after the failing slot and showed the Ping page.
    EXPECT_EQ(storedSlots("SessionIPs"),
              (std::map<std::string, std::string>{{"1", "alpha.test"}, {"3", "gamma.test"}}));
    EXPECT_EQ(text("return1"), "Welcome to Norvik!");
    EXPECT_EQ(endCalls, 0);
}

TEST_F(Startup, StartupErrorAnsweredNoEndsTheProgram) {
    FaultyStore faulty(*sqlite);
    faulty.failWhen = [](const std::string& op, const std::string&, const std::string&) {
        return op == "delete";
    };
    keyStore = &faulty;
    put("IPs", "1", "alpha.test");
    boxes.answers = {Answer::No};
    start();
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text,
              "Norvik is closing. If this error reoccurs try reinstalling or contact "
              "support@norvik.example");
    EXPECT_EQ(boxes.shown[1].caption, "Norvik");
    EXPECT_EQ(boxes.shown[1].icon, Icon::Critical);
    EXPECT_EQ(boxes.shown[1].buttons, Buttons::Ok);
    EXPECT_EQ(endCalls, 1);
    EXPECT_TRUE(form->ended());
    EXPECT_TRUE(storedSlots("SessionIPs").empty());
    EXPECT_TRUE(items("Combo2").isEmpty());
}

TEST_F(Startup, FaultInThePageSetUpEndsOnlyThePageSetUp) {
    FaultyStore faulty(*sqlite);
    faulty.failWhen = [](const std::string& op, const std::string&, const std::string& name) {
        return op == "read" && name == "nopings";
    };
    keyStore = &faulty;
    put("IPs", "1", "alpha.test");
    boxes.answers = {Answer::Yes};
    start();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(text("nme"), "Ping");
    EXPECT_EQ(storedSlots("SessionIPs"), (std::map<std::string, std::string>{{"1", "alpha.test"}}));
    // The address list fill after the failing step did not run, and start-up
    // is complete.
    EXPECT_TRUE(items("Combo1").isEmpty());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(endCalls, 0);
    EXPECT_FALSE(form->ended());
}

}  // namespace
}  // namespace norvik::test
