#include "shell/PingPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "ping/Numbers.h"
#include "shell/Form2.h"
#include "shell/PingPanels.h"
#include "shell/Widgets.h"
#include "store/Settings.h"

namespace norvik::shell {

namespace {

const char kPingIntro[] =
    "Norvik has 4 main functions, these can be accessed from the icons on the left. "
    "Configuration and further help are available from the icons in the top right.";

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& q) { return q.toStdString(); }

}  // namespace

PingPage::PingPage(PingFrame frame, store::Registry& reg, net::HostToIP& hosts,
                   platform::EchoService& echo, platform::MessageBox& boxes,
                   SettingsChoices& choices, QWidget* parent)
    : Page(parent),
      frame_(std::move(frame)),
      reg_(reg),
      hosts_(hosts),
      choices_(choices),
      run_(*this, reg, hosts, echo, boxes) {
    setObjectName(QStringLiteral("pingPage"));
    auto* addressCaption = plainLabel(QStringLiteral("Address to Ping"), "Label1", this);
    addressBox_ = editableCombo("Combo1", this);
    addressBox_->setMinimumContentsLength(24);
    resolvedBox_ = named(new QLineEdit(this), "Text5");
    resolvedBox_->setReadOnly(true);
    resolvedBox_->setPlaceholderText(QStringLiteral("IP address"));
    resolvedBox_->setToolTip(QStringLiteral("Click to look up the address"));
    auto* countCaption = plainLabel(QStringLiteral("MultiPing"), "Label9", this);
    countBox_ = editableCombo("Combo2", this);
    untilBox_ = named(new QCheckBox(QStringLiteral("Until stopped"), this), "pinguntilstop");
    untilBox_->setToolTip(QStringLiteral("Ping once a second until Stop or Esc"));
    auto* sizeCaption = plainLabel(QStringLiteral("Data to send"), "Label2", this);
    sizeBox_ = editableCombo("Combo3", this);
    auto* bytesCaption = plainLabel(QStringLiteral("bytes"), "Label12", this);
    pingButton_ = button(QStringLiteral("Ping Now"), "carryoutping", this);
    stopButton_ = button(QStringLiteral("Stop"), "pingstop", this);
    stopButton_->setToolTip(QStringLiteral("Stop after this ping (Esc)"));
    reportLink_ = linkLabel(QStringLiteral("View Report"), "Label11", this);
    // The payload is never shown; it can hold the largest echo's data.
    payloadBox_ = named(new QLineEdit(this), "Text2");
    payloadBox_->setMaxLength(static_cast<int>(ping::kMaxPayload));
    rule_ = named(new QFrame(this), "Line1");
    rule_->setFrameShape(QFrame::HLine);
    rule_->setFrameShadow(QFrame::Sunken);
    status_ = new StatusPanel(this);
    results_ = new PingResults(parent);
    section_ = std::make_unique<PingResultsSection>(*this, frame_.heading, frame_.intro, results_,
                                                    choices);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->addWidget(addressCaption, 0, 0);
    grid->addWidget(addressBox_, 0, 1, 1, 3);
    grid->addWidget(resolvedBox_, 0, 4, 1, 2);
    grid->addWidget(countCaption, 1, 0);
    auto* count = new QHBoxLayout;
    count->addWidget(countBox_, 1);
    count->addWidget(untilBox_);
    grid->addLayout(count, 1, 1);
    grid->addWidget(sizeCaption, 1, 2, Qt::AlignRight);
    grid->addWidget(sizeBox_, 1, 3);
    grid->addWidget(bytesCaption, 1, 4);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(pingButton_);
    buttons->addWidget(stopButton_);
    buttons->addStretch(1);
    grid->addLayout(buttons, 2, 0, 1, 2);
    grid->addWidget(reportLink_, 2, 3, 1, 3, Qt::AlignRight | Qt::AlignVCenter);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnStretch(5, 1);
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(10);
    page->addLayout(grid);
    page->addWidget(rule_);
    page->addWidget(status_);

    // Every input is named after its caption for assistive technology (the
    // caption label is its buddy); inputs without one get a name of their own.
    for (const auto& [caption, input] : {std::pair<QLabel*, QWidget*>{addressCaption, addressBox_},
                                         {countCaption, countBox_},
                                         {sizeCaption, sizeBox_}}) {
        caption->setBuddy(input);
        input->setAccessibleName(caption->text().trimmed());
    }
    resolvedBox_->setAccessibleName(QStringLiteral("IP address"));
    payloadBox_->setAccessibleName(QStringLiteral("Data to send"));
    for (QWidget* w : std::initializer_list<QWidget*>{stopButton_, payloadBox_, rule_, status_})
        w->setVisible(false);

    frame_.runs.addRun(*this);
    connect(pingButton_, &QPushButton::clicked, this, &PingPage::ping);
    // Until stopped, the count has no say.
    connect(untilBox_, &QCheckBox::toggled, countBox_, &QWidget::setDisabled);
    connect(stopButton_, &QPushButton::clicked, this, [this] {
        stop_ = running_;
        stopButton_->setEnabled(false);
    });
    // Enter in the address box pings, once it is typed in, picked from or
    // has the focus.
    const auto pingIsDefault = [this] { emit defaultChosen(pingButton_); };
    connect(addressBox_, &QComboBox::editTextChanged, this, pingIsDefault);
    connect(addressBox_, &QComboBox::activated, this, pingIsDefault);
    connect(sizeBox_, &QComboBox::editTextChanged, this, &PingPage::makePayload);
    connect(sizeBox_, &QComboBox::activated, this, &PingPage::makePayload);
    connect(reportLink_, &ClickLabel::clicked, this, [this] {
        if (!frame_.runs.ended()) frame_.report().showReport();
    });
    addressBox_->installEventFilter(this);
    addressBox_->lineEdit()->installEventFilter(this);
    resolvedBox_->installEventFilter(this);
}

