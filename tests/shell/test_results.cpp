// What a user keeps of a run: the report window's texts, statistics and plot,
// and Copy and Save under the report, the trace results and the whois
// answer.

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "../support/LoopbackTcpServer.h"
#include "../support/SpinUntil.h"
#include "ShellFixture.h"
#include "shell/ResultButtons.h"
#include "shell/RttPlot.h"
#include "shell/Widgets.h"

namespace norvik::test {
namespace {

using platform::status::kSuccess;

// The timed-out pings' marks along one row of the plot's time-out band:
// the number of separate runs of the mark colour.
int markRuns(const std::vector<std::uint32_t>& us, qreal scale) {
    shell::RttPlot plot;
    plot.resize(420, 170);
    std::vector<ping::PingRecord> records;
    for (std::uint32_t t : us) records.push_back({0, 0, "", t == 0 ? 11010 : 0, t, 32, 64});
    plot.setRecords(records);
    QImage image((QSizeF(plot.size()) * scale).toSize(), QImage::Format_ARGB32);
    image.setDevicePixelRatio(scale);
    plot.render(&image);
    const int y = static_cast<int>(plot.timeoutBand().center().y() * scale);
    int runs = 0;
    bool inRun = false;
    for (int x = 0; x < image.width(); ++x) {
        const bool mark = image.pixelColor(x, y) == shell::RttPlot::timeoutColor();
        runs += mark && !inRun;
        inRun = mark;
    }
    return runs;
}

TEST(RttPlotTest, TimeOutsAreMarkedAtScaleOneAndTwoAndAfterDecimating) {
    qtApp();
    std::vector<std::uint32_t> many(10000, 800);
    for (std::size_t lost : {100, 5000, 9990}) many[lost] = 0;
    const struct {
        std::vector<std::uint32_t> us;
        int runs;
    } cases[] = {
        {{500, 900, 0, 700, 0, 0, 0, 300, 800, 0}, 5},  // 2, 4, 5, 6, 9
        {std::vector<std::uint32_t>(300, 0), 1},        // side by side, one run
        {{500, 900, 700}, 0},
        {many, 3},
    };
    for (const auto& c : cases) {
        for (qreal scale : {1.0, 2.0}) {
            EXPECT_EQ(markRuns(c.us, scale), c.runs) << c.us.size() << " pings at " << scale;
        }
    }
}

// Save answers from here instead of opening a file dialog.
struct AnsweringDialog : shell::SaveDialog {
    std::optional<Choice> choice;
    std::optional<Choice> ask(QWidget*, const QString&) override { return choice; }
};

class Results : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        shell::SetSaveDialog(&dialog);
    }
    void TearDown() override { shell::SetSaveDialog(nullptr); }
    // Saves through the named button with a filter; what landed in the file.
    QByteArray save(QWidget* in, const QString& prefix, const char* filter) {
        dialog.choice = shell::SaveDialog::Choice{dir.filePath(prefix), filter};
        auto* buttons = in->findChild<shell::ResultButtons*>(prefix + "buttons");
        EXPECT_NE(buttons, nullptr);
        if (buttons == nullptr || !buttons->saveResult()) return {};
        QFile f(QString::fromStdString(exports::WithExtension(dir.filePath(prefix).toStdString(),
                                                              *exports::FormatOfFilter(filter))));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString clipboard() { return QGuiApplication::clipboard()->text(); }

    AnsweringDialog dialog;
    QTemporaryDir dir;
};

// (Under a decimal comma the figures are the engine's:
// PingStatisticsTest.HandWorkedRunsUnderADecimalComma and
// NumberRules.ADecimalCommaLocaleChangesNothing.)
TEST_F(Results, ReportWindowShowsTheRunsFiguresAndKeepsThem) {
    resolver.names["router.test"] = {127, 0, 0, 2};
    echo.replyAfter(20);
    echo.replyAfter(31);
    echo.failWith(platform::status::kTimedOut);
    prepare("router.test", "3");
    pingNow();
    ASSERT_EQ(echo.requests.size(), 3u);
    EXPECT_EQ(echo.requests[0].payload, "NorvikNorvikNorvikNorvikNorvikNo");
    // The engine's own test works the report out; the window shows it with
    // plain line ends.
    shell::Form2& report = form->form2();
    const QString worked =
        "Ping Report for router.test [127.0.0.2]\r\n\r\n20 ms\r\n31 ms\r\nRequest Timed "
        "Out\r\n\r\n\r\nMinimum Ping:  20ms\r\nMaximum Ping:  31ms\r\nAverage Ping:  25ms";
    EXPECT_EQ(report.findChild<QPlainTextEdit*>("Text1")->toPlainText(),
              QString(worked).replace("\r\n", "\n"));
    EXPECT_EQ(report.averageText(), " 25ms");
    EXPECT_EQ(report.timeoutsText(), " 1");
    EXPECT_TRUE(report.isVisible());

    // The last pass failed: red (as dark as the surface needs), "Failed",
    // the cross.
    const QColor red = w<QLabel>("status")->palette().color(QPalette::WindowText);
    EXPECT_TRUE(red.red() >= 0xC0 && red.green() == 0 && red.blue() == 0)
        << red.name().toStdString();
    EXPECT_EQ(w<shell::IconView>("Picture1")->iconName(), "cross");
    expectTexts({{"status", "Failed"},
                 {"Text4_0", "11010   [ ip req timed out ]"},
                 {"Text5", "127.0.0.2"},
                 {"return1", "Returned Data"}});
    expectShown({"Text4_0", "Text4_2", "Text4_3"}, true);
    expectShown({"Text4_1", "Text4_5", "ProgressBar1", "todo"}, false);
    EXPECT_EQ(storedSlots("SessionIPs"), (Slots{{"1", "router.test"}}));
    EXPECT_EQ(items("Combo1"), (QStringList{"router.test"}));

    EXPECT_EQ(report.statisticsText(),
              "3 sent, 2 received, 33.33% loss, min/avg/max/mdev "
              "20.00/25.50/31.00/5.50 ms, jitter 11.00 ms");
    EXPECT_EQ(report.findChild<shell::RttPlot*>("rttplot")->count(), 3);
    // On show, the line breaks only between its fields, at any width.
    report.showReport();
    QWidget* stats = report.findChild<QWidget*>("statsline");
    for (int width : {report.width(), 260}) {
        report.resize(width, report.height());
        QCoreApplication::processEvents();
        std::map<std::pair<int, int>, QString> shown;  // by row, then column
        for (QLabel* part : stats->findChildren<QLabel*>()) {
            EXPECT_LE(part->geometry().right(), stats->width()) << part->text().toStdString();
            shown[{part->y(), part->x()}] = part->text();
        }
        QStringList rows;
        int row = -1;
        for (const auto& [at, part] : shown) {
            if (at.first != row) rows << QString();
            row = at.first;
            rows.back() += (rows.back().isEmpty() ? "" : " ") + part;
        }
        EXPECT_GT(rows.size(), 1) << width;
        EXPECT_EQ(rows.join(' '), report.statisticsText()) << width;
        for (qsizetype i = 0; i + 1 < rows.size(); ++i)
            EXPECT_TRUE(rows[i].endsWith(',')) << rows[i].toStdString();
    }

    click(report.findChild<QPushButton*>("reportcopy"));
    EXPECT_EQ(clipboard(), worked);

    // The rows of each format are the export test's; here the run's records
    // reach the file.
    EXPECT_EQ(save(&report, "report", exports::kTextFilter), report.reportText().toUtf8());
    const QJsonArray pings = QJsonDocument::fromJson(save(&report, "report", exports::kJsonFilter))
                                 .object()["pings"]
                                 .toArray();
    EXPECT_EQ(pings[1]["round_trip_ms"].toDouble(), 31.0);

    // Cancelled: nothing written; unwritable: a message says so.
    auto* buttons = report.findChild<shell::ResultButtons*>("reportbuttons");
    dialog.choice.reset();
    EXPECT_FALSE(buttons->saveResult());
    dialog.choice = shell::SaveDialog::Choice{"/proc/norvik/none.txt", exports::kTextFilter};
    EXPECT_FALSE(buttons->saveResult());
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.texts()[0].rfind("The file could not be saved:\r\n/proc/norvik/none.txt", 0),
              0u);

