#pragma once

// RDAP answers written from RFC 9083's object classes.
namespace norvik::test {

inline constexpr char kDomain[] = R"({
  "rdapConformance": ["rdap_level_0"],
  "objectClassName": "domain", "handle": "D-1", "ldhName": "xn--bcher-kva.example",
  "unicodeName": "b\u00fccher.example",
  "status": ["active", "client transfer prohibited"],
  "events": [
    {"eventAction": "registration", "eventDate": "1995-08-14T04:00:00Z"},
    {"eventAction": "expiration", "eventDate": "2027-08-13T04:00:00.000Z"},
    {"eventAction": "last changed", "eventDate": "2026-08-14T01:01:38+02:00"}],
  "entities": [
    {"objectClassName": "entity", "handle": "292", "roles": ["registrar"],
     "publicIds": [{"type": "IANA Registrar ID", "identifier": "292"}],
     "vcardArray": ["vcard", [["version", {}, "text", "4.0"], ["fn", {}, "text", "Example Registrar, Inc."]]],
     "entities": [{"objectClassName": "entity", "roles": ["abuse"],
       "vcardArray": ["vcard", [["version", {}, "text", "4.0"], ["fn", {}, "text", "Abuse desk"],
         ["tel", {"type": "voice"}, "uri", "tel:+1.5555550100"],
         ["email", {}, "text", "abuse@registrar.example"]]]}]},
    {"objectClassName": "entity", "roles": ["registrant"],
     "vcardArray": ["vcard", [["fn", {}, "text", "Someone"]]]}],
  "nameservers": [{"objectClassName": "nameserver", "ldhName": "ns1.example.net"},
                  {"objectClassName": "nameserver", "ldhName": "ns2.example.net"}],
  "secureDNS": {"delegationSigned": false},
  "port43": "whois.example", "unknownMember": {"secret": "NEVER SHOWN"},
  "notices": [{"title": "Terms of Use", "description": ["Service subject to terms.", "Second line."]}]
})";

inline constexpr char kDomainText[] =
    "Domain: xn--bcher-kva.example\n"
    "Unicode name: b\u00fccher.example\n"
    "Status: active, client transfer prohibited\n"
    "Registered: 1995-08-14\n"
    "Expires: 2027-08-13\n"
    "Last changed: 2026-08-13\n"
    "Registrar: Example Registrar, Inc.\n"
    "Registrar IANA ID: 292\n"
    "Registrar abuse e-mail: abuse@registrar.example\n"
    "Registrar abuse phone: +1.5555550100\n"
    "Name server: ns1.example.net\n"
    "Name server: ns2.example.net\n"
    "DNSSEC: unsigned\n"
    "Notice: Terms of Use\n"
    "  Service subject to terms.\n"
    "  Second line.\n";

inline constexpr char kNetwork[] = R"({
  "objectClassName": "ip network", "handle": "NET-192-0-2-0-1", "ipVersion": "v4",
  "startAddress": "192.0.2.0", "endAddress": "192.0.2.255", "name": "TEST-NET-1",
  "type": "ASSIGNMENT", "country": "ZZ", "parentHandle": "NET-192-0-0-0-0",
  "cidr0_cidrs": [{"v4prefix": "192.0.2.0", "length": 24}],
  "entities": [{"roles": ["registrant"], "vcardArray": ["vcard", [["fn", {}, "text", "Example Org"]]],
    "entities": [{"roles": ["abuse"], "vcardArray": ["vcard", [["email", {}, "text", "abuse@org.example"]]]}]}]
})";

inline constexpr char kNetworkText[] =
    "Range: 192.0.2.0 - 192.0.2.255\n"
    "CIDR: 192.0.2.0/24\n"
    "Name: TEST-NET-1\n"
    "Type: ASSIGNMENT\n"
    "Country: ZZ\n"
    "Organisation: Example Org\n"
    "Abuse contact: abuse@org.example\n";

inline constexpr char kAutnum[] = R"({"objectClassName": "autnum", "handle": "AS64496",
  "startAutnum": 64496, "endAutnum": 64511, "name": "AS-DOC", "type": "DIRECT ALLOCATION",
  "country": "ZZ"})";

inline constexpr char kAutnumText[] = "Range: AS64496 - AS64511\nName: AS-DOC\nCountry: ZZ\n";

inline constexpr char kError[] =
    R"({"errorCode": 500, "title": "Internal error", "description": ["The database", "is down."]})";

// A thin registry: the registrar's own record is a related link.
inline QByteArray ThinAnswer(const QByteArray& registrarUrl) {
    return R"({"objectClassName": "domain", "ldhName": "EXAMPLE.TEST", "entities": [
      {"roles": ["registrar"], "vcardArray": ["vcard", [["fn", {}, "text", "R"]]],
       "links": [{"rel": "related", "type": "application/rdap+json", "href": ")" +
           registrarUrl + R"("}]}]})";
}

}  // namespace norvik::test
