#pragma once

#include <sys/socket.h>
#include <time.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/EchoService.h"
#include "platform/IcmpPacket.h"
#include "platform/IcmpSocket.h"

namespace norvik::platform {

// ICMP echo through the Linux kernel's ICMP sockets. Every send opens its own
// socket, sends one echo request, waits for the answer through the caller's
// Waiter and closes the socket again; no socket is held between sends. Which
// kind of socket opens is found out once and kept while that kind opens.
class LinuxEchoService : public EchoService {
  public:
    // Which sockets to use. Automatic prefers a datagram socket and falls
    // back to a raw one when the group range does not allow it.
    enum class Mode { Automatic, DatagramOnly, RawOnly };

    explicit LinuxEchoService(Mode mode = Mode::Automatic);
    ~LinuxEchoService() override;
    LinuxEchoService(const LinuxEchoService&) = delete;
    LinuxEchoService& operator=(const LinuxEchoService&) = delete;

    EchoResult send(const EchoRequest& request, const Waiter& wait) override;
    std::string unavailableReason() const override;

    // The kind of socket the latest send went through.
    IcmpSocketKind lastSocketKind() const { return lastKind_; }
    // How often the service had to find out which kind of socket opens:
    // once, unless the kind it found stops opening.
    int socketProbes() const { return probes_; }

  private:
    struct Socket;
    struct Exchange;

    Socket openSocket(bool v6 = false) const;
    bool attachReplyFilter(int fd);
    bool prepare4(int fd, bool datagram, const EchoRequest& request);
    bool prepare6(int fd, bool datagram, const EchoRequest& request);
    bool receiveDatagram(int fd, Exchange& ex);
    bool receiveDatagramError(int fd, Exchange& ex);
    bool receiveRaw(int fd, Exchange& ex);

    Mode mode_;
    // A UDP socket that asks for receive stamps and never sends: while one
    // socket asks, the kernel stamps every packet as it arrives. Switching
    // that on happens in the background, so a socket opened just for one
    // echo would often get its answer stamped only when read.
    int stampKeeper_ = -1;
    // The raw socket's filter, loaded at the first raw send and attached to
    // each raw socket after; -1 when the kernel would not load it (each
    // socket then gets the filter compiled for it alone).
    int replyProgram_ = -1;
    bool replyProgramTried_ = false;
    IcmpSocketKind lastKind_ = IcmpSocketKind::None;
    // The kind that opened last time, for IPv4 and IPv6; None until it is
    // found out.
    mutable IcmpSocketKind usable_[2] = {IcmpSocketKind::None, IcmpSocketKind::None};
    mutable int probes_ = 0;
    std::uint16_t identifier_;  // raw sockets only; a datagram socket's is its port
    std::uint16_t sequence_;
    std::vector<unsigned char> packet_;  // request being sent
    std::vector<unsigned char> buffer_;  // answer being read
};

}  // namespace norvik::platform
