#pragma once

#include <QElapsedTimer>
#include <QFrame>
#include <QWidget>
#include <array>
#include <string>
#include <vector>

#include "ping/PingRun.h"

class QLabel;
class QVBoxLayout;
class QLineEdit;
class QProgressBar;
class QTimer;

namespace norvik::shell {

class IconView;
class RttPlot;

// The Ping page's status line on its framed surface: an image and a text
// in dark blue, or red for a failure, each made as much lighter or darker
// as it needs to read well on the surface.
class StatusPanel : public QFrame {
  public:
    explicit StatusPanel(QWidget* parent);

    void setStatus(ping::StatusLook look, const std::string& caption);
    bool inProgress() const;
    void repaintNow();
    // The surface's colour and text; the images are drawn anew.
    void setSurfaceColours(const QColor& surface, const QColor& text);

  private:
    QColor colour(ping::StatusLook look) const;

    IconView* image_;
    QLabel* text_;
    ping::StatusLook look_ = ping::StatusLook::Failure;
    // The images of the three looks, by StatusLook.
    std::array<IconView*, 3> looks_{};
};

// The Ping page's results, lower in the window: the progress counters and
// bar during a run (under them, in a run of more than one ping, a live
// round-trip plot and a line of loss, average and jitter), the last reply's
// fields after it. On show while any of them is and the page is.
class PingResults : public QWidget {
  public:
    explicit PingResults(QWidget* parent);

    // The counters and the bar, with the live plot and line when a run has
    // them.
    void showCounters(bool shown);
    // A run starts: its plot and line are empty, and shown with the
    // counters when `on`.
    void startLive(bool on);
    // A ping of the run, as it is kept: plotted, and counted in the line.
    void addLive(const ping::PingRecord& record);
    // The reply fields, by the ping run's numbers 0, 1, 2, 3 and 5.
    void showField(int index, bool shown);
    void showFields(bool shown);
    QLineEdit* field(int index) const;
    // The counters and the bar, each repainted at once.
    void setTodo(const std::string& text) { setNow(todo_, text); }
    void setDone(const std::string& text) { setNow(done_, text); }
    void setPercent(const std::string& text) { setNow(percent_, text); }
    void setProgress(int percent);
    void repaintCounters();
    std::vector<QWidget*> tabOrder() const;
    // On show when the page is and any field or counter is.
    void fit(bool pageShown);

  private:
    struct Field {
        QLabel* caption;
        QLineEdit* box;
    };
    const Field& at(int index) const;
    static void setNow(QLabel* label, const std::string& text);

    QLabel* todoCaption_;
    QLabel* todo_;
    QLabel* doneCaption_;
    QLabel* done_;
    QLabel* percent_;
    QProgressBar* bar_;
    RttPlot* plot_;
    QLabel* live_;
    QVBoxLayout* layout_;
    // When the plot was last drawn, and the drawing of pings that came since.
    QElapsedTimer plotDrawn_;
    QTimer* plotLater_;
    bool liveOn_ = false;
    // The run's figures so far, in microseconds.
    int sent_ = 0, received_ = 0;
    double sumUs_ = 0, jumpsUs_ = 0;
    std::uint32_t lastUs_ = 0;
    // The status, address (decimal), time, size and data pointer of the
    // last reply.
    std::array<Field, 5> fields_{};
};

}  // namespace norvik::shell
