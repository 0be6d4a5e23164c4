#pragma once

#include "trace/TraceView.h"

namespace norvik::shell {

class Form1;

// The trace's view over the TraceRoute page of the main window. Each echo
// waits in the window's event loop with input refused (Stop and Escape
// alone act, at once); after every hop and every line input is let through,
// so the user can move between pages while a trace runs.
class TracePageView : public trace::TraceView {
  public:
    explicit TracePageView(Form1& form) : form_(form) {}

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

  private:
    Form1& form_;
};

}  // namespace norvik::shell
