#include "ping/PingRun.h"

#include <chrono>
#include <cmath>

#include "ping/Numbers.h"
#include "platform/IpAddress.h"
#include "platform/Pause.h"
#include "store/Settings.h"

namespace norvik::ping {

using platform::Answer;
using platform::Buttons;
using platform::Icon;

namespace {
const char kCrLf[] = "\r\n";
const int kFields[] = {0, 1, 2, 3, 5};

std::int64_t NowUtcMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}
}  // namespace

std::string ErrorDialogText(int number, const std::string& description) {
    return "An Error Occurred (Error" + SignedField(number) + ")" + kCrLf + kCrLf +
           "Description:" + kCrLf + description + kCrLf + kCrLf + "Do you wish to continue?" +
           kCrLf;
}

std::string ClosingText() {
    return std::string("Norvik is closing. If this error reoccurs try reinstalling or contact ") +
           kSupportAddress;
}

PingRun::PingRun(PingView& view, store::Registry& registry, net::HostToIP& hosts,
                 platform::EchoService& echo, platform::MessageBox& boxes)
    : view_(view), registry_(registry), hosts_(hosts), echo_(echo), boxes_(boxes) {}

bool PingRun::errorDialog(const Failure& f) {
    if (boxes_.show(ErrorDialogText(f.number, f.description), kErrorCaption, Buttons::YesNo,
                    Icon::None) == Answer::Yes) {
        return true;
    }
    boxes_.show(ClosingText(), platform::kAppTitle, Buttons::Ok, Icon::Critical);
    view_.endProgram();
    return false;
}

bool PingRun::run() {
    view_.ShowProgressHeading();
    view_.ShowProgressCounters();

    view_.setPingEnabled(false);
    // A run until stopped has no number of pings to keep.
    const bool endless = view_.untilStopped();
    if (!endless) registry_.WriteKeyValue(store::kNorvikKey, store::kNoPings, view_.countText());
    figures_ = PingFigures{};

    if (view_.addressText().empty()) {
        boxes_.show("Where exactly did you want to ping?!", platform::kAppTitle, Buttons::Ok,
                    Icon::Critical);
    } else if (view_.payloadText().empty()) {
        boxes_.show("Enter some data to send first! Just the number 1 will do.",
                    platform::kAppTitle, Buttons::Ok, Icon::Critical);
    } else {
        view_.setStatus(StatusLook::InProgress, "Pinging...");
        view_.showStatusArea();
        reportLines_.clear();
        records_.clear();
        reply_ = net::EchoReply{};
        view_.setTodo(view_.countText());
        view_.setDone("0");
        view_.setPercent("0%");
        std::string stoppedLine;

        // The count is read once, when the loop starts. Text that is no
        // number, or a count no one could wait for, goes to the error
        // dialog; Yes carries on after the loop.
        const std::optional<double> count = ParseNumber(view_.countText());
        if (endless) {
            view_.setTodo("");
            untilStopped();
            if (view_.endRequested()) return false;
        } else if (!count) {
            if (!errorDialog({13, "Type mismatch"})) return false;
        } else if (*count > kMaxPingCount) {
            if (!errorDialog({6, "Overflow"})) return false;
        } else {
            // A Stop abandons the pass in flight; a run cut short says so.
            const int passes = *count >= 1 ? static_cast<int>(*count) : 0;
            for (int i = 1; i <= *count; ++i) {
                const bool made = pass(i, *count);
                if (made) figures_.attempts = i;
                if (view_.endRequested()) return false;
                if (!made || view_.stopRequested()) {
                    if (figures_.attempts < passes)
                        stoppedLine = std::string(kCrLf) + "Stopped after " +
                                      PlainDecimal(figures_.attempts) + " of " +
                                      PlainDecimal(passes) + " pings";
                    break;
                }
            }
        }

        view_.setWindowEnabled(true);
        report(stoppedLine);
        if (endless || LeadingNumber(view_.countText()) != 1) view_.showReport();
        addressHistory();
    }

    if (view_.statusInProgress()) view_.setStatus(StatusLook::Failure, "Failed");
    view_.setPingEnabled(true);
    view_.ShowReturnedData();
    return true;
}

void PingRun::untilStopped() {
    using Clock = std::chrono::steady_clock;
    for (int i = 1;; ++i) {
        const auto start = Clock::now();
        const bool made = pass(i, 0);
        if (made) figures_.attempts = i;
        if (!made || view_.stopRequested() || view_.endRequested()) return;
        view_.setDone(PlainDecimal(i));
        view_.setProgress(static_cast<float>(i % 10 * 10));
        view_.repaintCounters();
        if (!platform::pauseUntil(view_.waiter(),
                                  start + std::chrono::milliseconds(kUntilStoppedSpacingMs),
                                  [this] { return view_.stopRequested() || view_.endRequested(); }))
            return;
    }
}

