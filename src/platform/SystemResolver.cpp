#include "platform/SystemResolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
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

void SystemResolver::run(const std::function<void()>& work) {
    const int done = wait_ ? ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK) : -1;
    if (done < 0) {
        work();
        return;
    }
    std::thread worker([&] {
        work();
        const std::uint64_t one = 1;
        (void)!::write(done, &one, sizeof one);
    });
    // The resolver gives up by itself in the end; wait in slices until then.
    std::uint64_t count = 0;
    do {
        wait_(done, 1000);
    } while (::read(done, &count, sizeof count) != static_cast<ssize_t>(sizeof count));
    worker.join();
    ::close(done);
}

std::optional<std::array<std::uint8_t, 4>> SystemResolver::lookupName(const std::string& name) {
    // A name with a NUL inside would be cut short by the resolver; it names
    // nothing. Over-long names fail in the resolver itself.
    if (hasNul(name)) return std::nullopt;
    std::optional<std::array<std::uint8_t, 4>> result;
    run([&] {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_RAW;
        addrinfo* res = nullptr;
        if (::getaddrinfo(name.c_str(), nullptr, &hints, &res) != 0 || res == nullptr) return;
        std::array<std::uint8_t, 4> bytes{};
        const auto* sin = reinterpret_cast<const sockaddr_in*>(res->ai_addr);
        std::memcpy(bytes.data(), &sin->sin_addr.s_addr, 4);
        ::freeaddrinfo(res);
        result = bytes;
    });
    return result;
}

std::optional<std::string> SystemResolver::lookupAddress(const std::array<std::uint8_t, 4>& addr) {
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    std::memcpy(&sin.sin_addr.s_addr, addr.data(), 4);
    std::optional<std::string> result;
    run([&] {
        char host[NI_MAXHOST] = {};
        if (::getnameinfo(reinterpret_cast<const sockaddr*>(&sin), sizeof sin, host, sizeof host,
                          nullptr, 0, NI_NAMEREQD) == 0) {
            result = host;
        }
    });
    return result;
}

}  // namespace norvik::platform
