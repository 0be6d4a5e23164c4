// Stopping a run, closing during a hung wait, the Yes/No dialog's Escape,
// keys, names for assistive technology, dark themes and small screens.

#include <QAccessible>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <cmath>

#include "ShellFixture.h"
#include "platform/qt/EventLoopWaiter.h"
#include "platform/qt/QtMessageBox.h"
#include "shell/Help.h"
#include "shell/Whoisupdate.h"
#include "shell/Widgets.h"
#include "shell/frmAbout.h"

namespace norvik::test {
namespace {

using platform::Answer;

class RunStop : public ShellTest {
  protected:
    // Starts a run of 50 pings (or a trace) whose second echo is held back
    // for its whole time-out; `stop` is done during that wait, while input
    // is refused: neither a page icon, nor typing, nor a second start
    // through Enter reaches the window.
    void heldRun(bool trace, const std::function<void()>& stop) {
        waiter = platform::eventLoopWaiter;
        start();
        if (trace) {
            click(w("tracerouteicon"));
            w<QComboBox>("traceCombo1")->setEditText("203.0.113.2");
            echo.answer("198.51.100.1", 1);
            echo.answer("198.51.100.2", 1);
        } else {
            fill("127.0.0.1", "50");
            echo.replyAfter(5);
            echo.replyAfter(6);
        }
        echo.onSend = [&, trace](const platform::EchoRequest&, const platform::Waiter&) {
            echo.hold = echo.requests.size() == 2;
            if (!echo.hold) return;
            EXPECT_TRUE(form->inputBlocked());
            EXPECT_TRUE(shown(trace ? "tracestop" : "pingstop"));
            EXPECT_FALSE(w(trace ? "traceaway" : "carryoutping")->isEnabled());
            if (!trace) {
                click(w("iptransicon"));
                key(w<QComboBox>("Combo1")->lineEdit(), Qt::Key_X, "x");
                key(w("Combo1"), Qt::Key_Return);
                expectTexts({{"nme", "Ping"}, {"Combo1", "127.0.0.1"}});
            } else {
                click(w("iptransicon"));  // held until the hop is over
                expectTexts({{"nme", "TraceRoute"}});
            }
            QTimer::singleShot(0, form.get(), stop);
        };
        click(w(trace ? "traceaway" : "carryoutping"));
        echo.hold = false;
        echo.onSend = nullptr;
    }
};

// The held echo is abandoned at the Stop: its answer is dropped, not waited
// for (the hold would have let it through after 500 ms).
TEST_F(RunStop, StopOrEscapeEndsAPingRunAtOnceAbandoningTheEchoInFlight) {
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"Stop", [this] { click(w("pingstop")); }},
        {"Escape", [this] { key(w<QComboBox>("Combo1")->lineEdit(), Qt::Key_Escape); }}};
    for (const auto& [name, way] : ways) {
        heldRun(false, way);
        EXPECT_EQ(echo.requests.size(), 2u) << name;
        EXPECT_EQ(echo.dropped, 1) << name;
        // The report covers the one pass made, and is shown.
        EXPECT_TRUE(form->form2().reportText().endsWith(
            "]\r\n\r\n5 ms\r\n\r\n\r\nMinimum Ping:  5ms\r\nMaximum Ping:  5ms\r\n"
            "Average Ping:  5ms\r\nStopped after 1 of 50 pings"))
            << name << ": " << form->form2().reportText().toStdString();
        EXPECT_EQ(form->form2().timeoutsText(), " 0");
        EXPECT_TRUE(form->form2().isVisible());
        EXPECT_EQ(storedSlots("SessionIPs"), (Slots{{"1", "127.0.0.1"}}));
        expectShown({"pingstop"}, false);
        EXPECT_TRUE(w("carryoutping")->isEnabled());
        // The next run is not stopped; the one after starts with the bar
        // empty, not at this one's 75%.
        echo.requests.clear();
        echo.dropped = 0;
        fill("127.0.0.1", "4");
        pingNow();
        EXPECT_EQ(echo.requests.size(), 4u);
        EXPECT_FALSE(form->form2().reportText().contains("Stopped"));
        EXPECT_EQ(w<QProgressBar>("ProgressBar1")->value(), 75);
        fill("", "4");
        pingNow();
        EXPECT_EQ(w<QProgressBar>("ProgressBar1")->value(), 0);
        echo.requests.clear();
        form.reset();
    }
}

