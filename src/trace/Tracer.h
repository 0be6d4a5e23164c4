#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "net/HostToIP.h"
#include "platform/EchoService.h"
#include "platform/MessageBox.h"
#include "platform/Resolver.h"
#include "trace/TraceView.h"

namespace norvik::trace {

inline constexpr int kFirstHop = 1;
inline constexpr int kLastHop = 255;
inline constexpr int kTraceTimeoutMs = 2400;
inline constexpr int kSmallestPacket = 32;
inline constexpr int kLargestPacket = 128;
inline constexpr char kPacketFill = 'a';

inline constexpr char kTracing[] = "Tracing...";
inline constexpr char kCompleteText[] = "Trace Route Complete";
inline constexpr char kLoopText[] = "Trace Route Failed - Route Stuck in Loop";
inline constexpr char kTimeoutText[] = "Trace Route Failed - Permanent Timeout Occurring";
inline constexpr char kFailedStatus[] = "Trace Route Failed";
inline constexpr char kTimedOutStatus[] = "Trace Route Timed Out";
inline constexpr char kStoppedText[] = "Trace Route Stopped";
inline constexpr char kTracerError[] = "Norvik - Tracer Error";

// How a trace ended.
enum class Ending {
    NotRun,         // no destination given
    StartFailed,    // sockets could not be used; a message box said so
    Complete,       // the destination answered
    Loop,           // the same address answered two hops in a row
    TimedOut,       // a hop got no answer, or the destination does not resolve
    HopsExhausted,  // hop 255 passed without an ending
    Ended,          // the program is ending; nothing more was written
    Stopped,        // the user stopped it: after a hop, or abandoning the echo in flight
};

// "<10 ms" below 10, "*" above 1200, else the digits and " ms".
std::string TimeText(std::int32_t ms);

// The packet size a text settles to: the corrected text and its bytes.
struct PacketSize {
    std::string text;
    int bytes;
};
PacketSize SettlePacketSize(const std::string& text);

// The trace engine behind "Trace Route": one echo per hop at rising time
// to live, one line per hop in the results box, until the destination
// answers, an address answers twice in a row, a hop stays silent or hop 255
// has passed.
class Tracer {
  public:
    Tracer(TraceView& view, net::HostToIP& hosts, platform::Resolver& resolver,
           platform::EchoService& echo, platform::MessageBox& boxes);

    // The button: checks the destination, runs the trace, re-enables itself
    // and keeps the destination in the list.
    Ending trace();

    // The hop lines of the latest trace as records.
    const std::vector<HopRecord>& hops() const { return hops_; }

  private:
    // One whole trace over the view's controls.
    Ending TraceRT();
    enum class Hop { Answered, Loop, NoReply, Ended, Stopped };
    Hop TraceHop(const platform::IpAddress& destination, int packetSize, int ttl);
    void AddHopLine(int ttl, std::uint32_t roundTripMs, const std::string& address,
                    const std::string& hostName, std::uint32_t roundTripUs = 0);
    std::string HostNameOfAddress(const platform::IpAddress& address);
    Ending finish(const std::string& closing, const char* status, Ending ending);

    TraceView& view_;
    net::HostToIP& hosts_;
    platform::Resolver& resolver_;
    platform::EchoService& echo_;
    platform::MessageBox& boxes_;

    // One trace's state.
    std::string lastHop_;
    platform::IpAddress replyAddress_;  // the reply record's two fields read
    std::uint32_t replyRoundTrip_ = 0;
    std::map<std::string, std::string> names_;  // reverse names by address text, per trace
    std::vector<HopRecord> hops_;
};

}  // namespace norvik::trace
