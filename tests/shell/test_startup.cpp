// Start-up, /quiet, Quit and Close.

#include <signal.h>

#include <QCoreApplication>
#include <QMenu>
#include <sstream>
#include <stdexcept>

#include "ShellFixture.h"
#include "shell/QuietPresence.h"
#include "shell/Startup.h"
#include "shell/TerminationSignals.h"

namespace norvik::test {
namespace {

using platform::Answer;

// A real store that throws from chosen operations, to stand for a fault
// deep inside a step.
class FaultyStore : public platform::SqliteKeyStore {
  public:
    using SqliteKeyStore::SqliteKeyStore;
    // Called with the operation ("read" or "delete"), the name of the key
    // and the name of the value (empty for a key); true makes it throw.
    using Rule =
        std::function<bool(const std::string& op, const std::string& key, const std::string& name)>;
    Rule failWhen;

    std::optional<std::string> readValue(std::uint32_t root, const Path& path,
                                         const std::string& name) override {
        check("read", path, name);
        return SqliteKeyStore::readValue(root, path, name);
    }
    bool deleteKey(std::uint32_t root, const Path& path) override {
        check("delete", path, "");
        return SqliteKeyStore::deleteKey(root, path);
    }

  private:
    void check(const std::string& op, const Path& path, const std::string& name) {
        if (failWhen && failWhen(op, path.empty() ? "" : path.back(), name))
            throw std::runtime_error("Disk not ready");
    }
};

class Startup : public ShellTest {
  protected:
    // Makes the store throw from the operations `when` picks.
    void failWhen(FaultyStore::Rule when) {
        faulty = std::make_unique<FaultyStore>(temp.path());
        faulty->failWhen = std::move(when);
        keyStore = faulty.get();
    }

