// The trace engine over a memory view, with echoes from a script: time
// texts, packet sizes, names, and the endings and destinations the network
// tests cannot make quickly.
#include <gtest/gtest.h>

#include <map>

#include "../support/DecimalComma.h"
#include "../support/LoopbackResolver.h"
#include "../support/ScriptedEchoService.h"
#include "../support/ScriptedMessageBox.h"
#include "net/HostToIP.h"
#include "platform/Resolver.h"
#include "trace/MemoryTraceView.h"
#include "trace/Tracer.h"

namespace norvik::trace {
namespace {

using platform::inetAddr;
using platform::status::kSuccess;

// Reverse names from a table, counting the lookups.
class NamingResolver : public test::LoopbackResolver {
  public:
    std::map<std::string, std::string> names;  // dotted address -> name
    int reverseLookups = 0;
    std::optional<std::string> lookupAddress(const platform::IpAddress& a) override {
        ++reverseLookups;
        const auto it = names.find(a.toString());
        if (it == names.end()) return std::nullopt;
        return it->second;
    }
};

class TracerTest : public ::testing::Test {
  protected:
    Ending run(const std::string& destination) {
        view.destination = destination;
        Tracer tracer(view, hosts, resolver, echo, boxes);
        return tracer.trace();
    }

    test::ScriptedMessageBox boxes;
    NamingResolver resolver;
    net::HostToIP hosts{resolver, boxes};
    test::ScriptedEchoService echo;
    MemoryTraceView view;

