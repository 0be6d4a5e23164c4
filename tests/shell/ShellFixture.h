#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <QCheckBox>

#include "../support/RecordingShell.h"
#include "PageFixture.h"
#include "platform/qt/QtTcpClient.h"
#include "shell/Form1.h"
#include "shell/Form2.h"

namespace norvik::test {

// A connected socket pair nobody writes to: an echo waiting on it waits for
// its whole time-out.
struct SilentSocket {
    int fd[2] = {-1, -1};
    SilentSocket() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fd), 0); }
    ~SilentSocket() {
        ::close(fd[0]);
        ::close(fd[1]);
    }
};

// The whole main window, for what lies across its pages: the icons, the
// page switch, keys, start-up and quit.
class ShellTest : public Harness {
  protected:
    void make() {
        form = std::make_unique<shell::Form1>(
            shell::Services{*keyStore, boxes, resolver, *echoInUse, waiter, [this] { ++endCalls; },
                            [] { return std::make_unique<platform::QtTcpClient>(); },
                            [this] { return timers.make(); }, whoisPort, &shell});
        root = form.get();
    }
    // A normal start, as main() does it.
    void start(const QString& arguments = QString()) {
        make();
        if (form->startUp(arguments) == shell::Form1::Start::Normal && !form->ended()) {
            form->show();
        }
    }
    // The echo service the window is made with: the double unless a test
    // swaps in another before make().
    platform::EchoService* echoInUse = &echo;
    // The Settings page, built if it was not yet.
    QWidget* settingsPage() { return &form->page(shell::Form1::PageId::Settings); }
    // The three display check boxes of the Settings page, e.g. "010".
    std::string displayChecks() {
        std::string out;
        for (const char* name : {"settingscheck1", "settingscheck2", "settingscheck3"})
            out += w<QCheckBox>(name, settingsPage())->isChecked() ? '1' : '0';
        return out;
    }
    // The Ping page of a started window with an address, count and size.
    void prepare(const QString& address, const QString& count, const QString& size = "32") {
        start();
        fill(address, count, size);
    }
    void fill(const QString& address, const QString& count, const QString& size = "32") {
        w<QComboBox>("Combo1")->setEditText(address);
        w<QComboBox>("Combo2")->setEditText(count);
        w<QComboBox>("Combo3")->setEditText(size);
    }
    void pingNow() { click(w("carryoutping")); }
    void answerAndClick(platform::Answer answer, const char* name) {
        boxes.answers = {answer};
        click(w(name));
    }
    // The error dialog that asks whether to go on.
    void expectErrorBox(std::size_t i, const std::string& text) {
        expectBox(i, text, "Norvik - Error Occurred", platform::Buttons::YesNo,
                  platform::Icon::None);
    }
    // The notice after the error dialog was answered No.
    void expectClosingBox(std::size_t i) {
        expectBox(i,
                  "Norvik is closing. If this error reoccurs try reinstalling or contact "
                  "support@norvik.example",
                  "Norvik", platform::Buttons::Ok, platform::Icon::Critical);
    }
    // The program ended exactly once, or not at all.
    void expectEnded(bool ended) {
        EXPECT_EQ(endCalls, ended ? 1 : 0);
        EXPECT_EQ(form->ended(), ended);
    }

    platform::Waiter waiter = platform::pollWaiter;
    RecordingShell shell;
    int endCalls = 0;
    // TCP is real, to loopback servers on `whoisPort`.
    std::uint16_t whoisPort = 43;
    std::unique_ptr<shell::Form1> form;
};

}  // namespace norvik::test
