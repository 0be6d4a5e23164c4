#include "platform/IcmpPacket.h"

#include <cstring>

#include "platform/EchoService.h"

namespace norvik::platform {

namespace {

constexpr std::size_t kIpHeaderMin = 20;
constexpr unsigned char kProtocolIcmp = 1;

std::uint16_t read16(const unsigned char* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

std::uint32_t readAddress(const unsigned char* p) {
    std::uint32_t a;
    std::memcpy(&a, p, sizeof a);  // stays in network byte order
    return a;
}

// An echo reply's identifier, sequence and echoed payload (ICMP header
// first).
bool isOurReply(const unsigned char* icmp, std::size_t size, const EchoRequestId& ours,
                bool checkIdentifier, int replyType = kEchoReply) {
    if (size < kIcmpHeaderSize || icmp[0] != replyType) return false;
    if (checkIdentifier && read16(icmp + 4) != ours.identifier) return false;
    if (read16(icmp + 6) != ours.sequence) return false;
    return size - kIcmpHeaderSize == ours.payload.size() &&
           std::memcmp(icmp + kIcmpHeaderSize, ours.payload.data(), ours.payload.size()) == 0;
}

// The IP header length of an IPv4 packet of this size, 0 when it is none.
std::size_t ipHeaderLength(const unsigned char* ip, std::size_t size) {
    if (size < kIpHeaderMin || (ip[0] >> 4) != 4) return 0;
    const std::size_t length = (ip[0] & 0x0F) * 4u;
    return length >= kIpHeaderMin && length <= size ? length : 0;
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

std::uint16_t icmpChecksum(const unsigned char* data, std::size_t size) {
    std::uint64_t sum = 0;
    std::size_t i = 0;
    for (; i + 1 < size; i += 2) sum += read16(data + i);
    if (i < size) sum += static_cast<std::uint64_t>(data[i]) << 8;
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

std::optional<IcmpAnswer> answerOnRawSocket(const unsigned char* ip, std::size_t size,
                                            const EchoRequestId& ours) {
    const std::size_t ipLength = ipHeaderLength(ip, size);
    if (ipLength == 0 || size < ipLength + kIcmpHeaderSize) return std::nullopt;
    const unsigned char* icmp = ip + ipLength;
    const std::size_t icmpLength = size - ipLength;
    if (icmpChecksum(icmp, icmpLength) != 0) return std::nullopt;

    IcmpAnswer answer;
    if (icmp[0] == kEchoReply) {
        if (!isOurReply(icmp, icmpLength, ours, true)) return std::nullopt;
        answer.status = status::kSuccess;
    } else {
        const std::optional<int> status = statusForIcmpError(icmp[0], icmp[1]);
        if (!status) return std::nullopt;
        // The quoted request: its IP header and at least its ICMP header.
        const unsigned char* inner = icmp + kIcmpHeaderSize;
        const std::size_t innerSize = icmpLength - kIcmpHeaderSize;
        const std::size_t innerIpLength = ipHeaderLength(inner, innerSize);
        if (innerIpLength == 0 || inner[9] != kProtocolIcmp) return std::nullopt;
        if (!quotesOurRequest(inner + innerIpLength, innerSize - innerIpLength,
                              readAddress(inner + 16), ours))
            return std::nullopt;
        answer.status = *status;
    }
    answer.from = readAddress(ip + 12);
    answer.ttl = ip[8];
    return answer;
}

bool isReplyOnDatagramSocket(const unsigned char* message, std::size_t size,
                             const EchoRequestId& ours) {
    return isOurReply(message, size, ours, false);
}

bool quotesOurRequest(const unsigned char* quoted, std::size_t size,
                      std::uint32_t quotedDestination, const EchoRequestId& ours) {
    if (size < kIcmpHeaderSize || quoted[0] != kEchoRequest) return false;
    if (read16(quoted + 4) != ours.identifier || read16(quoted + 6) != ours.sequence) return false;
    return ours.destination == 0 || quotedDestination == ours.destination;
}

std::optional<int> statusForIcmp6Error(int type, int code) {
    switch (type) {
        case kIcmp6DestUnreachable:
            switch (code) {
                case 0:  // no route
                case 2:  // beyond the scope of the source address
                case 6:  // reject route
                    return status::kDestNetUnreachable;
                case 1:  // administratively prohibited
                case 5:  // source address failed a policy
                    return status::kDestProtUnreachable;
                case 4:
                    return status::kDestPortUnreachable;
                default:  // address unreachable, and codes not known here
                    return status::kDestHostUnreachable;
            }
        case kIcmp6PacketTooBig:
            return status::kPacketTooBig;
        case kIcmp6TimeExceeded:
            return code == 1 ? status::kTtlExpiredReassembly : status::kTtlExpiredTransit;
        case kIcmp6ParameterProblem:
            return status::kParamProblem;
        default:
            return std::nullopt;
    }
}

std::optional<int> answerOnRaw6Socket(const unsigned char* icmp, std::size_t size,
                                      const Ip6Bytes& destination, const EchoRequestId& ours) {
    if (size < kIcmpHeaderSize) return std::nullopt;
    if (icmp[0] == kIcmp6EchoReply) {
        if (!isOurReply(icmp, size, ours, true, kIcmp6EchoReply)) return std::nullopt;
        return status::kSuccess;
    }
    const std::optional<int> status = statusForIcmp6Error(icmp[0], icmp[1]);
    if (!status) return std::nullopt;
    // The quoted request: its IPv6 header (next header ICMPv6, no
    // extension headers: we add none) and at least its ICMPv6 header.
    constexpr std::size_t kIp6HeaderSize = 40;
    constexpr unsigned char kNextHeaderIcmp6 = 58;
    const unsigned char* inner = icmp + kIcmpHeaderSize;
    const std::size_t innerSize = size - kIcmpHeaderSize;
    if (innerSize < kIp6HeaderSize || (inner[0] >> 4) != 6 || inner[6] != kNextHeaderIcmp6)
        return std::nullopt;
    Ip6Bytes quotedDestination{};
    std::memcpy(quotedDestination.data(), inner + 24, 16);
    if (!quotes6OurRequest(inner + kIp6HeaderSize, innerSize - kIp6HeaderSize, quotedDestination,
                           destination, ours))
        return std::nullopt;
    return status;
}

bool isReply6OnDatagramSocket(const unsigned char* message, std::size_t size,
                              const EchoRequestId& ours) {
    return isOurReply(message, size, ours, false, kIcmp6EchoReply);
}

bool quotes6OurRequest(const unsigned char* quoted, std::size_t size,
                       const Ip6Bytes& quotedDestination, const Ip6Bytes& destination,
                       const EchoRequestId& ours) {
    if (size < kIcmpHeaderSize || quoted[0] != kIcmp6EchoRequest) return false;
    if (read16(quoted + 4) != ours.identifier || read16(quoted + 6) != ours.sequence) return false;
    return destination == Ip6Bytes{} || quotedDestination == destination;
}

}  // namespace norvik::platform
