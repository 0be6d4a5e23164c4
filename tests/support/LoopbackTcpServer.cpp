#include "LoopbackTcpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace norvik::test {

namespace {

// Longest a connection is held open for a client that never closes.
constexpr int kHoldOpenMs = 60000;
constexpr int kRequestMs = 5000;

sockaddr_in loopback(const std::string& address, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    return a;
}

}  // namespace

LoopbackTcpServer::LoopbackTcpServer(ServerScript script, const std::string& address,
                                     std::uint16_t port)
    : script_(std::move(script)) {
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0) return;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = loopback(address, port);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(fd);
        return;
    }
    listenFd_ = fd;
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { run(); });
}

LoopbackTcpServer::~LoopbackTcpServer() {
    if (stopPipe_[1] >= 0) (void)!::write(stopPipe_[1], "x", 1);
    if (thread_.joinable()) thread_.join();
    for (int fd : {listenFd_, stopPipe_[0], stopPipe_[1]})
        if (fd >= 0) ::close(fd);
}

std::vector<std::string> LoopbackTcpServer::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::uint16_t LoopbackTcpServer::closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback("127.0.0.1", 0);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);  // bound but never listening: the port refuses from now on
    return ntohs(a.sin_port);
}

// True when `fd` is ready for `events` within the time; false on time-out
// or when the server is being stopped.
bool LoopbackTcpServer::waitFor(int fd, short events, int timeoutMs) {
    pollfd p[2] = {{fd, events, 0}, {stopPipe_[0], POLLIN, 0}};
    for (;;) {
        const int n = ::poll(p, 2, timeoutMs);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || (p[1].revents & POLLIN) != 0) return false;
        return p[0].revents != 0;
    }
}

void LoopbackTcpServer::run() {
    while (waitFor(listenFd_, POLLIN, -1)) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) continue;
        serve(fd);
    }
}

void LoopbackTcpServer::record(std::size_t index, const char* data, std::size_t n) {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_[index].append(data, n);
}

bool LoopbackTcpServer::sendAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            sent_ += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!waitFor(fd, POLLOUT, kHoldOpenMs)) return false;
        } else {
            return false;
        }
    }
    return true;
}

void LoopbackTcpServer::serve(int fd) {
    std::size_t index;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        index = requests_.size();
        requests_.emplace_back();
    }
    ++connections_;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    char buf[4096];
    bool clientOpen = true;
    std::string seen;
    // Records what the client sends within the time; false when nothing came
    // or the client has closed.
    const auto receive = [&](int timeoutMs) {
        if (!waitFor(fd, POLLIN, timeoutMs)) return false;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n > 0) {
            seen.append(buf, static_cast<std::size_t>(n));
            record(index, buf, static_cast<std::size_t>(n));
        }
        clientOpen = n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR));
        return clientOpen;
    };

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRequestMs);
    while (script_.readRequest && seen.find("\r\n") == std::string::npos) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 || !receive(static_cast<int>(left))) break;
    }

    bool ok = true;
    for (std::size_t i = 0; ok && i < script_.pieces.size(); ++i) {
        ok = sendAll(fd, script_.pieces[i]);
        if (ok && i + 1 < script_.pieces.size() && script_.pauseMs > 0) {
            // A pause that a stop request cuts short.
            pollfd p{stopPipe_[0], POLLIN, 0};
            if (::poll(&p, 1, script_.pauseMs) > 0) ok = false;
        }
    }
    while (ok && !script_.endlessBlock.empty() && sent_ < script_.cap)
        ok = sendAll(fd, script_.endlessBlock);

    if (ok && script_.end == ServerScript::End::KeepOpen) {
        while (clientOpen && receive(kHoldOpenMs)) {
        }  // until the client closes: record whatever it still sends
    } else if (script_.end == ServerScript::End::Reset) {
        const linger hard{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    ::close(fd);
}

}  // namespace norvik::test
