#include "platform/LinuxEchoService.h"

// <netinet/in.h> first: it tells the kernel headers which definitions the C
// library already has.
#include <netinet/in.h>
//
#include <linux/bpf.h>
#include <linux/errqueue.h>
#include <linux/filter.h>
#include <netinet/icmp6.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

namespace norvik::platform {

namespace {

using Clock = std::chrono::steady_clock;

// Room for the IP header and for an ICMP error's quote of our request.
constexpr std::size_t kAnswerSlack = 60 + 576;
// Packets taken from a socket per wake-up, so that a flood of foreign
// echoes cannot hold the caller past its deadline.
constexpr int kPacketsPerWakeUp = 256;

void write16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v & 0xFF);
}

// The header of one recvmsg into iov, with room for control data; the
// sender's address (or, from the error queue, the quoted request's
// destination) goes to from when asked for.
template <typename Address = sockaddr_in>
msghdr messageFor(iovec& iov, unsigned char* control, std::size_t controlSize, Address* from) {
    msghdr msg{};
    msg.msg_name = from;
    msg.msg_namelen = from ? sizeof *from : 0;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = controlSize;
    return msg;
}

bool setOption(int fd, int level, int name, int value) {
    return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}

// A raw socket gets a copy of every ICMP message to this host: a filter
// makes the kernel drop all but echo replies with our identifier and ICMP
// errors before they fill its queue (the errors are matched to our request
// when read). Written for the classic machine, the kernel translates and
// compiles it for each socket it is attached to.
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

bpf_insn insn(std::uint8_t code, std::uint8_t dst, std::uint8_t src, std::int16_t off,
              std::int32_t imm) {
    bpf_insn i{};
    i.code = code;
    i.dst_reg = dst & 0xF;
    i.src_reg = src & 0xF;
    i.off = off;
    i.imm = imm;
    return i;
}

// The same filter as a program the kernel checks and compiles once, then
// attaches to every socket by reference: -1 when the kernel does not load
// it for us (loading needs CAP_BPF where unprivileged programs are off).
int loadReplyProgram(std::uint16_t identifier) {
    constexpr std::uint8_t r0 = BPF_REG_0, r1 = BPF_REG_1, r6 = BPF_REG_6, r7 = BPF_REG_7;
    const auto jeq = [](std::int32_t value, std::int16_t skip) {
        return insn(BPF_JMP | BPF_JEQ | BPF_K, r0, 0, skip, value);
    };
    // Jump offsets count the instructions skipped. The packet loads read
    // from the IP header on, as the classic ones do, and need the context
    // in r6; a load past the end drops the packet.
    const bpf_insn code[] = {
        insn(BPF_ALU64 | BPF_MOV | BPF_X, r6, r1, 0, 0),  // 0: r6 = context
        insn(BPF_LD | BPF_ABS | BPF_B, 0, 0, 0, 0),       // 1: r0 = version and length
        insn(BPF_ALU64 | BPF_AND | BPF_K, r0, 0, 0, 0x0F),
        insn(BPF_ALU64 | BPF_LSH | BPF_K, r0, 0, 0, 2),
        insn(BPF_ALU64 | BPF_MOV | BPF_X, r7, r0, 0, 0),  // 4: r7 = IP header length
        insn(BPF_LD | BPF_IND | BPF_B, 0, r7, 0, 0),      // 5: r0 = ICMP type
        jeq(kEchoReply, 6),                               // 6: to 13
        jeq(kDestUnreachable, 9),                         // 7: to 17
        jeq(kSourceQuench, 8),                            // 8: to 17
        jeq(kTimeExceeded, 7),                            // 9: to 17
        jeq(kParameterProblem, 6),                        // 10: to 17
        insn(BPF_ALU64 | BPF_MOV | BPF_K, r0, 0, 0, 0),   // 11: drop
        insn(BPF_JMP | BPF_EXIT, 0, 0, 0, 0),
        insn(BPF_LD | BPF_IND | BPF_H, 0, r7, 0, 4),     // 13: r0 = identifier
        jeq(identifier, 2),                              // 14: to 17
        insn(BPF_ALU64 | BPF_MOV | BPF_K, r0, 0, 0, 0),  // 15: drop
        insn(BPF_JMP | BPF_EXIT, 0, 0, 0, 0),
        insn(BPF_ALU | BPF_MOV | BPF_K, r0, 0, 0, -1),  // 17: keep all of it
        insn(BPF_JMP | BPF_EXIT, 0, 0, 0, 0),
    };
    static const char license[] = "";
    bpf_attr attr{};
    attr.prog_type = BPF_PROG_TYPE_SOCKET_FILTER;
    attr.insns = reinterpret_cast<std::uintptr_t>(code);
    attr.insn_cnt = sizeof code / sizeof code[0];
    attr.license = reinterpret_cast<std::uintptr_t>(license);
    const long fd = ::syscall(SYS_bpf, BPF_PROG_LOAD, &attr, sizeof attr);
    return fd >= 0 ? static_cast<int>(fd) : -1;
}

