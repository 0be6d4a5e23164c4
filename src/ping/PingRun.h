#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/HostToIP.h"
#include "net/PingModule.h"
#include "ping/PingResults.h"
#include "platform/EchoService.h"
#include "platform/MessageBox.h"
#include "store/Registry.h"

namespace norvik::ping {

// The look of the status line and its picture.
enum class StatusLook { InProgress, Success, Failure };

// The controls a ping run reads and writes. The window implements it with
// its widgets; norvik-cli with plain fields and printed lines.
class PingView {
  public:
    virtual ~PingView() = default;

    // Inputs.
    // The address box: as typed, and its list.
    virtual std::string addressText() = 0;
    virtual std::vector<std::string> addressItems() = 0;
    virtual void appendAddressItem(const std::string& address) = 0;
    virtual std::string countText() = 0;    // the number of pings as typed
    virtual std::string payloadText() = 0;  // the data to send

    // The results panel's modes.
    virtual void ShowProgressHeading() = 0;
    virtual void ShowProgressCounters() = 0;
    virtual void ShowReturnedData() = 0;

    virtual void setPingEnabled(bool enabled) = 0;    // the "Ping Now" button
    virtual void setWindowEnabled(bool enabled) = 0;  // the whole main window

    // Status line: colour, caption and picture together.
    virtual void setStatus(StatusLook look, const std::string& caption) = 0;
    virtual bool statusInProgress() = 0;
    // Makes the status line, its picture and its frame visible and repaints them.
    virtual void showStatusArea() = 0;
    virtual void repaintStatus() = 0;

    virtual void setTodo(const std::string& text) = 0;
    virtual void setDone(const std::string& text) = 0;
    virtual void setPercent(const std::string& text) = 0;  // the percentage done
    virtual void setProgress(float percent) = 0;           // the progress bar
    virtual void repaintCounters() = 0;

    virtual std::string resolvedText() = 0;  // the "IP address" field
    virtual void setResolvedText(const std::string& text) = 0;

    // The reply fields by their index: 0, 1, 2, 3 and 5 (there is no 4).
    virtual std::string replyField(int index) = 0;
    virtual void setReplyField(int index, const std::string& text) = 0;

    // The report window Form2.
    virtual void setReport(const std::string& text1, const std::string& average,
                           const std::string& timeouts) = 0;
    virtual void showReport() = 0;
    // Every echo of the run, handed over just before the report is set.
    virtual void setRecords(const std::vector<PingRecord>& /*records*/) {}

    // How the run waits for each echo.
    virtual platform::Waiter waiter() = 0;
    // A pass's echo, as it is kept: what a live plot is fed with.
    virtual void pingRecorded(const PingRecord& /*record*/) {}
    // A pass has ended and its fields are written.
    virtual void passEnded(int /*pass*/) {}
    // The program is ending (its window was closed while an echo waited):
    // the run stops after the pass in flight and writes nothing more.
    virtual bool endRequested() { return false; }
    // The user asked to stop (Stop or Escape): the echo in flight is
    // abandoned, the run ends, and its report covers the passes made.
    virtual bool stopRequested() { return false; }
    // "Until stopped": the run pings once a second until Stop, whatever
    // the count says.
    virtual bool untilStopped() { return false; }
    // The user chose to end the program from the error dialog: end at once,
    // saving nothing.
    virtual void endProgram() = 0;
};

// What one run worked out.
struct PingFigures {
    int attempts = 0;
    int successes = 0;
    bool minSet = false;
    std::uint32_t minimum = 0;
    std::uint32_t maximum = 0;
    std::uint64_t sum = 0;
};

inline constexpr const char* kSuccessText = "0   [ ip success ]";
inline constexpr const char* kErrorCaption = "Norvik - Error Occurred";
inline constexpr const char* kSupportAddress = "support@norvik.example";

// Counts above this are refused as an overflow: a run that long could not
// be stopped short of closing the window.
inline constexpr double kMaxPingCount = 32767;
// From one ping's start to the next when pinging until stopped.
inline constexpr int kUntilStoppedSpacingMs = 1000;

// The ping run behind "Ping Now".
class PingRun {
  public:
    PingRun(PingView& view, store::Registry& registry, net::HostToIP& hosts,
            platform::EchoService& echo, platform::MessageBox& boxes);

    // One run of "Ping Now". Returns false when the user ended the program
    // from the error dialog, or the program ended while the run worked.
    bool run();

    const PingFigures& figures() const { return figures_; }
    const net::EchoReply& reply() const { return reply_; }
    // The echoes of the latest run, one per pass made.
    const std::vector<PingRecord>& records() const { return records_; }

  private:
    struct Failure {
        int number;
        std::string description;
    };
    bool errorDialog(const Failure& f);  // true: go on (Yes)
    // False when a Stop abandoned the pass's echo: nothing of it is kept.
    bool pass(int i, double count);
    // Pings once a second until Stop; the counters count up and the
    // progress bar beats.
    void untilStopped();
    void report(const std::string& stoppedLine);
    void addressHistory();

    PingView& view_;
    store::Registry& registry_;
    net::HostToIP& hosts_;
    platform::EchoService& echo_;
    platform::MessageBox& boxes_;
    PingFigures figures_;
    net::EchoReply reply_;
    std::string reportLines_;
    std::vector<PingRecord> records_;
};

// The error dialog's text for an error number and description.
std::string ErrorDialogText(int number, const std::string& description);
std::string ClosingText();

}  // namespace norvik::ping