void PingPage::enter() {
    setVisible(true);
    frame_.intro->setVisible(true);
    ShowProgressHeading();
    frame_.heading->setText(QStringLiteral("Welcome to Norvik!"));
    frame_.intro->setText(QLatin1String(kPingIntro));
    reg_.CreateKeyPath(store::kSessionIPsKey);

    for (QComboBox* c : {addressBox_, countBox_, sizeBox_}) {
        c->clear();
        c->clearEditText();
    }
    countBox_->addItems(QStringLiteral("1 2 3 4 5 10 20 50").split(u' '));
    sizeBox_->addItems(QStringLiteral("1 16 32").split(u' '));
    sizeBox_->setCurrentIndex(2);
    makePayload();

    choices_.readRemember();
    const std::string nopings = reg_.ReadKeyValue(store::kNorvikKey, store::kNoPings);
    if (countBox_->count() > 0) countBox_->setCurrentIndex(0);
    if (nopings != store::kError) countBox_->setEditText(q(nopings));
    section_->applyDisplayChoices();

    for (const std::string& a : store::ReadSessionList(reg_)) addressBox_->addItem(q(a));
    if (addressBox_->count() > 0) addressBox_->setCurrentIndex(0);
    addressBox_->setFocus();
}

void PingPage::leave() {
    setVisible(false);
    for (QWidget* w : std::initializer_list<QWidget*>{frame_.intro, rule_, status_})
        w->setVisible(false);
    ShowProgressHeading();
}

std::vector<QWidget*> PingPage::tabOrder() const {
    std::vector<QWidget*> order = {addressBox_, resolvedBox_, countBox_,   untilBox_,
                                   sizeBox_,    pingButton_,  stopButton_, reportLink_};
    const std::vector<QWidget*> fields = results_->tabOrder();
    order.insert(order.end(), fields.begin(), fields.end());
    return order;
}

QWidget* PingPage::resultsSection() const { return results_; }

bool PingPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn && watched != resolvedBox_) {
        emit defaultChosen(pingButton_);
    } else if (event->type() == QEvent::MouseButtonRelease && watched == resolvedBox_ &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        lookUpAddress();
    }
    return Page::eventFilter(watched, event);
}

void PingPage::makePayload() {
    payloadBox_->setText(QString());
    payloadBox_->setText(
        QString::fromLatin1(ping::BuildPayload(s(sizeBox_->currentText())).c_str()));
}

QString PingPage::payload() const { return payloadBox_->text(); }

