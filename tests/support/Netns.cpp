#include "Netns.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/IcmpPacket.h"

namespace norvik::test {

namespace {

using Clock = std::chrono::steady_clock;

// Reads from fd until end of file or the deadline; false on the deadline.
bool readAll(int fd, std::string& out, Clock::time_point deadline) {
    char chunk[4096];
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return true;
        out.append(chunk, static_cast<std::size_t>(n));
    }
}

void writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

// Kills the child first when asked, and waits for it; its wait status.
int reapChild(pid_t pid, bool kill) {
    if (kill) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

int g_readyFd = -1;  // in a NetnsChild: the write end of its ready pipe

}  // namespace

int runProgram(const std::vector<std::string>& argv, std::string* output) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t io;
    ::posix_spawn_file_actions_init(&io);
    ::posix_spawn_file_actions_adddup2(&io, out[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&io, out[1], STDERR_FILENO);
    ::posix_spawn_file_actions_addopen(&io, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int failed = ::posix_spawnp(&pid, args[0], &io, nullptr, args.data(), environ);
    ::posix_spawn_file_actions_destroy(&io);
    ::close(out[1]);
    std::string text = failed ? "cannot run " + argv[0] + ": " + std::strerror(failed) : "";
    // `ip` finishes in milliseconds; the bound only keeps a stuck one from
    // hanging the test.
    const bool finished = failed || readAll(out[0], text, Clock::now() + std::chrono::seconds(30));
    ::close(out[0]);
    const int status = failed ? 0 : reapChild(pid, !finished);
    if (output) *output = text;
    return !failed && finished && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

NetnsLab::NetnsLab() : prefix_("norvik-echo-" + std::to_string(::getpid()) + "-") {}

NetnsLab::~NetnsLab() {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it)
        runProgram({"ip", "netns", "del", *it});
}

std::string NetnsLab::unavailableReason() {
    static const std::string reason = [] {
        if (::geteuid() != 0) return std::string("building network namespaces needs root");
        std::string out;
        if (runProgram({"ip", "-V"}, &out) != 0)
            return "the ip command (iproute2) cannot be run: " + out;
        const std::string probe = "norvik-echo-" + std::to_string(::getpid()) + "-probe";
        if (runProgram({"ip", "netns", "add", probe}, &out) != 0)
            return "`ip netns add` fails here: " + out;
        runProgram({"ip", "netns", "del", probe});
        return std::string();
    }();
    return reason;
}

std::string NetnsLab::name(const std::string& role) const { return prefix_ + role; }

bool NetnsLab::run(const std::vector<std::string>& argv) {
    std::string out;
    if (runProgram(argv, &out) == 0) return true;
    error_.clear();
    for (const auto& a : argv) error_ += a + " ";
    error_ += "failed: " + out;
    return false;
}

bool NetnsLab::add(const std::string& role) {
    if (!run({"ip", "netns", "add", name(role)})) return false;
    made_.push_back(name(role));
    return ip(role, {"link", "set", "lo", "up"});
}

bool NetnsLab::ip(const std::string& role, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"ip", "-n", name(role)};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv);
}

bool NetnsLab::sysctl(const std::string& role, const std::string& key, const std::string& value) {
    return run(
        {"ip", "netns", "exec", name(role), "sh", "-c", "echo \"$1\" > /proc/sys/$0", key, value});
}

