#pragma once

#include <functional>

namespace norvik::platform {

// A repeating timer on the UI thread.
class Timer {
  public:
    virtual ~Timer() = default;

    // The period in milliseconds; a running timer starts a new period.
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    // Enabling a timer that already runs keeps its current period going:
    // the next tick comes when that period ends, not a full period later.
    virtual void setEnabled(bool on) = 0;
    virtual bool enabled() const = 0;

    // Called at every tick while enabled.
    std::function<void()> onTick;
};

}  // namespace norvik::platform