bool PingRun::pass(int i, double count) {
    if (count <= 0) {
        // Until stopped: no share of a whole to show.
    } else if (i > 1) {
        view_.setDone(PlainDecimal(i - 1));
        view_.setPercent(SignedField(RoundHalfEven((i - 1) / count * 100, 1)) + "%");
    }
    for (int f : kFields) view_.setReplyField(f, "");
    view_.setWindowEnabled(false);
    if (count > 0) view_.setProgress(static_cast<float>((i - 1) / count * 100));
    view_.repaintCounters();

    PingRecord record;
    record.sequence = i;
    record.status = platform::status::kGeneralFailure;
    record.sentAtMs = NowUtcMs();
    if (hosts_.SocketsStart()) {
        view_.setResolvedText(hosts_.HostNameToIP(view_.addressText()));
        hosts_.SocketsCleanup();
        record.address = view_.resolvedText();
        record.sentAtMs = NowUtcMs();
        const std::int32_t status =
            net::SendEcho(echo_, view_.resolvedText(), view_.payloadText(), reply_, view_.waiter(),
                          [this] { return view_.stopRequested(); });
        if (status == platform::status::kStopped) return false;
        record.status = status;
        if (status == platform::status::kSuccess) {
            // A service that measures only milliseconds still gives a figure.
            record.roundTripUs =
                reply_.roundTripUs != 0 ? reply_.roundTripUs : reply_.roundTripTime * 1000;
            record.bytes = reply_.dataSize;
            record.ttl = reply_.ttl;
        }
        view_.setReplyField(0, net::EchoStatusText(status));
        // A 128-bit address has no 32-bit decimal form: its text stands there.
        view_.setReplyField(1, reply_.from.isV6()
                                   ? reply_.from.toString()
                                   : PlainDecimal(static_cast<std::int32_t>(reply_.address)));
        view_.setReplyField(2, PlainDecimal(reply_.roundTripTime) + " ms");
        view_.setReplyField(3, PlainDecimal(reply_.dataSizeField()) + " bytes");
        view_.setReplyField(5, PlainDecimal(static_cast<std::int32_t>(reply_.dataPointer)));
    } else {
        boxes_.show(
            "Windows Sockets for 32 bit Windows environments is not successfully responding.",
            platform::kAppTitle, Buttons::Ok, Icon::None);
    }

    if (view_.replyField(0) == kSuccessText) {
        view_.setStatus(StatusLook::Success, "Successful");
        ++figures_.successes;
        reportLines_ += view_.replyField(2) + kCrLf;
        const std::uint32_t t = reply_.roundTripTime;
        if (!figures_.minSet || t < figures_.minimum) {
            figures_.minimum = t;
            figures_.minSet = true;
        }
        if (t > figures_.maximum) figures_.maximum = t;
        figures_.sum += t;
    } else {
        view_.setStatus(StatusLook::Failure, "Failed");
        reportLines_ += std::string("Request Timed Out") + kCrLf;
    }
    records_.push_back(std::move(record));
    view_.pingRecorded(records_.back());
    view_.repaintStatus();
    view_.passEnded(i);
    return true;
}

void PingRun::report(const std::string& stoppedLine) {
    const int failures = figures_.attempts - figures_.successes;
    std::string text = "Ping Report for " + view_.addressText() + " [" + view_.resolvedText() +
                       "]" + kCrLf + kCrLf;
    text += reportLines_;
    text += std::string(kCrLf) + kCrLf + "Minimum Ping: " + SignedField(figures_.minimum) + "ms";
    text += std::string(kCrLf) + "Maximum Ping: " + SignedField(figures_.maximum) + "ms";
    const std::string average =
        figures_.successes != 0 ? SignedField(std::floor(double(figures_.sum) / figures_.successes))
                                : std::string("0");
    text += std::string(kCrLf) + "Average Ping: " + average + "ms" + stoppedLine;
    view_.setRecords(records_);
    view_.setReport(text, average + "ms", SignedField(failures));
}

void PingRun::addressHistory() {
    const std::string address = view_.addressText();
    // No name has a colon: text with one is an IPv6 literal, kept only when
    // well formed.
    if (address.find(':') != std::string::npos && !platform::IpAddress::parse(address)) return;
    std::vector<std::string> items = view_.addressItems();
    bool listed = false;
    for (const auto& item : items) listed = listed || item == address;
    if (!listed) {
        view_.appendAddressItem(address);
        items.push_back(address);
    }
    store::WriteSessionList(registry_, items);
}

}  // namespace norvik::ping