TEST_F(RunStop, StopEndsATraceAtOnceAbandoningTheHopInFlight) {
    heldRun(true, [&] { click(w("tracestop")); });
    EXPECT_EQ(echo.requests.size(), 2u);
    EXPECT_EQ(echo.dropped, 1);
    EXPECT_EQ(text("trace"),
              "Tracing Route to 203.0.113.2:\n\nHop #\t1\t<10 ms\t198.51.100.1\n\n"
              "Trace Route Stopped");
    EXPECT_EQ(text("traceLabel4"), "Trace Route Stopped");
    EXPECT_TRUE(w("traceaway")->isEnabled());
    expectShown({"tracestop"}, false);
    QCoreApplication::processEvents();
    EXPECT_EQ(text("nme"), "IP Translation");
}

// The window binary's kind of set-up in a child process, closed while a
// lookup that never answers (or a silent hop) waits: it ends at once and
// does not spin.
TEST(CloseDuringAHungWait, TheProgramEndsAtOnceWithoutSpinning) {
    TempStore temp;
    for (const char* what : {"lookup", "trace"}) {
        QProcess child;
        child.start(NORVIK_HUNG_WINDOW, {QString::fromStdString(temp.path() + what), what});
        ASSERT_TRUE(child.waitForReadyRead(20000)) << what;
        QElapsedTimer sinceClose;
        sinceClose.start();
        long cpuBefore = 0, cpuAfter = -1;
        int waiting = 0;
        const QByteArray closing = child.readLine();
        ASSERT_EQ(std::sscanf(closing.constData(), "closing %ld %d", &cpuBefore, &waiting), 2);
        EXPECT_EQ(waiting, 1) << what << ": the wait was not under way";
        const bool ended = child.waitForFinished(5000);
        const qint64 tookMs = sinceClose.elapsed();
        if (!ended) child.kill();
        ASSERT_TRUE(ended && child.exitStatus() == QProcess::NormalExit) << what;
        EXPECT_EQ(child.exitCode(), 0) << what;
        EXPECT_EQ(std::sscanf(child.readAll().constData(), "ended %ld", &cpuAfter), 1) << what;
        EXPECT_LT(tookMs, 200) << what;
        EXPECT_LT(cpuAfter - cpuBefore, 50000) << what << ": CPU after the close, microseconds";
        std::printf("[ close ] %s: ended %lld ms after the close, %ld us of CPU\n", what,
                    static_cast<long long>(tookMs), cpuAfter - cpuBefore);
    }
}

// A Yes/No box has no cancel answer: Escape and the close box leave it open.
TEST(YesNoBox, EscapeAndTheCloseBoxDoNothingOnlyNoAnswersNo) {
    qtApp();
    platform::QtMessageBox boxes;
    for (const Answer clicked : {Answer::No, Answer::Yes}) {
        bool stayed = false;
        QTimer::singleShot(30, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            QTest::keyClick(box, Qt::Key_Escape);
            box->close();
            stayed = box->isVisible();
            box->button(clicked == Answer::No ? QMessageBox::No : QMessageBox::Yes)->click();
        });
        EXPECT_EQ(
            boxes.show("Error  5 occurred.\r\nx\r\nDo you wish to continue?",
                       "Norvik - Error Occurred", platform::Buttons::YesNo, platform::Icon::None),
            clicked);
        EXPECT_TRUE(stayed);
    }
}

class Keys : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        start();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    bool checked(const char* icon) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w(icon));
        return w<QToolButton>(icon)->isChecked() && a != nullptr && a->state().checked;
    }
};