bool NetnsLab::build(const Topology& t) {
    for (const auto& n : t.nodes) {
        if (!add(n.role)) return false;
        auto sysctls = n.sysctl;
        if (n.router)
            sysctls.insert(sysctls.begin(),
                           {{"net/ipv4/ip_forward", "1"}, {"net/ipv4/icmp_ratemask", "0"}});
        const bool v6 = ::access("/proc/sys/net/ipv6", F_OK) == 0;  // a kernel with IPv6
        if (n.router && v6)
            sysctls.insert(sysctls.begin(), {{"net/ipv6/conf/all/forwarding", "1"},
                                             {"net/ipv6/icmp/ratelimit", "0"}});
        // Link-local addresses too skip duplicate address detection:
        // neighbour discovery needs them from the first packet on.
        if (v6) sysctls.insert(sysctls.begin(), {"net/ipv6/conf/default/accept_dad", "0"});
        for (const auto& [key, value] : sysctls)
            if (!sysctl(n.role, key, value)) return false;
    }
    std::vector<std::pair<std::string, std::string>> v6Ends;  // role, device
    for (const auto& l : t.links) {
        const std::string end = "nv" + std::to_string(::getpid()) + "l" + std::to_string(links_++);
        if (!run({"ip", "link", "add", end + "a", "netns", name(l.a), "type", "veth", "peer",
                  "name", end + "b", "netns", name(l.b)}))
            return false;
        for (const auto& [role, dev, addresses] :
             {std::tie(l.a, "a", l.addressesA), std::tie(l.b, "b", l.addressesB)}) {
            for (const auto& address : addresses) {
                std::vector<std::string> args{"addr", "add", address, "dev", end + dev};
                if (address.find(':') != std::string::npos) {
                    args.push_back("nodad");
                    v6Ends.emplace_back(role, end + dev);
                }
                if (!ip(role, args)) return false;
            }
            if (!ip(role, {"link", "set", end + dev, "up"})) return false;
        }
    }
    for (const auto& n : t.nodes)
        for (const auto& args : n.ip)
            if (!ip(n.role, args)) return false;
    // IPv6 works on an end once the kernel has seen its carrier, up to a
    // second after it came up: then the end has its link-local address.
    for (const auto& [role, dev] : v6Ends) {
        std::string out;
        for (int i = 0; i < 100 && out.find("fe80") == std::string::npos; ++i) {
            if (i) ::poll(nullptr, 0, 50);
            runProgram({"ip", "-n", name(role), "-6", "addr", "show", "dev", dev}, &out);
        }
        if (out.find("fe80") == std::string::npos) {
            error_ = "no IPv6 link-local address on " + dev + " in " + role + " after 5 s";
            return false;
        }
    }
    return true;
}

Topology::Node& Topology::node(const std::string& role) {
    for (auto& n : nodes)
        if (n.role == role) return n;
    throw std::logic_error("no node " + role);
}

Topology path(int routers) {
    Topology t;
    const auto router = [](int k) { return "r" + std::to_string(k); };
    const auto mid = [](int k, int side) {  // link k (1..routers-1) between rk and rk+1
        return "198.51.100." + std::to_string(4 * (k - 1) + 1 + side);
    };
    const auto mid6 = [](int k, int side) {
        return "2001:db8:100:" + std::to_string(k) + "::" + std::to_string(1 + side);
    };
    const auto via6 = [](const std::string& to, const std::string& via) {
        return std::vector<std::string>{"-6", "route", "add", to, "via", via};
    };
    t.nodes.push_back(
        {"sender",
         false,
         {{"route", "add", "default", "via", "192.0.2.1"}, via6("default", "2001:db8:1::1")},
         {}});
    t.links.push_back({"sender",
                       router(1),
                       {"192.0.2.2/24", "2001:db8:1::2/64"},
                       {"192.0.2.1/24", "2001:db8:1::1/64"}});
    for (int k = 1; k <= routers; ++k) {
        Topology::Node r{router(k), true, {}, {}};
        if (k > 1) {
            r.ip.push_back({"route", "add", "default", "via", mid(k - 1, 0)});
            r.ip.push_back(via6("default", mid6(k - 1, 0)));
        }
        if (k < routers) {
            r.ip.push_back({"route", "add", "203.0.113.0/25", "via", mid(k, 1)});
            r.ip.push_back(via6("2001:db8:3::/48", mid6(k, 1)));
            t.links.push_back({router(k),
                               router(k + 1),
                               {mid(k, 0) + "/30", mid6(k, 0) + "/64"},
                               {mid(k, 1) + "/30", mid6(k, 1) + "/64"}});
        }
        t.nodes.push_back(r);
    }
    t.nodes.push_back(
        {"dest",
         false,
         {{"route", "add", "default", "via", "203.0.113.1"}, via6("default", "2001:db8:3::1")},
         {}});
    t.links.push_back({router(routers),
                       "dest",
                       {"203.0.113.1/27", "2001:db8:3::1/64"},
                       {"203.0.113.2/27", "2001:db8:3::2/64"}});
    return t;
}

