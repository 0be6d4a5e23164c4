#include "shell/TracePageView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "shell/Form1.h"
#include "shell/ResultButtons.h"
#include "shell/Widgets.h"

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

}  // namespace

std::string TracePageView::destinationText() { return s(form_.traceCombo1_->currentText()); }

std::vector<std::string> TracePageView::destinationItems() {
    std::vector<std::string> items;
    for (int i = 0; i < form_.traceCombo1_->count(); ++i)
        items.push_back(s(form_.traceCombo1_->itemText(i)));
    return items;
}

void TracePageView::appendDestinationItem(const std::string& address) {
    // Adding to an empty list would pick the item; the text stays as typed.
    const QString typed = form_.traceCombo1_->currentText();
    form_.traceCombo1_->addItem(q(address));
    if (form_.traceCombo1_->currentText() != typed) form_.traceCombo1_->setEditText(typed);
}

std::string TracePageView::packetSizeText() { return s(form_.traceText3_->text()); }
void TracePageView::setPacketSizeText(const std::string& text) {
    form_.traceText3_->setText(q(text));
}

bool TracePageView::namesWanted() { return form_.Check1_->isChecked(); }

void TracePageView::setResults(const std::string& text) {
    form_.trace_->setPlainText(lines(text));
    SetHoldsResult(form_.trace_, !text.empty());
}

void TracePageView::appendResults(const std::string& text) {
    // Always at the end, wherever the user left the cursor; the newest line
    // scrolls into view.
    form_.trace_->moveCursor(QTextCursor::End);
    form_.trace_->insertPlainText(lines(text));
    form_.trace_->ensureCursorVisible();
}

void TracePageView::setDestinationField(const std::string& text) {
    form_.traceText1_->setText(q(text));
}

void TracePageView::setStatus(const std::string& caption) {
    form_.traceLabel4_->setText(q(caption));
    form_.traceLabel4_->repaint();
    Announce(form_.traceLabel4_);
}

void TracePageView::setTraceEnabled(bool enabled) {
    form_.traceaway_->setEnabled(enabled);
    form_.traceaway_->repaint();
}

void TracePageView::setInputBlocked(bool blocked) { form_.setInputBlocked(blocked); }

platform::Waiter TracePageView::waiter() {
    // Stop and Escape abandon the echo at once; other input that comes while
    // the echo waits is held and reaches the window once the hop is over.
    return [&form = form_](int fd, int timeoutMs) {
        return form.runWait(fd, timeoutMs, form.traceStop_);
    };
}

void TracePageView::letEventsThrough() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

bool TracePageView::endRequested() { return form_.ended_; }

bool TracePageView::stopRequested() { return form_.traceStop_; }

}  // namespace norvik::shell

namespace norvik::shell {

void TracePageView::hopRecorded(const trace::HopRecord& hop) {
    form_.traceResults_.hops.push_back(hop);
}

void TracePageView::hopsCleared() {
    form_.traceResults_.hops.clear();
    form_.traceResults_.target = destinationText();
}

}  // namespace norvik::shell