std::string executablePath() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "the program's binary";
    return std::string(path, static_cast<std::size_t>(n));
}

}  // namespace

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
    std::optional<timespec> received;  // the kernel's receive time of the answer

    EchoRequestId id() const {
        return {request.address.v4NetworkOrder(), identifier, sequence, request.payload};
    }
};

namespace {

// The hop limit and traffic class of an IPv6 message, when it carries them.
void readHopLimitAndClass(msghdr& msg, EchoResult& result) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != IPPROTO_IPV6) continue;
        int value = 0;
        if (c->cmsg_type == IPV6_HOPLIMIT || c->cmsg_type == IPV6_TCLASS)
            std::memcpy(&value, CMSG_DATA(c), sizeof value);
        if (c->cmsg_type == IPV6_HOPLIMIT) result.ttl = static_cast<std::uint8_t>(value);
        if (c->cmsg_type == IPV6_TCLASS) result.tos = static_cast<std::uint8_t>(value);
    }
}

Ip6Bytes bytesOf(const in6_addr& address) {
    Ip6Bytes bytes{};
    std::memcpy(bytes.data(), &address, 16);
    return bytes;
}

// A raw ICMPv6 socket would see every ICMPv6 message to this host: the
// kernel keeps only echo replies and the errors that can answer an echo.
bool attachIcmp6Filter(int fd) {
    icmp6_filter filter;
    ICMP6_FILTER_SETBLOCKALL(&filter);
    for (int type : {kIcmp6EchoReply, kIcmp6DestUnreachable, kIcmp6PacketTooBig, kIcmp6TimeExceeded,
                     kIcmp6ParameterProblem})
        ICMP6_FILTER_SETPASS(type, &filter);
    return ::setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter) == 0;
}

}  // namespace

LinuxEchoService::LinuxEchoService(Mode mode) : mode_(mode) {
    stampKeeper_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (stampKeeper_ >= 0) setOption(stampKeeper_, SOL_SOCKET, SO_TIMESTAMPNS, 1);
    std::random_device random;
    identifier_ =
        static_cast<std::uint16_t>((random() ^ static_cast<unsigned>(::getpid())) & 0xFFFF);
    sequence_ = static_cast<std::uint16_t>(random() & 0xFFFF);
}

LinuxEchoService::~LinuxEchoService() {
    if (stampKeeper_ >= 0) ::close(stampKeeper_);
    if (replyProgram_ >= 0) ::close(replyProgram_);
}

bool LinuxEchoService::attachReplyFilter(int fd) {
    if (!replyProgramTried_) {
        replyProgramTried_ = true;
        replyProgram_ = loadReplyProgram(identifier_);
    }
    if (replyProgram_ >= 0) {
        if (setOption(fd, SOL_SOCKET, SO_ATTACH_BPF, replyProgram_)) return true;
        // Loaded but not attachable: the classic filter from now on.
        ::close(replyProgram_);
        replyProgram_ = -1;
    }
    return attachClassicFilter(fd, identifier_);
}

