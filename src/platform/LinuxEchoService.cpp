#include "platform/LinuxEchoService.h"

// <netinet/in.h> first: it tells the kernel headers which definitions the C
// library already has.
#include <netinet/in.h>
//
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

namespace norvik::platform {

namespace {

using Clock = std::chrono::steady_clock;

// ICMP message types and codes, as on the wire.
constexpr int kEchoReply = 0;
constexpr int kDestUnreachable = 3;
constexpr int kSourceQuench = 4;
constexpr int kEchoRequest = 8;
constexpr int kTimeExceeded = 11;
constexpr int kParameterProblem = 12;

constexpr std::size_t kIcmpHeaderSize = 8;
constexpr std::size_t kIpHeaderMin = 20;
// Room for the IP header and for an ICMP error's quote of our request.
constexpr std::size_t kAnswerSlack = 60 + 576;
// Packets taken from a socket per wake-up, so that a flood of foreign
// echoes cannot hold the caller past its deadline.
constexpr int kPacketsPerWakeUp = 256;

std::uint16_t read16(const unsigned char* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

void write16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v & 0xFF);
}

std::uint32_t readAddress(const unsigned char* p) {
    std::uint32_t a;
    std::memcpy(&a, p, sizeof a);  // stays in network byte order
    return a;
}

// The Internet checksum (ones' complement of the ones' complement sum).
std::uint16_t checksum(const unsigned char* data, std::size_t size) {
    std::uint64_t sum = 0;
    std::size_t i = 0;
    for (; i + 1 < size; i += 2) sum += read16(data + i);
    if (i < size) sum += static_cast<std::uint64_t>(data[i]) << 8;
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

bool setOption(int fd, int level, int name, int value) {
    return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}

std::string executablePath() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "the program's binary";
    return std::string(path, static_cast<std::size_t>(n));
}

}  // namespace

std::optional<int> statusForIcmpError(int type, int code) {
    switch (type) {
        case kDestUnreachable:
            switch (code) {
                case 0:   // network unreachable
                case 6:   // destination network unknown
                case 9:   // network administratively prohibited
                case 11:  // network unreachable for the type of service
                    return status::kDestNetUnreachable;
                case 2:
                    return status::kDestProtUnreachable;
                case 3:
                    return status::kDestPortUnreachable;
                case 4:  // fragmentation needed
                    return status::kPacketTooBig;
                case 5:  // source route failed
                    return status::kBadRoute;
                default:
                    return status::kDestHostUnreachable;
            }
        case kTimeExceeded:
            return code == 1 ? status::kTtlExpiredReassembly : status::kTtlExpiredTransit;
        case kParameterProblem:
            return status::kParamProblem;
        case kSourceQuench:
            return status::kSourceQuench;
        default:
            return std::nullopt;
    }
}

int statusForSendError(int error) {
    switch (error) {
        case EHOSTUNREACH:
            return status::kDestHostUnreachable;
        case ENETUNREACH:
            return status::kDestNetUnreachable;
        default:
            return status::kGeneralFailure;
    }
}

// An open ICMP socket, closed when it goes out of scope.
struct LinuxEchoService::Socket {
    int fd = -1;
    IcmpSocketKind kind = IcmpSocketKind::None;

    Socket() = default;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    Socket(Socket&& other) noexcept : fd(other.fd), kind(other.kind) { other.fd = -1; }
    Socket& operator=(Socket&&) = delete;
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
};

// One request on its way: what identifies its answer, and the answer once
// it has come.
struct LinuxEchoService::Exchange {
    const EchoRequest& request;
    std::uint16_t identifier;
    std::uint16_t sequence;
    EchoResult result;
};

LinuxEchoService::LinuxEchoService(Mode mode) : mode_(mode) {
    std::random_device random;
    identifier_ =
        static_cast<std::uint16_t>((random() ^ static_cast<unsigned>(::getpid())) & 0xFFFF);
    sequence_ = static_cast<std::uint16_t>(random() & 0xFFFF);
}

LinuxEchoService::Socket LinuxEchoService::openSocket() const {
    Socket s;
    const auto open = [](int type) {
        return ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    };
    if (mode_ != Mode::RawOnly) {
        s.fd = open(SOCK_DGRAM);
        if (s.fd >= 0) s.kind = IcmpSocketKind::Datagram;
    }
    if (s.fd < 0 && mode_ != Mode::DatagramOnly) {
        s.fd = open(SOCK_RAW);
        if (s.fd >= 0) s.kind = IcmpSocketKind::Raw;
    }
    return s;
}

std::string LinuxEchoService::unavailableReason() const {
    if (openSocket().fd >= 0) return {};
    return "No ICMP socket could be opened. The kernel gives ICMP datagram sockets only to the "
           "groups in net.ipv4.ping_group_range, which leaves out this user's groups, and raw "
           "ICMP sockets only to root or to programs holding CAP_NET_RAW. Either allow the "
           "groups, for example with: sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\" "
           "(add it to /etc/sysctl.d to keep it), or give the program raw sockets with: sudo "
           "setcap cap_net_raw+ep " +
           executablePath() + ".";
}

