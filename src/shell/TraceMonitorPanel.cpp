#include "shell/TraceMonitorPanel.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QHeaderView>
#include <QTableView>
#include <algorithm>
#include <chrono>

#include "export/MonitorExport.h"
#include "platform/LinuxProbeSocket.h"
#include "shell/MonitorModel.h"
#include "shell/ResultButtons.h"
#include "shell/Widgets.h"
#include "trace/Tracer.h"

namespace norvik::shell {

// A monitor run over the page. It is the monitor's view, and the socket the
// monitor probes through as well, as seen from the page: a probe going out
// starts a round. While a round is out, its wait refuses input as a
// trace's echo does (Stop and Escape act at once, other input is held);
// between rounds the window's events go through, so the table scrolls and
// the pages change as ever.
class TraceMonitorPanel::Run : public trace::MonitorView, public platform::ProbeSocket {
  public:
    Run(TraceMonitorPanel& panel, platform::ProbeSocket& socket)
        : panel_(panel), runs_(panel.frame_.runs), stop_(panel.stop_), socket_(socket) {}

    platform::ProbeSent send(const platform::IpAddress& destination, int ttl,
                             std::uint16_t sequence, std::string_view payload) override {
        inRound_ = true;
        return socket_.send(destination, ttl, sequence, payload);
    }
    int fd() const override { return socket_.fd(); }
    std::vector<platform::ProbeAnswer> read() override { return socket_.read(); }

    platform::Waiter waiter() override {
        return [this](int fd, int timeoutMs) { return wait(fd, timeoutMs); };
    }
    void setInputBlocked(bool blocked) override { runs_.blockInput(blocked && inRound_, true); }
    bool stopRequested() override { return stop_; }
    bool endRequested() override { return runs_.ended(); }
    void roundEnded(const trace::MonitorTable& table) override {
        inRound_ = false;
        panel_.roundEnded(table);
    }

  private:
    bool wait(int fd, int timeoutMs) {
        if (inRound_) return runs_.wait(fd, timeoutMs, stop_);
        // Short slices, each followed by the events that came meanwhile.
        constexpr int kSliceMs = 20;
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return false;
            const int ms = static_cast<int>(std::min<std::int64_t>(left.count(), kSliceMs));
            if (runs_.wait(fd, ms, stop_)) return true;
            if (stop_ || runs_.ended() || platform::waitsAbandoned()) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (stop_ || runs_.ended()) return false;
        }
    }

    TraceMonitorPanel& panel_;
    RunControl& runs_;
    const bool& stop_;
    platform::ProbeSocket& socket_;
    bool inRound_ = false;
};

TraceMonitorPanel::TraceMonitorPanel(trace::TraceView& page, const TraceFrame& frame,
                                     const bool& stop, net::HostToIP& hosts,
                                     platform::Resolver& resolver, platform::MessageBox& boxes,
                                     QWidget* section)
    : page_(page), frame_(frame), stop_(stop), hosts_(hosts), resolver_(resolver), boxes_(boxes) {
    table_ = new QTableView(section);
    table_->setObjectName(QStringLiteral("tracetable"));
    table_->setAccessibleName(QStringLiteral("Trace Route monitor"));
    model_ = new MonitorModel(table_);
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setTabKeyNavigation(false);
    table_->setWordWrap(false);
    table_->verticalHeader()->setVisible(false);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    // The parts of the table are named for assistive technology too.
    table_->horizontalHeader()->setAccessibleName(QStringLiteral("Columns"));
    table_->verticalHeader()->setAccessibleName(QStringLiteral("Rows"));
    if (auto* corner = table_->findChild<QAbstractButton*>())
        corner->setAccessibleName(QStringLiteral("Select all"));
    // Fixed widths, each as wide as its heading or its widest usual figure,
    // so the columns do not jump as the figures change; the host takes the
    // rest.
    QHeaderView* header = table_->horizontalHeader();
    const QFontMetrics metrics(header->font());
    for (int c = 0; c < trace::kMonitorColumnCount; ++c) {
        const QString figure = c == 0   ? QStringLiteral("00")
                               : c == 2 ? QStringLiteral("100.0")
                               : c == 3 ? QStringLiteral("00000")
                                        : QStringLiteral("0000.0");
        const int text =
            std::max(metrics.horizontalAdvance(QString::fromLatin1(trace::kMonitorColumns[c])),
                     metrics.horizontalAdvance(figure));
        header->resizeSection(c, text + 2 * metrics.averageCharWidth());
    }
    header->setSectionResizeMode(1, QHeaderView::Stretch);
    header->setMinimumSectionSize(metrics.averageCharWidth() * 4);
    SetHoldsResult(table_, false);
    buttons_ = new ResultButtons(
        QStringLiteral("monitor"), table_,
        [this](exports::Format f) { return exports::Render(f, results_); },
        QStringLiteral("monitor"), &boxes_, section);
}

