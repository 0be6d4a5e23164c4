// norvik-cli: the command-line front end. It drives the same libraries as
// the window, so a person can script a ping or inspect and repair the store.
#include <iostream>
#include <string>

#include "cli/Commands.h"
#include "platform/Product.h"

namespace {

const char kUsage[] =
    "usage: norvik-cli COMMAND [ARGS]\n"
    "\n"
    "  resolve [-4|-6] NAME              the address of NAME: its first IPv4 address,\n"
    "                                    else its first IPv6 one; -4/-6: that family only\n"
    "  reverse ADDRESS                   host name of an IPv4 or IPv6 ADDRESS\n"
    "  echo [-s SIZE] [-t TTL] ADDRESS   one ICMP echo (SIZE characters, default 32)\n"
    "  ping [-n COUNT] [-s SIZE] ADDRESS a ping run, as the Ping page does it\n"
    "  trace [-s SIZE] [--names] ADDRESS the routers on the way, as the TraceRoute page\n"
    "    (ping and trace: --format text|csv|json, the page's text or one row per echo;\n"
    "     echo, ping and trace: -4 or -6 takes that family only)\n"
    "  trace --report [-c ROUNDS] ADDRESS each hop's loss and times over rounds (default 10)\n"
    "  ping -n 0 ADDRESS                 ping once a second until SIGINT or SIGTERM\n"
    "  whois [-h SERVER] [-p PORT] [--follow] DOMAIN\n"
    "                                    a whois lookup (default server\n"
    "                                    whois.verisign-grs.com, port 43); --follow\n"
    "                                    asks the servers the answers refer to\n"
    "  rdap [--json] [--base URL] [--follow] QUERY\n"
    "                                    registration data over RDAP for a domain,\n"
    "                                    address, prefix or AS number; --follow asks\n"
    "                                    the registrar's record too\n"
    "  reg read KEYPATH NAME             read a stored value\n"
    "  reg write KEYPATH NAME TEXT       write a value into an existing key\n"
    "  reg create KEYPATH                create a key and the keys above it\n"
    "  reg delete ROOTNAME SUBPATH       delete a key and everything below it\n"
    "  reg enum ROOTNAME SUBPATH         list the subkeys of a key\n"
    "  reg write --dword KEYPATH NAME NUMBER  write a number value (0 to 4294967295)\n"
    "  --version                         the version of norvik-cli\n"
    "  servers [--host HOST] [-p PORT] [--store]\n"
    "                                    the whois server list (default: the stored\n"
    "                                    list host, else the built-in list); --store\n"
    "                                    stores it as the server directory\n"
    "  --help                            this text\n"
    "\n"
    "KEYPATH is a full key path such as HKEY_LOCAL_MACHINE\\Software\\Tarnwell\\Norvik.\n"
    "The store is $NORVIK_STORE, else $XDG_CONFIG_HOME/norvik/norvik.sqlite3.\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace norvik::cli;
    if (argc < 2) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string command = argv[1];
    const Args args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "--version" && args.empty()) {
        std::cout << "norvik-cli " << norvik::platform::ProductVersion() << '\n';
        return 0;
    }
    if (command == "resolve") return runResolve(args, std::cout, std::cerr);
    if (command == "reverse") return runReverse(args, std::cout, std::cerr);
    if (command == "echo") return runEcho(args, std::cout, std::cerr);
    if (command == "ping") return runPing(args, std::cout, std::cerr);
    if (command == "trace") return runTrace(args, std::cout, std::cerr);
    if (command == "whois") return runWhois(args, std::cout, std::cerr);
    if (command == "reg") return runReg(args, std::cout, std::cerr);
    if (command == "servers") return runServers(args, std::cout, std::cerr);
    if (command == "rdap") return runRdap(args, std::cout, std::cerr);
    std::cerr << "norvik-cli: unknown command '" << command << "'\n" << kUsage;
    return 2;
}