TEST_F(Keys, CtrlDigitsAndIconActionsShowThePagesMarkTheirIconAndFocusTheFirstInput) {
    struct Case {
        int key;
        const char* title;
        const char* icon;
        const char* first;
        const char* help;
    };
    const Case cases[] = {
        {Qt::Key_2, "TraceRoute", "tracerouteicon", "traceCombo1", "help-traceroute.html"},
        {Qt::Key_3, "Whois Lookup", "whoisicon", "whoisCombo1", "help-whois.html"},
        {Qt::Key_4, "IP Translation", "iptransicon", "ipad", "help-iptranslation.html"},
        {Qt::Key_5, "Settings", "Image7", "settingscheck1", "help-settings.html"},
        {Qt::Key_1, "Ping", "pingicon", "Combo1", "help-ping.html"}};
    // F1 opens the help's own page for the page on show, of the built pages.
    const auto helpAt = [this](const QDir& in, const char* page) {
        shell.folder = in.path().toStdString();
        shell.opened.clear();
        QTest::keyClick(form.get(), Qt::Key_F1);
        return shell.opened ==
               std::vector{QUrl::fromLocalFile(in.filePath(page)).toString().toStdString()};
    };
    const QDir pages = QFileInfo(qEnvironmentVariable("NORVIK_CLI")).dir();
    for (const Case& c : cases) {
        const auto expectShown = [&](const QString& how) {
            EXPECT_EQ(text("nme"), c.title) << how.toStdString();
            for (const char* icon :
                 {"pingicon", "tracerouteicon", "whoisicon", "iptransicon", "Image7"})
                EXPECT_EQ(checked(icon), std::strcmp(icon, c.icon) == 0)
                    << c.title << " " << icon << " by " << how.toStdString();
        };
        QTest::keyClick(form.get(), c.key, Qt::ControlModifier);
        expectShown("Ctrl");
        EXPECT_EQ(w(c.icon)->toolTip(), c.title);
        EXPECT_FALSE(w<QToolButton>(c.icon)->icon().isNull()) << c.title;
        QWidget* focus = form->focusWidget();
        EXPECT_TRUE(focus == w(c.first) || w(c.first)->isAncestorOf(focus)) << c.title;
        EXPECT_TRUE(helpAt(pages, c.help)) << c.title;
        // Each accessible action but focusing, from its own page and from another.
        QAccessibleActionInterface* a =
            QAccessible::queryAccessibleInterface(w(c.icon))->actionInterface();
        QStringList actions = a->actionNames() << QAccessibleActionInterface::pressAction();
        actions.removeAll(QAccessibleActionInterface::setFocusAction());
        for (const QString& action : actions) {
            a->doAction(action);
            expectShown(action);
            c.key == Qt::Key_1 ? form->showPage(shell::Form1::PageId::Trace)
                               : form->showPage(shell::Form1::PageId::Ping);
            a->doAction(action);
            expectShown(action);
        }
    }
    expectTexts({{"pingwords", "Ping"},
                 {"traceroutewords", "TraceRoute"},
                 {"whoiswords", "Whois Lookup"},
                 {"iptranswords", "IP  Translation"},
                 {"Label4", "Settings"},
                 {"Label5", "About  "},
                 {"Label7", "Help"},
                 {"quitwords", "Quit"}});
    for (const auto& [icon, tip] : Texts{{"Image5", "About Norvik"}, {"Image2", "Help"}})
        EXPECT_EQ(w(icon)->toolTip(), tip);
    EXPECT_EQ(w("quiticon")->toolTip(), "");
    // Enter on a focused icon works as Space does.
    key(w("whoisicon"), Qt::Key_Return);
    EXPECT_EQ(text("nme"), "Whois Lookup");
    // Without the page's own help, F1 opens the contents. Ctrl+Q quits as
    // Quit does.
    QTemporaryDir contentsOnly;
    ASSERT_TRUE(QFile::copy(pages.filePath("help.html"), contentsOnly.filePath("help.html")));
    EXPECT_TRUE(helpAt(QDir(contentsOnly.path()), "help.html"));
    EXPECT_EQ(endCalls, 0);
    QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
    expectEnded(true);
}

