#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <memory>
#include <utility>
#include <vector>

#include "platform/EchoService.h"

class QWidget;

namespace norvik::shell {

// A run a page starts (a ping run, a trace): Escape stops it, and its Stop
// button acts while the window refuses input.
class StoppableRun {
  public:
    virtual bool running() const = 0;
    // Ends the run under way at once, abandoning the echo in flight.
    virtual void stop() = 0;
    virtual QWidget* stopButton() const = 0;

  protected:
    ~StoppableRun() = default;
};

// What a page's run needs of the window around it: whether the program has
// ended, the user's input refused while an echo waits, and that wait.
class RunControl {
  public:
    virtual ~RunControl() = default;
    // True once the program has ended (Quit, Close, or No in an error
    // dialog); nothing acts any more.
    virtual bool ended() const = 0;
    // True while the window refuses user input (during each echo).
    virtual bool inputBlocked() const = 0;
    // Refuses the user's input to the window, or allows it again. With
    // `hold`, the input that comes meanwhile is handed back in order once
    // allowed again (a trace, which lets events through between hops);
    // else it is dropped (a ping run).
    virtual void blockInput(bool blocked, bool hold) = 0;
    // The wait of an echo: in short slices while input is refused, the
    // input of each slice delivered after it, so that Stop or Escape (which
    // set `stop`) end the wait at once.
    virtual bool wait(int fd, int timeoutMs, const bool& stop) = 0;
    // Escape and `run`'s Stop button reach the run from now on.
    virtual void addRun(StoppableRun& run) = 0;
};

// The main window's RunControl: an application event filter that refuses
// the user's input to the window while an echo waits. The window goes on
// painting, the Stop buttons and Escape act at once, and close requests
// (not input) still arrive.
class RunGuard : public QObject, public RunControl {
  public:
    RunGuard(QWidget& window, platform::Waiter waiter);
    ~RunGuard() override;

    // The program has ended.
    void end() { ended_ = true; }
    // Stop or Escape: every run under way ends at once.
    void stopAll();
    bool anyRunning() const;

    bool ended() const override { return ended_; }
    bool inputBlocked() const override { return blocked_; }
    void blockInput(bool blocked, bool hold) override;
    bool wait(int fd, int timeoutMs, const bool& stop) override;
    void addRun(StoppableRun& run) override { runs_.push_back(&run); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget& window_;
    platform::Waiter waiter_;
    std::vector<StoppableRun*> runs_;
    bool ended_ = false;
    bool blocked_ = false;
    bool hold_ = false;
    std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> held_;
};

}  // namespace norvik::shell
