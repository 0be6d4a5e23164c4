#include "platform/LinuxProbeSocket.h"

// <netinet/in.h> first: it tells the kernel headers which definitions the C
// library already has.
#include <netinet/in.h>
//
#include <linux/errqueue.h>
#include <linux/filter.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#include "platform/IcmpPacket.h"

namespace norvik::platform {

namespace {

using Clock = std::chrono::steady_clock;

// Packets taken per read, so that a flood cannot hold the caller.
constexpr int kPacketsPerRead = 256;
// Room for the IP header and an ICMP error's quote of our request.
constexpr std::size_t kAnswerSlack = 60 + 576;
// A probe unanswered for this long is forgotten: its answer would be far
// too late, and its sequence may come round again.
constexpr auto kForgetAfter = std::chrono::seconds(60);

bool setOption(int fd, int level, int name, int value) {
    return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}

std::uint16_t read16(const unsigned char* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

void write16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v & 0xFF);
}

// A raw socket gets a copy of every ICMP message to this host: the kernel
// keeps only echo replies with our identifier and the errors that can
// answer an echo (matched to our probes when read).
bool attachFilter(int fd, std::uint16_t identifier) {
    sock_filter code[] = {
        BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),                        // X = IP header length
        BPF_STMT(BPF_LD | BPF_B | BPF_IND, 0),                         // A = ICMP type
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kEchoReply, 4, 0),         // to 7
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kDestUnreachable, 6, 0),   // to 10
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kSourceQuench, 5, 0),      // to 10
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kTimeExceeded, 4, 0),      // to 10
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kParameterProblem, 3, 2),  // to 10, else 9
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 4),                         // 7: A = identifier
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, identifier, 1, 0),         // to 10, else 9
        BPF_STMT(BPF_RET | BPF_K, 0),                                  // 9: drop
        BPF_STMT(BPF_RET | BPF_K, 0xFFFFFFFFu),                        // 10: keep
    };
    sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
    return ::setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) == 0;
}

int ttlOf(msghdr& msg) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) {
            int ttl = 0;
            std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
            return ttl;
        }
    }
    return 0;
}

// The sequence of the echo request a packet read from a raw socket is
// about: its own for an echo reply, the quoted request's for an error.
std::optional<std::uint16_t> rawSequence(const unsigned char* ip, std::size_t size) {
    const auto headerLength = [](const unsigned char* p, std::size_t n) -> std::size_t {
        return n >= 20 && (p[0] >> 4) == 4 ? (p[0] & 0x0Fu) * 4u : 0;
    };
    const std::size_t outer = headerLength(ip, size);
    if (outer == 0 || size < outer + kIcmpHeaderSize) return std::nullopt;
    const unsigned char* icmp = ip + outer;
    if (icmp[0] == kEchoReply) return read16(icmp + 6);
    const unsigned char* inner = icmp + kIcmpHeaderSize;
    const std::size_t innerSize = size - outer - kIcmpHeaderSize;
    const std::size_t innerLength = headerLength(inner, innerSize);
    if (innerLength == 0 || innerSize < innerLength + kIcmpHeaderSize) return std::nullopt;
    return read16(inner + innerLength + 6);
}

}  // namespace

std::unique_ptr<LinuxProbeSocket> LinuxProbeSocket::open(Family family, Mode mode) {
    if (family != Family::V4) {
        errno = EAFNOSUPPORT;
        return nullptr;
    }
    if (mode != Mode::RawOnly) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (fd >= 0) {
            // Bound now, so that the identifier (the port) is known before
            // any error quoting it comes back.
            sockaddr_in local{};
            local.sin_family = AF_INET;
            socklen_t size = sizeof local;
            if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
                ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) == 0 &&
                setOption(fd, IPPROTO_IP, IP_RECVERR, 1) &&
                setOption(fd, IPPROTO_IP, IP_RECVTTL, 1)) {
                return std::unique_ptr<LinuxProbeSocket>(
                    new LinuxProbeSocket(fd, IcmpSocketKind::Datagram, ntohs(local.sin_port)));
            }
            const int error = errno;
            ::close(fd);
            errno = error;
        }
        if (mode == Mode::DatagramOnly) return nullptr;
    }
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) return nullptr;
    std::random_device random;
    const auto identifier =
        static_cast<std::uint16_t>((random() ^ static_cast<unsigned>(::getpid())) & 0xFFFF);
    if (!attachFilter(fd, identifier)) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return nullptr;
    }
    return std::unique_ptr<LinuxProbeSocket>(
        new LinuxProbeSocket(fd, IcmpSocketKind::Raw, identifier));
}

