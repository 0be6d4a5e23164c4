#include "shell/PingPage.h"

#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>
#include <tuple>

#include "ping/Numbers.h"
#include "shell/Form2.h"
#include "shell/Widgets.h"
#include "store/Settings.h"

namespace norvik::shell {

namespace {

const QColor kDarkBlue(0x00, 0x00, 0x99);
const QColor kRed(0xEC, 0x00, 0x00);

const char kPingIntro[] =
    "Norvik has 4 main functions, these can be accessed from the icons on the left. "
    "Configuration and further help are available from the icons in the top right.";

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& q) { return q.toStdString(); }

void setShown(std::initializer_list<QWidget*> widgets, bool shown) {
    for (QWidget* w : widgets) w->setVisible(shown);
}

void setTextNow(QLabel* label, const std::string& text) {
    label->setText(q(text));
    label->repaint();
}

void emptyCombo(QComboBox* c) {
    c->clear();
    c->clearEditText();
}

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
    addressCaption_ = plainLabel(QStringLiteral("Address to Ping"), "Label1", this);
    addressBox_ = editableCombo("Combo1", this);
    addressBox_->setMinimumContentsLength(24);
    resolvedBox_ = named(new QLineEdit(this), "Text5");
    resolvedBox_->setReadOnly(true);
    resolvedBox_->setPlaceholderText(QStringLiteral("IP address"));
    resolvedBox_->setToolTip(QStringLiteral("Click to look up the address"));
    countCaption_ = plainLabel(QStringLiteral("MultiPing"), "Label9", this);
    countBox_ = editableCombo("Combo2", this);
    sizeCaption_ = plainLabel(QStringLiteral("Data to send"), "Label2", this);
    sizeBox_ = editableCombo("Combo3", this);
    bytesCaption_ = plainLabel(QStringLiteral("bytes"), "Label12", this);
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
    // A framed surface; its colour follows the palette (setSurfaceColours).
    statusPanel_ = named(new QFrame(this), "Shape1");
    statusPanel_->setFrameShape(QFrame::StyledPanel);
    statusPanel_->setAutoFillBackground(true);
    statusIcon_ = named(new IconView(24, statusPanel_), "Picture1");
    status_ = plainLabel(QStringLiteral("Ready..."), "status", statusPanel_);
    status_->setFont(scaled(status_->font(), 1.1, true));
    // The status images; setSurfaceColours draws them.
    busyImage_ = named(new IconView(24, this), "inprogress");
    successImage_ = named(new IconView(24, this), "tick");
    failureImage_ = named(new IconView(24, this), "cross");

    resultsSection_ = named(new QWidget(parent), "pingResults");
    todoCaption_ = plainLabel(QStringLiteral("Pings to do:"), "Labelping1", resultsSection_);
    todo_ = plainLabel(QStringLiteral("12"), "todo", resultsSection_);
    doneCaption_ = plainLabel(QStringLiteral("Pings done:"), "Labelping2", resultsSection_);
    done_ = plainLabel(QStringLiteral("12"), "done", resultsSection_);
    percent_ = plainLabel(QStringLiteral("100%"), "pc", resultsSection_);
    const int counterWidth = fontMetrics().horizontalAdvance(QStringLiteral("000000.0%"));
    for (QLabel* l : {todo_, done_, percent_}) l->setMinimumWidth(counterWidth);
    progressBar_ = named(new QProgressBar(resultsSection_), "ProgressBar1");
    progressBar_->setRange(0, 100);
    progressBar_->setTextVisible(false);
    progressBar_->setAccessibleName(QStringLiteral("Progress"));

    const std::pair<const char*, const char*> replies[] = {{"Returned Status", "return2"},
                                                           {"Address (dec)", "return7"},
                                                           {"Ping Time", "return3"},
                                                           {"Packet Size", "return4"},
                                                           {"Data Pointer", "return5"}};
    const char* boxNames[] = {"Text4_0", "Text4_1", "Text4_2", "Text4_3", "Text4_5"};
    for (std::size_t i = 0; i < replyFields_.size(); ++i) {
        ReplyField& f = replyFields_[i];
        f.caption = plainLabel(QLatin1String(replies[i].first), replies[i].second, resultsSection_);
        f.box = named(new QLineEdit(resultsSection_), boxNames[i]);
        f.box->setReadOnly(true);
    }
    buildLayout();