LinuxEchoService::Socket LinuxEchoService::openSocket(bool v6) const {
    Socket s;
    const auto open = [&s, v6](IcmpSocketKind kind) {
        const int type = kind == IcmpSocketKind::Datagram ? SOCK_DGRAM : SOCK_RAW;
        s.fd = v6 ? ::socket(AF_INET6, type | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMPV6)
                  : ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        s.kind = s.fd >= 0 ? kind : IcmpSocketKind::None;
    };
    IcmpSocketKind& usable = usable_[v6 ? 1 : 0];
    if (usable != IcmpSocketKind::None) {
        open(usable);
        if (s.fd >= 0) return s;
        // It opens no more (the rights changed, or no descriptor is free):
        // find out again.
    }
    ++probes_;
    if (mode_ != Mode::RawOnly) open(IcmpSocketKind::Datagram);
    if (s.fd < 0 && mode_ != Mode::DatagramOnly) open(IcmpSocketKind::Raw);
    usable = s.kind;
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

// The socket options an IPv4 request needs, and only those.
bool LinuxEchoService::prepare4(int fd, bool datagram, const EchoRequest& request) {
    // A request bigger than every IPv4 link carries whole (68 bytes) goes
    // out without the don't-fragment flag, so that it is fragmented on the
    // way instead of being refused.
    constexpr std::size_t kIpHeaderSize = 20, kSmallestLinkMtu = 68;
    if (kIpHeaderSize + kIcmpHeaderSize + request.payload.size() > kSmallestLinkMtu &&
        !setOption(fd, IPPROTO_IP, IP_MTU_DISCOVER, IP_PMTUDISC_DONT)) {
        return false;
    }
    if (request.ttl >= 0 && !setOption(fd, IPPROTO_IP, IP_TTL, request.ttl)) return false;
    // The kernel stamps each answer as it arrives, so the microseconds do
    // not count the time the caller's wait takes to wake up.
    setOption(fd, SOL_SOCKET, SO_TIMESTAMPNS, 1);
    if (datagram) {
        // Without IP_RECVERR a datagram socket never sees the ICMP errors
        // that routers send back.
        return setOption(fd, IPPROTO_IP, IP_RECVERR, 1) && setOption(fd, IPPROTO_IP, IP_RECVTTL, 1);
    }
    // What came in before the filter is read and passed over like any
    // other packet that is no answer.
    return attachReplyFilter(fd);
}

// The same for IPv6. Its routers never fragment; this host does, for a
// request bigger than the path takes. A hop limit of 0 would not leave
// this host, so it is refused as IPv4 refuses a time to live of 0.
bool LinuxEchoService::prepare6(int fd, bool datagram, const EchoRequest& request) {
    if (request.ttl == 0 ||
        (request.ttl > 0 && !setOption(fd, IPPROTO_IPV6, IPV6_UNICAST_HOPS, request.ttl)))
        return false;
    setOption(fd, SOL_SOCKET, SO_TIMESTAMPNS, 1);
    if (!setOption(fd, IPPROTO_IPV6, IPV6_RECVHOPLIMIT, 1) ||
        !setOption(fd, IPPROTO_IPV6, IPV6_RECVTCLASS, 1))
        return false;
    return datagram ? setOption(fd, IPPROTO_IPV6, IPV6_RECVERR, 1) : attachIcmp6Filter(fd);
}

EchoResult LinuxEchoService::send(const EchoRequest& request, const Waiter& wait) {
    Exchange ex{request, identifier_, ++sequence_, EchoResult{}, std::nullopt};
    ex.result.status = status::kGeneralFailure;

    const bool v6 = request.address.isV6();
    Socket sock = openSocket(v6);
    lastKind_ = sock.kind;
    if (sock.fd < 0) return ex.result;
    const int fd = sock.fd;
    const bool datagram = sock.kind == IcmpSocketKind::Datagram;
    if (v6 ? !prepare6(fd, datagram, request) : !prepare4(fd, datagram, request)) return ex.result;

    const std::string& payload = request.payload;
    packet_.assign(kIcmpHeaderSize + payload.size(), 0);
    packet_[0] = static_cast<unsigned char>(v6 ? kIcmp6EchoRequest : kEchoRequest);
    write16(&packet_[4], ex.identifier);  // a datagram socket puts its port here
    write16(&packet_[6], ex.sequence);
    std::memcpy(packet_.data() + kIcmpHeaderSize, payload.data(), payload.size());
    // The kernel sums every ICMPv6 message, and those of datagram sockets.
    if (!datagram && !v6) write16(&packet_[2], icmpChecksum(packet_.data(), packet_.size()));
    if (buffer_.size() < kIcmpHeaderSize + payload.size() + kAnswerSlack)
        buffer_.resize(kIcmpHeaderSize + payload.size() + kAnswerSlack);

    sockaddr_storage to{};
    const socklen_t toSize = request.address.toSockaddr(to);

    timespec sentAt{};
    ::clock_gettime(CLOCK_REALTIME, &sentAt);  // the clock SO_TIMESTAMPNS stamps with
    const auto start = Clock::now();
    ssize_t sent;
    do {
        sent = ::sendto(fd, packet_.data(), packet_.size(), 0, reinterpret_cast<sockaddr*>(&to),
                        toSize);
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
                answered = v6 ? receiveDatagram6(fd, ex) || receiveDatagramError6(fd, ex)
                              : receiveDatagram(fd, ex) || receiveDatagramError(fd, ex);
            } else {
                answered = v6 ? receiveRaw6(fd, ex) : receiveRaw(fd, ex);
            }

            if (answered) {
                ex.result.roundTripMs = static_cast<std::uint32_t>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(woke - start).count());
                std::optional<std::uint32_t> us;
                if (ex.received) us = microsecondsBetween(sentAt, *ex.received);
                if (!us) {
                    us = static_cast<std::uint32_t>(
                        std::chrono::duration_cast<std::chrono::microseconds>(woke - start)
                            .count());
                }
                ex.result.roundTripUs = std::max<std::uint32_t>(*us, 1);
                return ex.result;
            }
        }
        if (request.stopped && request.stopped()) {
            ex.result = EchoResult{};
            ex.result.status = status::kStopped;
            return ex.result;
        }
        // The program is quitting: the answer would reach no one.
        if (woke >= deadline || waitsAbandoned()) break;
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
        msghdr msg = messageFor(iov, control, sizeof control, &from);
        const ssize_t n = ::recvmsg(fd, &msg, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) return false;
            continue;  // EINTR, or the socket's pending error, which the error queue tells
        }
        if ((msg.msg_flags & MSG_TRUNC) ||
            !isReplyOnDatagramSocket(buffer_.data(), static_cast<std::size_t>(n), ex.id()))
            continue;  // another sequence, or not our payload: not our answer
        ex.result.status = status::kSuccess;
        ex.result.replyAddress = IpAddress::v4(from.sin_addr.s_addr);
        ex.result.data = payload;
        ex.received = receiveTimestamp(msg);
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
        sockaddr_in to{};  // where the request that the error quotes went
        iovec iov{buffer_.data(), buffer_.size()};
        alignas(cmsghdr) unsigned char control[512];
        msghdr msg = messageFor(iov, control, sizeof control, &to);
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
            // The quote carries the socket's port in place of our
            // identifier; only an error needs it, so it is asked for here.
            sockaddr_in local{};
            socklen_t localSize = sizeof local;
            if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) != 0) continue;
            ex.identifier = ntohs(local.sin_port);
            if (to.sin_family != AF_INET ||
                !quotesOurRequest(buffer_.data(), static_cast<std::size_t>(n), to.sin_addr.s_addr,
                                  ex.id()))
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
        ex.result.replyAddress = IpAddress::v4(from);
        ex.result.ttl = static_cast<std::uint8_t>(ttl);
        ex.result.data.clear();
        ex.received = receiveTimestamp(msg);
        return true;
    }
    return false;
}

