#pragma once

#include <functional>
#include <memory>

#include "export/Export.h"
#include "net/HostToIP.h"
#include "platform/EchoService.h"
#include "platform/MessageBox.h"
#include "platform/ProbeSocket.h"
#include "platform/Resolver.h"
#include "shell/Page.h"
#include "shell/RunGuard.h"
#include "store/Registry.h"
#include "trace/Monitor.h"
#include "trace/TraceView.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableView;

namespace norvik::shell {

class MonitorModel;
class ResultButtons;

// The stored state of the "Monitor" box: "1" checked, "0" not.
inline constexpr const char* kTraceMonitor = "Trace Monitor";

// What the TraceRoute page needs of the window around it.
struct TraceFrame {
    // The status line under the results, shared with the Whois Lookup page.
    QLabel* status;
    // Input refused during each echo, the echo's wait, the program's end.
    RunControl& runs;
    // Opens the socket a monitor probes through; null when none opens.
    // Empty: the system's ICMP socket.
    std::function<std::unique_ptr<platform::ProbeSocket>(platform::Family)> openProbes = nullptr;
    // From the start of one monitor round to the next.
    int roundSpacingMs = trace::kRoundSpacingMs;
};

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
    QTableView* monitorTable() const { return table_; }
    MonitorModel& monitorModel() const { return *model_; }

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
    class MonitorRun;

    ResultButtons* makeResultButtons();
    ResultButtons* makeTableButtons();
    // Shows the results box or, with "Monitor" ticked, the table.
    void showResultsFor(bool monitor);
    void monitor();
    void roundEnded(const trace::MonitorTable& table);

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
    QTableView* table_;
    MonitorModel* model_;
    ResultButtons* tableButtons_;
    // The latest monitor's table, for Copy and Save.
    trace::MonitorTable monitorResults_;
    QLineEdit* destinationField_;  // hidden: the address traced to
};

}  // namespace norvik::shell
