// The Ping page: its input handlers, the results panel and the ping run's
// view over the window's controls.

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "ping/Numbers.h"
#include "shell/Form1.h"
#include "shell/Form2.h"
#include "shell/TracePage.h"
#include "shell/Widgets.h"
#include "store/Settings.h"

namespace norvik::shell {

namespace {

const QColor kDarkBlue(0x00, 0x00, 0x99);
const QColor kRed(0xEC, 0x00, 0x00);

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& q) { return q.toStdString(); }

void setShown(std::initializer_list<QWidget*> widgets, bool shown) {
    for (QWidget* w : widgets) w->setVisible(shown);
}

void setTextNow(QLabel* label, const std::string& text) {
    label->setText(q(text));
    label->repaint();
}

}  // namespace

// ---- input handlers ----

void Form1::Combo1_Change() { makeDefault(carryoutping_); }
void Form1::Combo1_Click() { makeDefault(carryoutping_); }
void Form1::Combo1_GotFocus() { makeDefault(carryoutping_); }

void Form1::Combo3_Change() {
    Text2_->setText(QString());
    Text2_->setText(QString::fromLatin1(ping::BuildPayload(s(Combo3_->currentText())).c_str()));
}

void Form1::Combo3_Click() { Combo3_Change(); }

void Form1::Text5_Click() {
    if (ended() || running_) return;
    if (!hosts_.SocketsStart()) return;
    const std::string address = addressText();
    Text5_->setText(q(hosts_.HostNameToIP(address)));
    if (address.empty()) Text5_->setText(QString());
}

void Form1::Label11_Click() {
    if (!ended()) form2().showReport();
}

void Form1::carryoutping_Click() {
    if (ended() || running_) return;
    running_ = true;
    pingStop_ = false;
    // The bar starts empty, not at the last run's figure.
    ProgressBar1_->setValue(0);
    pingstop_->setEnabled(true);
    pingstop_->setVisible(carryoutping_->isVisible());
    pingRun_.run();
    running_ = false;
    pingStop_ = false;
    if (ended()) return;
    pingstop_->setVisible(false);
    runs_->blockInput(false, false);
}

void Form1::stopRun() { runs_->stopAll(); }

void Form1::stop() {
    if (!running_) return;
    pingStop_ = true;
    pingstop_->setEnabled(false);
}

QWidget* Form1::stopButton() const { return pingstop_; }

// ---- the results panel ----

void Form1::ShowProgressHeading() {
    return1_->setText(QStringLiteral("Progress"));
    setShown({return2_, return3_, return4_, return5_, return7_}, false);
    for (int i : {0, 1, 2, 3, 5}) Text4(i)->setVisible(false);
}

void Form1::ShowProgressCounters() {
    setShown({ProgressBar1_, pc_, Labelping1_, Labelping2_, done_, todo_}, true);
    intro_->setVisible(false);
}

void Form1::ShowReturnedData() {
    intro_->setVisible(false);
    return1_->setText(QStringLiteral("Returned Data"));
    setShown({return2_, return3_, return4_, return5_, return7_}, true);
    for (int i : {0, 1, 2, 3, 5}) Text4(i)->setVisible(true);

    ApplyDisplaySettings();

    ProgressBar1_->setVisible(false);
    setShown({pc_, Labelping1_, Labelping2_, done_, todo_}, false);
}

// ---- PingView ----

std::string Form1::addressText() { return s(Combo1_->currentText()); }

std::vector<std::string> Form1::addressItems() { return comboItems(Combo1_); }

void Form1::appendAddressItem(const std::string& address) { appendKeepingTyped(Combo1_, address); }

std::string Form1::countText() { return s(Combo2_->currentText()); }

std::string Form1::payloadText() { return s(Text2_->text()); }

void Form1::setPingEnabled(bool enabled) {
    carryoutping_->setEnabled(enabled);
    carryoutping_->repaint();
}

void Form1::setWindowEnabled(bool enabled) { runs_->blockInput(!enabled, false); }

// Dark blue, or red for a failure, each made as much lighter or darker as
// it needs to read well on the status's surface.
QColor Form1::statusColour(ping::StatusLook look) const {
    return Readable(look == ping::StatusLook::Failure ? kRed : kDarkBlue,
                    {Shape1_->palette().color(QPalette::Window)}, 4.5);
}

void Form1::setStatus(ping::StatusLook look, const std::string& caption) {
    look_ = look;
    QPalette p = status_->palette();
    p.setColor(QPalette::WindowText, statusColour(look));
    status_->setPalette(p);
    status_->setText(q(caption));
    Announce(status_);
    const IconView* source = look == ping::StatusLook::InProgress ? inprogress_
                             : look == ping::StatusLook::Success  ? tick_
                                                                  : cross_;
    Picture1_->setIcon(source->icon(), source->iconName());
    repaintStatus();
}

bool Form1::statusInProgress() { return Picture1_->iconName() == inprogress_->iconName(); }

void Form1::showStatusArea() {
    setShown({status_, Picture1_, Line1_, Shape1_}, true);
    repaintStatus();
}

void Form1::repaintStatus() {
    status_->repaint();
    Picture1_->repaint();
}

void Form1::setTodo(const std::string& text) { setTextNow(todo_, text); }
void Form1::setDone(const std::string& text) { setTextNow(done_, text); }
void Form1::setPercent(const std::string& text) { setTextNow(pc_, text); }

void Form1::setProgress(float percent) {
    ProgressBar1_->setValue(static_cast<int>(std::lround(percent)));
    ProgressBar1_->repaint();
}

void Form1::repaintCounters() {
    ProgressBar1_->repaint();
    pc_->repaint();
    todo_->repaint();
    done_->repaint();
}

std::string Form1::resolvedText() { return s(Text5_->text()); }
void Form1::setResolvedText(const std::string& text) { Text5_->setText(q(text)); }

std::string Form1::replyField(int index) { return s(Text4(index)->text()); }
void Form1::setReplyField(int index, const std::string& text) { Text4(index)->setText(q(text)); }

void Form1::setReport(const std::string& text1, const std::string& average,
                      const std::string& timeouts) {
    form2().setReport(q(text1), q(average), q(timeouts));
}

void Form1::showReport() { form2().showReport(); }

void Form1::setRecords(const std::vector<ping::PingRecord>& records) {
    form2().setRecords(records, addressText(), resolvedText());
}

platform::Waiter Form1::waiter() {
    return [this](int fd, int timeoutMs) { return runs_->wait(fd, timeoutMs, pingStop_); };
}

}  // namespace norvik::shell
