#pragma once

#include <functional>
#include <memory>

#include "net/HostToIP.h"
#include "platform/MessageBox.h"
#include "platform/ProbeSocket.h"
#include "platform/Resolver.h"
#include "shell/RunGuard.h"
#include "trace/Monitor.h"
#include "trace/TraceView.h"

class QLabel;
class QTableView;
class QWidget;

namespace norvik::shell {

class MonitorModel;
class ResultButtons;

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

// The TraceRoute page's monitor mode: the table of each hop's loss and
// round trips with its Copy and Save buttons (made in the page's results
// section, for the page to place), and the monitor run that fills it in
// rounds until the page's stop flag is set. The page's fields, status and
// Trace Route button are reached through its TraceView.
class TraceMonitorPanel {
  public:
    TraceMonitorPanel(trace::TraceView& page, const TraceFrame& frame, const bool& stop,
                      net::HostToIP& hosts, platform::Resolver& resolver,
                      platform::MessageBox& boxes, QWidget* section);
    ~TraceMonitorPanel();
    TraceMonitorPanel(const TraceMonitorPanel&) = delete;
    TraceMonitorPanel& operator=(const TraceMonitorPanel&) = delete;

    QTableView* table() const { return table_; }
    MonitorModel& model() const { return *model_; }
    ResultButtons* buttons() const { return buttons_; }
    void setVisible(bool visible);
    // Watches the path to the destination shown until stopped.
    void run();

  private:
    class Run;

    void roundEnded(const trace::MonitorTable& table);

    trace::TraceView& page_;
    const TraceFrame& frame_;
    const bool& stop_;
    net::HostToIP& hosts_;
    platform::Resolver& resolver_;
    platform::MessageBox& boxes_;
    QTableView* table_;
    MonitorModel* model_;
    ResultButtons* buttons_;
    // The latest monitor's table, for Copy and Save.
    trace::MonitorTable results_;
};

}  // namespace norvik::shell