// A raw socket sees every ICMP message the filter lets through, with its IP
// header: echo replies are ours when identifier, sequence and payload match,
// errors when the request they quote is ours.
bool LinuxEchoService::receiveRaw(int fd, Exchange& ex) {
    for (int i = 0; i < kPacketsPerWakeUp; ++i) {
        iovec iov{buffer_.data(), buffer_.size()};
        alignas(cmsghdr) unsigned char control[128];
        msghdr msg = messageFor(iov, control, sizeof control, static_cast<sockaddr_in*>(nullptr));
        const ssize_t n = ::recvmsg(fd, &msg, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (msg.msg_flags & MSG_TRUNC) continue;
        const auto answer = answerOnRawSocket(buffer_.data(), static_cast<std::size_t>(n), ex.id());
        if (!answer) continue;
        ex.result.status = answer->status;
        ex.result.replyAddress = IpAddress::v4(answer->from);
        ex.result.ttl = answer->ttl;
        ex.received = receiveTimestamp(msg);
        if (answer->status == status::kSuccess)
            ex.result.data = ex.request.payload;
        else
            ex.result.data.clear();
        return true;
    }
    return false;
}

// Echo replies on an ICMPv6 datagram socket, as for IPv4, with the hop
// limit and traffic class beside them.
bool LinuxEchoService::receiveDatagram6(int fd, Exchange& ex) {
    for (int i = 0; i < kPacketsPerWakeUp; ++i) {
        sockaddr_in6 from{};
        iovec iov{buffer_.data(), buffer_.size()};
        alignas(cmsghdr) unsigned char control[256];
        msghdr msg = messageFor(iov, control, sizeof control, &from);
        const ssize_t n = ::recvmsg(fd, &msg, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) return false;
            continue;  // EINTR, or the socket's pending error, which the error queue tells
        }
        if ((msg.msg_flags & MSG_TRUNC) ||
            !isReply6OnDatagramSocket(buffer_.data(), static_cast<std::size_t>(n), ex.id()))
            continue;
        ex.result.status = status::kSuccess;
        ex.result.replyAddress = IpAddress::v6(bytesOf(from.sin6_addr), from.sin6_scope_id);
        ex.result.data = ex.request.payload;
        ex.received = receiveTimestamp(msg);
        readHopLimitAndClass(msg, ex.result);
        return true;
    }
    return false;
}

