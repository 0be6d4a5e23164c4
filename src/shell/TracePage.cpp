#include "shell/TracePage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableView>
#include <QTextOption>
#include <QVBoxLayout>

#include "shell/ResultButtons.h"
#include "shell/Widgets.h"
#include "store/Settings.h"
#include "trace/Tracer.h"

namespace norvik::shell {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& q) { return q.toStdString(); }

// The box keeps its lines as paragraphs: CR LF becomes one line break.
QString lines(const std::string& text) {
    QString t = q(text);
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return t;
}

const QString kCrLf = QStringLiteral("\r\n");

}  // namespace

TracePage::TracePage(TraceFrame frame, store::Registry& reg, net::HostToIP& hosts,
                     platform::Resolver& resolver, platform::EchoService& echo,
                     platform::MessageBox& boxes, QWidget* parent)
    : Page(parent),
      frame_(std::move(frame)),
      reg_(reg),
      hosts_(hosts),
      resolver_(resolver),
      echo_(echo),
      boxes_(boxes) {
    setObjectName(QStringLiteral("tracePage"));
    destinationCaption_ = plainLabel(QStringLiteral("Address to Trace to"), "trace1", this);
    destinationBox_ = editableCombo("traceCombo1", this);
    sizeCaption_ = plainLabel(QStringLiteral("Bytes per Packet"), "trace3", this);
    sizeBox_ = new QLineEdit(this);
    sizeBox_->setObjectName(QStringLiteral("traceText3"));
    sizeBox_->setText(QStringLiteral("32"));
    sizeBox_->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("00000000")));
    namesBox_ = new QCheckBox(QStringLiteral("Convert IPs to Addresses (takes longer)"), this);
    namesBox_->setObjectName(QStringLiteral("Check1"));
    monitorBox_ = new QCheckBox(QStringLiteral("Monitor"), this);
    monitorBox_->setObjectName(QStringLiteral("tracemonitor"));
    monitorBox_->setToolTip(
        QStringLiteral("Probe every hop once a second until stopped, with each hop's loss and "
                       "times in a table"));
    {
        const QSignalBlocker quiet(monitorBox_);
        monitorBox_->setChecked(reg_.ReadKeyValue(store::kNorvikKey, kTraceMonitor) == "1");
    }
    traceButton_ = button(QStringLiteral("Trace Route"), "traceaway", this);
    stopButton_ = button(QStringLiteral("Stop"), "tracestop", this);
    stopButton_->setToolTip(QStringLiteral("Stop after this hop (Esc)"));
    stopButton_->setVisible(false);
    destinationField_ = new QLineEdit(this);
    destinationField_->setObjectName(QStringLiteral("traceText1"));
    destinationField_->setVisible(false);
    destinationField_->setAccessibleName(QStringLiteral("Address traced to"));

    resultsSection_ = new QWidget(parent);
    resultsSection_->setObjectName(QStringLiteral("traceResults"));
    resultsSection_->setVisible(false);
    resultsBox_ = new QPlainTextEdit(resultsSection_);
    resultsBox_->setObjectName(QStringLiteral("trace"));
    resultsBox_->setLineWrapMode(QPlainTextEdit::NoWrap);
    resultsBox_->setTabChangesFocus(true);
    resultsBox_->setAccessibleName(QStringLiteral("Trace Route results"));
    resultButtons_ = makeResultButtons();
    (new InputEdges(this))->watch(resultsBox_);

    monitor_ = std::make_unique<TraceMonitorPanel>(*this, frame_, stop_, hosts_, resolver_, boxes_,
                                                   resultsSection_);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(10);
    grid->addWidget(destinationCaption_, 0, 0);
    grid->addWidget(destinationBox_, 0, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(traceButton_);
    buttons->addWidget(stopButton_);
    grid->addLayout(buttons, 0, 2);
    grid->addWidget(sizeCaption_, 1, 0);
    grid->addWidget(sizeBox_, 1, 1, Qt::AlignLeft);
    auto* checks = new QHBoxLayout;
    checks->addWidget(namesBox_);
    checks->addSpacing(20);
    checks->addWidget(monitorBox_);
    checks->addStretch(1);
    grid->addLayout(checks, 2, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    auto* results = new QVBoxLayout(resultsSection_);
    results->setContentsMargins(0, 0, 0, 0);
    results->setSpacing(10);
    results->addWidget(resultsBox_, 1);
    results->addWidget(resultButtons_);
    results->addWidget(monitor_->table(), 1);
    results->addWidget(monitor_->buttons());
    showResultsFor(monitorBox_->isChecked());

    // Each input is named after its caption for assistive technology.
    for (const auto& [caption, input] :
         {std::pair<QLabel*, QWidget*>{destinationCaption_, destinationBox_},
          std::pair<QLabel*, QWidget*>{sizeCaption_, sizeBox_}}) {
        caption->setBuddy(input);
        input->setAccessibleName(caption->text().trimmed());
    }

    frame_.runs.addRun(*this);
    connect(traceButton_, &QPushButton::clicked, this, &TracePage::trace);
    connect(stopButton_, &QPushButton::clicked, this, [this] {
        stop_ = tracing_;
        stopButton_->setEnabled(false);
    });
    connect(monitorBox_, &QCheckBox::toggled, this, &TracePage::showResultsFor);
    connect(monitorBox_, &QCheckBox::clicked, this,
            [this](bool on) { store::WriteCheckSetting(reg_, kTraceMonitor, on); });
    // Enter in the destination box traces.
    destinationBox_->installEventFilter(this);
    destinationBox_->lineEdit()->installEventFilter(this);
}

ResultButtons* TracePage::makeResultButtons() {
    SetHoldsResult(resultsBox_, false);
    return new ResultButtons(
        QStringLiteral("trace"), resultsBox_,
        [this](exports::Format f) {
            exports::TraceDocument doc = results_;
            doc.text = ShownText(resultsBox_->toPlainText()).toStdString();
            // Shown again, the page has put its own words in the box: the
            // last trace's hops are no longer what it shows.
            if (doc.text.rfind("Tracing Route to ", 0) != 0) doc.hops.clear();
            return exports::Render(f, doc);
        },
        QStringLiteral("trace"), &boxes_, resultsSection_);
}

void TracePage::showResultsFor(bool monitor) {
    // Each box's buttons follow it once it has been shown; before that the
    // page sets them too.
    resultsBox_->setVisible(!monitor);
    resultButtons_->setVisible(!monitor);
    monitor_->setVisible(monitor);
}

void TracePage::enter() {
    setVisible(true);
    resultsSection_->setVisible(true);
    stopButton_->setVisible(tracing_);
    destinationBox_->setFocus();
    emit defaultChosen(traceButton_);
    resultsBox_->setPlainText(
        QStringLiteral("Type the domain or IP you wish to trace a route to in the 'Address to "
                       "trace to' box.") +
        kCrLf + kCrLf + QStringLiteral("Click TRACE ROUTE to perform trace on domain.") + kCrLf +
        kCrLf + QStringLiteral("Trace Route information will appear in this box."));
    SetHoldsResult(resultsBox_, false);
    destinationField_->setText(QString());

    // Tab stops at 30, 54, 105 and 182 dialog units line up the hop lines;
    // a horizontal dialog unit is a quarter of the average character width.
    const qreal unit = QFontMetricsF(resultsBox_->font()).averageCharWidth() / 4.0;
    QTextOption option = resultsBox_->document()->defaultTextOption();
    QList<QTextOption::Tab> stops;
    for (int dlu : {30, 54, 105, 182})
        stops.append(QTextOption::Tab(dlu * unit, QTextOption::LeftTab));
    option.setTabs(stops);
    resultsBox_->document()->setDefaultTextOption(option);
    resultsBox_->repaint();

    destinationBox_->clear();
    destinationBox_->clearEditText();
    for (const std::string& a : store::ReadSessionList(reg_)) destinationBox_->addItem(q(a));
    if (destinationBox_->count() > 0) destinationBox_->setCurrentIndex(0);
}

void TracePage::leave() {
    setVisible(false);
    resultsSection_->setVisible(false);
    stopButton_->setVisible(false);
}

std::vector<QWidget*> TracePage::tabOrder() const {
    return {destinationBox_,
            traceButton_,
            stopButton_,
            sizeBox_,
            namesBox_,
            monitorBox_,
            resultsBox_,
            resultButtons_->copyButton(),
            resultButtons_->saveButton(),
            monitor_->table(),
            monitor_->buttons()->copyButton(),
            monitor_->buttons()->saveButton()};
}

QWidget* TracePage::stopButton() const { return stopButton_; }

bool TracePage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) emit defaultChosen(traceButton_);
    return Page::eventFilter(watched, event);
}

