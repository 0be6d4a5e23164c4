#pragma once

#include <cstdint>
#include <string>

#include "platform/EchoService.h"

namespace norvik::net {

// The reply record of one echo. It starts all zero; an echo that is really
// sent overwrites it, one that is not sent leaves it as it was.
struct EchoReply {
    std::uint32_t address = 0;  // replying IPv4 host, network byte order; 0 for IPv6
    platform::IpAddress from;   // the replying host of either family
    std::int32_t status = 0;
    std::uint32_t roundTripTime = 0;  // ms
    std::uint32_t roundTripUs = 0;    // the same to the microsecond, kept beside it
    std::uint16_t dataSize = 0;
    std::uint16_t reserved = 0;
    std::uint32_t dataPointer = 0;  // where the echoed data lies, as a number
    std::uint8_t ttl = 0;
    std::uint8_t tos = 0;  // IPv6: the traffic class
    std::uint8_t flags = 0;
    std::uint8_t optionsSize = 0;
    std::uint32_t optionsData = 0;
    std::string data;  // echoed payload

    // Offsets 12 to 15 (data size and the reserved word) read as one value.
    std::uint32_t dataSizeField() const { return dataSize | (std::uint32_t(reserved) << 16); }
};

inline constexpr int kEchoTimeoutMs = 500;

// Sends one echo with a 500 ms time-out to a dotted address or an IPv6
// literal. Returns -1 at once, touching nothing, when the text is neither.
// An echo given up while it waited (stopped) leaves the record as it was.
std::int32_t SendEcho(platform::EchoService& service, const std::string& addressText,
                      const std::string& payload, EchoReply& reply,
                      const platform::Waiter& wait = platform::pollWaiter,
                      std::function<bool()> stopped = nullptr);

// "0   [ ip success ]" and so on: the code, three blanks, "[ ", the text, " ]".
std::string EchoStatusText(std::int32_t status);
// The table's text alone ("ip success").
std::string StatusTableText(std::int32_t status);

}  // namespace norvik::net
