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

std::optional<IpAddress> SystemResolver::resolveName(const std::string& name, FamilyRule rule) {
    // No host name has a ':': the text is an IPv6 literal or nothing.
    if (name.find(':') != std::string::npos) {
        const auto literal = IpAddress::parse(name);
        if (!literal || !allows(rule, literal->family())) return std::nullopt;
        return literal;
    }
    const bool v6First = rule == FamilyRule::Ipv6First || rule == FamilyRule::Ipv6Only;
    for (const Family family :
         {v6First ? Family::V6 : Family::V4, v6First ? Family::V4 : Family::V6}) {
        if (!allows(rule, family)) continue;
        addrinfo hints{};
        hints.ai_family = family == Family::V4 ? AF_INET : AF_INET6;
        hints.ai_socktype = SOCK_RAW;
        addrinfo* res = nullptr;
        if (::getaddrinfo(name.c_str(), nullptr, &hints, &res) != 0 || res == nullptr) continue;
        const auto address = IpAddress::fromSockaddr(res->ai_addr);
        ::freeaddrinfo(res);
        if (address) return address;
    }
    return std::nullopt;
}

std::optional<std::string> SystemResolver::resolveAddress(const IpAddress& address) {
    sockaddr_storage socketAddress{};
    const socklen_t size = address.toSockaddr(socketAddress);
    char host[NI_MAXHOST] = {};
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&socketAddress), size, host, sizeof host,
                      nullptr, 0, NI_NAMEREQD) != 0)
        return std::nullopt;
    return std::string(host);
}

std::optional<IpAddress> SystemResolver::lookupName(const std::string& name, FamilyRule rule) {
    // A name with a NUL inside would be cut short by the resolver; it names
    // nothing. Over-long names fail in the resolver itself.
    if (hasNul(name)) return std::nullopt;
    auto result = std::make_shared<std::optional<IpAddress>>();
    if (!run([this, name, rule, result] { *result = resolveName(name, rule); }))
        return std::nullopt;
    return *result;
}

std::optional<std::string> SystemResolver::lookupAddress(const IpAddress& address) {
    auto result = std::make_shared<std::optional<std::string>>();
    if (!run([this, address, result] { *result = resolveAddress(address); })) return std::nullopt;
    return *result;
}

}  // namespace norvik::platform
