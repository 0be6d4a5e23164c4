#pragma once

#include <QString>
#include <QUrl>
#include <array>
#include <cstdint>
#include <optional>

#include "rdap/Bootstrap.h"

namespace norvik::rdap {

// What the user asked for, ready to be sent (RFC 9082).
struct Query {
    enum class Kind { Domain, Ip, Autnum };
    Kind kind = Kind::Domain;
    QString typed;  // as the user typed it, trimmed
    QString path;   // "domain/xn--bcher-kva.example", "ip/192.0.2.0/24", "autnum/64496"
    Registry registry = Registry::Dns;
    std::string ace;  // a domain's ASCII form
    std::uint32_t v4 = 0;
    std::array<std::uint8_t, 16> v6{};
    std::uint32_t asn = 0;
};

// A domain (IDN as typed, sent as ACE), an IPv4 or IPv6 address, a CIDR
// prefix, or an AS number ("AS64496" or "64496"). nullopt for anything else.
std::optional<Query> ParseQuery(const QString& typed);

// The query's URL under a base URL (a "/" is added to the base when missing).
QUrl QueryUrl(const QString& base, const Query& q);

// The base URL that the bootstrap names for the query.
std::optional<std::string> MatchQuery(const Bootstrap& b, const Query& q);

}  // namespace norvik::rdap
