// Real ICMP echoes through LinuxEchoService: to 127.0.0.1, and across
// network namespaces built for the test (routers, a destination, and a host
// that answers with hand-made ICMP messages). Nothing leaves the
// machine: every address outside 127.0.0.0/8 lives in a namespace.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "../support/NetnsFixture.h"
#include "platform/LinuxEchoService.h"

namespace norvik {
namespace {

using platform::EchoRequest;
using platform::EchoResult;
using platform::IcmpSocketKind;
using platform::LinuxEchoService;
using Mode = platform::LinuxEchoService::Mode;
using namespace platform::status;

std::string modeName(Mode mode) {
    return mode == Mode::DatagramOnly ? "Datagram" : mode == Mode::RawOnly ? "Raw" : "Automatic";
}

std::string payloadOf(std::size_t size) {
    std::string p(size, ' ');
    for (std::size_t i = 0; i < size; ++i) p[i] = "Norvik"[i % 6];
    return p;
}

EchoRequest request(const char* address, std::string payload, int ttl = -1, int timeoutMs = 500) {
    EchoRequest r;
    r.address = *platform::IpAddress::parse(address);
    r.payload = std::move(payload);
    r.ttl = ttl;
    r.timeoutMs = timeoutMs;
    return r;
}

// What one echo came to, carried as text out of the child that sent it.
struct Outcome {
    int status = -2, ttl = 0, kind = 0;  // status -2, none of the real ones: the child failed
    std::string address = "none";
    bool reasonless = false;  // unavailableReason() empty after the send
    std::string data;
};

// The body that sends one echo, in this process or in a child.
std::function<std::string()> echoing(Mode mode, EchoRequest r,
                                     platform::Waiter wait = platform::pollWaiter) {
    return [=] {
        LinuxEchoService service(mode);
        const EchoResult res = service.send(r, wait);
        std::ostringstream s;
        s << res.status << ' ' << res.replyAddress.toString() << ' ' << int(res.ttl) << ' '
          << int(service.lastSocketKind()) << ' ' << service.unavailableReason().empty() << '\n'
          << res.data;
        return s.str();
    };
}

Outcome decode(const std::string& text) {
    Outcome o;
    std::istringstream s(text);
    if (!(s >> o.status >> o.address >> o.ttl >> o.kind >> o.reasonless) || s.get() != '\n') {
        ADD_FAILURE() << text;
        return Outcome{};
    }
    o.data = text.substr(static_cast<std::size_t>(s.tellg()));
    return o;
}

Outcome echoIn(const std::string& netns, Mode mode, const EchoRequest& r) {
    return decode(test::runInside(netns, echoing(mode, r)));
}

// ---------------------------------------------------------------------------
// The ICMP error table and send failures. Both kinds of socket hand type and
// code to the same table; the namespaces below check that they do.

TEST(EchoStatus, MapsIcmpErrorsAndSendFailures) {
    const int cases[][3] = {
        {3, 2, kDestProtUnreachable},  {3, 3, kDestPortUnreachable},  {3, 6, kDestNetUnreachable},
        {3, 7, kDestHostUnreachable},  {3, 8, kDestHostUnreachable},  {3, 9, kDestNetUnreachable},
        {3, 10, kDestHostUnreachable}, {3, 11, kDestNetUnreachable},  {3, 12, kDestHostUnreachable},
        {3, 13, kDestHostUnreachable}, {3, 14, kDestHostUnreachable}, {3, 15, kDestHostUnreachable},
        {12, 1, kParamProblem},
    };
    for (const auto& [type, code, want] : cases)
        EXPECT_EQ(platform::statusForIcmpError(type, code), want) << type << "/" << code;
    for (int type : {0, 5, 8, 9, 10, 13, 14, 15, 16, 17, 18, 42})
        EXPECT_FALSE(platform::statusForIcmpError(type, 0).has_value()) << "type " << type;
    const int sendErrors[][2] = {{EHOSTUNREACH, kDestHostUnreachable},
                                 {ENETUNREACH, kDestNetUnreachable},
                                 {EMSGSIZE, kGeneralFailure},
                                 {EACCES, kGeneralFailure}};
    for (const auto& [error, want] : sendErrors)
        EXPECT_EQ(platform::statusForSendError(error), want) << std::strerror(error);
    // ICMPv6: destination unreachable (1) by code, too big (2), time
    // exceeded (3), parameter problem (4); echo and others answer nothing.
    const int cases6[][3] = {
        {1, 0, kDestNetUnreachable},  {1, 1, kDestProtUnreachable},  {1, 2, kDestNetUnreachable},
        {1, 3, kDestHostUnreachable}, {1, 4, kDestPortUnreachable},  {1, 5, kDestProtUnreachable},
        {1, 6, kDestNetUnreachable},  {1, 7, kDestHostUnreachable},  {2, 0, kPacketTooBig},
        {3, 0, kTtlExpiredTransit},   {3, 1, kTtlExpiredReassembly}, {4, 0, kParamProblem},
        {4, 2, kParamProblem},
    };
    for (const auto& [type, code, want] : cases6)
        EXPECT_EQ(platform::statusForIcmp6Error(type, code), want) << type << "/" << code;
    for (int type : {0, 5, 11, 128, 129, 133, 134, 135, 136, 137})
        EXPECT_FALSE(platform::statusForIcmp6Error(type, 0).has_value()) << "type " << type;
}

TEST(PollWaiter, WakesForDataAndErrorsButNotForNothing) {
    int empty[2], full[2], reset[2];
    ASSERT_EQ(::pipe(empty), 0);
    ASSERT_EQ(::pipe(full), 0);
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, reset), 0);
    ASSERT_EQ(::write(full[1], "x", 1), 1);
    ::close(reset[1]);  // the peer's reset shows POLLERR/POLLHUP; that wakes the caller
    EXPECT_TRUE(platform::pollWaiter(full[0], 1000));
    EXPECT_TRUE(platform::pollWaiter(reset[0], 1000));
    for (int timeoutMs : {0, 5, -3})
        EXPECT_FALSE(platform::pollWaiter(empty[0], timeoutMs)) << timeoutMs << " ms";
    for (int fd : {empty[0], empty[1], full[0], full[1], reset[0]}) ::close(fd);
}

