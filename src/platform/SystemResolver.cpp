#include "platform/SystemResolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <thread>

namespace norvik::platform {

namespace {
bool hasNul(const std::string& s) { return s.find('\0') != std::string::npos; }
}  // namespace

std::uint32_t inetAddr(const std::string& text) {
    if (hasNul(text)) return kInaddrNone;
    return ::inet_addr(text.c_str());
}

std::string inetNtoa(std::uint32_t address) {
    char buf[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = address;
    ::inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

namespace {

// The eventfd a lookup thread signals when it is done; the thread and the
// waiting caller share it, and the last of the two closes it.
struct DoneSignal {
    int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ~DoneSignal() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

bool SystemResolver::run(std::function<void()> work) {
    auto done = wait_ ? std::make_shared<DoneSignal>() : nullptr;
    if (!done || done->fd < 0) {
        work();
        return true;
    }
    // The thread owns everything it touches, so it can be left behind.
    std::thread worker([work = std::move(work), done] {
        work();
        const std::uint64_t one = 1;
        (void)!::write(done->fd, &one, sizeof one);
    });
    // The resolver gives up by itself in the end; wait in slices until then,
    // or until the program quits: then the lookup is left to finish alone.
    std::uint64_t count = 0;
    for (;;) {
        wait_(done->fd, 1000);
        if (::read(done->fd, &count, sizeof count) == static_cast<ssize_t>(sizeof count)) break;
        if (waitsAbandoned()) {
            worker.detach();
            return false;
        }
    }
    worker.join();
    return true;
}

std::optional<std::array<std::uint8_t, 4>> SystemResolver::resolveName(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_RAW;
    addrinfo* res = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &res) != 0 || res == nullptr)
        return std::nullopt;
    std::array<std::uint8_t, 4> bytes{};
    const auto* sin = reinterpret_cast<const sockaddr_in*>(res->ai_addr);
    std::memcpy(bytes.data(), &sin->sin_addr.s_addr, 4);
    ::freeaddrinfo(res);
    return bytes;
}

std::optional<std::string> SystemResolver::resolveAddress(const std::array<std::uint8_t, 4>& addr) {
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    std::memcpy(&sin.sin_addr.s_addr, addr.data(), 4);
    char host[NI_MAXHOST] = {};
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&sin), sizeof sin, host, sizeof host,
                      nullptr, 0, NI_NAMEREQD) != 0)
        return std::nullopt;
    return std::string(host);
}

std::optional<std::array<std::uint8_t, 4>> SystemResolver::lookupName(const std::string& name) {
    // A name with a NUL inside would be cut short by the resolver; it names
    // nothing. Over-long names fail in the resolver itself.
    if (hasNul(name)) return std::nullopt;
    auto result = std::make_shared<std::optional<std::array<std::uint8_t, 4>>>();
    if (!run([this, name, result] { *result = resolveName(name); })) return std::nullopt;
    return *result;
}

std::optional<std::string> SystemResolver::lookupAddress(const std::array<std::uint8_t, 4>& addr) {
    auto result = std::make_shared<std::optional<std::string>>();
    if (!run([this, addr, result] { *result = resolveAddress(addr); })) return std::nullopt;
    return *result;
}

}  // namespace norvik::platform
