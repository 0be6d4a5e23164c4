// norvik-cli trace [-s SIZE] [--names] ADDRESS: the TraceRoute page without
// a window. The results box is printed as it grows, a line at a time, with
// LF line ends; the status line's last text goes to standard error.
#include <optional>
#include <ostream>
#include <string>

#include "cli/ArgParser.h"
#include "export/Export.h"
#include "net/HostToIP.h"
#include "platform/LinuxEchoService.h"
#include "platform/StderrMessageBox.h"
#include "platform/SystemResolver.h"
#include "platform/Text.h"
#include "trace/MemoryTraceView.h"
#include "trace/Tracer.h"

namespace norvik::cli {

namespace {

const char kUsage[] =
    "usage: norvik-cli trace [-4|-6] [-s SIZE] [--names] [--format text|csv|json] ADDRESS\n"
    "  -4, -6    the name's IPv4 or IPv6 address only (default: IPv4, else IPv6)\n"
    "  -s SIZE   bytes per packet, corrected into 32..128 (default 32)\n"
    "  --names   turn each hop's address into its host name (takes longer)\n"
    "  --format  text as the page shows it (default), or one row per hop as CSV or JSON\n";

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
    if (const int bad = ArgParser(kUsage)
                            .family(rule)
                            .option("--format", FormatOption(format))
                            .option("-s", size)
                            .flag("--names", view.names)
                            .word(destination)
                            .parse(args, err))
        return bad;
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
