#include "platform/IcmpSocket.h"

// <netinet/in.h> first: it tells the kernel headers which definitions the C
// library already has.
#include <netinet/in.h>
//
#include <linux/errqueue.h>
#include <linux/filter.h>
#include <netinet/icmp6.h>
#include <unistd.h>

#include <cstring>
#include <random>

#include "platform/EchoService.h"
#include "platform/IcmpPacket.h"

namespace norvik::platform {

namespace {

void write16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v & 0xFF);
}

}  // namespace

bool setOption(int fd, int level, int name, int value) {
    return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}

int openIcmpSocket(bool v6, IcmpSocketKind kind) {
    const int type = kind == IcmpSocketKind::Datagram ? SOCK_DGRAM : SOCK_RAW;
    return v6 ? ::socket(AF_INET6, type | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMPV6)
              : ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
}

std::uint16_t randomIdentifier() {
    std::random_device random;
    return static_cast<std::uint16_t>((random() ^ static_cast<unsigned>(::getpid())) & 0xFFFF);
}

bool attachClassicFilter(int fd, std::uint16_t identifier) {
    // Jump offsets count the instructions skipped.
    sock_filter code[] = {
        BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),                        // 0: X = IP header length
        BPF_STMT(BPF_LD | BPF_B | BPF_IND, 0),                         // 1: A = ICMP type
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kEchoReply, 4, 0),         // 2: to 7
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kDestUnreachable, 6, 0),   // 3: to 10
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kSourceQuench, 5, 0),      // 4: to 10
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kTimeExceeded, 4, 0),      // 5: to 10
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kParameterProblem, 3, 2),  // 6: to 10, else 9
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 4),                         // 7: A = identifier
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, identifier, 1, 0),         // 8: to 10, else 9
        BPF_STMT(BPF_RET | BPF_K, 0),                                  // 9: drop
        BPF_STMT(BPF_RET | BPF_K, 0xFFFFFFFFu),                        // 10: keep all of it
    };
    sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
    return ::setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) == 0;
}

bool attachIcmp6Filter(int fd) {
    icmp6_filter filter;
    ICMP6_FILTER_SETBLOCKALL(&filter);
    for (int type : {kIcmp6EchoReply, kIcmp6DestUnreachable, kIcmp6PacketTooBig, kIcmp6TimeExceeded,
                     kIcmp6ParameterProblem})
        ICMP6_FILTER_SETPASS(type, &filter);
    return ::setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter) == 0;
}

void buildEchoRequest(std::vector<unsigned char>& packet, bool v6, bool raw,
                      std::uint16_t identifier, std::uint16_t sequence, std::string_view payload) {
    packet.assign(kIcmpHeaderSize + payload.size(), 0);
    packet[0] = static_cast<unsigned char>(v6 ? kIcmp6EchoRequest : kEchoRequest);
    write16(&packet[4], identifier);
    write16(&packet[6], sequence);
    std::memcpy(packet.data() + kIcmpHeaderSize, payload.data(), payload.size());
    if (raw && !v6) write16(&packet[2], icmpChecksum(packet.data(), packet.size()));
}

ssize_t sendPacket(int fd, const std::vector<unsigned char>& packet, const sockaddr_storage& to,
                   socklen_t toSize) {
    ssize_t sent;
    do {
        sent = ::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                        toSize);
    } while (sent < 0 && errno == EINTR);
    return sent;
}

const sock_extended_err* extendedError(msghdr& msg) {
    const sock_extended_err* ee = nullptr;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if ((c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR) ||
            (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_RECVERR))
            ee = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
    }
    return ee;
}

void readTtlAndClass(msghdr& msg, std::uint8_t& ttl, std::uint8_t* trafficClass) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        const bool isTtl = (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) ||
                           (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_HOPLIMIT);
        const bool isClass =
            trafficClass && c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_TCLASS;
        if (!isTtl && !isClass) continue;
        int value = 0;
        std::memcpy(&value, CMSG_DATA(c), sizeof value);
        (isTtl ? ttl : *trafficClass) = static_cast<std::uint8_t>(value);
    }
}

IpAddress addressOf(const sockaddr_storage& address, bool v6) {
    return IpAddress::fromSockaddr(reinterpret_cast<const sockaddr*>(&address))
        .value_or(v6 ? IpAddress::v6({}) : IpAddress::v4(0));
}

std::optional<timespec> receiveTimestamp(const msghdr& msg) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(const_cast<msghdr*>(&msg), c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec ts{};
            std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
            return ts;
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> microsecondsBetween(const timespec& sent, const timespec& received) {
    const std::int64_t ns = (std::int64_t(received.tv_sec) - sent.tv_sec) * 1'000'000'000 +
                            (std::int64_t(received.tv_nsec) - sent.tv_nsec);
    if (ns < 0 || ns / 1000 > std::int64_t(UINT32_MAX)) return std::nullopt;
    return static_cast<std::uint32_t>((ns + 500) / 1000);
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

}  // namespace norvik::platform
