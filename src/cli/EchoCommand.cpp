// norvik-cli echo [-4|-6] [-s SIZE] [-t TTL] ADDRESS: one ICMP echo, the way
// a ping sends it, with the time to live (IPv6: hop limit) open to choose. Prints the status text,
// then the round-trip time, the size of the echoed data and the replying
// address, one a line.
#include <charconv>
#include <optional>
#include <ostream>
#include <string>

#include "cli/ArgParser.h"
#include "net/HostToIP.h"
#include "net/PingModule.h"
#include "platform/LinuxEchoService.h"
#include "platform/Resolver.h"

namespace norvik::cli {

namespace {

const char kUsage[] =
    "usage: norvik-cli echo [-4|-6] [-s SIZE] [-t TTL] ADDRESS\n"
    "  -4, -6   take only an IPv4 or only an IPv6 ADDRESS\n"
    "  -s SIZE  payload characters, 0 to 65535 (default 32)\n"
    "  -t TTL   time to live, 1 to 255 (default: the system's)\n";

// A whole decimal number within [low, high], nothing else.
std::optional<int> number(const std::string& text, int low, int high) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high)
        return std::nullopt;
    return value;
}

std::string payloadOf(int size) {
    static const char kLetters[] = "Norvik";
    std::string payload(static_cast<std::size_t>(size), ' ');
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = kLetters[i % 6];
    return payload;
}

}  // namespace

int runEcho(const Args& args, std::ostream& out, std::ostream& err) {
    int size = 32;
    int ttl = -1;
    std::optional<std::string> address;
    platform::FamilyRule rule = platform::FamilyRule::Ipv4First;
    // A whole decimal number within [low, high] into `into`.
    const auto numberOption = [](int& into, int low, int high, const char* refusal) {
        return [&into, low, high, refusal](const std::string* text) -> ArgParser::Verdict {
            const auto value = text != nullptr ? number(*text, low, high) : std::nullopt;
            if (!value) return std::string(refusal);
            into = *value;
            return std::nullopt;
        };
    };
    if (const int bad =
            ArgParser(kUsage)
                .family(rule)
                .option("-s", numberOption(size, 0, 65535,
                                           "norvik-cli echo: -s needs a size from 0 to 65535"))
                .option("-t",
                        numberOption(ttl, 1, 255,
                                     "norvik-cli echo: -t needs a time to live from 1 to 255"))
                .word(address)
                .parse(args, err))
        return bad;

    const auto parsed = net::AddressOfText(*address);
    if (!parsed || !platform::allows(rule, parsed->family())) {
        out << net::EchoStatusText(-1) << "\n";
        return 1;
    }

    platform::EchoRequest request;
    request.address = *parsed;
    request.payload = payloadOf(size);
    request.ttl = ttl;
    request.timeoutMs = net::kEchoTimeoutMs;
    platform::LinuxEchoService service;
    const platform::EchoResult result = service.send(request, platform::pollWaiter);

    out << net::EchoStatusText(result.status) << "\n"
        << result.roundTripMs << " ms\n"
        << result.data.size()
        << " bytes\n"
        // No one answered: the unspecified address of the request's family.
        << (result.replyAddress.isUnspecified() && parsed->isV6() ? std::string("::")
                                                                  : result.replyAddress.toString())
        << "\n";
    if (service.lastSocketKind() == platform::IcmpSocketKind::None) {
        const std::string why = service.unavailableReason();
        if (!why.empty()) err << "norvik-cli: " << why << "\n";
    }
    return result.status == platform::status::kSuccess ? 0 : 1;
}

}  // namespace norvik::cli
