#include "rdap/Bootstrap.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <algorithm>

#include "platform/Text.h"

namespace norvik::rdap {

namespace {

// The first URL of the list that is https and well formed, ending in "/".
std::optional<std::string> firstHttps(const QJsonArray& urls) {
    for (const QJsonValue& v : urls) {
        const QUrl url(v.toString(), QUrl::StrictMode);
        if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty())
            continue;
        std::string s = url.toString(QUrl::FullyEncoded).toStdString();
        if (s.back() != '/') s += '/';
        return s;
    }
    return std::nullopt;
}

std::optional<std::pair<QHostAddress, int>> prefix(const QString& text, bool v6) {
    const auto p = QHostAddress::parseSubnet(text);
    if (p.second < 0) return std::nullopt;
    const bool isV6 = p.first.protocol() == QAbstractSocket::IPv6Protocol;
    // An IPv4-mapped IPv6 prefix can come back as IPv4 with its IPv6
    // length: a length beyond the family's bits is refused.
    if (isV6 != v6 || p.second > (v6 ? 128 : 32)) return std::nullopt;
    return p;
}

std::optional<std::uint32_t> asNumber(std::string_view s) {
    if (s.empty() || s.size() > 10) return std::nullopt;
    std::uint64_t n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    if (n > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<std::uint32_t>(n);
}

bool inV6(const std::array<std::uint8_t, 16>& a, const std::array<std::uint8_t, 16>& net, int len) {
    int i = 0;
    for (; len >= 8; len -= 8, ++i) {
        if (a[i] != net[i]) return false;
    }
    if (len == 0) return true;
    const auto mask = static_cast<std::uint8_t>(0xFF << (8 - len));
    return (a[i] & mask) == (net[i] & mask);
}

}  // namespace

const char* RegistryFileName(Registry which) {
    switch (which) {
        case Registry::Dns:
            return "dns.json";
        case Registry::Ipv4:
            return "ipv4.json";
        case Registry::Ipv6:
            return "ipv6.json";
        case Registry::Asn:
            return "asn.json";
    }
    return "dns.json";
}

std::optional<Bootstrap> ParseBootstrap(Registry which, const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject root = doc.object();
    if (!root.value(QLatin1String("services")).isArray()) return std::nullopt;
    Bootstrap b;
    b.registry = which;
    b.publication = root.value(QLatin1String("publication")).toString().toStdString();
    for (const QJsonValue& service : root.value(QLatin1String("services")).toArray()) {
        const QJsonArray pair = service.toArray();
        if (pair.size() < 2 || !pair[0].isArray() || !pair[1].isArray()) continue;
        const auto url = firstHttps(pair[1].toArray());
        if (!url) continue;
        for (const QJsonValue& entryValue : pair[0].toArray()) {
            const QString entry = entryValue.toString();
            if (entry.isEmpty()) continue;
            switch (which) {
                case Registry::Dns: {
                    const QByteArray ace = QUrl::toAce(entry);
                    if (ace.isEmpty()) break;
                    b.domains.try_emplace(platform::AsciiLower(ace.toStdString()), *url);
                    break;
                }
                case Registry::Ipv4:
                    if (const auto p = prefix(entry, false))
                        b.v4.push_back({p->first.toIPv4Address(), p->second, *url});
                    break;
                case Registry::Ipv6:
                    if (const auto p = prefix(entry, true)) {
                        Bootstrap::V6 v{{}, p->second, *url};
                        const Q_IPV6ADDR a = p->first.toIPv6Address();
                        std::copy(std::begin(a.c), std::end(a.c), v.net.begin());
                        b.v6.push_back(std::move(v));
                    }
                    break;
                case Registry::Asn: {
                    const std::string s = entry.toStdString();
                    const auto dash = s.find('-');
                    const auto first = asNumber(std::string_view(s).substr(0, dash));
                    const auto last = dash == std::string::npos
                                          ? first
                                          : asNumber(std::string_view(s).substr(dash + 1));
                    if (first && last && *first <= *last) b.as.push_back({*first, *last, *url});
                    break;
                }
            }
        }
    }
    std::stable_sort(b.v4.begin(), b.v4.end(),
                     [](const auto& x, const auto& y) { return x.length > y.length; });
    std::stable_sort(b.v6.begin(), b.v6.end(),
                     [](const auto& x, const auto& y) { return x.length > y.length; });
    return b;
}

std::optional<std::string> MatchDomain(const Bootstrap& b, std::string_view domain) {
    char buf[256];
    if (domain.empty() || domain.size() >= sizeof buf) return std::nullopt;
    if (domain.back() == '.') domain.remove_suffix(1);
    for (std::size_t i = 0; i < domain.size(); ++i) buf[i] = platform::AsciiLower(domain[i]);
    std::string_view name(buf, domain.size());
    for (;;) {
        if (const auto it = b.domains.find(name); it != b.domains.end()) return it->second;
        const auto dot = name.find('.');
        if (dot == std::string_view::npos) return std::nullopt;
        name.remove_prefix(dot + 1);
    }
}

std::optional<std::string> MatchV4(const Bootstrap& b, std::uint32_t address) {
    for (const auto& e : b.v4) {
        const std::uint32_t mask = e.length == 0 ? 0 : ~std::uint32_t{0} << (32 - e.length);
        if ((address & mask) == (e.net & mask)) return e.url;
    }
    return std::nullopt;
}

std::optional<std::string> MatchV6(const Bootstrap& b,
                                   const std::array<std::uint8_t, 16>& address) {
    for (const auto& e : b.v6) {
        if (inV6(address, e.net, e.length)) return e.url;
    }
    return std::nullopt;
}

std::optional<std::string> MatchAs(const Bootstrap& b, std::uint32_t number) {
    const Bootstrap::As* best = nullptr;
    for (const auto& e : b.as) {
        if (number >= e.first && number <= e.last &&
            (best == nullptr || e.last - e.first < best->last - best->first))
            best = &e;
    }
    if (best == nullptr) return std::nullopt;
    return best->url;
}

}  // namespace norvik::rdap