TEST_F(Keys, LinksShowAFocusMarkAndAreLinksToAssistiveTechnology) {
    for (const char* name : {"Label11", "whoisuk", "whoisus", "whoisserver"}) {
        if (std::strcmp(name, "whoisuk") == 0) form->showPage(shell::Form1::PageId::Whois);
        QWidget* link = w(name);
        const QImage plain = link->grab().toImage();
        link->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(link->hasFocus()) << name;
        EXPECT_NE(link->grab().toImage(), plain) << name << ": no focus mark";
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(link);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->role(), QAccessible::Link) << name;
        EXPECT_EQ(a->text(QAccessible::Name), qobject_cast<QLabel*>(link)->text()) << name;
    }
    // Pressing a link through its interface is a click.
    form->showPage(shell::Form1::PageId::Ping);
    QAccessible::queryAccessibleInterface(w("Label11"))
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(form->form2().isVisible());
}

// Each page with its icon and an input box on it.
const struct {
    shell::Form1::PageId show;
    const char* icon;
    const char* input;
} kPages[] = {{shell::Form1::PageId::Ping, "pingicon", "Combo2"},
              {shell::Form1::PageId::Trace, "tracerouteicon", "traceText3"},
              {shell::Form1::PageId::Whois, "whoisicon", "whoiscombo2"},
              {shell::Form1::PageId::IpTranslation, "iptransicon", "ipad"},
              {shell::Form1::PageId::Settings, "Image7", "List1"}};

// Every input of the window, on every page, is named for assistive
// technology, every label shows plain text; the status line's changes are
// announced.
TEST_F(ShellTest, EveryInputHasAnAccessibleNameAndTheStatusReadsAsItsText) {
    start();
    for (const auto& p : kPages) form->page(p.show);  // every page built
    QStringList unnamed;
    for (QWidget* x : form->findChildren<QWidget*>()) {
        if (auto* l = qobject_cast<QLabel*>(x)) {
            EXPECT_EQ(l->textFormat(), Qt::PlainText) << l->objectName().toStdString();
        }
        // The parts of a combo box's list belong to the box.
        bool inCombo = false;
        for (QWidget* p = x->parentWidget(); p != nullptr; p = p->parentWidget())
            inCombo = inCombo || qobject_cast<QComboBox*>(p) != nullptr;
        if (inCombo && qobject_cast<QLineEdit*>(x) == nullptr) continue;
        QString name;
        if (qobject_cast<QLineEdit*>(x) || qobject_cast<QComboBox*>(x) ||
            qobject_cast<QPlainTextEdit*>(x) || qobject_cast<QAbstractItemView*>(x)) {
            name = x->accessibleName();
        } else if (qobject_cast<QAbstractButton*>(x) || qobject_cast<shell::ClickLabel*>(x)) {
            name = QAccessible::queryAccessibleInterface(x)->text(QAccessible::Name);
            if (x->objectName() == "whoisrefer") continue;  // named by the server it shows
        } else {
            continue;
        }
        if (name.trimmed().isEmpty()) unnamed << x->objectName();
    }
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();

    // The status line reads as its text. (Its change events reach no one
    // on the offscreen platform, which has no accessibility bridge.)
    fill("127.0.0.1", "1");
    echo.replyAfter(3);
    pingNow();
    QAccessibleInterface* status = QAccessible::queryAccessibleInterface(w("status"));
    EXPECT_EQ(status->text(QAccessible::Name), "Successful");
    EXPECT_EQ(status->text(QAccessible::Description), "Status");
}

