#pragma once

#include <memory>

#include "export/Export.h"
#include "platform/EchoService.h"
#include "shell/Page.h"
#include "shell/TraceMonitorPanel.h"
#include "store/Registry.h"
#include "trace/TraceView.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace norvik::shell {

class ResultButtons;

// The stored state of the "Monitor" box: "1" checked, "0" not.
inline constexpr const char* kTraceMonitor = "Trace Monitor";

// The TraceRoute page: the destination, packet size and name choice, the
// Trace Route and Stop buttons, and the results box with Copy and Save
// (placed lower in the window, under the shared headings). It is the
// trace's view: each echo waits with input refused (Stop and Escape alone
// act, at once); after every hop and every line input is let through, so
// the user can move between pages while a trace runs.
//
// With "Monitor" ticked, "Trace Route" watches the path in rounds until
// Stop or Escape, and a table of each hop's loss and round trips takes the
// results box's place. A round's wait refuses input as an echo's does;
// between rounds the window's events go through.
class TracePage : public Page, public trace::TraceView, public StoppableRun {
    Q_OBJECT
  public:
    TracePage(TraceFrame frame, store::Registry& reg, net::HostToIP& hosts,
              platform::Resolver& resolver, platform::EchoService& echo,
              platform::MessageBox& boxes, QWidget* parent);

    void enter() override;
    void leave() override;
    std::vector<QWidget*> tabOrder() const override;
    // The results box with its Copy and Save buttons, for the window to
    // place.
    QWidget* resultsSection() const override { return resultsSection_; }
    // StoppableRun: the trace under way.
    bool running() const override { return tracing_; }
    void stop() override;
    QWidget* stopButton() const override;
    // Runs a trace to the destination shown, or with "Monitor" ticked
    // watches the path until stopped.
    void trace();
    // The monitor's table and the model it shows.
    QTableView* monitorTable() const { return monitor_->table(); }
    MonitorModel& monitorModel() const { return monitor_->model(); }

    // TraceView.
    std::string destinationText() override;
    std::vector<std::string> destinationItems() override;
    void appendDestinationItem(const std::string& address) override;
    std::string packetSizeText() override;
    void setPacketSizeText(const std::string& text) override;
    bool namesWanted() override;
    void setResults(const std::string& text) override;
    void appendResults(const std::string& text) override;
    void setDestinationField(const std::string& text) override;
    void setStatus(const std::string& caption) override;
    void setTraceEnabled(bool enabled) override;
    void setInputBlocked(bool blocked) override;
    platform::Waiter waiter() override;
    void letEventsThrough() override;
    bool endRequested() override;
    void hopRecorded(const trace::HopRecord& hop) override;
    void hopsCleared() override;
    bool stopRequested() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    ResultButtons* makeResultButtons();
    // Shows the results box or, with "Monitor" ticked, the table.
    void showResultsFor(bool monitor);

    TraceFrame frame_;
    store::Registry& reg_;
    net::HostToIP& hosts_;
    platform::Resolver& resolver_;
    platform::EchoService& echo_;
    platform::MessageBox& boxes_;
    bool tracing_ = false;
    bool stop_ = false;
    // The latest trace's hops, for Copy and Save.
    exports::TraceDocument results_;

    QLabel* destinationCaption_;
    QComboBox* destinationBox_;
    QLabel* sizeCaption_;
    QLineEdit* sizeBox_;
    QCheckBox* namesBox_;    // convert the hops' addresses to names
    QCheckBox* monitorBox_;  // watch the path in rounds
    QPushButton* traceButton_;
    QPushButton* stopButton_;
    QWidget* resultsSection_;
    QPlainTextEdit* resultsBox_;
    ResultButtons* resultButtons_;
    std::unique_ptr<TraceMonitorPanel> monitor_;
    QLineEdit* destinationField_;  // hidden: the address traced to
};

}  // namespace norvik::shell
