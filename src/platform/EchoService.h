#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/IpAddress.h"

namespace norvik::platform {

// How a caller waits for a socket: called with a file descriptor and the
// milliseconds left; returns true once the descriptor is readable, false
// when the time ran out. The window passes one that keeps its event loop
// serving; the default blocks in poll().
using Waiter = std::function<bool(int fd, int timeoutMs)>;
bool pollWaiter(int fd, int timeoutMs);

// Set while the program is quitting: a waiter that runs the event loop can
// no longer wait, as the loop returns at once. Whoever waits in a loop of
// its own stops then, giving up what it waited for, instead of spinning
// until its time runs out.
bool waitsAbandoned();
void setWaitsAbandoned(bool abandoned);

struct EchoRequest {
    IpAddress address;    // IPv4 (IpAddress::v4(networkOrder)) or IPv6
    std::string payload;  // sent as bytes
    int ttl = -1;         // -1: the system's default; IPv6: the hop limit
    int timeoutMs = 500;
    // Asked whenever a wait comes back without the answer: true abandons
    // the echo at once (status::kStopped), and an answer that comes later
    // is dropped with the socket.
    std::function<bool()> stopped;
};

// IP status codes of echo outcomes.
namespace status {
inline constexpr int kSuccess = 0;
inline constexpr int kDestNetUnreachable = 11002;
inline constexpr int kDestHostUnreachable = 11003;
inline constexpr int kDestProtUnreachable = 11004;
inline constexpr int kDestPortUnreachable = 11005;
inline constexpr int kPacketTooBig = 11009;
inline constexpr int kTimedOut = 11010;
inline constexpr int kBadRoute = 11012;
inline constexpr int kTtlExpiredTransit = 11013;
inline constexpr int kTtlExpiredReassembly = 11014;
inline constexpr int kParamProblem = 11015;
inline constexpr int kSourceQuench = 11016;
inline constexpr int kGeneralFailure = 11050;
// The program's own: the echo was abandoned while it waited.
inline constexpr int kStopped = -3;
}  // namespace status

struct EchoResult {
    int status = status::kGeneralFailure;
    IpAddress replyAddress;  // a router's for its errors; unspecified when none answered
    std::uint32_t roundTripMs = 0;
    // The same round trip to the microsecond: from the request leaving to
    // the kernel's receive time of the answer. Zero when nothing came.
    std::uint32_t roundTripUs = 0;
    std::string data;      // echoed payload; empty for answers from a router
    std::uint8_t ttl = 0;  // time to live (IPv6: hop limit) of the reply, when known
    std::uint8_t tos = 0;  // IPv6: the reply's traffic class; IPv4: 0
};

// One ICMP echo request and its answer.
class EchoService {
  public:
    virtual ~EchoService() = default;
    virtual EchoResult send(const EchoRequest& request, const Waiter& wait) = 0;
    // Why no ICMP socket could be opened, with what would allow one; empty
    // when sockets open.
    virtual std::string unavailableReason() const = 0;
};

}  // namespace norvik::platform
