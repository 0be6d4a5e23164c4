#pragma once

#include <functional>
#include <memory>

#include "ping/PingRun.h"
#include "shell/Page.h"
#include "shell/PingResultsSection.h"
#include "shell/RunGuard.h"
#include "shell/SettingsPage.h"

class QCheckBox;
class QColor;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;

namespace norvik::shell {

class ClickLabel;
class Form2;
class PingResults;
class StatusPanel;

// What the Ping page needs of the window around it: the shared results
// heading and welcome text, input refused during each echo, the report
// window (made when first used), and the program's end, at once, unsaved.
struct PingFrame {
    QLabel* heading;
    QLabel* intro;
    RunControl& runs;
    std::function<Form2&()> report;
    std::function<void()> endProgram;
};

// The Ping page: the address, count and size boxes, Ping Now and Stop,
// the status line, and lower in the window the results panel (progress
// counters, or the last reply's fields as the display choices allow). It
// is the ping run's view: the run works inside the click, with input
// refused during each echo (Stop and Escape alone act, at once).
class PingPage : public Page, public ping::PingView, public StoppableRun {
    Q_OBJECT
  public:
    PingPage(PingFrame frame, store::Registry& reg, net::HostToIP& hosts,
             platform::EchoService& echo, platform::MessageBox& boxes, SettingsChoices& choices,
             QWidget* parent);

    void enter() override;
    void leave() override;
    std::vector<QWidget*> tabOrder() const override;
    QWidget* resultsSection() const override;

    // Ping Now: a run to the address shown.
    void ping();
    // The payload the size box made, never shown.
    QString payload() const;
    // The colours of the status surface and the text on it.
    void setSurfaceColours(const QColor& surface, const QColor& text);

    // StoppableRun.
    bool running() const override { return running_; }
    void stop() override;
    QWidget* stopButton() const override;

    // PingView.
    std::string addressText() override;
    std::vector<std::string> addressItems() override;
    void appendAddressItem(const std::string& address) override;
    std::string countText() override;
    std::string payloadText() override;
    void ShowProgressHeading() override;
    void ShowProgressCounters() override;
    void ShowReturnedData() override;
    void setPingEnabled(bool enabled) override;
    void setWindowEnabled(bool enabled) override;
    void setStatus(ping::StatusLook look, const std::string& caption) override;
    bool statusInProgress() override;
    void showStatusArea() override;
    void repaintStatus() override;
    void setTodo(const std::string& text) override;
    void setDone(const std::string& text) override;
    void setPercent(const std::string& text) override;
    void setProgress(float percent) override;
    void repaintCounters() override;
    std::string resolvedText() override;
    void setResolvedText(const std::string& text) override;
    std::string replyField(int index) override;
    void setReplyField(int index, const std::string& text) override;
    void setReport(const std::string& text, const std::string& average,
                   const std::string& timeouts) override;
    void showReport() override;
    void setRecords(const std::vector<ping::PingRecord>& records) override;
    platform::Waiter waiter() override;
    void pingRecorded(const ping::PingRecord& record) override;
    bool untilStopped() override;
    bool endRequested() override { return frame_.runs.ended(); }
    bool stopRequested() override { return stop_; }
    void endProgram() override { frame_.endProgram(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void makePayload();
    void lookUpAddress();

    PingFrame frame_;
    store::Registry& reg_;
    net::HostToIP& hosts_;
    SettingsChoices& choices_;
    ping::PingRun run_;
    bool running_ = false;
    bool stop_ = false;

    QComboBox* addressBox_;
    QLineEdit* resolvedBox_;  // the address the name resolves to
    QComboBox* countBox_;
    QCheckBox* untilBox_;  // ping once a second until stopped
    QComboBox* sizeBox_;
    QPushButton* pingButton_;
    QPushButton* stopButton_;
    ClickLabel* reportLink_;
    QLineEdit* payloadBox_;  // hidden
    QFrame* rule_;
    StatusPanel* status_;
    PingResults* results_;
    std::unique_ptr<PingResultsSection> section_;
};

}  // namespace norvik::shell
