#pragma once

#include <QTimer>

#include "platform/Timer.h"

namespace norvik::platform {

// The timer over QTimer.
class QtTimer : public Timer {
  public:
    QtTimer();

    void setInterval(int ms) override { timer_.setInterval(ms); }
    int interval() const override { return timer_.interval(); }
    void setEnabled(bool on) override;
    bool enabled() const override { return timer_.isActive(); }
    // Milliseconds to the next tick; -1 when stopped.
    int remainingMs() const { return timer_.remainingTime(); }

  private:
    QTimer timer_;
};

}  // namespace norvik::platform
