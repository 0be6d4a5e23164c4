#pragma once

#include <functional>

#include "export/Export.h"
#include "net/HostToIP.h"
#include "platform/EchoService.h"
#include "platform/MessageBox.h"
#include "platform/Resolver.h"
#include "shell/Page.h"
#include "shell/RunGuard.h"
#include "store/Registry.h"
#include "trace/TraceView.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace norvik::shell {

class ResultButtons;

// What the TraceRoute page needs of the window around it.
struct TraceFrame {
    // The status line under the results, shared with the Whois Lookup page.
    QLabel* status;
    // Input refused during each echo, the echo's wait, the program's end.
    RunControl& runs;
};

// The TraceRoute page: the destination, packet size and name choice, the
// Trace Route and Stop buttons, and the results box with Copy and Save
// (placed lower in the window, under the shared headings). It is the
// trace's view: each echo waits with input refused (Stop and Escape alone
// act, at once); after every hop and every line input is let through, so
// the user can move between pages while a trace runs.
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
    // Runs a trace to the destination shown.
    void trace();

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
    QCheckBox* namesBox_;  // convert the hops' addresses to names
    QPushButton* traceButton_;
    QPushButton* stopButton_;
    QWidget* resultsSection_;
    QPlainTextEdit* resultsBox_;
    ResultButtons* resultButtons_;
    QLineEdit* destinationField_;  // hidden: the address traced to
};

}  // namespace norvik::shell
