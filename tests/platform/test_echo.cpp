// Real ICMP echoes through LinuxEchoService: to 127.0.0.1, and across
// network namespaces built for the test (sender, router, destination, and a
// host that answers with hand-made ICMP messages). Nothing leaves the
// machine: every address outside 127.0.0.0/8 lives in a namespace.
#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "../support/Netns.h"
#include "platform/LinuxEchoService.h"

namespace norvik {
namespace {

using platform::EchoRequest;
using platform::EchoResult;
using platform::IcmpSocketKind;
using platform::LinuxEchoService;
using Mode = platform::LinuxEchoService::Mode;
namespace status = platform::status;

std::uint32_t addr(const char* dotted) { return ::inet_addr(dotted); }

std::string dotted(std::uint32_t address) {
    in_addr a{};
    a.s_addr = address;
    return ::inet_ntoa(a);
}

std::string modeName(Mode mode) {
    switch (mode) {
        case Mode::DatagramOnly:
            return "Datagram";
        case Mode::RawOnly:
            return "Raw";
        default:
            return "Automatic";
    }
}

std::string payloadOf(std::size_t size) {
    static const char kLetters[] = "Norvik";
    std::string p(size, ' ');
    for (std::size_t i = 0; i < size; ++i) p[i] = kLetters[i % 6];
    return p;
}

// What one echo in a child process came to.
struct Outcome {
    int status = 0;
    std::uint32_t address = 0;
    int ttl = 0;
    IcmpSocketKind kind = IcmpSocketKind::None;
    std::string data;
    std::string reason;  // unavailableReason() after the send
};

std::string encode(const EchoResult& r, IcmpSocketKind kind, const std::string& reason) {
    std::ostringstream s;
    s << r.status << ' ' << r.replyAddress << ' ' << int(r.ttl) << ' ' << int(kind) << ' '
      << r.data.size() << ' ' << reason.size() << '\n'
      << r.data << reason;
    return s.str();
}

Outcome decode(const std::string& text) {
    Outcome o;
    std::istringstream s(text);
    int kind = 0;
    std::size_t dataSize = 0, reasonSize = 0;
    s >> o.status >> o.address >> o.ttl >> kind >> dataSize >> reasonSize;
    s.get();
    o.kind = static_cast<IcmpSocketKind>(kind);
    o.data.resize(dataSize);
    s.read(o.data.data(), static_cast<std::streamsize>(dataSize));
    o.reason.resize(reasonSize);
    s.read(o.reason.data(), static_cast<std::streamsize>(reasonSize));
    return o;
}

// Stands in for an echo whose child failed; the status is none of the real ones.
Outcome failed() {
    Outcome o;
    o.status = -2;
    return o;
}

// One echo sent from inside a namespace by a child process.
std::optional<Outcome> echoInside(const std::string& netns, Mode mode, const EchoRequest& request,
                                  std::string& why) {
    test::NetnsChild child(netns, [&] {
        LinuxEchoService service(mode);
        const EchoResult r = service.send(request, platform::pollWaiter);
        return encode(r, service.lastSocketKind(), service.unavailableReason());
    });
    const auto text = child.result(20000);
    if (!text) {
        why = child.why();
        return std::nullopt;
    }
    return decode(*text);
}

EchoRequest request(const char* address, std::string payload, int ttl = -1, int timeoutMs = 500) {
    EchoRequest r;
    r.address = addr(address);
    r.payload = std::move(payload);
    r.ttl = ttl;
    r.timeoutMs = timeoutMs;
    return r;
}

// ---------------------------------------------------------------------------
// Status of ICMP errors and send failures.

TEST(IcmpErrorStatus, DestinationUnreachableCodes) {
    const int expected[16] = {
        status::kDestNetUnreachable,  status::kDestHostUnreachable, status::kDestProtUnreachable,
        status::kDestPortUnreachable, status::kPacketTooBig,        status::kBadRoute,
        status::kDestNetUnreachable,  status::kDestHostUnreachable, status::kDestHostUnreachable,
        status::kDestNetUnreachable,  status::kDestHostUnreachable, status::kDestNetUnreachable,
        status::kDestHostUnreachable, status::kDestHostUnreachable, status::kDestHostUnreachable,
        status::kDestHostUnreachable,
    };
    for (int code = 0; code < 16; ++code) {
        EXPECT_EQ(platform::statusForIcmpError(3, code), expected[code]) << "code " << code;
    }
}

TEST(IcmpErrorStatus, OtherErrorTypes) {
    EXPECT_EQ(platform::statusForIcmpError(11, 0), status::kTtlExpiredTransit);
    EXPECT_EQ(platform::statusForIcmpError(11, 1), status::kTtlExpiredReassembly);
    EXPECT_EQ(platform::statusForIcmpError(12, 0), status::kParamProblem);
    EXPECT_EQ(platform::statusForIcmpError(12, 1), status::kParamProblem);
    EXPECT_EQ(platform::statusForIcmpError(4, 0), status::kSourceQuench);
}

TEST(IcmpErrorStatus, TypesThatAreNoAnswerAreIgnored) {
    for (int type : {0, 5, 8, 9, 10, 13, 14, 15, 16, 17, 18, 42}) {
        EXPECT_FALSE(platform::statusForIcmpError(type, 0).has_value()) << "type " << type;
    }
}

TEST(SendErrorStatus, MapsRoutingFailures) {
    EXPECT_EQ(platform::statusForSendError(EHOSTUNREACH), status::kDestHostUnreachable);
    EXPECT_EQ(platform::statusForSendError(ENETUNREACH), status::kDestNetUnreachable);
    EXPECT_EQ(platform::statusForSendError(EMSGSIZE), status::kGeneralFailure);
    EXPECT_EQ(platform::statusForSendError(EACCES), status::kGeneralFailure);
    EXPECT_EQ(platform::statusForSendError(EINVAL), status::kGeneralFailure);
}

// ---------------------------------------------------------------------------
// pollWaiter

TEST(PollWaiter, ReportsReadableDescriptor) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    EXPECT_TRUE(platform::pollWaiter(fds[0], 1000));
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(PollWaiter, ReportsTimeUpWhenNothingArrives) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    EXPECT_FALSE(platform::pollWaiter(fds[0], 0));
    EXPECT_FALSE(platform::pollWaiter(fds[0], 5));
    EXPECT_FALSE(platform::pollWaiter(fds[0], -3));
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(PollWaiter, ReportsPendingSocketError) {
    // A socket whose peer reset shows POLLERR/POLLHUP; that wakes the caller.
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    ::close(pair[1]);
    EXPECT_TRUE(platform::pollWaiter(pair[0], 1000));
    ::close(pair[0]);
}

// ---------------------------------------------------------------------------
// Echoes to 127.0.0.1 through each kind of socket. A kind the host allows
// is used in this process; otherwise the echo runs in a namespace of its
// own that allows it (datagram sockets: the test opens ping_group_range
// there; raw sockets: root).

class LoopbackEcho : public ::testing::TestWithParam<Mode> {
  protected:
    void SetUp() override {
        if (LinuxEchoService(GetParam()).unavailableReason().empty()) return;  // here
        const std::string why = test::NetnsLab::unavailableReason();
        if (!why.empty()) {
            GTEST_SKIP() << modeName(GetParam())
                         << " ICMP sockets are not allowed here, and no namespace can be "
                            "built to allow them: "
                         << why;
        }
        lab_ = std::make_unique<test::NetnsLab>();
        ASSERT_TRUE(lab_->add("loop")) << lab_->error();
        ASSERT_TRUE(lab_->sysctl("loop", "net/ipv4/ping_group_range", "0 2147483647"))
            << lab_->error();
    }

