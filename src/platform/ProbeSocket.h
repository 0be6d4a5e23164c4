#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/EchoService.h"
#include "platform/IpAddress.h"

namespace norvik::platform {

// What came back for one probe.
struct ProbeAnswer {
    std::uint16_t sequence = 0;
    int status = status::kGeneralFailure;  // kSuccess for the echo reply, else the error's
    IpAddress from;                        // the destination's, or a router's for its errors
    // From the request leaving to the kernel's receive time of the answer.
    std::uint32_t roundTripUs = 0;
    std::uint8_t ttl = 0;  // time to live of the answer, when known
};

// How one probe went out: kSuccess with the time it left, or the status of
// a send the system refused (the probe then has no answer to wait for).
struct ProbeSent {
    int status = status::kGeneralFailure;
    std::chrono::steady_clock::time_point at;
};

// Many echo requests in flight at once over one socket, and their answers
// collected as they come: the caller sends, waits on fd() with its Waiter,
// then reads what has arrived. Probes are told apart by sequence; the
// identifier is the socket's own.
class ProbeSocket {
  public:
    virtual ~ProbeSocket() = default;

    virtual ProbeSent send(const IpAddress& destination, int ttl, std::uint16_t sequence,
                           std::string_view payload) = 0;
    // Readable while answers wait to be read.
    virtual int fd() const = 0;
    // The answers that have arrived to probes sent in the last minute, each
    // once, without waiting. Anything else that arrives is passed over.
    virtual std::vector<ProbeAnswer> read() = 0;
};

}  // namespace norvik::platform
