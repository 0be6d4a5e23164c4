#include "shell/RunGuard.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QWidget>
#include <algorithm>
#include <chrono>

namespace norvik::shell {

namespace {

bool isUserInput(QEvent::Type t) {
    switch (t) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return false;
    }
}

bool isEscape(QEvent* event, QEvent::Type type) {
    return event->type() == type && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
}

}  // namespace

RunGuard::RunGuard(QWidget& window, platform::Waiter waiter)
    : QObject(&window), window_(window), waiter_(std::move(waiter)) {
    qApp->installEventFilter(this);
}

RunGuard::~RunGuard() {
    if (qApp != nullptr) qApp->removeEventFilter(this);
    if (blocked_) QGuiApplication::restoreOverrideCursor();
}

bool RunGuard::anyRunning() const {
    return std::any_of(runs_.begin(), runs_.end(), [](StoppableRun* r) { return r->running(); });
}

void RunGuard::stopAll() {
    for (StoppableRun* r : runs_) r->stop();
}

void RunGuard::blockInput(bool blocked, bool hold) {
    if (blocked == blocked_) return;
    blocked_ = blocked;
    if (blocked) {
        hold_ = hold;
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        return;
    }
    QGuiApplication::restoreOverrideCursor();
    // What the wait held back arrives once events go through.
    for (auto& [receiver, event] : held_) {
        if (receiver) QCoreApplication::postEvent(receiver, event.release());
    }
    held_.clear();
}

bool RunGuard::eventFilter(QObject* watched, QEvent* event) {
    if (!isUserInput(event->type())) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (w == nullptr || w->window() != &window_) return false;
    // Escape stops a run under way, blocked or not.
    if (isEscape(event, QEvent::KeyPress) && anyRunning()) {
        stopAll();
        return true;
    }
    if (!blocked_) return false;
    // The Stop buttons, and Escape's release, still get through.
    for (StoppableRun* r : runs_)
        if (w == r->stopButton()) return false;
    if (isEscape(event, QEvent::KeyRelease)) return false;
    // A key's shortcut query is asked again when the key comes back.
    if (hold_ && event->isInputEvent() && event->type() != QEvent::ShortcutOverride) {
        held_.emplace_back(w, std::unique_ptr<QEvent>(event->clone()));
    }
    return true;
}

bool RunGuard::wait(int fd, int timeoutMs, const bool& stop) {
    // Long enough to cost nothing, short enough that a Stop acts at once.
    constexpr int kSliceMs = 20;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        const bool sliced = blocked_ && !ended_;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        const int ms = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
        // Once the program quits, the event loop's waiter gives up at once.
        const bool ready = waiter_(fd, sliced ? std::min(ms, kSliceMs) : ms);
        // Input that came in meanwhile was held back. Deliver it now, while
        // the window still refuses input: stale clicks and keys are dropped,
        // a Stop or Escape ends the wait, and a request to close the window
        // takes effect.
        if (blocked_ && !ended_) QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (ready || !sliced || stop || ended_ || platform::waitsAbandoned() ||
            Clock::now() >= deadline) {
            return ready;
        }
    }
}

}  // namespace norvik::shell
