// The built-in bootstrap table, used only when no registry file can be
// fetched and none is cached.
//
// Compiled by hand on 2026-12-06 from the Norvik developers' own knowledge of
// the published registry, without downloading anything; it holds only
// entries known for certain: the largest generic top-level domains and the
// five regional internet registries. An address or AS number that none of
// the listed blocks holds goes to ARIN, whose service redirects a query for
// another region's resource to the registry that holds it. A fetched or
// cached registry file always wins over this table.
#include "rdap/Bootstrap.h"

namespace norvik::rdap {

namespace {

const char kDns[] = R"({
  "description": "Norvik built-in table, 2026-12-06",
  "publication": "2026-12-06T00:00:00Z",
  "services": [
    [["com"], ["https://rdap.verisign.com/com/v1/"]],
    [["net"], ["https://rdap.verisign.com/net/v1/"]],
    [["org"], ["https://rdap.publicinterestregistry.org/rdap/"]],
    [["info"], ["https://rdap.identitydigital.services/rdap/"]]
  ]
})";

const char kIpv4[] = R"({
  "description": "Norvik built-in table, 2026-12-06",
  "publication": "2026-12-06T00:00:00Z",
  "services": [
    [["193.0.0.0/8"], ["https://rdap.db.ripe.net/"]],
    [["202.0.0.0/8"], ["https://rdap.apnic.net/"]],
    [["200.0.0.0/8"], ["https://rdap.lacnic.net/rdap/"]],
    [["196.0.0.0/8"], ["https://rdap.afrinic.net/rdap/"]],
    [["0.0.0.0/0"], ["https://rdap.arin.net/registry/"]]
  ]
})";

const char kIpv6[] = R"({
  "description": "Norvik built-in table, 2026-12-06",
  "publication": "2026-12-06T00:00:00Z",
  "services": [
    [["2001:600::/23"], ["https://rdap.db.ripe.net/"]],
    [["2001:200::/23"], ["https://rdap.apnic.net/"]],
    [["2001:1200::/23"], ["https://rdap.lacnic.net/rdap/"]],
    [["2001:4200::/23"], ["https://rdap.afrinic.net/rdap/"]],
    [["::/0"], ["https://rdap.arin.net/registry/"]]
  ]
})";

const char kAsn[] = R"({
  "description": "Norvik built-in table, 2026-12-06",
  "publication": "2026-12-06T00:00:00Z",
  "services": [
    [["0-4294967295"], ["https://rdap.arin.net/registry/"]]
  ]
})";

}  // namespace

QByteArray BuiltinBootstrap(Registry which) {
    switch (which) {
        case Registry::Dns:
            return QByteArray(kDns);
        case Registry::Ipv4:
            return QByteArray(kIpv4);
        case Registry::Ipv6:
            return QByteArray(kIpv6);
        case Registry::Asn:
            return QByteArray(kAsn);
    }
    return {};
}

}  // namespace norvik::rdap