    Outcome echo(const EchoRequest& r) {
        if (!lab_) {
            LinuxEchoService service(GetParam());
            const EchoResult res = service.send(r, platform::pollWaiter);
            return decode(encode(res, service.lastSocketKind(), service.unavailableReason()));
        }
        std::string why;
        const auto o = echoInside(lab_->name("loop"), GetParam(), r, why);
        EXPECT_TRUE(o.has_value()) << why;
        return o.value_or(failed());
    }

    // Runs fn where this kind of socket is allowed: in this process, or in a
    // child inside the test's namespace.
    std::string here(const std::function<std::string()>& fn) {
        if (!lab_) return fn();
        test::NetnsChild child(lab_->name("loop"), fn);
        const auto text = child.result(20000);
        return text ? *text : "child failed: " + child.why();
    }

    IcmpSocketKind expectedKind() const {
        return GetParam() == Mode::DatagramOnly ? IcmpSocketKind::Datagram : IcmpSocketKind::Raw;
    }

    std::unique_ptr<test::NetnsLab> lab_;
};

TEST_P(LoopbackEcho, EchoesPayloadsOfManySizes) {
    for (std::size_t size : {1u, 32u, 1000u, 65000u}) {
        const std::string payload = payloadOf(size);
        const Outcome o = echo(request("127.0.0.1", payload));
        ASSERT_EQ(o.status, status::kSuccess) << size << " bytes";
        EXPECT_EQ(o.data, payload) << size << " bytes";
        EXPECT_EQ(dotted(o.address), "127.0.0.1") << size << " bytes";
        EXPECT_GT(o.ttl, 0) << size << " bytes";
        EXPECT_EQ(o.kind, expectedKind());
    }
}

TEST_P(LoopbackEcho, EchoesEmptyAndBinaryPayloads) {
    const Outcome empty = echo(request("127.0.0.1", ""));
    EXPECT_EQ(empty.status, status::kSuccess);
    EXPECT_EQ(empty.data, "");

    std::string binary;
    for (int i = 0; i < 256; ++i) binary.push_back(static_cast<char>(i));
    const Outcome o = echo(request("127.0.0.1", binary));
    EXPECT_EQ(o.status, status::kSuccess);
    EXPECT_EQ(o.data, binary);
}

TEST_P(LoopbackEcho, LargestPayloadTheKernelTakesAndBeyond) {
    const std::string largest = payloadOf(65507);  // 65535 less IP and ICMP headers
    const Outcome o = echo(request("127.0.0.1", largest));
    EXPECT_EQ(o.status, status::kSuccess);
    EXPECT_EQ(o.data, largest);

    for (std::size_t size : {65508u, 70000u, 200000u}) {
        const Outcome big = echo(request("127.0.0.1", payloadOf(size)));
        EXPECT_EQ(big.status, status::kGeneralFailure) << size << " bytes";
        EXPECT_EQ(big.data, "");
    }
}

TEST_P(LoopbackEcho, InvalidTimeToLiveFailsWithoutSending) {
    for (int ttl : {0, 256, 1000}) {
        const Outcome o = echo(request("127.0.0.1", "Norvik", ttl));
        EXPECT_EQ(o.status, status::kGeneralFailure) << "ttl " << ttl;
    }
    const Outcome ok = echo(request("127.0.0.1", "Norvik", 255));
    EXPECT_EQ(ok.status, status::kSuccess);
}

TEST_P(LoopbackEcho, OneServiceSendsManyEchoes) {
    const Mode mode = GetParam();
    const IcmpSocketKind kind = expectedKind();
    EXPECT_EQ(here([mode, kind] {
                  LinuxEchoService service(mode);
                  for (int i = 0; i < 20; ++i) {
                      const std::string payload = "echo " + std::to_string(i);
                      const EchoResult r =
                          service.send(request("127.0.0.1", payload), platform::pollWaiter);
                      if (r.status != status::kSuccess || r.data != payload)
                          return "echo " + std::to_string(i) + ": " + std::to_string(r.status);
                  }
                  return std::string(service.lastSocketKind() == kind ? "ok" : "wrong kind");
              }),
              "ok");
}

TEST_P(LoopbackEcho, WaitsThroughTheCallersWaiter) {
    const Mode mode = GetParam();
    EXPECT_EQ(
        here([mode] {
            LinuxEchoService service(mode);
            int calls = 0;
            int seenFd = -1;
            int firstTimeout = -1;
            const platform::Waiter counting = [&](int fd, int timeoutMs) {
                if (calls++ == 0) firstTimeout = timeoutMs;
                seenFd = fd;
                return platform::pollWaiter(fd, timeoutMs);
            };
            const EchoResult r = service.send(request("127.0.0.1", "Norvik", -1, 800), counting);
            std::ostringstream s;
            s << "status " << r.status << " calls>0 " << (calls > 0) << " fd>=0 " << (seenFd >= 0)
              << " first in (0,800] " << (firstTimeout > 0 && firstTimeout <= 800);
            // The socket is closed again after the send.
            errno = 0;
            s << " closed " << (::fcntl(seenFd, F_GETFD) == -1 && errno == EBADF);
            return s.str();
        }),
        "status 0 calls>0 1 fd>=0 1 first in (0,800] 1 closed 1");
}

TEST_P(LoopbackEcho, AnswerThatTheWaiterNeverReportsTimesOut) {
    const Mode mode = GetParam();
    const Outcome o = decode(here([mode] {
        LinuxEchoService service(mode);
        const platform::Waiter never = [](int, int timeoutMs) {
            ::poll(nullptr, 0, timeoutMs > 5 ? 5 : timeoutMs);
            return false;
        };
        const EchoResult r = service.send(request("127.0.0.1", "Norvik", -1, 30), never);
        return encode(r, service.lastSocketKind(), "");
    }));
    EXPECT_EQ(o.status, status::kTimedOut);
    EXPECT_EQ(o.data, "");
    EXPECT_EQ(o.address, 0u);
}

TEST_P(LoopbackEcho, EmptyWaiterFallsBackToPoll) {
    const Mode mode = GetParam();
    const Outcome o = decode(here([mode] {
        LinuxEchoService service(mode);
        const EchoResult r = service.send(request("127.0.0.1", "Norvik"), platform::Waiter());
        return encode(r, service.lastSocketKind(), "");
    }));
    EXPECT_EQ(o.status, status::kSuccess);
    EXPECT_EQ(o.data, "Norvik");
}

INSTANTIATE_TEST_SUITE_P(Kinds, LoopbackEcho, ::testing::Values(Mode::DatagramOnly, Mode::RawOnly),
                         [](const auto& info) { return modeName(info.param); });

// ---------------------------------------------------------------------------
// Which socket the service picks, and what it says when it has none.

class SocketChoice : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string why = test::NetnsLab::unavailableReason();
        if (!why.empty()) GTEST_SKIP() << "needs a network namespace of its own: " << why;
        ASSERT_TRUE(lab_.add("open")) << lab_.error();
        ASSERT_TRUE(lab_.sysctl("open", "net/ipv4/ping_group_range", "0 2147483647"))
            << lab_.error();
        ASSERT_TRUE(lab_.add("closed")) << lab_.error();
        ASSERT_TRUE(lab_.sysctl("closed", "net/ipv4/ping_group_range", "1 0")) << lab_.error();
    }
    test::NetnsLab lab_;
};