void TracePage::stop() {
    if (!tracing_) return;
    stop_ = true;
    stopButton_->setEnabled(false);
}

void TracePage::trace() {
    if (frame_.runs.ended() || tracing_) return;
    tracing_ = true;
    stop_ = false;
    stopButton_->setEnabled(true);
    stopButton_->setVisible(traceButton_->isVisible() && !destinationBox_->currentText().isEmpty());
    // The kind of run stays as it started.
    monitorBox_->setEnabled(false);
    if (monitorBox_->isChecked()) {
        monitor_->run();
    } else {
        trace::Tracer(*this, hosts_, resolver_, echo_, boxes_).trace();
    }
    tracing_ = false;
    stop_ = false;
    if (frame_.runs.ended()) return;
    stopButton_->setVisible(false);
    monitorBox_->setEnabled(true);
}

// ---- TraceView ----

std::string TracePage::destinationText() { return s(destinationBox_->currentText()); }

std::vector<std::string> TracePage::destinationItems() { return comboItems(destinationBox_); }

void TracePage::appendDestinationItem(const std::string& address) {
    appendKeepingTyped(destinationBox_, address);
}

std::string TracePage::packetSizeText() { return s(sizeBox_->text()); }
void TracePage::setPacketSizeText(const std::string& text) { sizeBox_->setText(q(text)); }

