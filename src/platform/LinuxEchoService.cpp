#include "platform/LinuxEchoService.h"

// <netinet/in.h> first: it tells the kernel headers which definitions the C
// library already has.
#include <netinet/in.h>
//
#include <linux/bpf.h>
#include <linux/errqueue.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>

namespace norvik::platform {

namespace {

using Clock = std::chrono::steady_clock;

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

LinuxEchoService::LinuxEchoService(Mode mode) : mode_(mode), identifier_(randomIdentifier()) {
    stampKeeper_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (stampKeeper_ >= 0) setOption(stampKeeper_, SOL_SOCKET, SO_TIMESTAMPNS, 1);
    std::random_device random;
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
        s.fd = openIcmpSocket(v6, kind);
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
    buildEchoRequest(packet_, v6, !datagram, ex.identifier, ex.sequence, payload);
    if (buffer_.size() < kIcmpHeaderSize + payload.size() + kAnswerSlack)
        buffer_.resize(kIcmpHeaderSize + payload.size() + kAnswerSlack);

    sockaddr_storage to{};
    const socklen_t toSize = request.address.toSockaddr(to);

    timespec sentAt{};
    ::clock_gettime(CLOCK_REALTIME, &sentAt);  // the clock SO_TIMESTAMPNS stamps with
    const auto start = Clock::now();
    if (sendPacket(fd, packet_, to, toSize) < 0) {
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
            // Replies first: that read also takes a datagram socket's pending
            // error, which an ICMP error sets beside queueing it, so the
            // socket stops polling as ready once the queue is read.
            if (datagram ? receiveDatagram(fd, ex) || receiveDatagramError(fd, ex)
                         : receiveRaw(fd, ex)) {
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
// the socket's identifier, as ICMP header and data without the IP header;
// an IPv6 one with its hop limit and traffic class beside it.
bool LinuxEchoService::receiveDatagram(int fd, Exchange& ex) {
    const bool v6 = ex.request.address.isV6();
    sockaddr_storage from;
    return readPackets(fd, 0, true, buffer_, &from, [&](msghdr& msg, std::size_t n) {
        if ((msg.msg_flags & MSG_TRUNC) ||
            !(v6 ? isReply6OnDatagramSocket(buffer_.data(), n, ex.id())
                 : isReplyOnDatagramSocket(buffer_.data(), n, ex.id())))
            return false;  // another sequence, or not our payload: not our answer
        ex.result.status = status::kSuccess;
        ex.result.replyAddress = addressOf(from, v6);
        ex.result.data = ex.request.payload;
        ex.received = receiveTimestamp(msg);
        readTtlAndClass(msg, ex.result.ttl, &ex.result.tos);
        return true;
    });
}

// ICMP errors on a datagram socket come through its error queue: the type
// and code and the router's address in the extended error, our request's
// ICMP header (identifier replaced by the socket's port) as the data, and
// where that request went as the message's address.
bool LinuxEchoService::receiveDatagramError(int fd, Exchange& ex) {
    const bool v6 = ex.request.address.isV6();
    sockaddr_storage to;
    return readPackets(fd, MSG_ERRQUEUE, false, buffer_, &to, [&](msghdr& msg, std::size_t n) {
        const sock_extended_err* ee = extendedError(msg);
        if (!ee) return false;
        std::optional<int> status;
        IpAddress from = v6 ? IpAddress::v6({}) : IpAddress::v4(0);
        if (ee->ee_origin == (v6 ? SO_EE_ORIGIN_ICMP6 : SO_EE_ORIGIN_ICMP)) {
            // The quote carries the socket's port in place of our
            // identifier; only an error needs it, so it is asked for here.
            sockaddr_storage local{};
            socklen_t localSize = sizeof local;
            if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) != 0)
                return false;
            // The port sits at the same place in both families' addresses.
            ex.identifier = ntohs(reinterpret_cast<const sockaddr_in&>(local).sin_port);
            const auto quotedTo = IpAddress::fromSockaddr(reinterpret_cast<sockaddr*>(&to));
            if (!quotedTo || quotedTo->isV6() != v6 ||
                !(v6 ? quotes6OurRequest(buffer_.data(), n, quotedTo->bytes(),
                                         ex.request.address.bytes(), ex.id())
                     : quotesOurRequest(buffer_.data(), n, quotedTo->v4NetworkOrder(), ex.id())))
                return false;
            status = v6 ? statusForIcmp6Error(ee->ee_type, ee->ee_code)
                        : statusForIcmpError(ee->ee_type, ee->ee_code);
            const auto offender =
                IpAddress::fromSockaddr(reinterpret_cast<const sockaddr*>(SO_EE_OFFENDER(ee)));
            if (offender && offender->isV6() == v6) from = *offender;
        } else if (ee->ee_origin == SO_EE_ORIGIN_LOCAL) {
            // Raised by our own stack for the one request this socket sent.
            status = statusForSendError(static_cast<int>(ee->ee_errno));
        }
        if (!status) return false;
        ex.result.status = *status;
        ex.result.replyAddress = from;
        ex.result.data.clear();
        readTtlAndClass(msg, ex.result.ttl, &ex.result.tos);
        ex.received = receiveTimestamp(msg);
        return true;
    });
}

// A raw socket sees every ICMP message the filter lets through: echo
// replies are ours when identifier, sequence and payload match, errors when
// the request they quote is ours. IPv4 messages come with their IP header;
// IPv6 ones without, their sender as the message's address and their hop
// limit and traffic class as control data.
bool LinuxEchoService::receiveRaw(int fd, Exchange& ex) {
    const bool v6 = ex.request.address.isV6();
    const Ip6Bytes destination = ex.request.address.bytes();
    sockaddr_storage from;
    return readPackets(fd, 0, false, buffer_, v6 ? &from : nullptr,
                       [&](msghdr& msg, std::size_t n) {
                           if (msg.msg_flags & MSG_TRUNC) return false;
                           std::optional<int> status;
                           if (v6) {
                               status = answerOnRaw6Socket(buffer_.data(), n, destination, ex.id());
                               if (!status) return false;
                               ex.result.replyAddress = addressOf(from, true);
                               readTtlAndClass(msg, ex.result.ttl, &ex.result.tos);
                           } else {
                               const auto answer = answerOnRawSocket(buffer_.data(), n, ex.id());
                               if (!answer) return false;
                               status = answer->status;
                               ex.result.replyAddress = IpAddress::v4(answer->from);
                               ex.result.ttl = answer->ttl;
                           }
                           ex.result.status = *status;
                           ex.received = receiveTimestamp(msg);
                           if (*status == status::kSuccess)
                               ex.result.data = ex.request.payload;
                           else
                               ex.result.data.clear();
                           return true;
                       });
}

}  // namespace norvik::platform
