// The TraceRoute page: "Trace Route" and Enter, the box, the status line and
// the destination list (an empty destination and the state during a hop:
// the engine's tests and RunStop); the page left and shown again while a trace runs;
// and the window closed while a silent hop waits. The monitor over real
// ICMP to 127.0.0.1, on the page alone.

#include <QClipboard>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include "ShellFixture.h"
#include "platform/LinuxProbeSocket.h"
#include "platform/qt/EventLoopWaiter.h"
#include "shell/MonitorModel.h"
#include "shell/ResultButtons.h"
#include "shell/RunGuard.h"
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

// A silent hop answered, an address new to a hop, a hop new to the path and
// a path grown shorter: cells change and rows come and go where they are,
// never a reset.
TEST(TraceMonitorModel, RoundsChangeCellsAndInsertOrRemoveOnlyTheirRows) {
    qtApp();
    const auto table = [](std::vector<std::vector<const char*>> hops) {
        trace::MonitorTable t;
        for (const auto& by : hops) {
            t.hops.push_back({static_cast<int>(t.hops.size()) + 1, 2, 0, {}});
            for (const char* a : by) {
                t.hops.back().addresses.push_back({*platform::IpAddress::parse(a), "", {}});
                t.hops.back().addresses.back().trips.add(1000);
                ++t.hops.back().answered;
            }
        }
        return t;
    };
    shell::MonitorModel model;
    QStringList told;
    const auto tell = [&](const char* what) {
        return [&told, what](const QModelIndex&, int first, int last) {
            told << QString("%1 %2-%3").arg(what).arg(first).arg(last);
        };
    };
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, tell("insert"));
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved, tell("remove"));
    QObject::connect(
        &model, &QAbstractItemModel::dataChanged, [&](const QModelIndex& a, const QModelIndex& b) {
            told << QString("change %1:%2-%3").arg(a.row()).arg(a.column()).arg(b.column());
        });
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { told << "reset"; });
    const char* a = "192.0.2.1";
    const char* b = "192.0.2.2";
    const char* c = "192.0.2.9";
    model.update(table({{}, {b}}));
    model.update(table({{a}, {b, c}, {a}}));
    model.update(table({{a}, {b, c}}));
    EXPECT_EQ(told, (QStringList{"insert 0-0", "insert 1-1", "change 0:1-9", "change 1:1-2",
                                 "insert 2-2", "insert 3-3", "remove 3-3"}));
    QStringList hosts;
    for (int r = 0; r < model.rowCount(); ++r) hosts << model.index(r, 1).data().toString();
    EXPECT_EQ(hosts, (QStringList{a, "192.0.2.2 (50%)", "192.0.2.9 (50%)"}));
}

// The page alone over a temporary store, in a window with its own input
// guard (Escape, input refused during a round); rounds follow each other at
// once.
class TraceMonitor : public ::testing::Test, public shell::RunControl {
  protected:
    void SetUp() override {
        if (!platform::LinuxProbeSocket::open(platform::Family::V4))
            GTEST_SKIP() << "no ICMP socket opens here";
        reg.CreateKeyPath(store::kNorvikKey);
    }
    bool ended() const override { return end; }
    bool inputBlocked() const override { return guard.inputBlocked(); }
    void blockInput(bool b, bool hold) override { guard.blockInput(b, hold); }
    bool wait(int fd, int ms, const bool& stop) override {
        end = end || ++waits > 500;  // a run that is never stopped fails, not hangs
        if (onWait) onWait();
        return guard.wait(fd, ms, stop);
    }
    // Only the window's own page is stopped by Escape.
    void addRun(shell::StoppableRun& run) override {
        if (guarded++ == 0) guard.addRun(run);
    }
    std::unique_ptr<shell::TracePage> page(QWidget& in) {
        shell::TraceFrame frame{&status, *this};
        frame.roundSpacingMs = 0;
        auto p = std::make_unique<shell::TracePage>(frame, reg, hosts, resolver, echo, boxes, &in);
        p->findChild<QComboBox*>("traceCombo1")->setEditText("localhost");
        return p;
    }
    QString cell(shell::TracePage& p, int row, int column) {
        return p.monitorModel().index(row, column).data(Qt::AccessibleTextRole).toString();
    }
    bool blocked() const { return guard.inputBlocked(); }

    QApplication& app = qtApp();
    TempStore temp;
    std::unique_ptr<platform::SqliteKeyStore> store = temp.open();
    ScriptedMessageBox boxes;
    store::Registry reg{*store, boxes};
    LoopbackResolver resolver;
    net::HostToIP hosts{resolver, boxes};
    ScriptedEchoService echo;
    QLabel status;
    QWidget window;
    shell::RunGuard guard{window, platform::pollWaiter};
    int guarded = 0, waits = 0;
    bool end = false;
    std::function<void()> onWait;
};

// Save answers from here instead of opening a file dialog.
struct SaveTo : shell::SaveDialog {
    QString path, filter;
    std::optional<Choice> ask(QWidget*, const QString&) override { return Choice{path, filter}; }
};

