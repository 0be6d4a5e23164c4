#include "platform/LinuxProbeSocket.h"

// <netinet/in.h> first: it tells the kernel headers which definitions the C
// library already has.
#include <netinet/in.h>
//
#include <linux/errqueue.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/IcmpPacket.h"

namespace norvik::platform {

namespace {

using Clock = std::chrono::steady_clock;

// A probe unanswered for this long is forgotten: its answer would be far
// too late, and its sequence may come round again.
constexpr auto kForgetAfter = std::chrono::seconds(60);

std::uint16_t read16(const unsigned char* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

constexpr std::size_t kIp6HeaderSize = 40;

// The same address, whatever zone either carries.
bool sameAddress(const IpAddress& a, const IpAddress& b) {
    return a.family() == b.family() && a.bytes() == b.bytes();
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
    const bool v6 = family == Family::V6;
    const int domain = v6 ? AF_INET6 : AF_INET;
    const auto fail = [](int fd) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return nullptr;
    };
    if (mode != Mode::RawOnly) {
        const int fd = openIcmpSocket(v6, IcmpSocketKind::Datagram);
        if (fd >= 0) {
            // Bound now, so that the identifier (the port) is known before
            // any error quoting it comes back.
            sockaddr_storage local{};
            local.ss_family = static_cast<sa_family_t>(domain);
            socklen_t size = v6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
            const bool ready = ::bind(fd, reinterpret_cast<sockaddr*>(&local), size) == 0 &&
                               ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) == 0 &&
                               (v6 ? setOption(fd, IPPROTO_IPV6, IPV6_RECVERR, 1) &&
                                         setOption(fd, IPPROTO_IPV6, IPV6_RECVHOPLIMIT, 1)
                                   : setOption(fd, IPPROTO_IP, IP_RECVERR, 1) &&
                                         setOption(fd, IPPROTO_IP, IP_RECVTTL, 1));
            if (ready) {
                // The port sits at the same place in both families' addresses.
                const std::uint16_t port = ntohs(reinterpret_cast<sockaddr_in&>(local).sin_port);
                return std::unique_ptr<LinuxProbeSocket>(
                    new LinuxProbeSocket(fd, family, IcmpSocketKind::Datagram, port));
            }
            fail(fd);
        }
        if (mode == Mode::DatagramOnly) return nullptr;
    }
    const int fd = openIcmpSocket(v6, IcmpSocketKind::Raw);
    if (fd < 0) return nullptr;
    const std::uint16_t identifier = randomIdentifier();
    if (!(v6 ? attachIcmp6Filter(fd) && setOption(fd, IPPROTO_IPV6, IPV6_RECVHOPLIMIT, 1)
             : attachClassicFilter(fd, identifier)))
        return fail(fd);
    return std::unique_ptr<LinuxProbeSocket>(
        new LinuxProbeSocket(fd, family, IcmpSocketKind::Raw, identifier));
}

LinuxProbeSocket::LinuxProbeSocket(int fd, Family family, IcmpSocketKind kind,
                                   std::uint16_t identifier)
    : fd_(fd), family_(family), kind_(kind), identifier_(identifier) {
    // Each answer is stamped as it arrives, so its round trip does not
    // count the time the caller takes to wake up; a request bigger than
    // every link carries whole is fragmented on the way, not refused.
    setOption(fd_, SOL_SOCKET, SO_TIMESTAMPNS, 1);
    if (family_ == Family::V4) setOption(fd_, IPPROTO_IP, IP_MTU_DISCOVER, IP_PMTUDISC_DONT);
}

LinuxProbeSocket::~LinuxProbeSocket() { ::close(fd_); }

ProbeSent LinuxProbeSocket::send(const IpAddress& destination, int ttl, std::uint16_t sequence,
                                 std::string_view payload) {
    ProbeSent sent;
    sent.at = Clock::now();
    const bool v6 = family_ == Family::V6;
    if (destination.family() != family_) return sent;
    if (ttl != ttl_) {
        if (!(v6 ? setOption(fd_, IPPROTO_IPV6, IPV6_UNICAST_HOPS, ttl)
                 : setOption(fd_, IPPROTO_IP, IP_TTL, ttl)))
            return sent;
        ttl_ = ttl;
    }
    buildEchoRequest(packet_, v6, kind_ == IcmpSocketKind::Raw, identifier_, sequence, payload);
    buffer_.resize(std::max(buffer_.size(), packet_.size() + kAnswerSlack));

    sockaddr_storage to{};
    const socklen_t toSize = destination.toSockaddr(to);
    InFlight probe{destination, std::string(payload), {}, {}};
    ::clock_gettime(CLOCK_REALTIME, &probe.sentAt);
    probe.at = Clock::now();
    // An ICMP error that answered an earlier probe leaves its error on the
    // socket, and the next send would fail with it: it is taken first,
    // and a send that failed is tried once more in case an error came in
    // between.
    ssize_t n = -1;
    for (int attempt = 0; attempt < 2 && n < 0; ++attempt) {
        int pending = 0;
        socklen_t size = sizeof pending;
        ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &pending, &size);
        n = sendPacket(fd_, packet_, to, toSize);
    }
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

const LinuxProbeSocket::InFlight* LinuxProbeSocket::replyTo(const unsigned char* icmp,
                                                            std::size_t size,
                                                            bool checkIdentifier) {
    if (size < kIcmpHeaderSize) return nullptr;
    const std::uint16_t sequence = read16(icmp + 6);
    const auto probe = inFlight_.find(sequence);
    if (probe == inFlight_.end()) return nullptr;
    const InFlight& p = probe->second;
    if (family_ == Family::V4)
        return isReplyOnDatagramSocket(icmp, size, {0, identifier_, sequence, p.payload}) ? &p
                                                                                          : nullptr;
    const bool ours = icmp[0] == kIcmp6EchoReply &&
                      (!checkIdentifier || read16(icmp + 4) == identifier_) &&
                      size - kIcmpHeaderSize == p.payload.size() &&
                      std::memcmp(icmp + kIcmpHeaderSize, p.payload.data(), p.payload.size()) == 0;
    return ours ? &p : nullptr;
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
    sockaddr_storage from;
    readPackets(fd_, 0, true, buffer_, &from, [&](msghdr& msg, std::size_t n) {
        // The kernel passes on only replies to the socket's identifier.
        if ((msg.msg_flags & MSG_TRUNC) || !replyTo(buffer_.data(), n, false)) return false;
        ProbeAnswer answer;
        answer.status = status::kSuccess;
        answer.from =
            IpAddress::fromSockaddr(reinterpret_cast<sockaddr*>(&from)).value_or(IpAddress());
        readTtlAndClass(msg, answer.ttl);
        if (settle(read16(buffer_.data() + 6), receiveTimestamp(msg), answer))
            out.push_back(answer);
        return false;
    });
}

void LinuxProbeSocket::readErrors(std::vector<ProbeAnswer>& out) {
    const bool v6 = family_ == Family::V6;
    sockaddr_storage to;  // where the quoted request went
    readPackets(fd_, MSG_ERRQUEUE, false, buffer_, &to, [&](msghdr& msg, std::size_t size) {
        const sock_extended_err* ee = extendedError(msg);
        // Errors of our own stack were told when the send failed.
        if (!ee || ee->ee_origin != (v6 ? SO_EE_ORIGIN_ICMP6 : SO_EE_ORIGIN_ICMP) ||
            size < kIcmpHeaderSize)
            return false;
        const std::uint16_t sequence = read16(buffer_.data() + 6);
        const auto probe = inFlight_.find(sequence);
        const auto quotedTo = IpAddress::fromSockaddr(reinterpret_cast<sockaddr*>(&to));
        const std::optional<int> status = v6 ? statusForIcmp6Error(ee->ee_type, ee->ee_code)
                                             : statusForIcmpError(ee->ee_type, ee->ee_code);
        if (probe == inFlight_.end() || !status || !quotedTo) return false;
        const IpAddress& destination = probe->second.destination;
        const bool ours =
            v6 ? buffer_[0] == kIcmp6EchoRequest && read16(buffer_.data() + 4) == identifier_ &&
                     sameAddress(*quotedTo, destination)
               : quotesOurRequest(buffer_.data(), size, quotedTo->v4NetworkOrder(),
                                  {destination.v4NetworkOrder(), identifier_, sequence, {}});
        if (!ours) return false;
        ProbeAnswer answer;
        answer.status = *status;
        answer.from = IpAddress::fromSockaddr(reinterpret_cast<const sockaddr*>(SO_EE_OFFENDER(ee)))
                          .value_or(IpAddress());
        readTtlAndClass(msg, answer.ttl);
        if (settle(sequence, receiveTimestamp(msg), answer)) out.push_back(answer);
        return false;
    });
}

void LinuxProbeSocket::readRaw(std::vector<ProbeAnswer>& out) {
    const bool v6 = family_ == Family::V6;
    sockaddr_storage from;
    readPackets(fd_, 0, false, buffer_, &from, [&](msghdr& msg, std::size_t size) {
        if (msg.msg_flags & MSG_TRUNC) return false;
        ProbeAnswer answer;
        std::optional<std::uint16_t> sequence;
        if (v6) {
            // No IPv6 header: the ICMPv6 message itself.
            const unsigned char* icmp = buffer_.data();
            if (size < kIcmpHeaderSize) return false;
            if (icmp[0] == kIcmp6EchoReply) {
                if (!replyTo(icmp, size, true)) return false;
                answer.status = status::kSuccess;
                sequence = read16(icmp + 6);
            } else {
                // The quote: our request's IPv6 header, then its ICMPv6 header.
                const unsigned char* quoted = icmp + kIcmpHeaderSize + kIp6HeaderSize;
                const std::optional<int> status = statusForIcmp6Error(icmp[0], icmp[1]);
                if (!status || size < kIcmpHeaderSize * 2 + kIp6HeaderSize ||
                    icmp[kIcmpHeaderSize + 6] != IPPROTO_ICMPV6 || quoted[0] != kIcmp6EchoRequest ||
                    read16(quoted + 4) != identifier_)
                    return false;
                sequence = read16(quoted + 6);
                const auto probe = inFlight_.find(*sequence);
                std::array<std::uint8_t, 16> to{};
                std::memcpy(to.data(), icmp + kIcmpHeaderSize + 24, 16);
                if (probe == inFlight_.end() ||
                    !sameAddress(IpAddress::v6(to), probe->second.destination))
                    return false;
                answer.status = *status;
            }
            answer.from =
                IpAddress::fromSockaddr(reinterpret_cast<sockaddr*>(&from)).value_or(IpAddress());
            readTtlAndClass(msg, answer.ttl);
        } else {
            sequence = rawSequence(buffer_.data(), size);
            if (!sequence) return false;
            const auto probe = inFlight_.find(*sequence);
            if (probe == inFlight_.end()) return false;
            const std::optional<IcmpAnswer> found =
                answerOnRawSocket(buffer_.data(), size,
                                  {probe->second.destination.v4NetworkOrder(), identifier_,
                                   *sequence, probe->second.payload});
            if (!found) return false;
            answer.status = found->status;
            answer.from = IpAddress::v4(found->from);
            answer.ttl = found->ttl;
        }
        if (settle(*sequence, receiveTimestamp(msg), answer)) out.push_back(answer);
        return false;
    });
}

}  // namespace norvik::platform
