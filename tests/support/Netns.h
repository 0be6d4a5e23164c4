#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace norvik::test {

// Runs a program (no shell) and waits for it; returns its exit status, or
// -1 when it could not be started or was killed. What it printed, standard
// output and error together, goes to *output.
int runProgram(const std::vector<std::string>& argv, std::string* output = nullptr);

struct Topology;

// Network namespaces and veth links between them, built with `ip` for one
// test. Every name carries the process id, so parallel test programs never
// meet; the destructor deletes the namespaces, and the links with them.
class NetnsLab {
  public:
    NetnsLab();
    ~NetnsLab();
    NetnsLab(const NetnsLab&) = delete;
    NetnsLab& operator=(const NetnsLab&) = delete;

    // Why namespaces cannot be built here (not root, no `ip`, the kernel
    // refuses); empty when they can. Probed once per process.
    static std::string unavailableReason();

    // Each step returns false on failure and leaves the reason in error().
    // A namespace for a role ("sender", "router"...), with its loopback up.
    bool add(const std::string& role);
    // `ip -n <namespace> args...`, e.g. {"route", "add", "default", "via", "192.0.2.1"}.
    bool ip(const std::string& role, const std::vector<std::string>& args);
    // Writes a value under /proc/sys inside the namespace: sysctl(role,
    // "net/ipv4/ip_forward", "1").
    bool sysctl(const std::string& role, const std::string& key, const std::string& value);
    // Every node, link, sysctl and `ip` command of the topology.
    bool build(const Topology& topology);

    // The namespace's name as `ip netns` knows it.
    std::string name(const std::string& role) const;
    const std::string& error() const { return error_; }

  private:
    bool run(const std::vector<std::string>& argv);

    std::string prefix_;
    std::vector<std::string> made_;
    int links_ = 0;
    std::string error_;
};

// A forked child that enters a named network namespace (or, with an empty
// name, stays in the test's) and runs a function there, so that the test
// process itself stays where it is. The function's
// text comes back through a pipe. It runs in the child only: it must not use
// the test's assertions, and it ends with _exit, running no destructors of
// the parent's objects.
class NetnsChild {
  public:
    NetnsChild(const std::string& netnsName, std::function<std::string()> body);
    // A child still running is killed, by its process id, and reaped.
    ~NetnsChild();
    NetnsChild(const NetnsChild&) = delete;
    NetnsChild& operator=(const NetnsChild&) = delete;

    // True once the child has called signalReady(); false when it has not
    // within timeoutMs, or has ended.
    bool waitReady(int timeoutMs);
    // The function's text; nullopt when the child could not enter the
    // namespace, died, or did not finish within timeoutMs (why() says which).
    std::optional<std::string> result(int timeoutMs);
    const std::string& why() const { return why_; }

    // Called inside the child: tells waitReady() that it is set up.
    static void signalReady();
    // Called inside the child: becomes user and group nobody (65534), with
    // no other groups and so no capabilities; false when it cannot.
    static bool becomeNobody();

  private:
    void reap(bool kill);

    pid_t pid_ = -1;
    int resultFd_ = -1;
    int readyFd_ = -1;
    std::string why_;
};

// A lab declared as data, built by NetnsLab::build(): namespaces ("nodes")
// and veth links between them. Addresses come from 192.0.2.0/24,
// 198.51.100.0/24, 203.0.113.0/24 or 2001:db8::/32; IPv6 ones are added
// without duplicate address detection, and build() returns once IPv6 works
// on every end that has one (the kernel takes up to a second). Anything the
// fields do not name goes in a node's `ip` commands or sysctls, e.g. a hop
// that forwards but never answers: ip {"rule", "add", "iif", "lo",
// "blackhole"} and {"-6", "rule", ...} (its own packets, errors included, go
// nowhere). Per-link delay
// has no netem here: bench/bench_trace.cpp relays packets between TUN
// devices for it.
struct Topology {
    struct Node {
        std::string role;
        // Forwards (IPv4 and IPv6) and sends its ICMP errors without the
        // per-host rate limit.
        bool router = false;
        // Each `ip -n <node> ...`, run in order once every link is up:
        // routes, rules, addresses on lo.
        std::vector<std::vector<std::string>> ip;
        // Keys under /proc/sys and their values, set before the links.
        std::vector<std::pair<std::string, std::string>> sysctl;
    };
    struct Link {
        std::string a, b;                                 // roles
        std::vector<std::string> addressesA, addressesB;  // "192.0.2.1/24", "2001:db8:1::1/64"
    };
    std::vector<Node> nodes;
    std::vector<Link> links;