// ---------------------------------------------------------------------------
// Echoes to 127.0.0.1 through each kind of socket, in a namespace of the
// test's that lets every group open datagram sockets.

class LoopbackEcho : public test::NetnsFixture<::testing::TestWithParam<Mode>> {
  protected:
    test::Topology topology() override {
        return {{{"loop", false, {}, {{"net/ipv4/ping_group_range", "0 2147483647"}}}}, {}};
    }
    std::string run(const std::function<std::string()>& fn) {
        return test::runInside(lab_.name("loop"), fn);
    }
    Outcome echo(const EchoRequest& r, platform::Waiter wait = platform::pollWaiter) {
        return decode(run(echoing(GetParam(), r, std::move(wait))));
    }
};

TEST_P(LoopbackEcho, EchoesWhatTheKernelTakesAndFailsTheRest) {
    struct Case {
        std::string name, payload;
        int ttl, status, timeoutMs = 500;
        platform::Waiter wait = platform::pollWaiter;
        bool stopped = false;
    };
    std::string binary;
    for (int i = 0; i < 256; ++i) binary.push_back(static_cast<char>(i));
    const platform::Waiter never = [](int, int timeoutMs) {
        ::poll(nullptr, 0, std::min(timeoutMs, 5));
        return false;
    };
    std::vector<Case> cases = {
        {"empty", "", -1, kSuccess},
        {"binary", binary, -1, kSuccess},
        {"ttl 255", "Norvik", 255, kSuccess},
        {"an empty waiter falls back to poll", "Norvik", -1, kSuccess, 500, platform::Waiter()},
        {"a waiter that never reports the answer", "Norvik", -1, kTimedOut, 30, never},
        {"a stop abandons the echo at once", "Norvik", -1, kStopped, 2400, never, true},
    };
    // 65507: 65535 less IP and ICMP headers, the largest the kernel takes.
    for (std::size_t size : {1u, 32u, 65507u, 65508u, 70000u})
        cases.push_back({std::to_string(size) + " bytes", payloadOf(size), -1,
                         size <= 65507 ? kSuccess : kGeneralFailure});
    for (int ttl : {0, 256})  // fail without sending
        cases.push_back({"ttl " + std::to_string(ttl), "Norvik", ttl, kGeneralFailure});
    // ICMPv6 to ::1: 65527 bytes fill the IPv6 payload length with the
    // ICMPv6 header; hop limits as time to live.
    const std::size_t v6From = cases.size();
    for (std::size_t size : {0u, 32u, 65527u, 65528u})
        cases.push_back({"::1 " + std::to_string(size) + " bytes", payloadOf(size), -1,
                         size <= 65527 ? kSuccess : kGeneralFailure});
    for (const auto& [ttl, status] : {std::pair{0, kGeneralFailure}, std::pair{1, kSuccess},
                                      std::pair{255, kSuccess}, std::pair{256, kGeneralFailure}})
        cases.push_back({"::1 hop limit " + std::to_string(ttl), "Norvik", ttl, status});
    const int kind =
        int(GetParam() == Mode::DatagramOnly ? IcmpSocketKind::Datagram : IcmpSocketKind::Raw);
    for (const Case& c : cases) {
        const bool v6 = static_cast<std::size_t>(&c - cases.data()) >= v6From;
        EchoRequest r = request(v6 ? "::1" : "127.0.0.1", c.payload, c.ttl, c.timeoutMs);
        if (c.stopped) r.stopped = [] { return true; };
        const Outcome o = echo(r, c.wait);
        const bool ok = c.status == kSuccess;
        EXPECT_EQ(o.status, c.status) << c.name;
        EXPECT_EQ(o.data, ok ? c.payload : "") << c.name;
        EXPECT_EQ(o.address, ok ? (v6 ? "::1" : "127.0.0.1") : "0.0.0.0") << c.name;
        EXPECT_TRUE(!ok || (o.ttl > 0 && o.kind == kind))
            << c.name << ": ttl " << o.ttl << ", socket kind " << o.kind;
    }
}