    // Every input is named after its caption for assistive technology (the
    // caption label is its buddy); inputs without one get a name of their own.
    std::vector<std::pair<QLabel*, QWidget*>> captions = {
        {addressCaption_, addressBox_}, {countCaption_, countBox_}, {sizeCaption_, sizeBox_}};
    for (const ReplyField& f : replyFields_) captions.emplace_back(f.caption, f.box);
    for (const auto& [caption, input] : captions) {
        caption->setBuddy(input);
        input->setAccessibleName(caption->text().trimmed());
    }
    resolvedBox_->setAccessibleName(QStringLiteral("IP address"));
    payloadBox_->setAccessibleName(QStringLiteral("Data to send"));
    // The status is read by its text; its changes are announced.
    status_->setAccessibleDescription(QStringLiteral("Status"));

    for (QWidget* w : std::initializer_list<QWidget*>{
             stopButton_, payloadBox_, rule_, statusPanel_, busyImage_, successImage_,
             failureImage_, resultsSection_, todoCaption_, todo_, doneCaption_, done_, percent_,
             progressBar_}) {
        w->setVisible(false);
    }
    for (const ReplyField& f : replyFields_) setShown({f.caption, f.box}, false);

    frame_.runs.addRun(*this);
    connect(pingButton_, &QPushButton::clicked, this, &PingPage::ping);
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

void PingPage::buildLayout() {
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->addWidget(addressCaption_, 0, 0);
    grid->addWidget(addressBox_, 0, 1, 1, 3);
    grid->addWidget(resolvedBox_, 0, 4, 1, 2);
    grid->addWidget(countCaption_, 1, 0);
    grid->addWidget(countBox_, 1, 1);
    grid->addWidget(sizeCaption_, 1, 2, Qt::AlignRight);
    grid->addWidget(sizeBox_, 1, 3);
    grid->addWidget(bytesCaption_, 1, 4);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(pingButton_);
    buttons->addWidget(stopButton_);
    buttons->addStretch(1);
    grid->addLayout(buttons, 2, 0, 1, 2);
    grid->addWidget(reportLink_, 2, 3, 1, 3, Qt::AlignRight | Qt::AlignVCenter);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnStretch(5, 1);
    auto* statusRow = new QHBoxLayout(statusPanel_);
    statusRow->setContentsMargins(10, 6, 10, 6);
    statusRow->addWidget(statusIcon_);
    statusRow->addWidget(status_, 1);
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(10);
    page->addLayout(grid);
    page->addWidget(rule_);
    page->addWidget(statusPanel_);

    auto* progress = new QGridLayout;
    progress->addWidget(todoCaption_, 0, 0);
    progress->addWidget(todo_, 0, 1);
    progress->addWidget(doneCaption_, 1, 0);
    progress->addWidget(done_, 1, 1);
    progress->addWidget(progressBar_, 2, 0, 1, 3);
    progress->addWidget(percent_, 2, 3);
    progress->setColumnStretch(2, 1);
    auto* reply = new QGridLayout;
    reply->setHorizontalSpacing(12);
    for (int row = 0; row < static_cast<int>(replyFields_.size()); ++row) {
        reply->addWidget(replyFields_[static_cast<std::size_t>(row)].caption, row, 0);
        reply->addWidget(replyFields_[static_cast<std::size_t>(row)].box, row, 1);
    }
    reply->setColumnStretch(1, 1);
    auto* results = new QVBoxLayout(resultsSection_);
    results->setContentsMargins(0, 0, 0, 0);
    results->setSpacing(10);
    results->addLayout(progress);
    results->addLayout(reply);
}

void PingPage::enter() {
    setVisible(true);
    frame_.intro->setVisible(true);
    ShowProgressHeading();
    frame_.heading->setText(QStringLiteral("Welcome to Norvik!"));
    frame_.intro->setText(QLatin1String(kPingIntro));
    reg_.CreateKeyPath(store::kSessionIPsKey);

    emptyCombo(addressBox_);
    emptyCombo(countBox_);
    emptyCombo(sizeBox_);
    countBox_->addItems({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                         QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("10"),
                         QStringLiteral("20"), QStringLiteral("50")});
    sizeBox_->addItems({QStringLiteral("1"), QStringLiteral("16"), QStringLiteral("32")});
    sizeBox_->setCurrentIndex(2);
    makePayload();

    // The display choices as stored; "remember" is written back on.
    using Choice = SettingsChoices::Choice;
    const bool remember =
        store::RememberOn(reg_.ReadKeyValue(store::kNorvikKey, store::kRememberOnExit));
    choices_.set(Choice::RememberOnExit, remember);
    if (remember) reg_.WriteKeyValue(store::kNorvikKey, store::kRememberOnExit, "1");
    const std::string nopings = reg_.ReadKeyValue(store::kNorvikKey, store::kNoPings);
    if (countBox_->count() > 0) countBox_->setCurrentIndex(0);
    if (nopings != store::kError) countBox_->setEditText(q(nopings));
    applyDisplayChoices();

    for (const std::string& a : store::ReadSessionList(reg_)) addressBox_->addItem(q(a));
    if (addressBox_->count() > 0) addressBox_->setCurrentIndex(0);
    addressBox_->setFocus();
}

void PingPage::leave() {
    setVisible(false);
    setShown({frame_.intro, rule_, statusPanel_, status_, statusIcon_}, false);
    ShowProgressHeading();
}

std::vector<QWidget*> PingPage::tabOrder() const {
    std::vector<QWidget*> order = {addressBox_, resolvedBox_, countBox_,  sizeBox_,
                                   pingButton_, stopButton_,  reportLink_};
    for (const ReplyField& f : replyFields_) order.push_back(f.box);
    return order;
}

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
    // The bar starts empty, not at the last run's figure.
    progressBar_->setValue(0);
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

// ---- the results panel ----

PingPage::ReplyField& PingPage::field(int index) {
    return replyFields_.at(static_cast<std::size_t>(index == 5 ? 4 : index));
}

void PingPage::fitResults() {
    bool any = false;
    for (QWidget* w : resultsSection_->findChildren<QWidget*>()) any = any || !w->isHidden();
    resultsSection_->setVisible(any && !isHidden());
}

void PingPage::ShowProgressHeading() {
    frame_.heading->setText(QStringLiteral("Progress"));
    for (const ReplyField& f : replyFields_) setShown({f.caption, f.box}, false);
    fitResults();
}

void PingPage::ShowProgressCounters() {
    setShown({progressBar_, percent_, todoCaption_, doneCaption_, done_, todo_}, true);
    frame_.intro->setVisible(false);
    fitResults();
}

void PingPage::ShowReturnedData() {
    frame_.intro->setVisible(false);
    frame_.heading->setText(QStringLiteral("Returned Data"));
    for (const ReplyField& f : replyFields_) setShown({f.caption, f.box}, true);
    applyDisplayChoices();
    progressBar_->setVisible(false);
    setShown({percent_, todoCaption_, doneCaption_, done_, todo_}, false);
    fitResults();
}

// The three display choices follow the store, and a field that is off is
// hidden; nothing here shows a field again. A choice changed here counts as
// clicked, so its value is written back.
void PingPage::applyDisplayChoices() {
    using Choice = SettingsChoices::Choice;
    const auto apply = [this](const char* name, bool (*on)(const std::string&), Choice choice,
                              int index) {
        const bool shown = on(reg_.ReadKeyValue(store::kNorvikKey, name));
        choices_.set(choice, shown);
        if (!shown) setShown({field(index).caption, field(index).box}, false);
    };
    apply(store::kDisplayAddress, store::DisplayAddressOn, Choice::DisplayAddress, 1);
    apply(store::kDisplayPacketSize, store::DisplayPacketSizeOn, Choice::DisplayPacketSize, 3);
    apply(store::kDisplayDataPointer, store::DisplayDataPointerOn, Choice::DisplayDataPointer, 5);
}

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

// Dark blue, or red for a failure, each made as much lighter or darker as
// it needs to read well on the status's surface.
QColor PingPage::statusColour(ping::StatusLook look) const {
    return Readable(look == ping::StatusLook::Failure ? kRed : kDarkBlue,
                    {statusPanel_->palette().color(QPalette::Window)}, 4.5);
}

void PingPage::setSurfaceColours(const QColor& surface, const QColor& text) {
    QPalette panel = statusPanel_->palette();
    panel.setColor(QPalette::Window, surface);
    panel.setColor(QPalette::WindowText, text);
    statusPanel_->setPalette(panel);
    const std::tuple<IconView*, const char*, ping::StatusLook> images[] = {
        {busyImage_, "inprogress", ping::StatusLook::InProgress},
        {successImage_, "tick", ping::StatusLook::Success},
        {failureImage_, "cross", ping::StatusLook::Failure}};
    for (const auto& [view, name, look] : images) {
        view->setIcon(TintedIcon(name, statusColour(look)), QLatin1String(name));
        if (statusIcon_->iconName() == view->iconName())
            statusIcon_->setIcon(view->icon(), view->iconName());
    }
    QPalette p = status_->palette();
    p.setColor(QPalette::WindowText, statusColour(look_));
    status_->setPalette(p);
}

void PingPage::setStatus(ping::StatusLook look, const std::string& caption) {
    look_ = look;
    QPalette p = status_->palette();
    p.setColor(QPalette::WindowText, statusColour(look));
    status_->setPalette(p);
    status_->setText(q(caption));
    Announce(status_);
    const IconView* source = look == ping::StatusLook::InProgress ? busyImage_
                             : look == ping::StatusLook::Success  ? successImage_
                                                                  : failureImage_;
    statusIcon_->setIcon(source->icon(), source->iconName());
    repaintStatus();
}

bool PingPage::statusInProgress() { return statusIcon_->iconName() == busyImage_->iconName(); }

void PingPage::showStatusArea() {
    setShown({status_, statusIcon_, rule_, statusPanel_}, true);
    repaintStatus();
}

void PingPage::repaintStatus() {
    status_->repaint();
    statusIcon_->repaint();
}

void PingPage::setTodo(const std::string& text) { setTextNow(todo_, text); }
void PingPage::setDone(const std::string& text) { setTextNow(done_, text); }
void PingPage::setPercent(const std::string& text) { setTextNow(percent_, text); }

void PingPage::setProgress(float percent) {
    progressBar_->setValue(static_cast<int>(std::lround(percent)));
    progressBar_->repaint();
}

void PingPage::repaintCounters() {
    for (QWidget* w : std::initializer_list<QWidget*>{progressBar_, percent_, todo_, done_})
        w->repaint();
}

std::string PingPage::resolvedText() { return s(resolvedBox_->text()); }
void PingPage::setResolvedText(const std::string& text) { resolvedBox_->setText(q(text)); }

std::string PingPage::replyField(int index) { return s(field(index).box->text()); }
void PingPage::setReplyField(int index, const std::string& text) {
    field(index).box->setText(q(text));
}

void PingPage::setReport(const std::string& text, const std::string& average,
                         const std::string& timeouts) {
    frame_.report().setReport(q(text), q(average), q(timeouts));
}

void PingPage::showReport() { frame_.report().showReport(); }

void PingPage::setRecords(const std::vector<ping::PingRecord>& records) {
    frame_.report().setRecords(records, addressText(), resolvedText());
}

platform::Waiter PingPage::waiter() {
    return [this](int fd, int timeoutMs) { return frame_.runs.wait(fd, timeoutMs, stop_); };
}

}  // namespace norvik::shell
