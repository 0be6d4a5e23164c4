#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// What arrives on an ICMP socket, read without touching any socket: which
// messages answer our echo request and what they say. The bytes come from
// the network and may be anything.
namespace norvik::platform {

// ICMP message types, as on the wire, and the size of an ICMP header.
inline constexpr int kEchoReply = 0;
inline constexpr int kDestUnreachable = 3;
inline constexpr int kSourceQuench = 4;
inline constexpr int kEchoRequest = 8;
inline constexpr int kTimeExceeded = 11;
inline constexpr int kParameterProblem = 12;
inline constexpr std::size_t kIcmpHeaderSize = 8;

// Status of an ICMP error message of this type and code that answers one of
// our echo requests; nullopt for the types that are no answer to an echo
// (they are ignored while waiting).
std::optional<int> statusForIcmpError(int type, int code);

// The Internet checksum (ones' complement of the ones' complement sum).
std::uint16_t icmpChecksum(const unsigned char* data, std::size_t size);

// What identifies the answer to one echo request.
struct EchoRequestId {
    std::uint32_t destination = 0;  // network byte order; 0 is this host, whatever answers
    std::uint16_t identifier = 0;   // a datagram socket's is its port
    std::uint16_t sequence = 0;
    std::string_view payload;
};

// An answer to our request.
struct IcmpAnswer {
    int status = 0;          // 0 for our echo reply, else the error's status
    std::uint32_t from = 0;  // network byte order; a router's for its errors
    std::uint8_t ttl = 0;
};

// A packet read from a raw ICMP socket, IP header first: our echo reply
// (identifier, sequence and payload ours, from any address) or an ICMP error
// quoting our request (destination, identifier and sequence ours).
std::optional<IcmpAnswer> answerOnRawSocket(const unsigned char* packet, std::size_t size,
                                            const EchoRequestId& ours);

// An ICMP message read from a datagram socket (no IP header; the kernel
// passes only replies with the socket's identifier): true when it is our
// echo reply.
bool isReplyOnDatagramSocket(const unsigned char* message, std::size_t size,
                             const EchoRequestId& ours);

// The request an ICMP error quotes, as a datagram socket's error queue gives
// it (its ICMP header, and the destination it went to): true when it is
// ours.
bool quotesOurRequest(const unsigned char* quoted, std::size_t size,
                      std::uint32_t quotedDestination, const EchoRequestId& ours);

// ICMPv6: message types, as on the wire. A raw ICMPv6 socket hands over the
// ICMPv6 message alone (no IPv6 header); the kernel checks its checksum.
inline constexpr int kIcmp6DestUnreachable = 1;
inline constexpr int kIcmp6PacketTooBig = 2;
inline constexpr int kIcmp6TimeExceeded = 3;
inline constexpr int kIcmp6ParameterProblem = 4;
inline constexpr int kIcmp6EchoRequest = 128;
inline constexpr int kIcmp6EchoReply = 129;

using Ip6Bytes = std::array<std::uint8_t, 16>;

// Status of an ICMPv6 error of this type and code; nullopt for the types
// that are no answer to an echo.
std::optional<int> statusForIcmp6Error(int type, int code);

// An ICMPv6 message read from a raw ICMPv6 socket: the status when it is our
// echo reply (identifier, sequence and payload ours) or an error quoting our
// request (destination, identifier and sequence ours; an all-zero
// destination takes any).
std::optional<int> answerOnRaw6Socket(const unsigned char* message, std::size_t size,
                                      const Ip6Bytes& destination, const EchoRequestId& ours);

// An ICMPv6 message read from a datagram socket: true when it is our echo
// reply.
bool isReply6OnDatagramSocket(const unsigned char* message, std::size_t size,
                              const EchoRequestId& ours);

// The ICMPv6 header of the request an error quotes, and where it went: true
// when it is ours.
bool quotes6OurRequest(const unsigned char* quoted, std::size_t size,
                       const Ip6Bytes& quotedDestination, const Ip6Bytes& destination,
                       const EchoRequestId& ours);

}  // namespace norvik::platform
