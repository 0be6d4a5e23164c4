// Echoes to 127.0.0.1: round trips per second through LinuxEchoService, and
// through a bare hand-written exchange on the same kind of socket (open,
// send, poll, receive, close), so that the time the service adds per echo
// is the difference of the two. A third form keeps one socket for all
// echoes, to show what opening a socket per echo costs.
//
// Run as root, the program first moves into a network namespace of its own
// (loopback up, ICMP datagram sockets allowed for every group), so both
// kinds of socket can be measured without changing the machine's settings.
#include <benchmark/benchmark.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "platform/LinuxEchoService.h"

namespace {

using norvik::platform::LinuxEchoService;
using Mode = LinuxEchoService::Mode;

constexpr std::uint32_t kLoopback = 0x0100007F;  // 127.0.0.1 in network byte order
constexpr int kIcmpFilter = 1;                   // ICMP_FILTER of <linux/icmp.h>

std::string payloadOf(std::size_t size) {
    static const char kLetters[] = "Norvik";
    std::string p(size, ' ');
    for (std::size_t i = 0; i < size; ++i) p[i] = kLetters[i % 6];
    return p;
}

// Leaves the machine's network for a namespace of our own where both kinds
// of ICMP socket are allowed. Says on stderr what it did.
void isolate() {
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNET) != 0) {
        std::cerr << "bench_echo: measuring in the machine's own network namespace\n";
        return;
    }
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    if (s >= 0 && ::ioctl(s, SIOCGIFFLAGS, &ifr) == 0) {
        ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
        ::ioctl(s, SIOCSIFFLAGS, &ifr);
    }
    if (s >= 0) ::close(s);
    std::ofstream("/proc/sys/net/ipv4/ping_group_range") << "0 2147483647\n";
    std::cerr << "bench_echo: measuring in a network namespace of its own\n";
}

std::uint16_t checksum(const unsigned char* p, std::size_t n) {
    std::uint64_t s = 0;
    for (std::size_t i = 0; i + 1 < n; i += 2) s += (p[i] << 8) | p[i + 1];
    if (n % 2) s += p[n - 1] << 8;
    while (s >> 16) s = (s & 0xFFFF) + (s >> 16);
    return static_cast<std::uint16_t>(~s);
}

// The least a program must do for one echo on an open socket: send the
// request and read until the reply with our sequence number comes.
bool bareExchange(int fd, bool raw, std::uint16_t seq, const std::string& payload,
                  std::string& packet, std::string& answer) {
    packet.assign(8, '\0');
    packet += payload;
    packet[0] = 8;
    packet[4] = 0x4E;
    packet[5] = 0x56;
    packet[6] = static_cast<char>(seq >> 8);
    packet[7] = static_cast<char>(seq & 0xFF);
    if (raw) {
        const std::uint16_t c =
            checksum(reinterpret_cast<const unsigned char*>(packet.data()), packet.size());
        packet[2] = static_cast<char>(c >> 8);
        packet[3] = static_cast<char>(c & 0xFF);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = kLoopback;
    if (::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) <
        0)
        return false;
    for (int tries = 0; tries < 64; ++tries) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 500) != 1) return false;
        const ssize_t n = ::recv(fd, answer.data(), answer.size(), 0);
        if (n < 0) return false;
        const std::size_t at = raw ? (answer[0] & 0x0F) * 4u : 0;
        if (static_cast<std::size_t>(n) >= at + 8 && answer[at] == 0 &&
            static_cast<std::uint8_t>(answer[at + 6]) == (seq >> 8) &&
            static_cast<std::uint8_t>(answer[at + 7]) == (seq & 0xFF))
            return true;
    }
    return false;
}

int openBare(bool raw) {
    const int fd = ::socket(AF_INET, (raw ? SOCK_RAW : SOCK_DGRAM) | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd >= 0 && raw) {
        const std::uint32_t onlyReplies = ~1u;
        ::setsockopt(fd, SOL_RAW, kIcmpFilter, &onlyReplies, sizeof onlyReplies);
    }
    return fd;
}

// Time is per echo; items_per_second are round trips per second.
void setCounters(benchmark::State& state) { state.SetItemsProcessed(state.iterations()); }

void Service(benchmark::State& state, Mode mode) {
    LinuxEchoService service(mode);
    norvik::platform::EchoRequest request;
    request.address = norvik::platform::IpAddress::v4(kLoopback);
    request.payload = payloadOf(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        const auto r = service.send(request, norvik::platform::pollWaiter);
        if (r.status != 0) {
            state.SkipWithError(
                ("status " + std::to_string(r.status) + "; " + service.unavailableReason())
                    .c_str());
            break;
        }
    }
    setCounters(state);
}

// A socket opened and closed for every echo, or one kept for them all.
void Bare(benchmark::State& state, bool raw, bool keepSocket) {
    const std::string payload = payloadOf(static_cast<std::size_t>(state.range(0)));
    std::string packet, answer(payload.size() + 8 + 60, '\0');
    std::uint16_t seq = 0;
    const int kept = keepSocket ? openBare(raw) : -1;
    for (auto _ : state) {
        const int fd = keepSocket ? kept : openBare(raw);
        const bool ok = fd >= 0 && bareExchange(fd, raw, ++seq, payload, packet, answer);
        if (!keepSocket && fd >= 0) ::close(fd);
        if (!ok) {
            state.SkipWithError("this kind of ICMP socket is not allowed here");
            break;
        }
    }
    if (kept >= 0) ::close(kept);
    setCounters(state);
}

}  // namespace

int main(int argc, char** argv) {
    isolate();
    // ServiceDatagram, BareDatagram, BareDatagramKeptSocket, then the same for Raw.
    for (const bool raw : {false, true}) {
        const std::string kind = raw ? "Raw" : "Datagram";
        const Mode mode = raw ? Mode::RawOnly : Mode::DatagramOnly;
        using benchmark::RegisterBenchmark;
        for (auto* b : {RegisterBenchmark(("Service" + kind).c_str(), Service, mode),
                        RegisterBenchmark(("Bare" + kind).c_str(), Bare, raw, false),
                        RegisterBenchmark(("Bare" + kind + "KeptSocket").c_str(), Bare, raw, true)})
            b->Arg(32)->Arg(1000)->Arg(65000)->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
