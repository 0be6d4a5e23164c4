#pragma once

#include <QString>
#include <QWidget>
#include <vector>

#include "ping/PingResults.h"
#include "platform/MessageBox.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace norvik::shell {

class FieldLine;
class RttPlot;

// The ping report window: the text report, the average and the number of
// failed pings of the last run. One exists for the program's lifetime; it
// is only shown and hidden, so its contents stay until the next run.
class Form2 : public QWidget {
    Q_OBJECT
  public:
    // mainWindow is what Close brings back to the front.
    // boxes says when Save fails; without one the window has its own.
    explicit Form2(QWidget* mainWindow, platform::MessageBox* boxes = nullptr);

    // Written by the ping run. reportText keeps its CR LF line ends.
    void setReport(const QString& reportText, const QString& average, const QString& timeouts);
    // Shows the window, or brings it to the front when it is on show.
    void showReport();
    // The run's echoes, for the statistics line, the plot and Save: target
    // as typed and the address it resolved to.
    void setRecords(const std::vector<ping::PingRecord>& records, const std::string& target,
                    const std::string& address);
    QString statisticsText() const;
    const std::vector<ping::PingRecord>& records() const { return records_; }

    // The report exactly as written (CR LF included); the text box shows it
    // with each CR LF as one line break.
    const QString& reportText() const { return reportText_; }
    QString averageText() const;
    QString timeoutsText() const;

    // Close: hides the report, then shows the main window in front.
    void closeReport();

  protected:
    void keyPressEvent(QKeyEvent* e) override;

  private:
    QWidget* mainWindow_;
    QString reportText_;
    QLabel* titleLabel_;
    QPlainTextEdit* reportBox_;
    QLabel* averageLabel_;
    QLabel* timeoutsLabel_;
    QPushButton* closeButton_;
    // Beyond the report text: the run's statistics and plot, Copy and Save.
    FieldLine* statsline_;
    RttPlot* rttplot_;
    std::vector<ping::PingRecord> records_;
    std::string target_, address_;
};

}  // namespace norvik::shell