// WCAG's contrast of two colours.
double contrast(QColor a, QColor b) {
    const auto lum = [](QColor c) {
        const auto ch = [](double v) {
            v /= 255;
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * ch(c.red()) + 0.7152 * ch(c.green()) + 0.0722 * ch(c.blue());
    };
    const double la = lum(a), lb = lum(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of the pixel of `area` (in the control's coordinates) that
// stands farthest from the area's top-left pixel, in a rendering of the
// window.
double contrastIn(const QImage& image, QWidget* window, QWidget* control, QRect area) {
    const qreal ratio = image.devicePixelRatio();
    const QRect r = QRectF(area.translated(control->mapTo(window, QPoint(0, 0))).topLeft() * ratio,
                           QSizeF(area.size()) * ratio)
                        .toRect()
                        .intersected(image.rect());
    const QColor back = image.pixelColor(r.topLeft());
    double best = 1;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            best = std::max(best, contrast(image.pixelColor(x, y), back));
    return best;
}

// Text stands 4.5:1 against its surface, icons and the edges of input boxes
// 3:1, under a light palette and under a dark one that follows it at run
// time; the ping status reads so after a success and after a failure.
TEST_F(ShellTest, UnderLightAndDarkPalettesTextIconsAndInputEdgesStandOut) {
    qtApp().setStyle(QStyleFactory::create("Fusion"));
    // Qt works out the other roles, white text among them, from a dark
    // button and window colour.
    const std::pair<const char*, QPalette> palettes[] = {
        {"light", QApplication::style()->standardPalette()},
        {"dark", QPalette(QColor(0x35, 0x35, 0x35), QColor(0x35, 0x35, 0x35))}};
    start();
    for (const auto& [look, palette] : palettes) {
        QApplication::setPalette(palette);
        QCoreApplication::processEvents();  // the window takes it up
        for (const auto& page : kPages) {
            form->showPage(page.show);
            const bool ping = page.show == shell::Form1::PageId::Ping;
            // The Ping page as shown, after a ping that succeeds and after
            // one that fails.
            for (int step = 0; step < (ping ? 3 : 1); ++step) {
                if (step > 0) {
                    fill("127.0.0.1", "1");
                    if (step == 1) echo.replyAfter(3);
                    pingNow();
                }
                std::vector<std::pair<const char*, double>> marks = {
                    {"pingwords", 4.5},  {"traceroutewords", 4.5},
                    {"whoiswords", 4.5}, {"iptranswords", 4.5},
                    {"nme", 4.5},        {page.icon, 3},
                    {page.input, 3}};
                if (ping) marks.push_back({"Label11", 4.5});
                if (step > 0) marks.insert(marks.end(), {{"status", 4.5}, {"Picture1", 3}});
                if (page.show == shell::Form1::PageId::Settings)
                    marks.insert(marks.end(), {{"settingsminititle", 4.5}, {"settingsrem", 4.5}});
                const QImage image = form->grab().toImage();
                for (const auto& [name, least] : marks) {
                    QWidget* c = w(name);
                    // An icon's square; a strip across a box's left edge,
                    // from the surface into the box.
                    QRect area = c->rect();
                    if (auto* b = qobject_cast<QToolButton*>(c)) {
                        area = QRect(QPoint(), b->iconSize());
                        area.moveCenter(c->rect().center());
                    } else if (c == w(page.input)) {
                        area = QRect(-3, c->height() / 3, 6, c->height() / 3);
                    }
                    EXPECT_GE(contrastIn(image, form.get(), c, area), least)
                        << look << " " << text("nme").toStdString() << " " << step << ": " << name;
                }
                if (step == 0) continue;
                // The status's surface is a tint of the window's, not a
                // light slab on a dark one.
                const qreal dpr = image.devicePixelRatio();
                const QPoint in = w("Shape1")->mapTo(form.get(), QPoint(4, 4)) * dpr;
                EXPECT_LT(contrast(image.pixelColor(in), image.pixelColor(in - QPoint(8, 0) * dpr)),
                          1.5)
                    << look;
            }
        }
    }
    QApplication::setPalette(QPalette());
}

// The window fits 1280x800 at scale 2 and 1366x768 at 1.5; at its smallest
// every page scrolls and no control is squeezed or cut off.
TEST_F(ShellTest, TheWindowFitsSmallScreensAtLargeScalesAndItsPagesScroll) {
    start();
    const std::pair<double, QSize> screens[] = {{2.0, {1280, 800}}, {1.5, {1366, 768}}};
    for (const auto& [scale, screen] : screens) {
        const QSize least = form->minimumSize().expandedTo(form->minimumSizeHint());
        EXPECT_LE(least.width() * scale, screen.width()) << scale;
        EXPECT_LE(least.height() * scale, screen.height() - 48) << scale;  // a panel's worth
    }
    form->resize(form->minimumSize());
    auto* canvas = w("pageCanvas");
    auto* scroll = w<QScrollArea>("pageScroll");
    for (const auto& p : kPages) {
        form->showPage(p.show);
        QCoreApplication::processEvents();
        const QString page = text("nme");
        EXPECT_GE(canvas->width(), canvas->minimumSizeHint().width()) << page.toStdString();
        EXPECT_GE(canvas->height(), canvas->minimumSizeHint().height()) << page.toStdString();
        EXPECT_EQ(scroll->verticalScrollBar()->maximum(),
                  std::max(0, canvas->height() - scroll->viewport()->height()));
        for (QWidget* c : canvas->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QLabel*>(c) || qobject_cast<QAbstractButton*>(c) ||
                                 qobject_cast<QLineEdit*>(c);
            if (!control || !c->isVisibleTo(form.get())) continue;
            const QRect r(c->mapTo(canvas, QPoint(0, 0)), c->size());
            EXPECT_TRUE(canvas->rect().contains(r))
                << page.toStdString() << " " << c->objectName().toStdString();
        }
    }
}

// The window's frame lies in the available area; each button lies in the
// window or in a scroll area that does.
void expectFits(QWidget* window, std::initializer_list<QAbstractButton*> buttons) {
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->isVisible());
    QCoreApplication::processEvents();
    const QRect area = window->screen()->availableGeometry();
    if (qEnvironmentVariable("QT_SCALE_FACTOR") == "2") {
        EXPECT_EQ(area.size(), QSize(640, 400));
    }
    EXPECT_TRUE(area.contains(window->frameGeometry()))
        << window->objectName().toStdString() << " " << window->frameGeometry().width() << "x"
        << window->frameGeometry().height();
    for (QAbstractButton* b : buttons) {
        ASSERT_NE(b, nullptr);
        QWidget* outer = b;
        for (QWidget* p = b->parentWidget(); p != window; p = p->parentWidget())
            if (qobject_cast<QScrollArea*>(p) != nullptr) outer = p;
        EXPECT_TRUE(b->isVisibleTo(window) &&
                    window->rect().contains(QRect(outer->mapTo(window, QPoint()), outer->size())))
            << b->text().toStdString();
    }
}

// Every window fits its screen's available area and its buttons can be
// reached. tests/CMakeLists.txt runs these cases again at scale 2 on one
// 1280x800 screen, where the windows' own sizes are too large.
class SmallScreen : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        start();
    }
    QAbstractButton* in(QWidget* window, const char* name) {
        return w<QAbstractButton>(name, window);
    }
};

TEST_F(SmallScreen, EveryWindowFitsAndItsButtonsCanBeReached) {
    expectFits(form.get(), {w<QAbstractButton>("carryoutping")});

    shell::Form2& report = form->form2();
    report.setReport(QString("Reply\r\n").repeated(80), "1ms", "0");
    report.setRecords(std::vector<ping::PingRecord>(80, {0, 1, "127.0.0.1", 0, 900, 32, 64}),
                      "127.0.0.1", "127.0.0.1");
    report.showReport();
    expectFits(&report,
               {in(&report, "reportcopy"), in(&report, "reportsave"), in(&report, "Command1")});

    click(w("whoiswords"));
    click(w("whoisserver"));
    QWidget* servers = form->whoisupdate();
    expectFits(servers,
               {in(servers, "Command1"), in(servers, "Command3"), in(servers, "Command2")});

    form->ShowAbout();
    QWidget* about = form->about();
    expectFits(about, {in(about, "cmdOK"), in(about, "cmdSysInfo")});

    shell.folder = QFileInfo(qEnvironmentVariable("NORVIK_CLI")).path().toStdString();
    shell.openAnswer = false;
    click(w("Image2"));
    QWidget* help = form->help().window();
    expectFits(help, {in(help, "helpBack"), in(help, "helpForward")});

    // A message box with more lines than the screen holds.
    platform::QtMessageBox qtBoxes;
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        expectFits(box, {box->button(QMessageBox::Ok)});
        box->button(QMessageBox::Ok)->click();
    });
    qtBoxes.show(QString("A line of the message\r\n").repeated(60).toStdString(), "Norvik",
                 platform::Buttons::Ok, platform::Icon::Critical);
}

}  // namespace
}  // namespace norvik::test
