#include "rdap/Query.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace norvik::rdap {

namespace {

std::optional<std::uint32_t> asNumber(QString s) {
    if (s.startsWith(QLatin1String("AS"), Qt::CaseInsensitive)) s = s.mid(2);
    if (s.isEmpty() || s.size() > 10) return std::nullopt;
    for (QChar c : s) {
        if (c < u'0' || c > u'9') return std::nullopt;
    }
    const qulonglong n = s.toULongLong();
    if (n > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(n);
}

bool hostLabels(const QString& ace) {
    static const QRegularExpression label(
        QStringLiteral("^([A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?\\.)*"
                       "[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?\\.?$"));
    return ace.size() <= 253 && label.match(ace).hasMatch();
}

}  // namespace

std::optional<Query> ParseQuery(const QString& typedIn) {
    Query q;
    q.typed = typedIn.trimmed();
    const QString& t = q.typed;
    if (t.isEmpty() || t.size() > 300) return std::nullopt;

    if (const auto n = asNumber(t)) {
        q.kind = Query::Kind::Autnum;
        q.registry = Registry::Asn;
        q.asn = *n;
        q.path = QStringLiteral("autnum/") + QString::number(*n);
        return q;
    }
    QHostAddress address;
    int length = -1;
    if (t.contains(u'/')) {
        const auto p = QHostAddress::parseSubnet(t);
        if (p.second < 0) return std::nullopt;
        address = p.first;
        length = p.second;
    } else {
        // An IPv6 literal may come in brackets, and with the zone of a
        // link-local address, which no registry knows.
        const bool bracketed = t.size() > 2 && t.startsWith(u'[') && t.endsWith(u']');
        const QString literal = bracketed ? t.mid(1, t.size() - 2) : t;
        if (!address.setAddress(literal) ||
            !(literal.contains(u':') || (!bracketed && literal.count(u'.') == 3)))
            address.clear();
        address.setScopeId(QString());
    }
    if (!address.isNull()) {
        q.kind = Query::Kind::Ip;
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            q.registry = Registry::Ipv4;
            q.v4 = address.toIPv4Address();
        } else {
            q.registry = Registry::Ipv6;
            const Q_IPV6ADDR a = address.toIPv6Address();
            std::copy(std::begin(a.c), std::end(a.c), q.v6.begin());
        }
        q.path = QStringLiteral("ip/") + address.toString();
        if (length >= 0) q.path += u'/' + QString::number(length);
        return q;
    }
    const QString ace = QString::fromLatin1(QUrl::toAce(t));
    // A domain has at least two labels: one word is not asked for.
    if (ace.isEmpty() || !hostLabels(ace) || !ace.chopped(1).contains(u'.')) return std::nullopt;
    q.kind = Query::Kind::Domain;
    q.registry = Registry::Dns;
    q.ace = ace.toLower().toStdString();
    if (!q.ace.empty() && q.ace.back() == '.') q.ace.pop_back();
    q.path = QStringLiteral("domain/") + QString::fromStdString(q.ace);
    return q;
}

QUrl QueryUrl(const QString& base, const Query& q) {
    QString b = base;
    if (!b.endsWith(u'/')) b += u'/';
    return QUrl(b + q.path);
}

std::optional<std::string> MatchQuery(const Bootstrap& b, const Query& q) {
    switch (q.registry) {
        case Registry::Dns:
            return MatchDomain(b, q.ace);
        case Registry::Ipv4:
            return MatchV4(b, q.v4);
        case Registry::Ipv6:
            return MatchV6(b, q.v6);
        case Registry::Asn:
            return MatchAs(b, q.asn);
    }
    return std::nullopt;
}

}  // namespace norvik::rdap
