#include "Netns.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

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

bool NetnsLab::link(const std::string& a, const std::string& addressA, const std::string& b,
                    const std::string& addressB) {
    // The two ends: <base>a in a's namespace, <base>b in b's.
    const std::string end = "nv" + std::to_string(::getpid()) + "l" + std::to_string(links_++);
    return run({"ip", "link", "add", end + "a", "netns", name(a), "type", "veth", "peer", "name",
                end + "b", "netns", name(b)}) &&
           ip(a, {"addr", "add", addressA, "dev", end + "a"}) &&
           ip(b, {"addr", "add", addressB, "dev", end + "b"}) &&
           ip(a, {"link", "set", end + "a", "up"}) && ip(b, {"link", "set", end + "b", "up"});
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

std::uint16_t icmpChecksum(const std::string& m) {
    std::uint64_t s = 0;
    for (std::size_t i = 0; i < m.size(); i += 2)
        s += (std::uint8_t(m[i]) << 8) | (i + 1 < m.size() ? std::uint8_t(m[i + 1]) : 0);
    while (s >> 16) s = (s & 0xFFFF) + (s >> 16);
    return static_cast<std::uint16_t>(~s);
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

}  // namespace norvik::test