TEST_F(SocketChoice, PrefersDatagramSocketWhenTheGroupIsAllowed) {
    std::string why;
    const auto o =
        echoInside(lab_.name("open"), Mode::Automatic, request("127.0.0.1", "Norvik"), why);
    ASSERT_TRUE(o) << why;
    EXPECT_EQ(o->status, status::kSuccess);
    EXPECT_EQ(o->kind, IcmpSocketKind::Datagram);
    EXPECT_EQ(o->reason, "");
}

TEST_F(SocketChoice, FallsBackToRawSocketForRoot) {
    std::string why;
    const auto o =
        echoInside(lab_.name("closed"), Mode::Automatic, request("127.0.0.1", "Norvik"), why);
    ASSERT_TRUE(o) << why;
    EXPECT_EQ(o->status, status::kSuccess);
    EXPECT_EQ(o->kind, IcmpSocketKind::Raw);
    EXPECT_EQ(o->reason, "");
}

TEST_F(SocketChoice, WithoutAnySocketSaysHowToAllowOne) {
    // A user outside the group range and without CAP_NET_RAW.
    test::NetnsChild child(lab_.name("closed"), [] {
        const gid_t nobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setresgid(nobody, nobody, nobody) != 0 ||
            ::setresuid(nobody, nobody, nobody) != 0)
            return std::string("cannot become nobody");
        LinuxEchoService service;
        const EchoResult r = service.send(request("127.0.0.1", "Norvik"), platform::pollWaiter);
        return encode(r, service.lastSocketKind(), service.unavailableReason());
    });
    const auto text = child.result(20000);
    ASSERT_TRUE(text) << child.why();
    ASSERT_NE(*text, "cannot become nobody");
    const Outcome o = decode(*text);
    EXPECT_EQ(o.status, status::kGeneralFailure);
    EXPECT_EQ(o.kind, IcmpSocketKind::None);
    EXPECT_NE(o.reason.find("net.ipv4.ping_group_range"), std::string::npos) << o.reason;
    EXPECT_NE(o.reason.find("setcap cap_net_raw+ep"), std::string::npos) << o.reason;
    EXPECT_EQ(o.reason.find('\n'), std::string::npos) << "one paragraph";
}

