#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace norvik::shell {

// Turns SIGTERM and SIGINT into a call made from the event loop: the
// handler only writes one byte to a pipe, which a socket notifier reads.
// One may exist at a time; the earlier handlers come back when it goes.
class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    explicit TerminationSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~TerminationSignals() override;

    // False when the pipe or the handlers could not be set up.
    bool active() const { return active_; }

  private:
    void readPipe();

    std::function<void()> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
    int fds_[2] = {-1, -1};
    bool active_ = false;
};

}  // namespace norvik::shell
