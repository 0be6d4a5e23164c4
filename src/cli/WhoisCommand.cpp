#include <QCoreApplication>
#include <optional>
#include <ostream>
#include <vector>

#include "cli/ArgParser.h"
#include "cli/TerminalText.h"
#include "platform/Text.h"
#include "platform/qt/QtTcpClient.h"
#include "platform/qt/QtTimer.h"
#include "whois/MemoryLookupView.h"
#include "whois/WhoisLookup.h"

namespace norvik::cli {

namespace {

// Referrals followed after the first answer, at most.
constexpr int kMaxFollowSteps = 3;

}  // namespace

// The Whois Lookup page's lookup, through the same engine, on a timer of
// 10 seconds: the answer as received on stdout (its control characters
// made visible on a terminal).
int runWhois(const Args& args, std::ostream& out, std::ostream& err) {
    const char usage[] = "usage: norvik-cli whois [-h SERVER] [-p PORT] [--follow] DOMAIN\n";
    std::optional<std::string> host = whois::kDefaultUsServer, domain;
    std::uint16_t port = 43;
    bool follow = false;
    if (const int bad = ArgParser(usage)
                            .option("-h", host)
                            .option("-p", PortOption(port, "norvik-cli: not a port number: %"))
                            .flag("--follow", follow)
                            .word(domain)
                            .parse(args, err))
        return bad;
    const auto app = commandLineApp();
    std::string server = *host;

    platform::QtTcpClient client;
    platform::QtTimer timer;
    timer.setInterval(10000);
    whois::MemoryLookupView view;
    view.domain = QString::fromUtf8(domain->data(), static_cast<qsizetype>(domain->size()));

    std::vector<whois::Referral> asked;
    for (int step = 0;; ++step) {
        whois::WhoisLookup lookup(view, client, timer, port);
        std::optional<whois::WhoisLookup::Outcome> outcome;
        lookup.onEnded = [&](whois::WhoisLookup::Outcome o) {
            outcome = o;
            QCoreApplication::exit(0);
        };
        view.server = QString::fromStdString(server);
        lookup.start();
        if (!outcome) QCoreApplication::exec();
        asked.push_back({server, port});

        if (follow) out << "# " << server << "\n";
        if (outcome != whois::WhoisLookup::Outcome::Done) {
            out.flush();
            err << platform::CrLfToLf(whois::TimeoutText(view.server).toStdString()) << "\n";
            return 1;
        }
        const std::string& reply = lookup.whoisReply();
        const std::string shown = lookup.shownReply();
        out << Printable(shown);
        if (follow && !shown.empty() && shown.back() != '\n') out << "\n";
        out.flush();

        if (!follow || step == kMaxFollowSteps) return 0;
        // A server is a host and a port: the same host on another port is
        // another server.
        const auto next = whois::FindReferral(reply, server, port);
        if (!next) return 0;
        for (const whois::Referral& s : asked) {
            if (whois::SameServer(s.host, next->host) && s.port == next->port) return 0;
        }
        server = next->host;
        port = next->port;
    }
}

}  // namespace norvik::cli