LinuxProbeSocket::LinuxProbeSocket(int fd, IcmpSocketKind kind, std::uint16_t identifier)
    : fd_(fd), kind_(kind), identifier_(identifier) {
    // Each answer is stamped as it arrives, so its round trip does not
    // count the time the caller takes to wake up; a request bigger than
    // every link carries whole is fragmented on the way, not refused.
    setOption(fd_, SOL_SOCKET, SO_TIMESTAMPNS, 1);
    setOption(fd_, IPPROTO_IP, IP_MTU_DISCOVER, IP_PMTUDISC_DONT);
}

LinuxProbeSocket::~LinuxProbeSocket() { ::close(fd_); }

ProbeSent LinuxProbeSocket::send(const IpAddress& destination, int ttl, std::uint16_t sequence,
                                 std::string_view payload) {
    ProbeSent sent;
    sent.at = Clock::now();
    if (!destination.isV4()) return sent;
    if (ttl != ttl_) {
        if (!setOption(fd_, IPPROTO_IP, IP_TTL, ttl)) return sent;
        ttl_ = ttl;
    }
    packet_.assign(kIcmpHeaderSize + payload.size(), 0);
    packet_[0] = kEchoRequest;
    write16(&packet_[4], identifier_);
    write16(&packet_[6], sequence);
    std::memcpy(packet_.data() + kIcmpHeaderSize, payload.data(), payload.size());
    if (kind_ == IcmpSocketKind::Raw)
        write16(&packet_[2], icmpChecksum(packet_.data(), packet_.size()));
    buffer_.resize(std::max(buffer_.size(), packet_.size() + kAnswerSlack));

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = destination.v4NetworkOrder();
    InFlight probe{to.sin_addr.s_addr, std::string(payload), {}, {}};
    ::clock_gettime(CLOCK_REALTIME, &probe.sentAt);
    probe.at = Clock::now();
    ssize_t n;
    do {
        n = ::sendto(fd_, packet_.data(), packet_.size(), 0, reinterpret_cast<sockaddr*>(&to),
                     sizeof to);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        sent.status = statusForSendError(errno);
        return sent;
    }
    std::erase_if(inFlight_, [&](const auto& p) { return probe.at - p.second.at > kForgetAfter; });
    sent.status = status::kSuccess;
    sent.at = probe.at;
    inFlight_[sequence] = std::move(probe);
    return sent;
}

std::vector<ProbeAnswer> LinuxProbeSocket::read() {
    std::vector<ProbeAnswer> out;
    if (kind_ == IcmpSocketKind::Datagram) {
        // Replies first: that read also clears the socket's pending error,
        // which an ICMP error sets beside queueing it.
        readDatagram(out);
        readErrors(out);
    } else {
        readRaw(out);
    }
    return out;
}

bool LinuxProbeSocket::settle(std::uint16_t sequence, const std::optional<timespec>& received,
                              ProbeAnswer& answer) {
    const auto probe = inFlight_.find(sequence);
    if (probe == inFlight_.end()) return false;
    timespec at{};
    if (received) {
        at = *received;
    } else {
        ::clock_gettime(CLOCK_REALTIME, &at);
    }
    std::optional<std::uint32_t> us = microsecondsBetween(probe->second.sentAt, at);
    if (!us) {
        us = static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - probe->second.at)
                .count());
    }
    answer.sequence = sequence;
    answer.roundTripUs = std::max<std::uint32_t>(*us, 1);
    inFlight_.erase(probe);
    return true;
}

