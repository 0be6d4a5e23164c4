#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/Timer.h"

namespace norvik::test {

// A timer whose ticks the test fires by hand. It keeps the real timer's
// rule: enabling a running timer does not start a new period, so
// `restarts` counts only starts from stopped.
class ManualTimer : public platform::Timer {
  public:
    explicit ManualTimer(std::vector<ManualTimer*>* live = nullptr) : live_(live) {
        if (live_ != nullptr) live_->push_back(this);
    }
    ~ManualTimer() override {
        if (live_ != nullptr) live_->erase(std::find(live_->begin(), live_->end(), this));
    }

    void setInterval(int ms) override { interval_ = ms; }
    int interval() const override { return interval_; }
    void setEnabled(bool on) override {
        if (on && !enabled_) ++restarts;
        enabled_ = on;
    }
    bool enabled() const override { return enabled_; }

    // One tick, as the end of a period: nothing when stopped.
    void fire() {
        if (enabled_ && onTick) onTick();
    }

    int restarts = 0;

  private:
    std::vector<ManualTimer*>* live_;
    int interval_ = 0;
    bool enabled_ = false;
};

// Makes manual timers and keeps track of the live ones, in the order they
// were made, for windows that make their timers themselves.
class ManualTimers {
  public:
    std::unique_ptr<platform::Timer> make() { return std::make_unique<ManualTimer>(&live); }
    ManualTimer& at(std::size_t i) { return *live.at(i); }

    std::vector<ManualTimer*> live;
};

}  // namespace norvik::test
