#include <iostream>
#include <memory>

#include "cli/ArgParser.h"
#include "cli/StopSignals.h"
#include "export/Export.h"
#include "net/HostToIP.h"
#include "ping/MemoryPingView.h"
#include "ping/Numbers.h"
#include "platform/LinuxEchoService.h"
#include "platform/SqliteKeyStore.h"
#include "platform/StderrMessageBox.h"
#include "platform/SystemResolver.h"
#include "platform/Text.h"
#include "store/Registry.h"
#include "store/Settings.h"

namespace norvik::cli {

int runPing(const Args& args, std::ostream& out, std::ostream& err) {
    const char usage[] =
        "usage: norvik-cli ping [-4|-6] [-n COUNT] [-s SIZE] [--format text|csv|json] ADDRESS\n"
        "  -n 0  ping once a second until SIGINT or SIGTERM, then report\n";
    std::optional<std::string> count, size, address;
    exports::Format format = exports::Format::Text;
    platform::FamilyRule rule = platform::FamilyRule::Ipv4First;
    if (const int bad =
            ArgParser(usage)
                .family(rule)
                .option("--format", FormatOption(format))
                .option("-n", count)
                .option("-s", size)
                .word(address,
                      [](const std::string& w) { return ArgParser::NotAnOption(w) || w == "-"; })
                .parse(args, err))
        return bad;

    const bool endless = count && *count == "0";
    auto store = platform::SqliteKeyStore::openDefault();
    platform::StderrMessageBox boxes(err);
    store::Registry reg(*store, boxes);
    platform::SystemResolver resolver;
    net::HostToIP hosts(resolver, boxes);
    hosts.setFamilyRule(rule);
    platform::LinuxEchoService echo;

    ping::MemoryPingView view;
    // As the Ping page sets itself up: the session key exists, the count
    // comes from "nopings" when none is given, the list from the session.
    reg.CreateKeyPath(store::kSessionIPsKey);
    if (!count) {
        const std::string stored = reg.ReadKeyValue(store::kNorvikKey, store::kNoPings);
        count = stored == store::kError ? "1" : stored;
    }
    // -n 0: until stopped, by a signal.
    std::optional<StopSignals> signals;
    if (endless) {
        signals.emplace();
        view.endless = true;
        view.wait = StopSignals::wait;
        view.stop = StopSignals::requested;
    }
    view.address = *address;
    view.count = *count;
    view.payload = ping::BuildPayload(size.value_or("32"));
    view.items = store::ReadSessionList(reg);
    if (store->fileFailed()) err << "norvik-cli: store: " << store->lastError() << "\n";

    bool askedWhy = false;
    const bool text = format == exports::Format::Text;
    view.onPass = [&](int) {
        if (text) {
            out << view.fields[0] << '\t' << view.fields[2] << '\t' << view.fields[3] << '\n';
            out.flush();
        }
        // Why no socket opened is said once, after the first echo that had none.
        if (!askedWhy && echo.lastSocketKind() == platform::IcmpSocketKind::None) {
            askedWhy = true;
            const std::string why = echo.unavailableReason();
            if (!why.empty()) err << "norvik-cli: " << why << "\n";
        }
    };

    ping::PingRun run(view, reg, hosts, echo, boxes);
    if (!run.run() || view.ended) return 1;
    if (view.reportText.empty()) return 1;  // stopped by an input check
    if (text) {
        out << platform::CrLfToLf(view.reportText) << '\n';
        out << "Time Outs:" << view.reportTimeouts << '\n';
    } else {
        out << exports::Render(format, exports::PingDocument{view.address, view.resolved,
                                                             view.reportText, run.records()});
    }
    return run.figures().successes > 0 ? 0 : 1;
}

}  // namespace norvik::cli
