#include <functional>
#include <ostream>

#include "cli/Commands.h"
#include "net/HostToIP.h"
#include "platform/StderrMessageBox.h"
#include "platform/SystemResolver.h"

namespace norvik::cli {

namespace {

// One lookup of one word: its answer on stdout, or exit 1 with nothing there.
int lookUp(const Args& args, std::ostream& out, std::ostream& err, const char* usage,
           const std::function<std::string(net::HostToIP&, const std::string&)>& lookup) {
    if (args.size() != 1) {
        err << usage;
        return 2;
    }
    platform::SystemResolver resolver;
    platform::StderrMessageBox boxes(err);
    net::HostToIP net(resolver, boxes);
    const std::string answer = lookup(net, args[0]);
    if (answer.empty()) return 1;
    out << answer << "\n";
    return 0;
}

}  // namespace

int runResolve(const Args& args, std::ostream& out, std::ostream& err) {
    return lookUp(
        args, out, err, "usage: norvik-cli resolve NAME\n",
        [](net::HostToIP& net, const std::string& name) { return net.HostNameToIP(name); });
}

int runReverse(const Args& args, std::ostream& out, std::ostream& err) {
    return lookUp(args, out, err, "usage: norvik-cli reverse ADDRESS\n",
                  [](net::HostToIP& net, const std::string& ip) { return net.IPToHostName(ip); });
}

}  // namespace norvik::cli
