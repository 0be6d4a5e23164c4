#pragma once

#include <sys/socket.h>
#include <time.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/IpAddress.h"

struct sock_extended_err;

// The pieces of work on a kernel ICMP socket that the echo service (one
// socket a request) and the probe socket (one socket a run) share.
namespace norvik::platform {

// The two kinds of kernel ICMP socket an echo can go through.
enum class IcmpSocketKind {
    None,      // no socket could be opened
    Datagram,  // SOCK_DGRAM/IPPROTO_ICMP(V6), for the groups in net.ipv4.ping_group_range
    Raw,       // SOCK_RAW/IPPROTO_ICMP(V6), for root or CAP_NET_RAW
};

// Room for the IP header and for an ICMP error's quote of our request.
inline constexpr std::size_t kAnswerSlack = 60 + 576;
// Packets taken from a socket per wake-up, so that a flood of foreign
// echoes cannot hold the caller past its deadline.
inline constexpr int kPacketsPerWakeUp = 256;

bool setOption(int fd, int level, int name, int value);
// A non-blocking ICMP socket of the family and kind; -1 when none opens.
int openIcmpSocket(bool v6, IcmpSocketKind kind);
// An identifier for the echo requests of a raw socket.
std::uint16_t randomIdentifier();
// A raw socket gets a copy of every ICMP message to this host: a filter
// makes the kernel drop all but echo replies with our identifier and ICMP
// errors before they fill its queue (the errors are matched to our request
// when read). Written for the classic machine, the kernel translates and
// compiles it for each socket it is attached to.
bool attachClassicFilter(int fd, std::uint16_t identifier);
// A raw ICMPv6 socket would see every ICMPv6 message to this host: the
// kernel keeps only echo replies and the errors that can answer an echo.
bool attachIcmp6Filter(int fd);

// An echo request into packet. The kernel sums every ICMPv6 message, and
// those of datagram sockets (where it also puts the port as identifier).
void buildEchoRequest(std::vector<unsigned char>& packet, bool v6, bool raw,
                      std::uint16_t identifier, std::uint16_t sequence, std::string_view payload);
// sendto, again when a signal interrupts it.
ssize_t sendPacket(int fd, const std::vector<unsigned char>& packet, const sockaddr_storage& to,
                   socklen_t toSize);

// The extended error of a message read from the error queue, or null.
const sock_extended_err* extendedError(msghdr& msg);
// The time to live (IPv6: hop limit) and the IPv6 traffic class of a
// message, each where the message carries it.
void readTtlAndClass(msghdr& msg, std::uint8_t& ttl, std::uint8_t* trafficClass = nullptr);
// The sender's address; the family's unspecified one when there is none.
IpAddress addressOf(const sockaddr_storage& address, bool v6);
// The kernel's receive time in a message's control data (SO_TIMESTAMPNS),
// if it is there.
std::optional<timespec> receiveTimestamp(const msghdr& msg);
// Microseconds from sent to received; nullopt when received is earlier
// (the wall clock was set back meanwhile).
std::optional<std::uint32_t> microsecondsBetween(const timespec& sent, const timespec& received);
// Status of a request whose send failed with this errno.
int statusForSendError(int error);

// Reads up to kPacketsPerWakeUp packets into buffer (with the address into
// name, when given), handing each to take(msg, size) until take says it
// was the one wanted. A read that fails because a signal came is tried
// again; with skipFailures, so is every other failed read but "nothing
// more" (on a datagram socket: its pending error, which the error queue
// tells). True when take said so.
template <typename Take>
bool readPackets(int fd, int flags, bool skipFailures, std::vector<unsigned char>& buffer,
                 sockaddr_storage* name, Take&& take) {
    for (int i = 0; i < kPacketsPerWakeUp; ++i) {
        if (name) *name = {};
        iovec iov{buffer.data(), buffer.size()};
        alignas(cmsghdr) unsigned char control[512];
        msghdr msg{name, name ? socklen_t(sizeof *name) : 0, &iov, 1, control, sizeof control, 0};
        const ssize_t n = ::recvmsg(fd, &msg, flags | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || (skipFailures && errno != EAGAIN && errno != EWOULDBLOCK))
                continue;
            return false;
        }
        if (take(msg, static_cast<std::size_t>(n))) return true;
    }
    return false;
}

}  // namespace norvik::platform