void LinuxProbeSocket::readDatagram(std::vector<ProbeAnswer>& out) {
    for (int i = 0; i < kPacketsPerRead; ++i) {
        sockaddr_in from{};
        iovec iov{buffer_.data(), buffer_.size()};
        alignas(cmsghdr) unsigned char control[256];
        msghdr msg{&from, sizeof from, &iov, 1, control, sizeof control, 0};
        const ssize_t n = ::recvmsg(fd_, &msg, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) return;
            continue;  // EINTR, or the pending error that the error queue tells
        }
        const auto size = static_cast<std::size_t>(n);
        if ((msg.msg_flags & MSG_TRUNC) || size < kIcmpHeaderSize) continue;
        const std::uint16_t sequence = read16(buffer_.data() + 6);
        const auto probe = inFlight_.find(sequence);
        if (probe == inFlight_.end() ||
            !isReplyOnDatagramSocket(buffer_.data(), size,
                                     {0, identifier_, sequence, probe->second.payload}))
            continue;
        ProbeAnswer answer;
        answer.status = status::kSuccess;
        answer.from = IpAddress::v4(from.sin_addr.s_addr);
        answer.ttl = static_cast<std::uint8_t>(ttlOf(msg));
        if (settle(sequence, receiveTimestamp(msg), answer)) out.push_back(answer);
    }
}

void LinuxProbeSocket::readErrors(std::vector<ProbeAnswer>& out) {
    for (int i = 0; i < kPacketsPerRead; ++i) {
        sockaddr_in to{};  // where the quoted request went
        iovec iov{buffer_.data(), buffer_.size()};
        alignas(cmsghdr) unsigned char control[512];
        msghdr msg{&to, sizeof to, &iov, 1, control, sizeof control, 0};
        const ssize_t n = ::recvmsg(fd_, &msg, MSG_ERRQUEUE | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        const sock_extended_err* ee = nullptr;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR)
                ee = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
        }
        // Errors of our own stack were told when the send failed.
        const auto size = static_cast<std::size_t>(n);
        if (!ee || ee->ee_origin != SO_EE_ORIGIN_ICMP || size < kIcmpHeaderSize ||
            to.sin_family != AF_INET)
            continue;
        const std::uint16_t sequence = read16(buffer_.data() + 6);
        const auto probe = inFlight_.find(sequence);
        const std::optional<int> status = statusForIcmpError(ee->ee_type, ee->ee_code);
        if (probe == inFlight_.end() || !status ||
            !quotesOurRequest(buffer_.data(), size, to.sin_addr.s_addr,
                              {probe->second.destination, identifier_, sequence, {}}))
            continue;
        ProbeAnswer answer;
        answer.status = *status;
        sockaddr_in offender;
        std::memcpy(&offender, SO_EE_OFFENDER(ee), sizeof offender);
        if (offender.sin_family == AF_INET) answer.from = IpAddress::v4(offender.sin_addr.s_addr);
        answer.ttl = static_cast<std::uint8_t>(ttlOf(msg));
        if (settle(sequence, receiveTimestamp(msg), answer)) out.push_back(answer);
    }
}

void LinuxProbeSocket::readRaw(std::vector<ProbeAnswer>& out) {
    for (int i = 0; i < kPacketsPerRead; ++i) {
        iovec iov{buffer_.data(), buffer_.size()};
        alignas(cmsghdr) unsigned char control[128];
        msghdr msg{nullptr, 0, &iov, 1, control, sizeof control, 0};
        const ssize_t n = ::recvmsg(fd_, &msg, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        const auto size = static_cast<std::size_t>(n);
        if (msg.msg_flags & MSG_TRUNC) continue;
        const std::optional<std::uint16_t> sequence = rawSequence(buffer_.data(), size);
        if (!sequence) continue;
        const auto probe = inFlight_.find(*sequence);
        if (probe == inFlight_.end()) continue;
        const std::optional<IcmpAnswer> found = answerOnRawSocket(
            buffer_.data(), size,
            {probe->second.destination, identifier_, *sequence, probe->second.payload});
        if (!found) continue;
        ProbeAnswer answer;
        answer.status = found->status;
        answer.from = IpAddress::v4(found->from);
        answer.ttl = found->ttl;
        if (settle(*sequence, receiveTimestamp(msg), answer)) out.push_back(answer);
    }
}

}  // namespace norvik::platform
