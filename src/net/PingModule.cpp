#include "net/PingModule.h"

#include <map>

#include "net/HostToIP.h"
#include "platform/Resolver.h"

namespace norvik::net {

std::int32_t SendEcho(platform::EchoService& service, const std::string& addressText,
                      const std::string& payload, EchoReply& reply, const platform::Waiter& wait,
                      std::function<bool()> stopped) {
    const auto address = AddressOfText(addressText);
    if (!address) return -1;

    platform::EchoRequest request;
    request.address = *address;
    request.payload = payload;
    request.timeoutMs = kEchoTimeoutMs;
    request.stopped = std::move(stopped);
    const platform::EchoResult result = service.send(request, wait);

    reply.status = result.status;
    if ((result.status == platform::status::kGeneralFailure &&
         result.replyAddress.isUnspecified()) ||
        result.status == platform::status::kStopped) {
        // Nothing went out: only the status tells; the rest of the record
        // keeps what the last echo left there.
        return reply.status;
    }
    reply.address = result.replyAddress.v4NetworkOrder();
    reply.from = result.replyAddress;
    reply.roundTripTime = result.roundTripMs;
    reply.roundTripUs = result.roundTripUs;
    reply.data = result.data;
    reply.dataSize =
        static_cast<std::uint16_t>(result.data.size() > 0xFFFF ? 0xFFFF : result.data.size());
    reply.reserved = 0;
    reply.ttl = result.ttl;
    reply.tos = result.tos;
    // Where the echoed bytes lie, as a number (its low 32 bits).
    reply.dataPointer =
        static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(reply.data.data()));
    return reply.status;
}

std::string StatusTableText(std::int32_t status) {
    static const std::map<std::int32_t, const char*> table = {
        {-1, "inet_addr: bad IP format"},
        {0, "ip success"},
        {500, "ping timeout"},
        {11001, "ip buf too_small"},
        {11002, "ip dest net unreachable"},
        {11003, "ip dest host unreachable"},
        {11004, "ip dest prot unreachable"},
        {11005, "ip dest port unreachable"},
        {11006, "ip no resources"},
        {11007, "ip bad option"},
        {11008, "ip hw_error"},
        {11009, "ip packet too_big"},
        {11010, "ip req timed out"},
        {11011, "ip bad req"},
        {11012, "ip bad route"},
        {11013, "ip ttl expired transit"},
        {11014, "ip ttl expired reassem"},
        {11015, "ip param_problem"},
        {11016, "ip source quench"},
        {11017, "ip option too_big"},
        {11018, "ip bad destination"},
        {11019, "ip addr deleted"},
        {11020, "ip \x73pec mtu change"},  // \x73: s
        {11021, "ip mtu_change"},
        {11022, "ip unload"},
        {11023, "ip addr added"},
        {11050, "ip general failure"},
        {11255, "ip pending"},
    };
    auto it = table.find(status);
    return it == table.end() ? "unknown  msg returned" : it->second;
}

std::string EchoStatusText(std::int32_t status) {
    return std::to_string(status) + "   [ " + StatusTableText(status) + " ]";
}

}  // namespace norvik::net
