#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// RDAP bootstrap registries (RFC 9224): which service answers for a domain's
// top-level domain, an address block or a range of AS numbers. Parsing and
// matching are plain functions of their input.
namespace norvik::rdap {

// The four registry files and their names at the registry and in the cache.
enum class Registry { Dns, Ipv4, Ipv6, Asn };
const char* RegistryFileName(Registry which);  // "dns.json", "ipv4.json", ...

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// One parsed registry file. Each entry keeps the first https base URL of its
// service (ending in "/"); services without one are skipped.
struct Bootstrap {
    Registry registry = Registry::Dns;
    std::unordered_map<std::string, std::string, StringHash, std::equal_to<>> domains;
    struct V4 {
        std::uint32_t net;
        int length;
        std::string url;
    };
    struct V6 {
        std::array<std::uint8_t, 16> net;
        int length;
        std::string url;
    };
    struct As {
        std::uint32_t first;
        std::uint32_t last;
        std::string url;
    };
    std::vector<V4> v4;  // most specific first
    std::vector<V6> v6;  // most specific first
    std::vector<As> as;
    std::string publication;

    bool empty() const { return domains.empty() && v4.empty() && v6.empty() && as.empty(); }
};

// The file's services; nullopt when it is not JSON of the registry's shape.
// Entries of the wrong shape and non-https URLs are skipped.
std::optional<Bootstrap> ParseBootstrap(Registry which, const QByteArray& json);

// The base URL for a domain in ASCII (ACE) form, by its longest listed
// suffix of whole labels ("co.uk" before "uk"); letter case does not count.
std::optional<std::string> MatchDomain(const Bootstrap& b, std::string_view domain);
// The base URL of the most specific block holding the address (or prefix).
std::optional<std::string> MatchV4(const Bootstrap& b, std::uint32_t address);
std::optional<std::string> MatchV6(const Bootstrap& b, const std::array<std::uint8_t, 16>& address);
std::optional<std::string> MatchAs(const Bootstrap& b, std::uint32_t number);

// The table shipped with the program for when no registry file can be had.
QByteArray BuiltinBootstrap(Registry which);

}  // namespace norvik::rdap