EchoResult LinuxEchoService::send(const EchoRequest& request, const Waiter& wait) {
    Exchange ex{request, identifier_, ++sequence_, EchoResult{}};
    ex.result.status = status::kGeneralFailure;

    Socket sock = openSocket();
    lastKind_ = sock.kind;
    if (sock.fd < 0) return ex.result;
    const int fd = sock.fd;
    const bool datagram = sock.kind == IcmpSocketKind::Datagram;

    // The request goes out without the don't-fragment flag, so that a big
    // payload is fragmented on the way instead of being refused.
    if (!setOption(fd, IPPROTO_IP, IP_MTU_DISCOVER, IP_PMTUDISC_DONT)) return ex.result;
    if (request.ttl >= 0 && !setOption(fd, IPPROTO_IP, IP_TTL, request.ttl)) return ex.result;
    if (datagram) {
        // Without IP_RECVERR a datagram socket never sees the ICMP errors
        // that routers send back.
        if (!setOption(fd, IPPROTO_IP, IP_RECVERR, 1)) return ex.result;
        if (!setOption(fd, IPPROTO_IP, IP_RECVTTL, 1)) return ex.result;
    } else {
        icmp_filter filter{};
        filter.data = ~((1u << kEchoReply) | (1u << kDestUnreachable) | (1u << kSourceQuench) |
                        (1u << kTimeExceeded) | (1u << kParameterProblem));
        if (::setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter) != 0) return ex.result;
    }

    const std::string& payload = request.payload;
    packet_.assign(kIcmpHeaderSize + payload.size(), 0);
    packet_[0] = kEchoRequest;
    write16(&packet_[4], ex.identifier);  // a datagram socket puts its port here
    write16(&packet_[6], ex.sequence);
    std::memcpy(packet_.data() + kIcmpHeaderSize, payload.data(), payload.size());
    if (!datagram) write16(&packet_[2], checksum(packet_.data(), packet_.size()));
    if (buffer_.size() < kIcmpHeaderSize + payload.size() + kAnswerSlack)
        buffer_.resize(kIcmpHeaderSize + payload.size() + kAnswerSlack);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = request.address;

    const auto start = Clock::now();
    ssize_t sent;
    do {
        sent = ::sendto(fd, packet_.data(), packet_.size(), 0, reinterpret_cast<sockaddr*>(&to),
                        sizeof to);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) {
        ex.result.status = statusForSendError(errno);
        return ex.result;
    }

    Waiter fallback;
    const Waiter* waitFor = &wait;
    if (!wait) {
        fallback = pollWaiter;
        waitFor = &fallback;
    }
    const auto deadline = start + std::chrono::milliseconds(std::max(request.timeoutMs, 0));
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        const bool ready = (*waitFor)(fd, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        const auto woke = Clock::now();
        if (ready) {
            bool answered = false;
            if (datagram) {
                // Replies first: that read also takes the socket's pending
                // error, which an ICMP error sets beside queueing it, so the
                // socket stops polling as ready once the queue is read.
                answered = receiveDatagram(fd, ex) || receiveDatagramError(fd, ex);
            } else {
                answered = receiveRaw(fd, ex);
            }
            if (answered) {
                ex.result.roundTripMs = static_cast<std::uint32_t>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(woke - start).count());
                return ex.result;
            }
        }
        if (woke >= deadline) break;
    }
    ex.result = EchoResult{};
    ex.result.status = status::kTimedOut;
    return ex.result;
}

// Echo replies on a datagram socket: the kernel hands over only those with
// the socket's identifier, as ICMP header and data without the IP header.
bool LinuxEchoService::receiveDatagram(int fd, Exchange& ex) {
    const std::string& payload = ex.request.payload;
    for (int i = 0; i < kPacketsPerWakeUp; ++i) {
        sockaddr_in from{};
        iovec iov{buffer_.data(), buffer_.size()};
        alignas(cmsghdr) unsigned char control[256];
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(fd, &msg, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) return false;
            continue;  // EINTR, or the socket's pending error, which the error queue tells
        }
        const auto size = static_cast<std::size_t>(n);
        if ((msg.msg_flags & MSG_TRUNC) || size < kIcmpHeaderSize) continue;
        const unsigned char* icmp = buffer_.data();
        if (icmp[0] != kEchoReply || read16(icmp + 6) != ex.sequence) continue;
        if (size - kIcmpHeaderSize != payload.size() ||
            std::memcmp(icmp + kIcmpHeaderSize, payload.data(), payload.size()) != 0)
            continue;  // not our payload: not our answer
        ex.result.status = status::kSuccess;
        ex.result.replyAddress = from.sin_addr.s_addr;
        ex.result.data = payload;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) {
                int ttl = 0;
                std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
                ex.result.ttl = static_cast<std::uint8_t>(ttl);
            }
        }
        return true;
    }
    return false;
}