// One service sends many echoes through the caller's waiter and closes its
// socket after each. The kernel's receive stamp gives the round trip to the
// microsecond, also when the wait wakes late; the millisecond figure stays
// the wait's.
TEST_P(LoopbackEcho, ManyEchoesThroughTheCallersWaiterAndRoundTripsToTheMicrosecond) {
    const Mode mode = GetParam();
    EXPECT_EQ(
        run([mode] {
            LinuxEchoService service(mode);
            int calls = 0, fd = -1, firstTimeout = -1;
            const platform::Waiter counting = [&](int socket, int timeoutMs) {
                if (calls++ == 0) firstTimeout = timeoutMs;
                fd = socket;
                return platform::pollWaiter(socket, timeoutMs);
            };
            for (int i = 0; i < 20; ++i) {
                const std::string payload = "echo " + std::to_string(i);
                const EchoResult r = service.send(request("127.0.0.1", payload, -1, 800), counting);
                if (r.status != kSuccess || r.data != payload)
                    return payload + ": " + std::to_string(r.status);
            }
            errno = 0;
            const bool closed = ::fcntl(fd, F_GETFD) == -1 && errno == EBADF;
            const platform::Waiter late = [](int socket, int timeoutMs) {
                const bool ready = platform::pollWaiter(socket, timeoutMs);
                ::usleep(30000);
                return ready;
            };
            ::usleep(20000);  // the kernel switches stamping on in the background
            const EchoResult r = service.send(request("127.0.0.1", "Norvik"), late);
            std::ostringstream s;
            s << "calls>=20 " << (calls >= 20) << " fd>=0 " << (fd >= 0) << " first in (0,800] "
              << (firstTimeout > 0 && firstTimeout <= 800) << " closed after the send " << closed
              << " / status " << r.status << " us in (0,30000) "
              << (r.roundTripUs > 0 && r.roundTripUs < 30000) << " ms>=30 "
              << (r.roundTripMs >= 30);
            return s.str();
        }),
        "calls>=20 1 fd>=0 1 first in (0,800] 1 closed after the send 1 / status 0 us in (0,30000) "
        "1 ms>=30 1");
}