TEST_F(SocketChoice, AddressZeroIsSentToThisHost) {
    // Linux takes 0.0.0.0 as this host; inside the namespace that is its
    // loopback.
    for (Mode mode : {Mode::DatagramOnly, Mode::RawOnly}) {
        std::string why;
        const auto o = echoInside(lab_.name("open"), mode, request("0.0.0.0", payloadOf(32)), why);
        ASSERT_TRUE(o) << why;
        EXPECT_EQ(o->status, status::kSuccess) << modeName(mode);
        EXPECT_EQ(o->data, payloadOf(32)) << modeName(mode);
    }
}

// ---------------------------------------------------------------------------
// Across namespaces:
//
//   sender 192.0.2.2 -- 192.0.2.1 router 198.51.100.1 -- 198.51.100.2 dest
//                                        203.0.113.1  -- 203.0.113.2  crafter
//
// The router forwards and knows no default route; it has an unreachable,
// a prohibit and a blackhole route. The crafter's kernel does not answer
// echoes: a child there answers them with the ICMP messages a test asks for.

constexpr char kRouter[] = "192.0.2.1";
constexpr char kDest[] = "198.51.100.2";
constexpr char kCrafter[] = "203.0.113.2";
constexpr char kNoRouteAtRouter[] = "203.0.113.200";
constexpr char kUnreachableAtRouter[] = "203.0.113.130";
constexpr char kProhibitedAtRouter[] = "203.0.113.150";
constexpr char kBlackholed[] = "203.0.113.170";
constexpr char kUnreachableAtSender[] = "203.0.113.250";