// ICMP errors on a datagram socket come through its error queue: the type
// and code and the router's address in the extended error, our request's
// ICMP header (identifier replaced by the socket's port) as the data.
bool LinuxEchoService::receiveDatagramError(int fd, Exchange& ex) {
    for (int i = 0; i < kPacketsPerWakeUp; ++i) {
        iovec iov{buffer_.data(), buffer_.size()};
        alignas(cmsghdr) unsigned char control[512];
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        const sock_extended_err* ee = nullptr;
        int ttl = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level != IPPROTO_IP) continue;
            if (c->cmsg_type == IP_RECVERR)
                ee = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
            else if (c->cmsg_type == IP_TTL)
                std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
        }
        if (!ee) continue;
        std::optional<int> status;
        std::uint32_t from = 0;
        if (ee->ee_origin == SO_EE_ORIGIN_ICMP) {
            const auto size = static_cast<std::size_t>(n);
            const unsigned char* quoted = buffer_.data();
            if (size < kIcmpHeaderSize || quoted[0] != kEchoRequest ||
                read16(quoted + 6) != ex.sequence)
                continue;
            status = statusForIcmpError(ee->ee_type, ee->ee_code);
            sockaddr_in offender;
            std::memcpy(&offender, SO_EE_OFFENDER(ee), sizeof offender);
            if (offender.sin_family == AF_INET) from = offender.sin_addr.s_addr;
        } else if (ee->ee_origin == SO_EE_ORIGIN_LOCAL) {
            // Raised by our own stack for the one request this socket sent.
            status = statusForSendError(static_cast<int>(ee->ee_errno));
        }
        if (!status) continue;
        ex.result.status = *status;
        ex.result.replyAddress = from;
        ex.result.ttl = static_cast<std::uint8_t>(ttl);
        ex.result.data.clear();
        return true;
    }
    return false;
}

// A raw socket sees every ICMP message the filter lets through, with its IP
// header: echo replies are ours when identifier, sequence and payload match,
// errors when the request they quote is ours.
bool LinuxEchoService::receiveRaw(int fd, Exchange& ex) {
    const std::string& payload = ex.request.payload;
    for (int i = 0; i < kPacketsPerWakeUp; ++i) {
        iovec iov{buffer_.data(), buffer_.size()};
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        const ssize_t n = ::recvmsg(fd, &msg, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        const auto size = static_cast<std::size_t>(n);
        const unsigned char* ip = buffer_.data();
        if ((msg.msg_flags & MSG_TRUNC) || size < kIpHeaderMin || (ip[0] >> 4) != 4) continue;
        const std::size_t ipLength = (ip[0] & 0x0F) * 4u;
        if (ipLength < kIpHeaderMin || size < ipLength + kIcmpHeaderSize) continue;
        const unsigned char* icmp = ip + ipLength;
        const std::size_t icmpLength = size - ipLength;
        if (checksum(icmp, icmpLength) != 0) continue;

        if (icmp[0] == kEchoReply) {
            if (read16(icmp + 4) != ex.identifier || read16(icmp + 6) != ex.sequence) continue;
            if (icmpLength - kIcmpHeaderSize != payload.size() ||
                std::memcmp(icmp + kIcmpHeaderSize, payload.data(), payload.size()) != 0)
                continue;
            ex.result.status = status::kSuccess;
            ex.result.data = payload;
        } else {
            const std::optional<int> status = statusForIcmpError(icmp[0], icmp[1]);
            if (!status) continue;
            // The quoted request: its IP header and at least its ICMP header.
            const unsigned char* inner = icmp + kIcmpHeaderSize;
            const std::size_t innerSize = icmpLength - kIcmpHeaderSize;
            if (innerSize < kIpHeaderMin || (inner[0] >> 4) != 4) continue;
            const std::size_t innerIpLength = (inner[0] & 0x0F) * 4u;
            if (innerIpLength < kIpHeaderMin || innerSize < innerIpLength + kIcmpHeaderSize)
                continue;
            if (inner[9] != IPPROTO_ICMP) continue;
            if (ex.request.address != 0 && readAddress(inner + 16) != ex.request.address) continue;
            const unsigned char* quoted = inner + innerIpLength;
            if (quoted[0] != kEchoRequest || read16(quoted + 4) != ex.identifier ||
                read16(quoted + 6) != ex.sequence)
                continue;
            ex.result.status = *status;
            ex.result.data.clear();
        }
        ex.result.replyAddress = readAddress(ip + 12);
        ex.result.ttl = ip[8];
        return true;
    }
    return false;
}

}  // namespace norvik::platform