TEST(ReceiveStamp, MicrosecondsBetweenTwoTimes) {
    const struct {
        timespec sent, received;
        std::optional<std::uint32_t> us;
    } cases[] = {{{10, 999'999'000}, {11, 1'400}, 2},
                 {{10, 0}, {10, 499}, 0},
                 {{10, 0}, {12, 500'000'000}, 2'500'000},
                 {{10, 5}, {10, 4}, std::nullopt}};
    for (const auto& c : cases)
        EXPECT_EQ(platform::microsecondsBetween(c.sent, c.received), c.us) << c.received.tv_nsec;
}

INSTANTIATE_TEST_SUITE_P(Kinds, LoopbackEcho, ::testing::Values(Mode::DatagramOnly, Mode::RawOnly),
                         [](const auto& info) { return modeName(info.param); });

// Across the routed lab of tests/support/Netns.h. The routers' ICMP errors
// skip the per-host rate limit, so one test can meet several in a row;
// errors for missing or refused routes still have a budget of five in a
// burst.

constexpr char kR1[] = "192.0.2.1";
constexpr char kR2[] = "198.51.100.2";
constexpr char kDest[] = "203.0.113.2";
constexpr char kCrafter[] = "203.0.113.34";
constexpr char kNobody[] = "0.0.0.0";  // no reply address: nothing answered
constexpr char kR1v6[] = "2001:db8:1::1";
constexpr char kR2v6[] = "2001:db8:100:1::2";
constexpr char kDestV6[] = "2001:db8:3::2";
using Answer = test::EchoAnswer;

using EchoTopology = test::NetnsFixture<::testing::TestWithParam<Mode>>;

TEST_P(EchoTopology, RoutersAndRoutesDecideTheAnswer) {
    struct Case {
        const char* name;
        const char* to;
        int ttl, status;
        const char* answeredBy;
        std::size_t size = 32;
        const char* from = "sender";
        int timeoutMs = 1000;
    };
    const Case cases[] = {
        {"ttl 1 expires at r1", kDest, 1, kTtlExpiredTransit, kR1},
        {"ttl 3 reaches the destination", kDest, 3, kSuccess, kDest},
        {"4000 bytes over 1500-byte links, in fragments", kDest, -1, kSuccess, kDest, 4000},
        {"no route at r1", "203.0.113.200", -1, kDestNetUnreachable, kR1},
        {"unreachable route at r2", "203.0.113.70", -1, kDestHostUnreachable, kR2},
        {"prohibit route at r2", "203.0.113.85", -1, kDestHostUnreachable, kR2},
        {"blackhole route at r2", "203.0.113.100", -1, kTimedOut, kNobody},
        {"unreachable route at the sender", "203.0.113.250", -1, kDestHostUnreachable, kNobody},
        {"no routes at all", kDest, -1, kDestNetUnreachable, kNobody, 32, "island"},
        // The same over ICMPv6, the hop limit for the time to live.
        {"v6 hop limit 1 expires at r1", kDestV6, 1, kTtlExpiredTransit, kR1v6},
        {"v6 hop limit 3 reaches the destination", kDestV6, 3, kSuccess, kDestV6},
        {"v6 4000 bytes, fragmented by the sender", kDestV6, -1, kSuccess, kDestV6, 4000},
        {"v6 no route at r1", "2001:db8:9::1", -1, kDestNetUnreachable, kR1v6},
        {"v6 unreachable route at r2", "2001:db8:3:4::1", -1, kDestNetUnreachable, kR2v6},
        {"v6 prohibit route at r2", "2001:db8:3:5::1", -1, kDestProtUnreachable, kR2v6},
        // r2's neighbour discovery gives up after three seconds.
        {"v6 no such neighbour at r2", "2001:db8:3::99", -1, kDestHostUnreachable, kR2v6, 32,
         "sender", 4000},
        {"v6 blackhole route at r2", "2001:db8:3:6::1", -1, kTimedOut, kNobody},
        {"v6 no routes at all", kDestV6, -1, kDestNetUnreachable, kNobody, 32, "island"},
    };
    for (const Case& c : cases) {
        const std::string payload = payloadOf(c.size);
        const int timeoutMs = c.status == kTimedOut ? 300 : c.timeoutMs;
        const Outcome o =
            echoIn(lab_.name(c.from), GetParam(), request(c.to, payload, c.ttl, timeoutMs));
        EXPECT_EQ(o.status, c.status) << c.name;
        EXPECT_EQ(o.address, c.answeredBy) << c.name;
        EXPECT_EQ(o.data, c.status == kSuccess ? payload : "") << c.name;
        // A reply leaves the destination with 64, less the routers' hops.
        EXPECT_TRUE(c.status != kSuccess || o.ttl == 62) << c.name << ": ttl " << o.ttl;
    }
}

TEST_P(EchoTopology, AutomaticPrefersDatagramThenRawAndAddressZeroIsThisHost) {
    using enum IcmpSocketKind;
    const struct {
        const char *name, *netns;
        Mode mode;
        const char* to;
        IcmpSocketKind kind;
    } cases[] = {
        {"group allowed: datagram", "sender", Mode::Automatic, "127.0.0.1", Datagram},
        {"group refused: raw for root", "r1", Mode::Automatic, "127.0.0.1", Raw},
        // Linux takes 0.0.0.0 as this host; inside the namespace, its loopback.
        {"0.0.0.0", "sender", GetParam(), "0.0.0.0", GetParam() == Mode::RawOnly ? Raw : Datagram},
    };
    for (const auto& c : cases) {
        const Outcome o = echoIn(lab_.name(c.netns), c.mode, request(c.to, payloadOf(32)));
        EXPECT_EQ(o.status, kSuccess) << c.name;
        EXPECT_EQ(o.data, payloadOf(32)) << c.name;
        EXPECT_EQ(o.kind, int(c.kind)) << c.name;
        EXPECT_TRUE(o.reasonless) << c.name;
    }
    // Where datagram sockets are refused, the refusal is met once: later
    // echoes open a raw socket straight away.
    EXPECT_EQ(test::runInside(lab_.name("r1"),
                              [] {
                                  LinuxEchoService service(Mode::Automatic);
                                  for (int i = 0; i < 3; ++i)
                                      service.send(request("127.0.0.1", "Norvik"),
                                                   platform::pollWaiter);
                                  const bool reasonless = service.unavailableReason().empty();
                                  return std::to_string(int(service.lastSocketKind())) + " " +
                                         std::to_string(reasonless) + " " +
                                         std::to_string(service.socketProbes());
                              }),
              std::to_string(int(IcmpSocketKind::Raw)) + " 1 1");
}

TEST_P(EchoTopology, HandMadeAnswersMapToTheirStatusOrAreIgnored) {
    const bool raw = GetParam() == Mode::RawOnly;
    struct Case {
        std::string name;
        Answer answer;
        int status;
    };
    std::vector<Case> cases = {
        // The routers' own errors (3/0, 3/1, 3/13, 11/0) come above.
        {"3/5", {3, 5}, kBadRoute},
        {"12/0", {12, 0}, kParamProblem},
        {"4/0", {4, 0}, kSourceQuench},
        // Fragmentation needed: our requests go without the don't-fragment
        // flag, and the kernel keeps it from a datagram socket that did not
        // ask for path MTU discovery. Reassembly time exceeded: the kernel
        // keeps it from every socket but a raw one.
        {"3/4", {3, 4}, raw ? kPacketTooBig : kTimedOut},
        {"11/1", {11, 1}, raw ? kTtlExpiredReassembly : kTimedOut},
        // A reply whose payload is not ours is no success.
        {"altered payload", {0, 0, Answer::AlteredPayload}, kTimedOut},
        {"shortened payload", {0, 0, Answer::ShortPayload}, kTimedOut},
        {"answers to others, then the reply", {0, 0, Answer::NoiseThenReply}, kSuccess},
        {"time exceeded quoting another destination", {11, 0, Answer::StrayError}, kTimedOut},
        // The receiver is busy while they come: only ours may be queued.
        {"a burst of others' replies, then ours", {0, 0, Answer::Burst}, kSuccess},
    };
    const platform::Waiter busy = [](int fd, int timeoutMs) {
        ::poll(nullptr, 0, std::min(timeoutMs, 600));
        return platform::pollWaiter(fd, 0);
    };
    const std::string payload = payloadOf(64);
    for (const Case& c : cases) {
        const Answer answer = c.answer;
        test::NetnsChild crafter(lab_.name("crafter"),
                                 [answer] { return test::answerEchoes(answer); });
        ASSERT_TRUE(crafter.waitReady(10000)) << c.name << ": " << crafter.why();
        const bool burst = c.answer.kind == Answer::Burst;
        const int timeoutMs = c.status == kTimedOut ? 300 : burst ? 2000 : 1000;
        const Outcome o = decode(test::runInside(
            lab_.name("sender"), echoing(GetParam(), request(kCrafter, payload, -1, timeoutMs),
                                         burst ? busy : platform::pollWaiter)));
        const auto said = crafter.result(15000);
        EXPECT_EQ(said.value_or(crafter.why()).rfind("sent ", 0), 0u)
            << c.name << ": " << said.value_or(crafter.why());
        EXPECT_EQ(o.status, c.status) << c.name;
        EXPECT_EQ(o.address, c.status == kTimedOut ? kNobody : kCrafter) << c.name;
        EXPECT_EQ(o.data, c.status == kSuccess ? payload : "") << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, EchoTopology, ::testing::Values(Mode::DatagramOnly, Mode::RawOnly),
                         [](const auto& info) { return modeName(info.param); });

}  // namespace
}  // namespace norvik