Topology routedLab() {
    Topology t = path(2);
    const std::pair<std::string, std::string> anyGroup{"net/ipv4/ping_group_range", "0 2147483647"};
    t.nodes.push_back({"crafter",
                       false,
                       {{"addr", "add", "203.0.113.35/32", "dev", "lo"},
                        {"route", "add", "default", "via", "203.0.113.33"}},
                       {{"net/ipv4/icmp_echo_ignore_all", "1"}}});
    t.nodes.push_back({"island", false, {}, {anyGroup}});
    t.links.push_back({"r2", "crafter", {"203.0.113.33/27"}, {"203.0.113.34/27"}});
    auto& sender = t.node("sender");
    sender.sysctl.push_back(anyGroup);
    sender.ip.push_back({"route", "add", "unreachable", "203.0.113.240/28"});
    t.node("r1").sysctl.push_back({"net/ipv4/ping_group_range", "1 0"});
    t.node("r2").ip.insert(t.node("r2").ip.end(),
                           {{"route", "add", "203.0.113.35/32", "via", "203.0.113.34"},
                            {"route", "add", "unreachable", "203.0.113.64/28"},
                            {"route", "add", "prohibit", "203.0.113.80/28"},
                            {"route", "add", "blackhole", "203.0.113.96/28"},
                            {"-6", "route", "add", "unreachable", "2001:db8:3:4::/64"},
                            {"-6", "route", "add", "prohibit", "2001:db8:3:5::/64"},
                            {"-6", "route", "add", "blackhole", "2001:db8:3:6::/64"}});
    return t;
}

namespace {

std::string icmpMessage(int type, int code, std::uint32_t rest, const std::string& body) {
    std::string m(8, '\0');
    m[0] = static_cast<char>(type);
    m[1] = static_cast<char>(code);
    const std::uint32_t r = htonl(rest);
    std::memcpy(m.data() + 4, &r, 4);
    m += body;
    const std::uint16_t sum =
        platform::icmpChecksum(reinterpret_cast<const unsigned char*>(m.data()), m.size());
    m[2] = static_cast<char>(sum >> 8);
    m[3] = static_cast<char>(sum & 0xFF);
    return m;
}

}  // namespace

std::string answerEchoes(const EchoAnswer& answer, int count) {
    using A = EchoAnswer;
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) return std::string("socket: ") + std::strerror(errno);
    std::uint32_t onlyEchoRequests = ~(1u << 8);
    ::setsockopt(fd, SOL_RAW, 1 /* ICMP_FILTER */, &onlyEchoRequests, sizeof onlyEchoRequests);
    NetnsChild::signalReady();
    int sent = 0;
    for (int request = 0; request < count; ++request) {
        pollfd p{fd, POLLIN, 0};
        std::string packet(70000, '\0');
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        if (::poll(&p, 1, 15000) != 1) return "no request came; sent " + std::to_string(sent);
        const ssize_t n = ::recvfrom(fd, packet.data(), packet.size(), 0,
                                     reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (n < 36) return "short request";  // IP and ICMP headers, and 8 bytes of payload
        packet.resize(static_cast<std::size_t>(n));
        const std::size_t ipLength = (packet[0] & 0x0F) * 4u;
        std::uint32_t idSeq = 0;
        for (std::size_t i = 4; i < 8; ++i)
            idSeq = (idSeq << 8) | std::uint8_t(packet[ipLength + i]);
        const std::string payload = packet.substr(ipLength + 8);
        std::string quote = packet.substr(0, ipLength + 8);  // the request, as errors quote it
        std::string reply = payload;                         // what an echo reply carries
        if (answer.kind == A::AlteredPayload) reply[reply.size() / 2] ^= 0x20;
        if (answer.kind == A::ShortPayload) reply.pop_back();
        std::vector<std::string> messages;
        if (answer.kind == A::Burst)
            messages.assign(3000, icmpMessage(0, 0, idSeq + 0x10000, std::string(1000, 'x')));
        if (answer.kind == A::NoiseThenReply) {
            std::string otherQuote = quote;  // another request, one sequence number on
            ++otherQuote[ipLength + 7];
            messages = {
                icmpMessage(0, 0, idSeq + 1, payload),          // other sequence
                icmpMessage(3, 1, 0, otherQuote),               // error for it
                icmpMessage(5, 1, 0xC6336401u, quote),          // a redirect
                icmpMessage(14, 0, idSeq, std::string(12, 0)),  // timestamp reply
            };
        }
        if (answer.kind == A::StrayError) {
            const std::uint32_t elsewhere = ::inet_addr("192.0.2.200");
            std::memcpy(quote.data() + 16, &elsewhere, 4);
        }
        messages.push_back(answer.kind == A::Error || answer.kind == A::StrayError
                               ? icmpMessage(answer.type, answer.code, 0, quote)
                               : icmpMessage(0, 0, idSeq, reply));
        for (const auto& m : messages) {
            if (&m == &messages.back() && answer.kind == A::Burst) ::poll(nullptr, 0, 50);
            sent += ::sendto(fd, m.data(), m.size(), 0, reinterpret_cast<sockaddr*>(&from),
                             sizeof from) == static_cast<ssize_t>(m.size());
        }
    }
    ::close(fd);
    return "sent " + std::to_string(sent);
}

