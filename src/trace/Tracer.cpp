#include "trace/Tracer.h"

#include <algorithm>
#include <cstring>

#include "ping/Numbers.h"

namespace norvik::trace {

using platform::Buttons;
using platform::Icon;

namespace {
const char kCrLf[] = "\r\n";
}  // namespace

std::string TimeText(std::int32_t ms) {
    if (ms < 10) return "<10 ms";
    if (ms > 1200) return "*";
    return std::to_string(ms) + " ms";
}

PacketSize SettlePacketSize(const std::string& text) {
    PacketSize size{text, kSmallestPacket};
    if (const auto v = ping::ParseNumber(size.text)) {
        if (*v < kSmallestPacket) size.text = std::to_string(kSmallestPacket);
        if (*ping::ParseNumber(size.text) > kLargestPacket)
            size.text = std::to_string(kLargestPacket);
    } else {
        size.text = std::to_string(kSmallestPacket);
    }
    // A fraction inside the range stays as typed; the bytes round half to even.
    size.bytes = static_cast<int>(ping::RoundHalfEven(*ping::ParseNumber(size.text), 0));
    return size;
}

Tracer::Tracer(TraceView& view, net::HostToIP& hosts, platform::Resolver& resolver,
               platform::EchoService& echo, platform::MessageBox& boxes)
    : view_(view), hosts_(hosts), resolver_(resolver), echo_(echo), boxes_(boxes) {}

Ending Tracer::trace() {
    if (view_.destinationText().empty()) {
        boxes_.show("Where exactly did you want to trace to?!", platform::kAppTitle, Buttons::Ok,
                    Icon::Critical);
        return Ending::NotRun;
    }
    view_.setStatus(kTracing);
    view_.setTraceEnabled(false);
    const Ending ending = TraceRT();
    if (ending == Ending::Ended) return ending;
    view_.setTraceEnabled(true);

    // The user may have edited the box meanwhile; the text as it now stands
    // joins the list unless it is there already (exact comparison).
    const std::string text = view_.destinationText();
    const std::vector<std::string> items = view_.destinationItems();
    if (!text.empty() && std::find(items.begin(), items.end(), text) == items.end())
        view_.appendDestinationItem(text);
    return ending;
}

Ending Tracer::TraceRT() {
    view_.setDestinationField("");
    view_.setResults("");

    const std::string typed = view_.packetSizeText();
    const PacketSize size = SettlePacketSize(typed);
    if (size.text != typed) view_.setPacketSizeText(size.text);

    if (!hosts_.SocketsStart()) {
        boxes_.show("Unable to initialize the Windows Sockets", kTracerError, Buttons::Ok,
                    Icon::None);
        return Ending::StartFailed;
    }

    const std::string destinationTyped = view_.destinationText();
    const std::string destinationText = hosts_.HostNameToIP(destinationTyped);
    if (view_.endRequested()) return Ending::Ended;
    // The resolved text as the echo reads it: dotted IPv4 or IPv6 text.
    const std::optional<platform::IpAddress> destination = net::AddressOfText(destinationText);

    // Every echo opens its own ICMP socket; none opening is what a failed
    // open of the ICMP handle was. The results then say why and what would
    // allow pings.
    if (const std::string why = echo_.unavailableReason(); !why.empty()) {
        boxes_.show("Unable to Open an Icmp File Handle", kTracerError, Buttons::Ok, Icon::None);
        hosts_.SocketsCleanup();
        view_.setResults(why);
        view_.setStatus(kFailedStatus);
        return Ending::StartFailed;
    }

    // Nothing is carried over from an earlier trace.
    lastHop_.clear();
    replyAddress_ = platform::IpAddress();
    replyRoundTrip_ = 0;
    names_.clear();
    hops_.clear();
    view_.hopsCleared();

    view_.setDestinationField(destinationText);
    view_.setResults("Tracing Route to " + destinationTyped + ":" + kCrLf + kCrLf);

    Ending ending = Ending::HopsExhausted;
    if (destinationText.empty() || !destination) {
        // No address to send to (a name that does not resolve, or the
        // broadcast address): nothing goes out, and hop 1 is written as a
        // hop that got no answer.
        AddHopLine(kFirstHop, replyRoundTrip_, "", "");
        if (view_.endRequested()) return Ending::Ended;
        ending = finish(kTimeoutText, kTimedOutStatus, Ending::TimedOut);
    } else {
        for (int ttl = kFirstHop; ttl <= kLastHop; ++ttl) {
            const Hop hop = TraceHop(*destination, size.bytes, ttl);
            if (hop == Hop::Ended) return Ending::Ended;
            view_.letEventsThrough();
            if (view_.endRequested()) return Ending::Ended;
            // The end is decided from this trace's own values: the page's
            // fields may have been written by other pages meanwhile.
            if (hop == Hop::Loop) {
                ending = finish(kLoopText, kFailedStatus, Ending::Loop);
                break;
            }
            if (hop == Hop::Stopped) {
                ending = finish(kStoppedText, kStoppedText, Ending::Stopped);
                break;
            }
            if (hop == Hop::NoReply) {
                ending = finish(kTimeoutText, kTimedOutStatus, Ending::TimedOut);
                break;
            }
            if (lastHop_ == destinationText) {
                ending = finish(kCompleteText, kCompleteText, Ending::Complete);
                break;
            }
            if (view_.stopRequested()) {
                ending = finish(kStoppedText, kStoppedText, Ending::Stopped);
                break;
            }
        }
    }
    hosts_.SocketsCleanup();
    return ending;
}

Ending Tracer::finish(const std::string& closing, const char* status, Ending ending) {
    view_.appendResults(kCrLf + closing);
    view_.setStatus(status);
    return ending;
}

Tracer::Hop Tracer::TraceHop(const platform::IpAddress& destination, int packetSize, int ttl) {
    platform::EchoRequest request;
    request.address = destination;
    request.payload.assign(static_cast<std::size_t>(packetSize), kPacketFill);
    request.ttl = ttl;
    request.timeoutMs = kTraceTimeoutMs;
    request.stopped = [this] { return view_.stopRequested(); };

    view_.setInputBlocked(true);
    const platform::EchoResult result = echo_.send(request, view_.waiter());
    view_.setInputBlocked(false);
    if (view_.endRequested()) return Hop::Ended;
    if (result.status == platform::status::kStopped) return Hop::Stopped;  // gets no line

    // The record keeps what the last echo that went out left in it.
    if (result.status != platform::status::kGeneralFailure ||
        !result.replyAddress.isUnspecified()) {
        replyAddress_ = result.replyAddress;
        replyRoundTrip_ = result.roundTripMs;
    }
    // An answer is the destination's reply or any router's error message;
    // a time-out or a request that never left is none.
    const bool answered =
        result.status == platform::status::kSuccess || !result.replyAddress.isUnspecified();
    if (!answered) {
        AddHopLine(ttl, replyRoundTrip_, "", "");
        return Hop::NoReply;
    }

    const std::string previous = lastHop_;
    lastHop_ = replyAddress_.toString();
    if (lastHop_ == previous) return Hop::Loop;  // the repeated hop gets no line

    const std::string name = view_.namesWanted() ? HostNameOfAddress(replyAddress_) : "";
    if (view_.endRequested()) return Hop::Ended;
    AddHopLine(ttl, replyRoundTrip_, lastHop_, name,
               result.roundTripUs != 0 ? result.roundTripUs : result.roundTripMs * 1000);
    return Hop::Answered;
}

void Tracer::AddHopLine(int ttl, std::uint32_t roundTripMs, const std::string& address,
                        const std::string& hostName, std::uint32_t roundTripUs) {
    HopRecord record;
    record.hop = static_cast<std::uint8_t>(ttl);
    record.address = address;
    record.name = view_.namesWanted() ? hostName : std::string();
    record.answered = !address.empty();
    record.roundTripUs = record.answered ? roundTripUs : 0;
    hops_.push_back(record);
    view_.hopRecorded(record);

    std::string line = "Hop #\t" + std::to_string(static_cast<std::uint8_t>(ttl)) + "\t" +
                       TimeText(static_cast<std::int32_t>(roundTripMs)) + "\t" + address;
    if (view_.namesWanted()) line += "\t" + hostName;
    view_.appendResults(line + kCrLf);
    view_.letEventsThrough();
}

std::string Tracer::HostNameOfAddress(const platform::IpAddress& address) {
    if (const auto known = names_.find(address.toString()); known != names_.end())
        return known->second;
    std::string name;
    if (const auto found = resolver_.lookupAddress(address))
        name = found->substr(0, found->find('\0'));
    names_[address.toString()] = name;
    return name;
}

}  // namespace norvik::trace
