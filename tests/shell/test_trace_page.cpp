// The TraceRoute page: "Trace Route" and Enter, the box, the status line and
// the destination list (an empty destination and the state during a hop:
// the engine's tests and RunStop); the page left and shown again while a trace runs;
// and the window closed while a silent hop waits.

#include <QTimer>

#include "ShellFixture.h"
#include "platform/qt/EventLoopWaiter.h"
#include "shell/TracePage.h"

namespace norvik::test {
namespace {

using platform::status::kSuccess;

const QString kHint =
    "Type the domain or IP you wish to trace a route to in the 'Address to trace to' box.\n\n"
    "Click TRACE ROUTE to perform trace on domain.\n\n"
    "Trace Route information will appear in this box.";

// A click that waits in the event queue, as one made during an echo does.
void postClick(QWidget* w) {
    const QPointF pos(w->width() / 2.0, w->height() / 2.0);
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QCoreApplication::postEvent(
            w, new QMouseEvent(t, pos, w->mapToGlobal(pos), Qt::LeftButton,
                               t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                               Qt::NoModifier));
    }
}

class TracePage : public ShellTest {
  protected:
    void open(const QString& destination) {
        start();
        click(w("tracerouteicon"));
        w<QComboBox>("traceCombo1")->setEditText(destination);
    }
    void traceRoute() { click(w("traceaway")); }
};

TEST_F(TracePage, TraceFillsTheBoxAndStatusAndKeepsTheDestinationOnce) {
    put("IPs", "1", "alpha.test");
    open("198.51.100.9");
    w<QLineEdit>("traceText3")->setText("200");
    w<QCheckBox>("Check1")->setChecked(true);
    resolver.hosts[{198, 51, 100, 1}] = "edge.test";
    echo.answer("198.51.100.1", 3);
    echo.answer("198.51.100.9", 15, kSuccess);
    traceRoute();
    ASSERT_EQ(echo.requests.size(), 2u);
    EXPECT_EQ(echo.requests[1].payload, std::string(128, 'a'));
    expectTexts({{"trace",
                  "Tracing Route to 198.51.100.9:\n\n"
                  "Hop #\t1\t<10 ms\t198.51.100.1\tedge.test\n"
                  "Hop #\t2\t15 ms\t198.51.100.9\t\n\nTrace Route Complete"},
                 {"traceLabel4", "Trace Route Complete"},
                 {"traceText1", "198.51.100.9"},
                 {"traceText3", "128"}});
    EXPECT_TRUE(w("traceaway")->isEnabled());
    EXPECT_FALSE(form->inputBlocked());
    EXPECT_FALSE(static_cast<shell::TracePage&>(form->page(shell::Form1::PageId::Trace)).running());

    // The same text again is listed once; other capitals are another entry.
    echo.answer("198.51.100.9", 1, kSuccess);
    traceRoute();
    w<QComboBox>("traceCombo1")->setEditText("Alpha.test");
    traceRoute();  // does not resolve: nothing is sent
    EXPECT_EQ(echo.requests.size(), 3u);
    EXPECT_EQ(items("traceCombo1"), (QStringList{"alpha.test", "198.51.100.9", "Alpha.test"}));
    EXPECT_EQ(text("traceCombo1"), "Alpha.test");
    EXPECT_EQ(text("traceLabel4"), "Trace Route Timed Out");
    EXPECT_TRUE(boxes.shown.empty());
    // The page writes nothing to the store.
    EXPECT_EQ(storedSlots("SessionIPs"), (Slots{{"1", "alpha.test"}}));
}

// Enter in the destination box, or in the size box once it has the focus,
// traces.
TEST_F(TracePage, EnterInTheDestinationBoxTraces) {
    open("127.0.0.1");
    echo.answer("127.0.0.1", 1, kSuccess);
    key(w("traceCombo1"), Qt::Key_Return);
    EXPECT_EQ(echo.requests.size(), 1u);
    EXPECT_EQ(text("traceLabel4"), "Trace Route Complete");
    form->showPage(shell::Form1::PageId::Ping);
    form->showPage(shell::Form1::PageId::Trace);
    w("traceText3")->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(form->defaultButton(), w<QPushButton>("traceaway"));
    w<QComboBox>("traceCombo1")->setEditText("127.0.0.1");
    key(w("traceText3"), Qt::Key_Return);
    EXPECT_EQ(echo.requests.size(), 2u);
}

TEST_F(TracePage, LeavingAndShowingThePageAgainWhileATraceRuns) {
    put("IPs", "1", "alpha.test");
    open("203.0.113.2");
    echo.answer("198.51.100.1", 1);
    echo.answer("198.51.100.2", 1);
    echo.answer("203.0.113.2", 1, kSuccess);
    echo.onSend = [&](const platform::EchoRequest& r, const platform::Waiter&) {
        if (r.ttl == 1) postClick(w("iptransicon"));
        if (r.ttl == 2) {
            EXPECT_EQ(text("nme"), "IP Translation");
            EXPECT_FALSE(shown("trace"));
            postClick(w("tracerouteicon"));
        }
        if (r.ttl == 3) {
            // Showing the page refilled the box and emptied the hidden field.
            expectTexts({{"nme", "TraceRoute"},
                         {"trace", kHint.toLatin1().constData()},
                         {"traceText1", ""},
                         {"traceCombo1", "alpha.test"}});
        }
    };
    traceRoute();
    // The trace went on appending, and still knew its destination.
    EXPECT_EQ(text("trace"), kHint + "Hop #\t3\t<10 ms\t203.0.113.2\n\nTrace Route Complete");
    EXPECT_EQ(text("traceLabel4"), "Trace Route Complete");
    EXPECT_EQ(echo.requests.size(), 3u);
    EXPECT_EQ(items("traceCombo1"), QStringList{"alpha.test"});
}

TEST_F(TracePage, ClosingTheWindowStopsTheTraceAfterTheEchoInFlight) {
    waiter = platform::eventLoopWaiter;
    open("203.0.113.2");
    echo.answer("198.51.100.1", 1);
    echo.answer("198.51.100.2", 1);
    SilentSocket silent;
    echo.onSend = [&](const platform::EchoRequest& r, const platform::Waiter& wait) {
        if (r.ttl != 2) return;
        QTimer::singleShot(20, form.get(), [this] { form->close(); });
        wait(silent.fd[0], 200);
    };
    traceRoute();
    EXPECT_EQ(echo.requests.size(), 2u);
    expectEnded(true);
    EXPECT_FALSE(static_cast<shell::TracePage&>(form->page(shell::Form1::PageId::Trace)).running());
    // Nothing was written after the close.
    EXPECT_EQ(text("trace"), "Tracing Route to 203.0.113.2:\n\nHop #\t1\t<10 ms\t198.51.100.1\n");
    EXPECT_EQ(text("traceLabel4"), "Tracing...");
    EXPECT_TRUE(items("traceCombo1").isEmpty());
}

}  // namespace
}  // namespace norvik::test