std::string runInside(const std::string& netnsName, std::function<std::string()> body,
                      int timeoutMs) {
    NetnsChild child(netnsName, std::move(body));
    const auto text = child.result(timeoutMs);
    return text ? *text : "child failed: " + child.why();
}

NetnsChild::NetnsChild(const std::string& netnsName, std::function<std::string()> body) {
    int result[2] = {-1, -1};
    int ready[2] = {-1, -1};
    if (::pipe2(result, O_CLOEXEC) != 0 || ::pipe2(ready, O_CLOEXEC) != 0 ||
        (pid_ = ::fork()) < 0) {
        why_ = std::string("cannot start the child: ") + std::strerror(errno);
        for (int fd : {result[0], result[1], ready[0], ready[1]})
            if (fd >= 0) ::close(fd);
        pid_ = -1;
        return;
    }
    if (pid_ == 0) {
        ::close(result[0]);
        ::close(ready[0]);
        g_readyFd = ready[1];
        const std::string path = "/run/netns/" + netnsName;
        const int ns = netnsName.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (!netnsName.empty() && (ns < 0 || ::setns(ns, CLONE_NEWNET) != 0)) {
            writeAll(result[1], "Ecannot enter " + path + ": " + std::strerror(errno));
            ::_exit(1);
        }
        if (ns >= 0) ::close(ns);
        std::string text;
        try {
            text = "R" + body();
        } catch (const std::exception& e) {
            text = std::string("Ethrew: ") + e.what();
        } catch (...) {
            text = "Ethrew";
        }
        writeAll(result[1], text);
        ::_exit(0);
    }
    ::close(result[1]);
    ::close(ready[1]);
    resultFd_ = result[0];
    readyFd_ = ready[0];
}

NetnsChild::~NetnsChild() { reap(true); }

void NetnsChild::signalReady() {
    if (g_readyFd >= 0) writeAll(g_readyFd, "r");
}

bool NetnsChild::becomeNobody() {
    const gid_t nobody = 65534;
    return ::setgroups(0, nullptr) == 0 && ::setresgid(nobody, nobody, nobody) == 0 &&
           ::setresuid(nobody, nobody, nobody) == 0;
}

bool NetnsChild::waitReady(int timeoutMs) {
    pollfd p{readyFd_, POLLIN, 0};
    int r = -1;
    while (readyFd_ >= 0 && (r = ::poll(&p, 1, timeoutMs)) < 0 && errno == EINTR) {
    }
    char c;
    return r > 0 && ::read(readyFd_, &c, 1) == 1;
}

std::optional<std::string> NetnsChild::result(int timeoutMs) {
    if (resultFd_ < 0) {
        if (why_.empty()) why_ = "the child's result was already taken";
        return std::nullopt;
    }
    std::string text;
    const bool finished =
        readAll(resultFd_, text, Clock::now() + std::chrono::milliseconds(timeoutMs));
    reap(!finished);
    if (finished && !text.empty() && text[0] == 'R') return text.substr(1);
    why_ = !finished      ? "the child did not finish within " + std::to_string(timeoutMs) + " ms"
           : text.empty() ? "the child died without an answer"
                          : text.substr(1);
    return std::nullopt;
}

void NetnsChild::reap(bool kill) {
    if (resultFd_ >= 0) ::close(resultFd_);
    if (readyFd_ >= 0) ::close(readyFd_);
    resultFd_ = readyFd_ = -1;
    if (pid_ > 0) reapChild(pid_, kill);
    pid_ = -1;
}

bool useHostsFile(const std::string& lines) {
    char path[] = "/tmp/norvik-hosts-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) return false;
    writeAll(fd, lines);
    ::close(fd);
    // The bind mount stays in this child's namespace: slave propagation
    // keeps it from reaching the machine's.
    const bool ok = ::unshare(CLONE_NEWNS) == 0 &&
                    ::mount(nullptr, "/", nullptr, MS_REC | MS_SLAVE, nullptr) == 0 &&
                    ::mount(path, "/etc/hosts", nullptr, MS_BIND, nullptr) == 0;
    ::unlink(path);
    return ok;
}

}  // namespace norvik::test