// How the crafter answers the one echo request it waits for.
struct Answer {
    enum Kind { Error, AlteredPayload, ShortPayload, NoiseThenReply } kind = Error;
    int type = 0;
    int code = 0;
};

std::uint16_t sum16(const unsigned char* p, std::size_t n) {
    std::uint64_t s = 0;
    for (std::size_t i = 0; i + 1 < n; i += 2) s += (p[i] << 8) | p[i + 1];
    if (n % 2) s += p[n - 1] << 8;
    while (s >> 16) s = (s & 0xFFFF) + (s >> 16);
    return static_cast<std::uint16_t>(~s);
}

std::string icmpMessage(int type, int code, std::uint32_t rest, const std::string& body) {
    std::string m(8, '\0');
    m[0] = static_cast<char>(type);
    m[1] = static_cast<char>(code);
    const std::uint32_t r = htonl(rest);
    std::memcpy(m.data() + 4, &r, 4);
    m += body;
    const std::uint16_t c = sum16(reinterpret_cast<const unsigned char*>(m.data()), m.size());
    m[2] = static_cast<char>(c >> 8);
    m[3] = static_cast<char>(c & 0xFF);
    return m;
}

// Runs in the crafter: waits for one echo request and answers it.
std::string craftAnswer(const Answer& answer) {
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) return std::string("socket: ") + std::strerror(errno);
    std::uint32_t onlyEchoRequests = ~(1u << 8);
    ::setsockopt(fd, SOL_RAW, 1 /* ICMP_FILTER */, &onlyEchoRequests, sizeof onlyEchoRequests);
    test::NetnsChild::signalReady();
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10000) != 1) {
        ::close(fd);
        return "no request came";
    }
    std::string packet(70000, '\0');
    sockaddr_in from{};
    socklen_t fromSize = sizeof from;
    const ssize_t n = ::recvfrom(fd, packet.data(), packet.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (n < 28) {
        ::close(fd);
        return "short request";
    }
    packet.resize(static_cast<std::size_t>(n));
    const std::size_t ipLength = (packet[0] & 0x0F) * 4u;
    const std::string request = packet.substr(ipLength);  // ICMP header and payload
    const std::uint32_t idSeq = (std::uint32_t(std::uint8_t(request[4])) << 24) |
                                (std::uint32_t(std::uint8_t(request[5])) << 16) |
                                (std::uint32_t(std::uint8_t(request[6])) << 8) |
                                std::uint8_t(request[7]);
    const std::string payload = request.substr(8);
    const auto quote = [&](std::uint32_t sequenceShift) {
        std::string q = packet.substr(0, ipLength + 8);
        const std::uint16_t seq = static_cast<std::uint16_t>((idSeq & 0xFFFF) + sequenceShift);
        q[ipLength + 6] = static_cast<char>(seq >> 8);
        q[ipLength + 7] = static_cast<char>(seq & 0xFF);
        return q;
    };

    std::vector<std::string> messages;
    switch (answer.kind) {
        case Answer::Error:
            messages.push_back(icmpMessage(answer.type, answer.code, 0, quote(0)));
            break;
        case Answer::AlteredPayload: {
            std::string altered = payload;
            altered[altered.size() / 2] ^= 0x20;
            messages.push_back(icmpMessage(0, 0, idSeq, altered));
            break;
        }
        case Answer::ShortPayload:
            messages.push_back(icmpMessage(0, 0, idSeq, payload.substr(0, payload.size() - 1)));
            break;
        case Answer::NoiseThenReply:
            messages.push_back(icmpMessage(0, 0, idSeq + 1, payload));          // other sequence
            messages.push_back(icmpMessage(3, 1, 0, quote(1)));                 // error for it
            messages.push_back(icmpMessage(5, 1, 0xC6336401u, quote(0)));       // a redirect
            messages.push_back(icmpMessage(14, 0, idSeq, std::string(12, 0)));  // timestamp reply
            messages.push_back(icmpMessage(0, 0, idSeq, payload));              // the reply
            break;
    }
    int sent = 0;
    for (const auto& m : messages) {
        if (::sendto(fd, m.data(), m.size(), 0, reinterpret_cast<sockaddr*>(&from), sizeof from) ==
            static_cast<ssize_t>(m.size()))
            ++sent;
    }
    ::close(fd);
    return "sent " + std::to_string(sent);
}

