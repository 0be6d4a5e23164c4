#include <ostream>

#include "cli/Commands.h"
#include "net/HostToIP.h"
#include "platform/StderrMessageBox.h"
#include "platform/SystemResolver.h"

namespace norvik::cli {

int runResolve(const Args& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1) {
        err << "usage: norvik-cli resolve NAME\n";
        return 2;
    }
    platform::SystemResolver resolver;
    platform::StderrMessageBox boxes(err);
    net::HostToIP net(resolver, boxes);
    const std::string ip = net.HostNameToIP(args[0]);
    if (ip.empty()) return 1;
    out << ip << "\n";
    return 0;
}

int runReverse(const Args& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1) {
        err << "usage: norvik-cli reverse ADDRESS\n";
        return 2;
    }
    platform::SystemResolver resolver;
    platform::StderrMessageBox boxes(err);
    net::HostToIP net(resolver, boxes);
    const std::string name = net.IPToHostName(args[0]);
    if (name.empty()) return 1;
    out << name << "\n";
    return 0;
}

}  // namespace norvik::cli
