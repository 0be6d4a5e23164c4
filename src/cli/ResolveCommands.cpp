#include <functional>
#include <ostream>
#include <string>

#include "cli/ArgParser.h"
#include "net/HostToIP.h"
#include "platform/StderrMessageBox.h"
#include "platform/SystemResolver.h"

namespace norvik::cli {

namespace {

// Whether the resolver refuses the name for its length: more than 253
// characters (a final dot aside) or more than 63 between two dots.
bool tooLong(std::string name) {
    if (!name.empty() && name.back() == '.') name.pop_back();
    if (name.size() > 253) return true;
    std::size_t start = 0;
    for (std::size_t dot = name.find('.');; dot = name.find('.', start)) {
        const std::size_t end = dot == std::string::npos ? name.size() : dot;
        if (end - start > 63) return true;
        if (dot == std::string::npos) return false;
        start = dot + 1;
    }
}

// One lookup of one word: its answer on stdout, or exit 1 with nothing there.
int lookUp(const Args& args, std::ostream& out, std::ostream& err, const char* usage,
           const std::function<std::string(net::HostToIP&, const std::string&)>& lookup,
           bool families = false) {
    std::optional<std::string> word;
    platform::FamilyRule rule = platform::FamilyRule::Ipv4First;
    ArgParser parser(usage);
    if (families) parser.family(rule);
    if (const int bad = parser.word(word, [](const std::string&) { return true; }).parse(args, err))
        return bad;
    if (families && tooLong(*word)) {
        err << "norvik-cli resolve: the name is too long for the resolver (at most 253 "
               "characters, and 63 between dots)\n";
        return 1;
    }
    platform::SystemResolver resolver;
    platform::StderrMessageBox boxes(err);
    net::HostToIP net(resolver, boxes);
    net.setFamilyRule(rule);
    const std::string answer = lookup(net, *word);
    if (answer.empty()) return 1;
    out << answer << "\n";
    return 0;
}

}  // namespace

int runResolve(const Args& args, std::ostream& out, std::ostream& err) {
    return lookUp(
        args, out, err, "usage: norvik-cli resolve [-4|-6] NAME\n",
        [](net::HostToIP& net, const std::string& name) { return net.HostNameToIP(name); }, true);
}

int runReverse(const Args& args, std::ostream& out, std::ostream& err) {
    return lookUp(args, out, err, "usage: norvik-cli reverse ADDRESS\n",
                  [](net::HostToIP& net, const std::string& ip) { return net.IPToHostName(ip); });
}

}  // namespace norvik::cli