class EchoTopology : public ::testing::TestWithParam<Mode> {
  protected:
    void SetUp() override {
        const std::string why = test::NetnsLab::unavailableReason();
        if (!why.empty()) GTEST_SKIP() << "needs network namespaces: " << why;
        test::NetnsLab& l = lab_;
        const bool built = l.add("sender") && l.add("router") && l.add("dest") &&
                           l.add("crafter") &&
                           l.link("sender", "192.0.2.2/24", "router", "192.0.2.1/24") &&
                           l.link("router", "198.51.100.1/24", "dest", "198.51.100.2/24") &&
                           l.link("router", "203.0.113.1/25", "crafter", "203.0.113.2/25") &&
                           l.sysctl("router", "net/ipv4/ip_forward", "1") &&
                           l.sysctl("sender", "net/ipv4/ping_group_range", "0 2147483647") &&
                           l.sysctl("crafter", "net/ipv4/icmp_echo_ignore_all", "1") &&
                           l.ip("sender", {"route", "add", "default", "via", "192.0.2.1"}) &&
                           l.ip("sender", {"route", "add", "unreachable", "203.0.113.240/28"}) &&
                           l.ip("dest", {"route", "add", "default", "via", "198.51.100.1"}) &&
                           l.ip("crafter", {"route", "add", "default", "via", "203.0.113.1"}) &&
                           l.ip("router", {"route", "add", "unreachable", "203.0.113.128/28"}) &&
                           l.ip("router", {"route", "add", "prohibit", "203.0.113.144/28"}) &&
                           l.ip("router", {"route", "add", "blackhole", "203.0.113.160/28"});
        ASSERT_TRUE(built) << l.error();
    }

