#pragma once

#include <QFrame>
#include <QWidget>
#include <array>
#include <string>
#include <vector>

#include "ping/PingRun.h"

class QLabel;
class QLineEdit;
class QProgressBar;

namespace norvik::shell {

class IconView;

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
// bar during a run, the last reply's fields after it. On show while any of
// them is and the page is.
class PingResults : public QWidget {
  public:
    explicit PingResults(QWidget* parent);

    // The counters and the bar.
    void showCounters(bool shown);
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
    // The status, address (decimal), time, size and data pointer of the
    // last reply.
    std::array<Field, 5> fields_{};
};

}  // namespace norvik::shell
