#pragma once

#include <QColor>
#include <array>
#include <functional>

#include "net/HostToIP.h"
#include "ping/PingRun.h"
#include "platform/EchoService.h"
#include "platform/MessageBox.h"
#include "shell/Page.h"
#include "shell/RunGuard.h"
#include "shell/SettingsPage.h"
#include "store/Registry.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;

namespace norvik::shell {

class ClickLabel;
class Form2;
class IconView;

// What the Ping page needs of the window around it.
struct PingFrame {
    // The results heading and the welcome text, shared with other pages.
    QLabel* heading;
    QLabel* intro;
    // Input refused during each echo, the echo's wait, the program's end.
    RunControl& runs;
    // The report window, made when first used.
    std::function<Form2&()> report;
    // Ends the program at once, unsaved.
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
    QWidget* resultsSection() const override { return resultsSection_; }

    // Ping Now: a run to the address shown.
    void ping();
    // The payload the size box made, never shown.
    QString payload() const;
    const ping::PingRun& pingRun() const { return run_; }
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
    bool endRequested() override { return frame_.runs.ended(); }
    bool stopRequested() override { return stop_; }
    void endProgram() override { frame_.endProgram(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // A reply field of the results panel with its caption.
    struct ReplyField {
        QLabel* caption;
        QLineEdit* box;
    };
    void buildLayout();
    void makePayload();
    void lookUpAddress();
    void applyDisplayChoices();
    // The results section is on show while any of its fields is.
    void fitResults();
    ReplyField& field(int index);
    QColor statusColour(ping::StatusLook look) const;

    PingFrame frame_;
    store::Registry& reg_;
    net::HostToIP& hosts_;
    SettingsChoices& choices_;
    ping::PingRun run_;
    bool running_ = false;
    bool stop_ = false;
    ping::StatusLook look_ = ping::StatusLook::Failure;

    QLabel* addressCaption_;
    QComboBox* addressBox_;
    QLineEdit* resolvedBox_;  // the address the name resolves to
    QLabel* countCaption_;
    QComboBox* countBox_;
    QLabel* sizeCaption_;
    QComboBox* sizeBox_;
    QLabel* bytesCaption_;
    QPushButton* pingButton_;
    QPushButton* stopButton_;
    ClickLabel* reportLink_;
    QLineEdit* payloadBox_;  // hidden
    QFrame* rule_;
    QFrame* statusPanel_;
    IconView* statusIcon_;
    QLabel* status_;
    IconView* busyImage_;
    IconView* successImage_;
    IconView* failureImage_;

    QWidget* resultsSection_;
    QLabel* todoCaption_;
    QLabel* todo_;
    QLabel* doneCaption_;
    QLabel* done_;
    QLabel* percent_;
    QProgressBar* progressBar_;
    // The status, address (decimal), time, size and data pointer of the
    // last reply, in the run's reply fields 0, 1, 2, 3 and 5.
    std::array<ReplyField, 5> replyFields_{};
};

}  // namespace norvik::shell