    // The node of this role; it must exist.
    Node& node(const std::string& role);
};

// A straight path: sender -- r1 -- ... -- rN -- dest. The first link is
// 192.0.2.2/24 (sender) to 192.0.2.1/24 (r1), those between routers /30s of
// 198.51.100.0/24 from .1 (left) and .2 (right) on, the last 203.0.113.1/27
// (rN) to 203.0.113.2/27 (dest); routers <= 63. The sender and dest route by
// default to their neighbour; each router routes back by default (r1 has
// the sender's link) and on only to 203.0.113.0/25, so r1 has no route for
// 203.0.113.128/25. IPv6 alike, beside it: 2001:db8:1::2/64 (sender) to
// ::1 (r1), between routers 2001:db8:100:<k>::1/64 and ::2,
// 2001:db8:3::1/64 (rN) to ::2 (dest); routers go on only to
// 2001:db8:3::/48.
Topology path(int routers);

// The routed lab that the echo and trace tests share, path(2) and more:
//
//   sender 192.0.2.2 -- 192.0.2.1 r1 198.51.100.1 -- 198.51.100.2 r2 203.0.113.1  -- 203.0.113.2
//   dest
//                                                                    203.0.113.33 -- 203.0.113.34
//                                                                    crafter
//
// and an island with no links. r2 has an unreachable (203.0.113.64/28), a
// prohibit (.80/28) and a blackhole (.96/28) route and the crafter's second
// address 203.0.113.35, and for IPv6 an unreachable (2001:db8:3:4::/64), a
// prohibit (2001:db8:3:5::/64) and a blackhole (2001:db8:3:6::/64) route. The
// sender has an unreachable route for
// 203.0.113.240/28. r1 lets no group open datagram sockets, the sender and
// the island let all. The crafter's kernel answers no echo: answerEchoes()
// does, there.
Topology routedLab();

// How answerEchoes() answers each echo request it waits for.
struct EchoAnswer {
    // Error: an ICMP error of type/code quoting the request. StrayError: the
    // same, quoting it as if it had gone to 192.0.2.200. Burst: 3000
    // replies to another identifier, then ours. NoiseThenReply: replies and
    // errors for other requests, a redirect and a timestamp reply, then ours.
    enum Kind { Reply, Error, AlteredPayload, ShortPayload, NoiseThenReply, StrayError, Burst };
    int type = 0, code = 0;
    Kind kind = Error;
};

// Runs in a namespace (in a NetnsChild): signals ready, answers up to count
// echo requests as asked, and returns "sent <messages sent>".
std::string answerEchoes(const EchoAnswer& answer, int count = 1);

// The text of body run by a NetnsChild in the namespace, or "child failed:
// <why>" when it gave none within timeoutMs.
std::string runInside(const std::string& netnsName, std::function<std::string()> body,
                      int timeoutMs = 20000);

// Called inside a NetnsChild (or another child of the test): gives the
// child a mount namespace of its own in which /etc/hosts reads `lines`, as
// `ip netns exec` does with /etc/netns/<name>/hosts, so the system resolver
// answers from them. False when it cannot (not root, no mount namespaces).
bool useHostsFile(const std::string& lines);

}  // namespace norvik::test