    // Close hides the report and brings the main window back; View Report
    // shows the same report again.
    form->hide();
    click(report.findChild<QPushButton*>("Command1"));
    EXPECT_FALSE(report.isVisible());
    EXPECT_TRUE(form->isVisible());
    click(w("Label11"));
    EXPECT_TRUE(report.isVisible());
    EXPECT_EQ(report.reportText(), worked);
}

// (Which page shows which buttons: the page tests.) Copy and Save work only
// while the box holds a result, never on the page's own words.
TEST_F(Results, TraceAndWhoisButtonsCopyAndSaveWhatIsShown) {
    LoopbackTcpServer server(ServerScript::answer("Domain Name: EXAMPLE.TEST\r\n"));
    whoisPort = server.port();
    start();
    const auto offered = [&](const char* prefix) {
        const bool copy = w(QByteArray(prefix).append("copy").constData())->isEnabled();
        EXPECT_EQ(w(QByteArray(prefix).append("save").constData())->isEnabled(), copy);
        return copy;
    };
    click(w("tracerouteicon"));
    EXPECT_FALSE(offered("trace"));
    w<QComboBox>("traceCombo1")->setEditText("198.51.100.9");
    echo.answer("198.51.100.1", 3);
    echo.answer("198.51.100.9", 15, kSuccess);
    click(w("traceaway"));
    EXPECT_TRUE(offered("trace"));
    click(w("tracecopy"));
    EXPECT_EQ(clipboard(), text("trace").replace("\n", "\r\n"));
    const QJsonArray hops = QJsonDocument::fromJson(save(form.get(), "trace", exports::kJsonFilter))
                                .object()["hops"]
                                .toArray();
    ASSERT_EQ(hops.size(), 2);
    EXPECT_EQ(hops[1]["address"].toString(), "198.51.100.9");
    EXPECT_EQ(hops[1]["round_trip_ms"].toDouble(), 15.0);

    click(w("whoisicon"));
    EXPECT_FALSE(offered("whois"));
    w<QComboBox>("whoisCombo1")->setEditText("example.test");
    w<QComboBox>("whoiscombo2")->setEditText("127.0.0.1");
    click(w("lookupwhois"));
    EXPECT_FALSE(offered("whois"));
    ASSERT_TRUE(spinUntil([&] { return w("lookupwhois")->isEnabled(); }));
    EXPECT_TRUE(offered("whois"));
    click(w("whoiscopy"));
    EXPECT_EQ(clipboard(), "Domain Name: EXAMPLE.TEST\r\n");
    EXPECT_EQ(save(form.get(), "whois", exports::kTextFilter), clipboard().toUtf8());

    // Shown again, each page's box holds its own words.
    click(w("whoisicon"));
    EXPECT_FALSE(offered("whois"));
    click(w("tracerouteicon"));
    EXPECT_FALSE(offered("trace"));
}

}  // namespace
}  // namespace norvik::test