TEST_F(TraceMonitor, RoundsUpdateTheTableInPlaceUntilStoppedMidRound) {
    auto p = page(window);
    // One row of Copy and Save shows: the one of the box or table shown.
    const auto copyShown = [&](const char* name) {
        return !window.findChild<QWidget*>(name)->parentWidget()->isHidden();
    };
    EXPECT_TRUE(copyShown("tracecopy") && !copyShown("monitorcopy"));
    auto* box = p->findChild<QCheckBox*>("tracemonitor");
    box->click();
    EXPECT_TRUE(!copyShown("tracecopy") && copyShown("monitorcopy"));
    EXPECT_EQ(reg.ReadKeyValue(store::kNorvikKey, "Trace Monitor"), "1");
    QWidget other;
    EXPECT_TRUE(page(other)->findChild<QCheckBox*>("tracemonitor")->isChecked());
    EXPECT_TRUE(window.findChild<QWidget*>("trace")->isHidden());
    EXPECT_FALSE(p->monitorTable()->isHidden());
    p->findChild<QCheckBox*>("Check1")->setChecked(true);

    shell::MonitorModel& model = p->monitorModel();
    int resets = 0, inserted = 0, changed = 0;
    QObject::connect(&model, &QAbstractItemModel::modelAboutToBeReset, [&] { ++resets; });
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&] { ++inserted; });
    QObject::connect(&model, &QAbstractItemModel::dataChanged, [&] { ++changed; });
    onWait = [&] {
        EXPECT_FALSE(box->isEnabled());
        if (model.rowCount() == 1) p->monitorTable()->selectRow(0);
        // Into the fourth round, Stop: that round counts for nothing.
        if (blocked() && cell(*p, 0, 3) == "3") p->findChild<QPushButton*>("tracestop")->click();
    };
    p->trace();
    EXPECT_EQ(status.text(), "Trace Route Stopped");
    EXPECT_FALSE(p->running());
    EXPECT_FALSE(blocked());
    EXPECT_TRUE(box->isEnabled());
    EXPECT_EQ(resets, 0);
    EXPECT_EQ(inserted, 1);
    EXPECT_EQ(changed, 2);
    ASSERT_EQ(model.rowCount(), 1);
    const QStringList row = {cell(*p, 0, 0), cell(*p, 0, 1), cell(*p, 0, 2), cell(*p, 0, 3)};
    EXPECT_EQ(row, (QStringList{"1", "localhost", "0.0", "3"}));
    EXPECT_FALSE(cell(*p, 0, 9).isEmpty());
    EXPECT_EQ(model.headerData(4, Qt::Horizontal, Qt::AccessibleTextRole), "Last");
    EXPECT_TRUE(p->monitorTable()->selectionModel()->isRowSelected(0, {}));
    EXPECT_EQ(p->findChild<QComboBox*>("traceCombo1")->count(), 1);

    // Copy gives the text with CR LF, Save CSV or JSON.
    window.findChild<QPushButton*>("monitorcopy")->click();
    const QStringList lines = QGuiApplication::clipboard()->text().split("\r\n");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith("Hop  Host       Loss %  Sent  Last"))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("  1  localhost     0.0     3")) << lines[1].toStdString();
    QTemporaryDir dir;
    SaveTo dialog;
    shell::SetSaveDialog(&dialog);
    auto* buttons = window.findChild<shell::ResultButtons*>("monitorbuttons");
    QByteArray saved[2];
    for (int i : {0, 1}) {
        dialog.filter = i == 0 ? exports::kCsvFilter : exports::kJsonFilter;
        dialog.path = dir.filePath(i == 0 ? "m.csv" : "m.json");
        EXPECT_TRUE(buttons->saveResult());
        QFile f(dialog.path);
        if (f.open(QIODevice::ReadOnly)) saved[i] = f.readAll();
    }
    shell::SetSaveDialog(nullptr);
    EXPECT_TRUE(
        saved[0].startsWith("Hop,Host,Loss %,Sent,Last,Avg,Best,Worst,StDev,Jitter\r\n"
                            "1,localhost,0.0,3,"))
        << saved[0].toStdString();
    const QJsonObject json = QJsonDocument::fromJson(saved[1]).object();
    EXPECT_EQ(json["rounds"].toInt(), 3);
    EXPECT_TRUE(json["reached"].toBool());
    EXPECT_EQ(json["hops"][0]["host"].toString(), "localhost");

    box->click();
    EXPECT_EQ(reg.ReadKeyValue(store::kNorvikKey, "Trace Monitor"), "0");
    EXPECT_FALSE(window.findChild<QWidget*>("trace")->isHidden());
    EXPECT_TRUE(copyShown("tracecopy") && !copyShown("monitorcopy"));
}

TEST_F(TraceMonitor, EscapeAndClosingTheWindowMidRound) {
    auto p = page(window);
    p->findChild<QCheckBox*>("tracemonitor")->setChecked(true);
    onWait = [&] {
        if (blocked() && cell(*p, 0, 3) == "2") key(p->monitorTable(), Qt::Key_Escape);
    };
    p->trace();
    EXPECT_EQ(status.text(), "Trace Route Stopped");
    EXPECT_EQ(cell(*p, 0, 3), "2");

    // Closed, the run ends at once and tells nothing more.
    waits = 0;
    onWait = [&] {
        if (blocked() && cell(*p, 0, 3) == "1") end = true;
    };
    p->trace();
    EXPECT_FALSE(p->running());
    EXPECT_EQ(status.text(), "Tracing...");
    EXPECT_EQ(cell(*p, 0, 3), "1");
    EXPECT_FALSE(p->findChild<QPushButton*>("traceaway")->isEnabled());
    EXPECT_LE(waits, 3);
}

}  // namespace
}  // namespace norvik::test
