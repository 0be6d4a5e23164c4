// norvik-cli trace [-s SIZE] [--names] ADDRESS: the TraceRoute page without
// a window. The results box is printed as it grows, a line at a time, with
// LF line ends; the status line's last text goes to standard error.
// With --report it watches the path in rounds and prints the per-hop table.
#include <charconv>
#include <optional>
#include <ostream>
#include <string>

#include "cli/ArgParser.h"
#include "cli/StopSignals.h"
#include "export/Export.h"
#include "export/MonitorExport.h"
#include "net/HostToIP.h"
#include "platform/LinuxEchoService.h"
#include "platform/LinuxProbeSocket.h"
#include "platform/StderrMessageBox.h"
#include "platform/SystemResolver.h"
#include "platform/Text.h"
#include "trace/MemoryTraceView.h"
#include "trace/Monitor.h"
#include "trace/Tracer.h"

namespace norvik::cli {

namespace {

const char kUsage[] =
    "usage: norvik-cli trace [-4|-6] [-s SIZE] [--names] [--format text|csv|json] ADDRESS\n"
    "  -4, -6    the name's IPv4 or IPv6 address only (default: IPv4, else IPv6)\n"
    "  -s SIZE   bytes per packet, corrected into 32..128 (default 32)\n"
    "  --names   turn each hop's address into its host name (takes longer)\n"
    "  --format  text as the page shows it (default), or one row per hop as CSV or JSON\n"
    "usage: norvik-cli trace --report [-c ROUNDS] [-s SIZE] [--names] [--format text|csv|json]\n"
    "                        ADDRESS\n"
    "  --report  probe every hop at once, once a second, for ROUNDS rounds (default 10;\n"
    "            SIGINT or SIGTERM ends them early), then print each hop's loss and times\n";

// Watches the path in rounds; the table goes to standard output.
class ReportView : public trace::MonitorView {
  public:
    platform::Waiter waiter() override { return StopSignals::wait; }
    bool stopRequested() override { return StopSignals::requested(); }
};

int runReport(const std::string& destination, int rounds, const std::string& size, bool names,
              platform::FamilyRule rule, exports::Format format, std::ostream& out,
              std::ostream& err) {
    platform::StderrMessageBox boxes(err);
    platform::SystemResolver resolver;
    net::HostToIP hosts(resolver, boxes);
    hosts.setFamilyRule(rule);
    hosts.SocketsStart();
    const auto address = platform::IpAddress::parse(hosts.HostNameToIP(destination));
    hosts.SocketsCleanup();
    if (!address) {
        err << "norvik-cli: " << destination << " does not resolve\n";
        return 1;
    }
    const auto socket = platform::LinuxProbeSocket::open(address->family());
    if (!socket) {
        err << "norvik-cli: " << platform::LinuxEchoService().unavailableReason() << "\n";
        return 1;
    }
    trace::MonitorOptions options;
    options.rounds = rounds;
    options.packetSize = trace::SettlePacketSize(size).bytes;
    options.names = names;
    StopSignals signals;
    ReportView view;
    trace::Monitor monitor(view, *socket, resolver);
    monitor.run(destination, *address, options);
    std::string table = exports::Render(format, monitor.table());
    if (format == exports::Format::Text) table = platform::CrLfToLf(table);
    if (!table.empty() && table.back() != '\n') table += '\n';
    out << table;
    out.flush();
    return monitor.table().reached ? 0 : 1;
}

// Prints the complete lines of text from `printed` on, without their CR.
void printLines(const std::string& text, std::size_t& printed, std::ostream& out, bool all) {
    if (printed > text.size()) printed = 0;  // the box was emptied
    std::size_t end = text.size();
    if (!all) {
        const std::size_t lf = text.rfind('\n');
        if (lf == std::string::npos || lf < printed) return;
        end = lf + 1;
    }
    out << platform::CrLfToLf(std::string_view(text).substr(printed, end - printed));
    out.flush();
    printed = end;
}

}  // namespace

int runTrace(const Args& args, std::ostream& out, std::ostream& err) {
    trace::MemoryTraceView view;
    exports::Format format = exports::Format::Text;
    std::optional<std::string> size, destination;
    platform::FamilyRule rule = platform::FamilyRule::Ipv4First;
    bool report = false;
    int rounds = 10;
    bool roundsGiven = false;
    const auto roundsOption = [&rounds,
                               &roundsGiven](const std::string* value) -> ArgParser::Verdict {
        if (!value) return std::string();
        int n = 0;
        const char* end = value->data() + value->size();
        if (std::from_chars(value->data(), end, n).ptr != end || n < 1)
            return "norvik-cli: not a number of rounds: " + *value;
        rounds = n;
        roundsGiven = true;
        return std::nullopt;
    };
    if (const int bad = ArgParser(kUsage)
                            .family(rule)
                            .option("--format", FormatOption(format))
                            .flag("--report", report)
                            .option("-c", roundsOption)
                            .option("-s", size)
                            .flag("--names", view.names)
                            .word(destination)
                            .parse(args, err))
        return bad;
    if (roundsGiven && !report) {
        err << "norvik-cli: -c counts the rounds of --report\n" << kUsage;
        return 2;
    }
    if (report)
        return runReport(*destination, rounds, size.value_or("32"), view.names, rule, format, out,
                         err);
    if (size) view.packetSize = *size;
    view.destination = *destination;

    platform::StderrMessageBox boxes(err);
    platform::SystemResolver resolver;
    net::HostToIP hosts(resolver, boxes);
    hosts.setFamilyRule(rule);
    platform::LinuxEchoService echo;

    const bool text = format == exports::Format::Text;
    std::size_t printed = 0;
    if (text) view.onResults = [&] { printLines(view.results, printed, out, false); };

    trace::Tracer tracer(view, hosts, resolver, echo, boxes);
    const trace::Ending ending = tracer.trace();
    // Without an ICMP socket the results hold only the reason, which goes
    // to standard error below.
    if (text && ending != trace::Ending::StartFailed) {
        printLines(view.results, printed, out, true);
        if (printed > 0 && view.results.back() != '\n') out << '\n';
    } else if (ending != trace::Ending::NotRun && ending != trace::Ending::StartFailed) {
        out << exports::Render(format,
                               exports::TraceDocument{view.destination, view.results, tracer.hops(),
                                                      view.destinationField});
    }
    out.flush();

    switch (ending) {
        case trace::Ending::NotRun:
            return 2;
        case trace::Ending::StartFailed: {
            const std::string why = echo.unavailableReason();
            if (!why.empty()) err << "norvik-cli: " << why << "\n";
            return 1;
        }
        default:
            err << view.status << "\n";
            return ending == trace::Ending::Complete ? 0 : 1;
    }
}

}  // namespace norvik::cli
