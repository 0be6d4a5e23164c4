#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/EchoService.h"

namespace norvik::trace {

// One line of a trace's results as data: the hop, who answered it (empty
// when no one did), the host name when names were asked for, and the round
// trip to the microsecond.
struct HopRecord {
    int hop = 0;
    std::string address;
    std::string name;
    bool answered = false;
    std::uint32_t roundTripUs = 0;
};

// The controls a trace reads and writes. The window implements it over the
// TraceRoute page; norvik-cli and the tests with plain fields.
class TraceView {
  public:
    virtual ~TraceView() = default;

    // The destination as typed, and its list.
    virtual std::string destinationText() = 0;
    virtual std::vector<std::string> destinationItems() = 0;
    virtual void appendDestinationItem(const std::string& address) = 0;

    // The packet size.
    virtual std::string packetSizeText() = 0;
    virtual void setPacketSizeText(const std::string& text) = 0;

    // Whether hop addresses are turned into host names.
    virtual bool namesWanted() = 0;

    // trace: the results box, set or appended to (CR LF line ends).
    virtual void setResults(const std::string& text) = 0;
    virtual void appendResults(const std::string& text) = 0;

    // The destination's address, for whoever looks.
    virtual void setDestinationField(const std::string& text) = 0;
    // The status line.
    virtual void setStatus(const std::string& caption) = 0;
    // The "Trace Route" button.
    virtual void setTraceEnabled(bool enabled) = 0;

    // A hop line was written; its record comes with it.
    virtual void hopRecorded(const HopRecord& /*hop*/) {}
    // The trace starts over: earlier hop records are gone.
    virtual void hopsCleared() {}

    // Input to the window is refused while an echo waits.
    virtual void setInputBlocked(bool /*blocked*/) {}
    // How each echo waits for its answer.
    virtual platform::Waiter waiter() { return platform::pollWaiter; }
    // Lets pending window events through: after every hop and every line.
    virtual void letEventsThrough() {}
    // The program is ending (its window was closed): the trace stops after
    // the echo in flight and writes nothing more.
    virtual bool endRequested() { return false; }
    // The user asked to stop (Stop or Escape): the echo in flight is
    // abandoned and the trace ends, keeping the lines written.
    virtual bool stopRequested() { return false; }
};

}  // namespace norvik::trace