    void checkPacketSizes();
};

TEST_F(TracerTest, WorkedExampleLineForLine) {
    echo.answer("198.51.100.1", 3);
    echo.answer("198.51.100.9", 15, kSuccess);
    std::vector<std::string> during;
    echo.onSend = [&](const platform::EchoRequest&, const platform::Waiter&) {
        during.push_back(view.status + "|" + (view.traceEnabled ? "on" : "off") + "|" +
                         (view.inputBlocked ? "blocked" : "open"));
    };
    EXPECT_EQ(run("198.51.100.9"), Ending::Complete);
    EXPECT_EQ(view.results,
              "Tracing Route to 198.51.100.9:\r\n"
              "\r\n"
              "Hop #\t1\t<10 ms\t198.51.100.1\r\n"
              "Hop #\t2\t15 ms\t198.51.100.9\r\n"
              "\r\n"
              "Trace Route Complete");
    EXPECT_EQ(view.status, "Trace Route Complete");
    EXPECT_EQ(view.destinationField, "198.51.100.9");
    EXPECT_TRUE(view.traceEnabled);
    EXPECT_FALSE(view.inputBlocked);
    EXPECT_EQ(view.items, std::vector<std::string>{"198.51.100.9"});
    EXPECT_EQ(during, std::vector<std::string>(2, "Tracing...|off|blocked"));
    // Events go through after every hop and every line.
    EXPECT_EQ(view.eventsLetThrough, 2 + 2);
    ASSERT_EQ(echo.requests.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        const auto& r = echo.requests[std::size_t(i)];
        EXPECT_EQ(r.ttl, i + 1);
        EXPECT_EQ(r.timeoutMs, 2400);
        EXPECT_EQ(r.address.toString(), "198.51.100.9");
        EXPECT_EQ(r.payload, std::string(32, 'a'));
    }
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(TracerTest, TimeTextBoundaries) {
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0, "<10 ms"},     {9, "<10 ms"}, {10, "10 ms"},
        {1200, "1200 ms"}, {1201, "*"},   {0xFFFFFFFFu, "<10 ms"},  // read signed: -1
    };
    for (const auto& [ms, shown] : cases) {
        echo.answer("127.0.0.1", ms, kSuccess);
        run("127.0.0.1");
        EXPECT_EQ(view.results, std::string("Tracing Route to 127.0.0.1:\r\n\r\nHop #\t1\t") +
                                    shown + "\t127.0.0.1\r\n\r\nTrace Route Complete")
            << ms;
    }
}

TEST_F(TracerTest, PacketSizeIsCorrectedIntoRangeAndRoundedHalfToEven) { checkPacketSizes(); }

// The user's decimal comma changes nothing: "64.5" is still 64 bytes.
TEST_F(TracerTest, PacketSizeUnderADecimalComma) {
    NORVIK_UNDER_DECIMAL_COMMA();
    checkPacketSizes();
}

void TracerTest::checkPacketSizes() {
    const struct {
        const char *typed, *settled;
        std::size_t bytes;
    } cases[] = {
        {"", "32", 32},       {"abc", "32", 32},        {"-5", "32", 32},      {"20", "32", 32},
        {"1e400", "32", 32},  {"200", "128", 128},      {"128.5", "128", 128}, {"64.5", "64.5", 64},
        {"65.5", "65.5", 66}, {"  40  ", "  40  ", 40}, {"1e2", "1e2", 100},   {"32", "32", 32},
        {"128", "128", 128},
    };
    for (const auto& c : cases) {
        view.packetSize = c.typed;
        echo.requests.clear();
        echo.answer("127.0.0.1", 1, kSuccess);
        EXPECT_EQ(run("127.0.0.1"), Ending::Complete) << c.typed;
        EXPECT_EQ(view.packetSize, c.settled) << '"' << c.typed << '"';
        ASSERT_EQ(echo.requests.size(), 1u);
        EXPECT_EQ(echo.requests[0].payload, std::string(c.bytes, 'a')) << '"' << c.typed << '"';
    }
}

TEST_F(TracerTest, NamesAreLookedUpOncePerAddressWithinOneTrace) {
    resolver.names = {{"198.51.100.1", "edge.test"}, {"198.51.100.9", "far.test"}};
    view.names = true;
    const auto trace = [&] {
        echo.answer("198.51.100.1", 1);
        echo.answer("198.51.100.2", 1);
        echo.answer("198.51.100.1", 1);
        echo.answer("198.51.100.9", 1, kSuccess);
        return run("198.51.100.9");
    };
    EXPECT_EQ(trace(), Ending::Complete);
    EXPECT_EQ(view.results,
              "Tracing Route to 198.51.100.9:\r\n\r\n"
              "Hop #\t1\t<10 ms\t198.51.100.1\tedge.test\r\n"
              "Hop #\t2\t<10 ms\t198.51.100.2\t\r\n"
              "Hop #\t3\t<10 ms\t198.51.100.1\tedge.test\r\n"
              "Hop #\t4\t<10 ms\t198.51.100.9\tfar.test\r\n\r\nTrace Route Complete");
    EXPECT_EQ(resolver.reverseLookups, 3);
    trace();  // a new trace asks again
    EXPECT_EQ(resolver.reverseLookups, 6);
}

TEST_F(TracerTest, DestinationWithoutAnAddressSendsNothing) {
    for (const std::string& destination :
         {std::string("no.such.host.test"), std::string("256.1.1.1"), std::string(300, 'x'),
          std::string("255.255.255.255"), std::string(" ")}) {
        for (bool names : {false, true}) {
            view.names = names;
            EXPECT_EQ(run(destination), Ending::TimedOut);
            EXPECT_EQ(view.results, "Tracing Route to " + destination +
                                        ":\r\n\r\nHop #\t1\t<10 ms\t" + (names ? "\t" : "") +
                                        "\r\n\r\n" + kTimeoutText)
                << destination;
            EXPECT_EQ(view.status, "Trace Route Timed Out");
            EXPECT_EQ(view.destinationField, "");
        }
    }
    EXPECT_TRUE(echo.requests.empty());
    EXPECT_EQ(resolver.reverseLookups, 0);
    EXPECT_EQ(view.items.size(), 5u);  // each joined the list
}

TEST_F(TracerTest, ShortDottedFormIsTracedAsTheResolverReadsIt) {
    EXPECT_EQ(run("1.2.3"), Ending::TimedOut);  // the script answers nothing
    ASSERT_EQ(echo.requests.size(), 1u);
    EXPECT_EQ(echo.requests[0].address.v4NetworkOrder(), inetAddr("1.2.0.3"));
    EXPECT_EQ(view.destinationField, "1.2.0.3");
    EXPECT_EQ(view.results, "Tracing Route to 1.2.3:\r\n\r\nHop #\t1\t<10 ms\t\r\n\r\n" +
                                std::string(kTimeoutText));
}

TEST_F(TracerTest, TwoHundredFiftyFiveHopsWithoutAnEndingLeaveTracing) {
    for (int i = 1; i <= 255; ++i)
        echo.answer(("203.0.113." + std::to_string(i % 2 + 1)).c_str(), std::uint32_t(i));
    EXPECT_EQ(run("198.51.100.9"), Ending::HopsExhausted);
    EXPECT_EQ(echo.requests.size(), 255u);
    EXPECT_EQ(echo.requests.back().ttl, 255);
    EXPECT_EQ(view.status, "Tracing...");
    EXPECT_TRUE(view.results.ends_with("Hop #\t255\t255 ms\t203.0.113.2\r\n"));
    EXPECT_TRUE(view.traceEnabled);
}

TEST_F(TracerTest, StartFailuresAndEmptyDestinationShowTheirBoxes) {
    echo.reason = "no ICMP socket";
    view.results = "before";
    EXPECT_EQ(run("127.0.0.1"), Ending::StartFailed);
    EXPECT_EQ(view.results, "no ICMP socket");
    EXPECT_EQ(view.status, "Trace Route Failed");
    EXPECT_TRUE(echo.requests.empty());

    EXPECT_EQ(run(""), Ending::NotRun);
    ASSERT_EQ(boxes.shown.size(), 2u);
    const auto& icmp = boxes.shown[0];
    const auto& empty = boxes.shown[1];
    EXPECT_EQ(std::tie(icmp.text, icmp.caption, icmp.icon),
              std::make_tuple("Unable to Open an Icmp File Handle", "Norvik - Tracer Error",
                              platform::Icon::None));
    EXPECT_EQ(std::tie(empty.text, empty.caption, empty.icon),
              std::make_tuple("Where exactly did you want to trace to?!", "Norvik",
                              platform::Icon::Critical));
    EXPECT_EQ(view.items, std::vector<std::string>{"127.0.0.1"});
}

}  // namespace
}  // namespace norvik::trace