    Outcome echo(const EchoRequest& r, const std::string& from = "sender") {
        std::string why;
        const auto o = echoInside(lab_.name(from), GetParam(), r, why);
        EXPECT_TRUE(o.has_value()) << why;
        return o.value_or(failed());
    }

    // The crafter answers with `answer`; the sender sends `r` to it.
    Outcome echoCrafted(const Answer& answer, EchoRequest r) {
        test::NetnsChild crafter(lab_.name("crafter"), [answer] { return craftAnswer(answer); });
        EXPECT_TRUE(crafter.waitReady(10000)) << crafter.why();
        const Outcome o = echo(r);
        const auto said = crafter.result(15000);
        EXPECT_TRUE(said.has_value()) << crafter.why();
        EXPECT_EQ(said.value_or("").rfind("sent ", 0), 0u) << said.value_or("");
        return o;
    }

    test::NetnsLab lab_;
};

TEST_P(EchoTopology, TtlOneExpiresAtTheRouter) {
    const Outcome o = echo(request(kDest, payloadOf(32), 1));
    EXPECT_EQ(o.status, status::kTtlExpiredTransit);
    EXPECT_EQ(dotted(o.address), kRouter);
    EXPECT_EQ(o.data, "");
}

TEST_P(EchoTopology, TtlTwoReachesTheDestination) {
    const Outcome o = echo(request(kDest, payloadOf(32), 2));
    EXPECT_EQ(o.status, status::kSuccess);
    EXPECT_EQ(dotted(o.address), kDest);
    EXPECT_EQ(o.data, payloadOf(32));
    EXPECT_EQ(o.ttl, 63);  // the destination's 64, less the router's hop
}

TEST_P(EchoTopology, PayloadLargerThanTheLinkIsFragmentedAndEchoed) {
    const std::string payload = payloadOf(4000);  // veth MTU is 1500
    const Outcome o = echo(request(kDest, payload));
    EXPECT_EQ(o.status, status::kSuccess);
    EXPECT_EQ(o.data, payload);
}

TEST_P(EchoTopology, RouterWithoutARouteSaysNetUnreachable) {
    const Outcome o = echo(request(kNoRouteAtRouter, payloadOf(32)));
    EXPECT_EQ(o.status, status::kDestNetUnreachable);
    EXPECT_EQ(dotted(o.address), kRouter);
    EXPECT_EQ(o.data, "");
}

TEST_P(EchoTopology, RouterWithAnUnreachableRouteSaysHostUnreachable) {
    const Outcome o = echo(request(kUnreachableAtRouter, payloadOf(32)));
    EXPECT_EQ(o.status, status::kDestHostUnreachable);
    EXPECT_EQ(dotted(o.address), kRouter);
}

TEST_P(EchoTopology, AdministrativelyProhibitedCountsAsHostUnreachable) {
    const Outcome o = echo(request(kProhibitedAtRouter, payloadOf(32)));
    EXPECT_EQ(o.status, status::kDestHostUnreachable);
    EXPECT_EQ(dotted(o.address), kRouter);
}

TEST_P(EchoTopology, BlackholedAddressTimesOut) {
    const Outcome o = echo(request(kBlackholed, payloadOf(32), -1, 300));
    EXPECT_EQ(o.status, status::kTimedOut);
    EXPECT_EQ(o.address, 0u);
    EXPECT_EQ(o.data, "");
}