bool TracePage::namesWanted() { return namesBox_->isChecked(); }

void TracePage::setResults(const std::string& text) {
    resultsBox_->setPlainText(lines(text));
    SetHoldsResult(resultsBox_, !text.empty());
}

void TracePage::appendResults(const std::string& text) {
    // Always at the end, wherever the user left the cursor; the newest line
    // scrolls into view.
    resultsBox_->moveCursor(QTextCursor::End);
    resultsBox_->insertPlainText(lines(text));
    resultsBox_->ensureCursorVisible();
}

void TracePage::setDestinationField(const std::string& text) {
    destinationField_->setText(q(text));
}

void TracePage::setStatus(const std::string& caption) {
    frame_.status->setText(q(caption));
    frame_.status->repaint();
    Announce(frame_.status);
}

void TracePage::setTraceEnabled(bool enabled) {
    traceButton_->setEnabled(enabled);
    traceButton_->repaint();
}

void TracePage::setInputBlocked(bool blocked) { frame_.runs.blockInput(blocked, true); }

platform::Waiter TracePage::waiter() {
    // Stop and Escape abandon the echo at once; other input that comes while
    // the echo waits is held and reaches the window once the hop is over.
    return [this](int fd, int timeoutMs) { return frame_.runs.wait(fd, timeoutMs, stop_); };
}

void TracePage::letEventsThrough() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

bool TracePage::endRequested() { return frame_.runs.ended(); }

bool TracePage::stopRequested() { return stop_; }

void TracePage::hopRecorded(const trace::HopRecord& hop) { results_.hops.push_back(hop); }

void TracePage::hopsCleared() {
    results_.hops.clear();
    results_.target = destinationText();
}

}  // namespace norvik::shell