// A click in the address field shows what the name resolves to.
void PingPage::lookUpAddress() {
    if (frame_.runs.ended() || running_) return;
    if (!hosts_.SocketsStart()) return;
    const std::string address = addressText();
    resolvedBox_->setText(q(hosts_.HostNameToIP(address)));
    if (address.empty()) resolvedBox_->setText(QString());
}

void PingPage::ping() {
    if (frame_.runs.ended() || running_) return;
    running_ = true;
    stop_ = false;
    // A run of more than one ping plots its round trips as they come.
    const auto count = ping::ParseNumber(countText());
    section_->startRun(untilBox_->isChecked() || (count && *count >= 2));
    stopButton_->setEnabled(true);
    stopButton_->setVisible(pingButton_->isVisible());
    run_.run();
    running_ = false;
    stop_ = false;
    if (frame_.runs.ended()) return;
    stopButton_->setVisible(false);
    frame_.runs.blockInput(false, false);
}

void PingPage::stop() {
    if (!running_) return;
    stop_ = true;
    stopButton_->setEnabled(false);
}

QWidget* PingPage::stopButton() const { return stopButton_; }

void PingPage::setSurfaceColours(const QColor& surface, const QColor& text) {
    status_->setSurfaceColours(surface, text);
}

void PingPage::ShowProgressHeading() { section_->showProgressHeading(); }
void PingPage::ShowProgressCounters() { section_->showProgressCounters(); }
void PingPage::ShowReturnedData() { section_->showReturnedData(); }

// ---- PingView ----

std::string PingPage::addressText() { return s(addressBox_->currentText()); }
std::vector<std::string> PingPage::addressItems() { return comboItems(addressBox_); }
void PingPage::appendAddressItem(const std::string& address) {
    appendKeepingTyped(addressBox_, address);
}
std::string PingPage::countText() { return s(countBox_->currentText()); }
std::string PingPage::payloadText() { return s(payloadBox_->text()); }

void PingPage::setPingEnabled(bool enabled) {
    pingButton_->setEnabled(enabled);
    pingButton_->repaint();
}

void PingPage::setWindowEnabled(bool enabled) { frame_.runs.blockInput(!enabled, false); }

void PingPage::setStatus(ping::StatusLook look, const std::string& caption) {
    status_->setStatus(look, caption);
}
bool PingPage::statusInProgress() { return status_->inProgress(); }

void PingPage::showStatusArea() {
    rule_->setVisible(true);
    status_->setVisible(true);
    repaintStatus();
}

void PingPage::repaintStatus() { status_->repaintNow(); }
void PingPage::setTodo(const std::string& text) { results_->setTodo(text); }
void PingPage::setDone(const std::string& text) { results_->setDone(text); }
void PingPage::setPercent(const std::string& text) {
    // Until stopped there is no whole to have done a share of.
    results_->setPercent(running_ && untilBox_->isChecked() ? std::string() : text);
}
void PingPage::setProgress(float percent) {
    results_->setProgress(static_cast<int>(std::lround(percent)));
}
void PingPage::repaintCounters() { results_->repaintCounters(); }

std::string PingPage::resolvedText() { return s(resolvedBox_->text()); }
void PingPage::setResolvedText(const std::string& text) { resolvedBox_->setText(q(text)); }
std::string PingPage::replyField(int index) { return s(results_->field(index)->text()); }
void PingPage::setReplyField(int index, const std::string& text) {
    results_->field(index)->setText(q(text));
}

void PingPage::setReport(const std::string& text, const std::string& average,
                         const std::string& timeouts) {
    frame_.report().setReport(q(text), q(average), q(timeouts));
}

void PingPage::showReport() { frame_.report().showReport(); }

void PingPage::setRecords(const std::vector<ping::PingRecord>& records) {
    frame_.report().setRecords(records, addressText(), resolvedText());
}

void PingPage::pingRecorded(const ping::PingRecord& record) { results_->addLive(record); }

bool PingPage::untilStopped() { return untilBox_->isChecked(); }

platform::Waiter PingPage::waiter() {
    return [this](int fd, int timeoutMs) { return frame_.runs.wait(fd, timeoutMs, stop_); };
}

}  // namespace norvik::shell
