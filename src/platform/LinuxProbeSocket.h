#pragma once

#include <time.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/LinuxEchoService.h"
#include "platform/ProbeSocket.h"

namespace norvik::platform {

// Probes through one kernel ICMP socket held open for a whole run: a
// datagram socket where the group range allows it (routers' errors through
// its error queue), else a raw one. IPv4 or IPv6, one family a socket.
class LinuxProbeSocket : public ProbeSocket {
  public:
    using Mode = LinuxEchoService::Mode;

    // nullptr when no socket of the family opens; errno tells why.
    static std::unique_ptr<LinuxProbeSocket> open(Family family, Mode mode = Mode::Automatic);
    ~LinuxProbeSocket() override;
    LinuxProbeSocket(const LinuxProbeSocket&) = delete;
    LinuxProbeSocket& operator=(const LinuxProbeSocket&) = delete;

    ProbeSent send(const IpAddress& destination, int ttl, std::uint16_t sequence,
                   std::string_view payload) override;
    int fd() const override { return fd_; }
    std::vector<ProbeAnswer> read() override;

    IcmpSocketKind kind() const { return kind_; }

  private:
    struct InFlight {
        IpAddress destination;
        std::string payload;
        timespec sentAt;  // the clock the kernel stamps answers with
        std::chrono::steady_clock::time_point at;
    };

    LinuxProbeSocket(int fd, Family family, IcmpSocketKind kind, std::uint16_t identifier);
    // An echo reply on a raw IPv6 socket or a datagram socket of either
    // family (ICMP header first): the probe it answers, if any.
    const InFlight* replyTo(const unsigned char* icmp, std::size_t size, bool checkIdentifier);
    void readDatagram(std::vector<ProbeAnswer>& out);
    void readErrors(std::vector<ProbeAnswer>& out);
    void readRaw(std::vector<ProbeAnswer>& out);
    // The probe of this sequence, answered: its round trip, and it leaves
    // the table (a second answer is no answer).
    bool settle(std::uint16_t sequence, const std::optional<timespec>& received,
                ProbeAnswer& answer);

    int fd_;
    Family family_;
    IcmpSocketKind kind_;
    std::uint16_t identifier_;  // a datagram socket's is its port, known after the first send
    int ttl_ = -1;              // as last set on the socket
    std::map<std::uint16_t, InFlight> inFlight_;
    std::vector<unsigned char> packet_;
    std::vector<unsigned char> buffer_;
};

}  // namespace norvik::platform
