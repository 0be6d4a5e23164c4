#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace norvik::shell {

// The ping report window: the text report, the average and the number of
// failed pings of the last run. One exists for the program's lifetime; it
// is only shown and hidden, so its contents stay until the next run.
class Form2 : public QWidget {
    Q_OBJECT
  public:
    // mainWindow is what Close brings back to the front.
    explicit Form2(QWidget* mainWindow);

    // Written by the ping run. text1 keeps its CR LF line ends.
    void setReport(const QString& text1, const QString& average, const QString& timeouts);
    // Shows the window, or brings it to the front when it is on show.
    void showReport();

    // The report exactly as written (CR LF included); the text box shows it
    // with each CR LF as one line break.
    const QString& text1() const { return text1_; }
    QString averageText() const;
    QString timeoutsText() const;

    // Close: hides the report, then shows the main window in front.
    void Command1_Click();

  protected:
    void keyPressEvent(QKeyEvent* e) override;

  private:
    QWidget* mainWindow_;
    QString text1_;
    QLabel* Label1_;
    QPlainTextEdit* Text1_;
    QLabel* avpinglabel_;
    QLabel* timeouts_;
    QPushButton* Command1_;
};

}  // namespace norvik::shell