TEST_P(EchoTopology, UnreachableRouteAtTheSenderFailsTheSend) {
    const Outcome o = echo(request(kUnreachableAtSender, payloadOf(32)));
    EXPECT_EQ(o.status, status::kDestHostUnreachable);
    EXPECT_EQ(o.address, 0u);
}

TEST_P(EchoTopology, NamespaceWithoutRoutesSaysNetUnreachable) {
    ASSERT_TRUE(lab_.add("island")) << lab_.error();
    ASSERT_TRUE(lab_.sysctl("island", "net/ipv4/ping_group_range", "0 2147483647")) << lab_.error();
    const Outcome o = echo(request(kDest, payloadOf(32)), "island");
    EXPECT_EQ(o.status, status::kDestNetUnreachable);
}

TEST_P(EchoTopology, ErrorsFromTheNetworkMapToTheirStatus) {
    struct Case {
        int type, code, status;
    };
    const Case cases[] = {
        {3, 0, status::kDestNetUnreachable},
        {3, 1, status::kDestHostUnreachable},
        {3, 2, status::kDestProtUnreachable},
        {3, 3, status::kDestPortUnreachable},
        {3, 5, status::kBadRoute},
        {3, 10, status::kDestHostUnreachable},
        {3, 11, status::kDestNetUnreachable},
        {12, 0, status::kParamProblem},
        {4, 0, status::kSourceQuench},
    };
    for (const Case& c : cases) {
        const Outcome o = echoCrafted({Answer::Error, c.type, c.code}, request(kCrafter, "Norvik"));
        EXPECT_EQ(o.status, c.status) << "type " << c.type << " code " << c.code;
        EXPECT_EQ(dotted(o.address), kCrafter) << "type " << c.type << " code " << c.code;
        EXPECT_EQ(o.data, "");
    }
}

TEST_P(EchoTopology, ErrorsTheKernelKeepsFromDatagramSockets) {
    // Fragmentation needed: our requests go without the don't-fragment flag,
    // so no router should send it, and the kernel keeps it from a datagram
    // socket that did not ask for path MTU discovery. Reassembly time
    // exceeded: the kernel keeps it from every socket but a raw one.
    struct Case {
        int type, code, status;
    };
    for (const Case& c :
         {Case{3, 4, status::kPacketTooBig}, Case{11, 1, status::kTtlExpiredReassembly}}) {
        const Outcome o =
            echoCrafted({Answer::Error, c.type, c.code}, request(kCrafter, "Norvik", -1, 300));
        if (GetParam() == Mode::RawOnly) {
            EXPECT_EQ(o.status, c.status) << "type " << c.type << " code " << c.code;
            EXPECT_EQ(dotted(o.address), kCrafter);
        } else {
            EXPECT_EQ(o.status, status::kTimedOut) << "type " << c.type << " code " << c.code;
        }
    }
}

TEST_P(EchoTopology, AlteredPayloadIsNoSuccess) {
    const Outcome o =
        echoCrafted({Answer::AlteredPayload}, request(kCrafter, payloadOf(64), -1, 300));
    EXPECT_EQ(o.status, status::kTimedOut);
    EXPECT_EQ(o.data, "");
}

TEST_P(EchoTopology, ShortenedPayloadIsNoSuccess) {
    const Outcome o =
        echoCrafted({Answer::ShortPayload}, request(kCrafter, payloadOf(64), -1, 300));
    EXPECT_EQ(o.status, status::kTimedOut);
    EXPECT_EQ(o.data, "");
}

TEST_P(EchoTopology, AnswersToOtherRequestsAndOtherTypesAreIgnored) {
    const Outcome o = echoCrafted({Answer::NoiseThenReply}, request(kCrafter, payloadOf(32)));
    EXPECT_EQ(o.status, status::kSuccess);
    EXPECT_EQ(o.data, payloadOf(32));
    EXPECT_EQ(dotted(o.address), kCrafter);
}

INSTANTIATE_TEST_SUITE_P(Kinds, EchoTopology, ::testing::Values(Mode::DatagramOnly, Mode::RawOnly),
                         [](const auto& info) { return modeName(info.param); });

}  // namespace
}  // namespace norvik