TraceMonitorPanel::~TraceMonitorPanel() = default;

void TraceMonitorPanel::setVisible(bool visible) {
    table_->setVisible(visible);
    buttons_->setVisible(visible);
}

void TraceMonitorPanel::run() {
    const std::string typed = page_.destinationText();
    if (typed.empty()) {
        boxes_.show("Where exactly did you want to trace to?!", platform::kAppTitle,
                    platform::Buttons::Ok, platform::Icon::Critical);
        return;
    }
    page_.setStatus(trace::kTracing);
    page_.setTraceEnabled(false);
    const trace::PacketSize size = trace::SettlePacketSize(page_.packetSizeText());
    if (size.text != page_.packetSizeText()) page_.setPacketSizeText(size.text);
    page_.setDestinationField("");
    model_->clear();
    results_ = trace::MonitorTable{typed, {}, 0, false, {}};
    SetHoldsResult(table_, false);

    // Where to: an address as typed, else the name's address by the family rule.
    auto destination = platform::IpAddress::parse(typed);
    if (!destination) {
        if (!hosts_.SocketsStart()) {
            boxes_.show("Unable to initialize the Windows Sockets", trace::kTracerError,
                        platform::Buttons::Ok, platform::Icon::None);
            page_.setTraceEnabled(true);
            return;
        }
        destination = platform::IpAddress::parse(hosts_.HostNameToIP(typed));
        hosts_.SocketsCleanup();
        if (frame_.runs.ended()) return;
    }
    std::unique_ptr<platform::ProbeSocket> socket;
    if (destination) {
        socket = frame_.openProbes ? frame_.openProbes(destination->family())
                                   : std::unique_ptr<platform::ProbeSocket>(
                                         platform::LinuxProbeSocket::open(destination->family()));
        if (!socket) {
            boxes_.show("Unable to Open an Icmp File Handle", trace::kTracerError,
                        platform::Buttons::Ok, platform::Icon::None);
            page_.setStatus(trace::kFailedStatus);
        }
    } else {
        // A name that does not resolve: no round can go out.
        page_.setStatus(trace::kTimedOutStatus);
    }
    if (socket) {
        page_.setDestinationField(destination->toString());
        trace::MonitorOptions options;
        options.packetSize = size.bytes;
        options.names = page_.namesWanted();
        options.spacingMs = frame_.roundSpacingMs;
        Run run(*this, *socket);
        trace::Monitor monitor(run, run, resolver_);
        const trace::MonitorEnding ending = monitor.run(typed, *destination, options);
        if (ending == trace::MonitorEnding::Ended) return;
        page_.setStatus(trace::kStoppedText);
    }
    page_.setTraceEnabled(true);
    const std::string text = page_.destinationText();
    const std::vector<std::string> items = page_.destinationItems();
    if (!text.empty() && std::find(items.begin(), items.end(), text) == items.end())
        page_.appendDestinationItem(text);
}

void TraceMonitorPanel::roundEnded(const trace::MonitorTable& table) {
    results_ = table;
    model_->update(table);
    SetHoldsResult(table_, true);
    // What came during the round reaches the window now.
    page_.letEventsThrough();
}

}  // namespace norvik::shell