    std::unique_ptr<FaultyStore> faulty;
};

const Slots kRemembered{{"1", "alpha.test"}, {"2", "127.0.0.1"}, {"5", "omega.test"}};
// Three addresses as a fault test stores them.
const Slots kSession{{"1", "alpha.test"}, {"2", "beta.test"}, {"3", "gamma.test"}};
// The same with slot 2 changed during the session, saved in order.
const Slots kRenumbered{{"1", "alpha.test"}, {"2", "beta.test"}, {"3", "omega.test"}};

TEST_F(Startup, EmptyStoreStartsOnThePingPageAndWritesTheDefaultsBack) {
    start();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(form->windowTitle(), "Norvik v4.01");
    EXPECT_TRUE(keyStore->keyExists(store::HKEY_LOCAL_MACHINE, norvikPath("SessionIPs")));
    EXPECT_TRUE(storedSlots("SessionIPs").empty());
    EXPECT_EQ(setting("Remember Settings on exit"), "1");
    EXPECT_EQ(setting("Display Packet Size Returned"), "1");
    EXPECT_EQ(setting("Display Address Returned"), std::nullopt);
    EXPECT_EQ(setting("Display Data Pointer"), std::nullopt);
    EXPECT_EQ(setting("Prefer IPv6"), std::nullopt);
    EXPECT_TRUE(w<QCheckBox>("settingsremember", settingsPage())->isChecked());
    EXPECT_EQ(displayChecks(), "010");

    expectTexts({{"nme", "Ping"},
                 {"return1", "Welcome to Norvik!"},
                 {"Combo1", ""},
                 {"Combo2", "1"},
                 {"Combo3", "32"}});
    EXPECT_TRUE(shown("intro"));
    EXPECT_TRUE(items("Combo1").isEmpty());
    // Welcome mode: no reply fields, no counters, no status area.
    expectShown({"Text4_0", "Text4_1", "Text4_2", "Text4_3", "Text4_5", "return2", "return7",
                 "ProgressBar1", "todo", "status", "Picture1", "Text2"},
                false);
}

TEST_F(Startup, RememberedAddressesAreCopiedIntoTheSessionListSlotForSlot) {
    putAll("IPs", kRemembered);
    put("IPs", "6", "Error");
    put("SessionIPs", "3", "left over from the last run");
    start();
    EXPECT_EQ(storedSlots("SessionIPs"), kRemembered);
    EXPECT_EQ(items("Combo1"), (QStringList{"alpha.test", "127.0.0.1", "omega.test"}));
    EXPECT_EQ(text("Combo1"), "alpha.test");
    // A list that readers see as the remembered one still loses what lies
    // past them.
    put("SessionIPs", "11", "eleventh of a long list");
    start();
    EXPECT_EQ(storedSlots("SessionIPs"), kRemembered);
}

TEST_F(Startup, OnlyQuitWithRememberOnSavesTheSessionListRenumbered) {
    putAll("IPs", kRemembered);
    struct Case {
        const char* how;
        bool remember;
        std::function<void()> end;
        Slots saved;
    };
    const Case cases[] = {
        {"Quit, remember off", false, [this] { form->quit(); }, kRemembered},
        {"Close, remember on", true, [this] { form->close(); }, kRemembered},
        // The words do what the icon does.
        {"Quit words, remember on", true, [this] { click(w("quitwords")); }, kRenumbered},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        endCalls = 0;
        put("", "Remember Settings on exit", c.remember ? "1" : "0");
        start();
        EXPECT_EQ(w<QCheckBox>("settingsremember", settingsPage())->isChecked(), c.remember);
        put("SessionIPs", "2", "beta.test");
        c.end();
        EXPECT_EQ(storedSlots("IPs"), c.saved);
        expectEnded(true);
        EXPECT_TRUE(form->isHidden());
        // Nothing acts once the program has ended.
        form->quit();
        EXPECT_EQ(endCalls, 1);
        EXPECT_EQ(storedSlots("IPs"), c.saved);
    }
}

TEST_F(Startup, QuietArgumentIsTrimmedAndCaseFolded) {
    using shell::Form1;
    for (const char* quiet : {"/quiet", "/QUIET", "  /quiet  ", " /Quiet "}) {
        EXPECT_TRUE(shell::IsQuietArgument(QString::fromLatin1(quiet))) << quiet;
    }
    // Only blanks are stripped: tabs and line ends around the word stay.
    for (const char* normal : {"", "/quiet x", "-quiet", "quiet", "/quiet/", "/ quiet", "\t/quiet",
                               "/quiet\n", " \t/Quiet "}) {
        EXPECT_FALSE(shell::IsQuietArgument(QString::fromLatin1(normal))) << normal;
    }
}

// A quiet start loads nothing; Show Norvik in the notification area runs
// the start-up then. (Which arguments are quiet: the case above.)
TEST_F(Startup, QuietStartLoadsNothingUntilShowNorvik) {
    put("IPs", "2", "alpha.test");
    put("SessionIPs", "4", "from last time");
    make();
    ASSERT_EQ(form->startUp(QStringLiteral(" /QUIET ")), shell::Form1::Start::Quiet);
    EXPECT_TRUE(form->isHidden());
    EXPECT_EQ(storedSlots("SessionIPs"), (Slots{{"4", "from last time"}}));
    EXPECT_EQ(setting("Remember Settings on exit"), std::nullopt);
    EXPECT_TRUE(items("Combo2").isEmpty());

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

    quiet.menu()->actions().first()->trigger();
    EXPECT_FALSE(quiet.hasTrayIcon());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(storedSlots("SessionIPs"), (Slots{{"2", "alpha.test"}}));
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
        for (const int sig : {SIGTERM, SIGINT}) {
            const int before = quits;
            ASSERT_EQ(::raise(sig), 0);
            // The signal arrives as a readable pipe; serve events until it is
            // read (a bounded number of rounds).
            for (int round = 0; round < 200 && quits == before; ++round) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            }
            EXPECT_EQ(quits, before + 1) << "signal " << sig;
        }
    }
    // The handlers are given back with the presence.
    struct sigaction now {};
    ASSERT_EQ(::sigaction(SIGTERM, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
    EXPECT_EQ(endCalls, 0);
}

// A store fault in start-up opens the error dialog: Yes goes on with the
// next step (after a failing slot, or past the page set-up, whose later
// steps do not run); No ends the program.
TEST_F(Startup, StoreFaultsOpenTheStartupErrorDialog) {
    const struct {
        const char* failing;  // "delete", or the value whose read fails (of IPs for "2")
        Answer answer;
        Slots session;
        QStringList addresses;
    } cases[] = {{"2",
                  Answer::Yes,
                  {{"1", "alpha.test"}, {"3", "gamma.test"}},
                  {"alpha.test", "gamma.test"}},
                 {"nopings", Answer::Yes, kSession, {}},
                 {"delete", Answer::No, {}, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing);
        endCalls = 0;
        boxes.shown.clear();
        keyStore->deleteKey(store::HKEY_LOCAL_MACHINE, norvikPath());
        putAll("IPs", kSession);
        failWhen([&c](const std::string& op, const std::string& key, const std::string& name) {
            return c.failing == op ||
                   (op == "read" && name == c.failing && (name != "2" || key == "IPs"));
        });
        boxes.answers = {c.answer};
        start();
        ASSERT_EQ(boxes.shown.size(), c.answer == Answer::No ? 2u : 1u);
        expectErrorBox(0, "Error  5 occurred.\r\nDisk not ready\r\nDo you wish to continue?");
        if (c.answer == Answer::No) expectClosingBox(1);
        expectEnded(c.answer == Answer::No);
        EXPECT_EQ(storedSlots("SessionIPs"), c.session);
        EXPECT_EQ(items("Combo1"), c.addresses);
        EXPECT_EQ(form->isVisible(), c.answer == Answer::Yes);
        EXPECT_EQ(items("Combo2").isEmpty(), c.answer == Answer::No);
        EXPECT_EQ(text("return1"), c.answer == Answer::No ? "Returned Data" : "Welcome to Norvik!");
    }
}

}  // namespace
}  // namespace norvik::test