// ICMPv6 errors from the datagram socket's error queue: matched on the
// destination the quoted request went to, its identifier (the socket's
// port) and its sequence.
bool LinuxEchoService::receiveDatagramError6(int fd, Exchange& ex) {
    const Ip6Bytes destination = ex.request.address.bytes();
    for (int i = 0; i < kPacketsPerWakeUp; ++i) {
        sockaddr_in6 to{};
        iovec iov{buffer_.data(), buffer_.size()};
        alignas(cmsghdr) unsigned char control[512];
        msghdr msg = messageFor(iov, control, sizeof control, &to);
        const ssize_t n = ::recvmsg(fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        const sock_extended_err* ee = nullptr;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
            if (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_RECVERR)
                ee = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
        if (!ee) continue;
        std::optional<int> status;
        IpAddress from = IpAddress::v6({});
        if (ee->ee_origin == SO_EE_ORIGIN_ICMP6) {
            sockaddr_in6 local{};
            socklen_t localSize = sizeof local;
            if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) != 0) continue;
            ex.identifier = ntohs(local.sin6_port);
            if (to.sin6_family != AF_INET6 ||
                !quotes6OurRequest(buffer_.data(), static_cast<std::size_t>(n),
                                   bytesOf(to.sin6_addr), destination, ex.id()))
                continue;
            status = statusForIcmp6Error(ee->ee_type, ee->ee_code);
            sockaddr_in6 offender;
            std::memcpy(&offender, SO_EE_OFFENDER(ee), sizeof offender);
            if (offender.sin6_family == AF_INET6)
                from = IpAddress::v6(bytesOf(offender.sin6_addr), offender.sin6_scope_id);
        } else if (ee->ee_origin == SO_EE_ORIGIN_LOCAL) {
            status = statusForSendError(static_cast<int>(ee->ee_errno));
        }
        if (!status) continue;
        ex.result.status = *status;
        ex.result.replyAddress = from;
        ex.result.data.clear();
        readHopLimitAndClass(msg, ex.result);
        ex.received = receiveTimestamp(msg);
        return true;
    }
    return false;
}

// A raw ICMPv6 socket gets the ICMPv6 message without the IPv6 header: the
// sender comes as the message's address, the hop limit and traffic class
// as control data.
bool LinuxEchoService::receiveRaw6(int fd, Exchange& ex) {
    const Ip6Bytes destination = ex.request.address.bytes();
    for (int i = 0; i < kPacketsPerWakeUp; ++i) {
        sockaddr_in6 from{};
        iovec iov{buffer_.data(), buffer_.size()};
        alignas(cmsghdr) unsigned char control[256];
        msghdr msg = messageFor(iov, control, sizeof control, &from);
        const ssize_t n = ::recvmsg(fd, &msg, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (msg.msg_flags & MSG_TRUNC) continue;
        const auto status =
            answerOnRaw6Socket(buffer_.data(), static_cast<std::size_t>(n), destination, ex.id());
        if (!status) continue;
        ex.result.status = *status;
        ex.result.replyAddress = IpAddress::v6(bytesOf(from.sin6_addr), from.sin6_scope_id);
        readHopLimitAndClass(msg, ex.result);
        ex.received = receiveTimestamp(msg);
        if (*status == status::kSuccess)
            ex.result.data = ex.request.payload;
        else
            ex.result.data.clear();
        return true;
    }
    return false;
}

}  // namespace norvik::platform
