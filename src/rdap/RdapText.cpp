#include "rdap/RdapText.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

namespace norvik::rdap {

namespace {

// Nested entities are shown down to this depth, and at most this many
// values of one kind.
constexpr int kMaxDepth = 6;
constexpr int kMaxItems = 200;
constexpr qsizetype kMaxValue = 2000;

// One value as one line of plain text: control characters (NUL, line breaks
// included) become blanks, and a very long value is cut.
QString clean(const QString& s) {
    QString out = s.left(kMaxValue);
    for (QChar& c : out) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = u' ';
    }
    return out.trimmed();
}

QString str(const QJsonObject& o, const char* key) {
    return clean(o.value(QLatin1String(key)).toString());
}

QJsonArray arr(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toArray();
}

struct Lines {
    QStringList lines;
    void add(const char* label, const QString& value) {
        if (!value.isEmpty()) lines << QLatin1String(label) + QLatin1String(": ") + value;
    }
};

bool hasRole(const QJsonObject& entity, const char* role) {
    for (const QJsonValue& r : arr(entity, "roles")) {
        if (r.toString() == QLatin1String(role)) return true;
    }
    return false;
}

// The first entity with the role, searching nested entities breadth first
// (each entity is looked at once per search).
std::optional<QJsonObject> findEntity(const QJsonArray& entities, const char* role, int depth = 0) {
    if (depth > kMaxDepth) return std::nullopt;
    for (const QJsonValue& e : entities) {
        if (hasRole(e.toObject(), role)) return e.toObject();
    }
    for (const QJsonValue& e : entities) {
        if (auto found = findEntity(arr(e.toObject(), "entities"), role, depth + 1)) return found;
    }
    return std::nullopt;
}

// A vCard property's text (jCard, RFC 7095): ["fn", {}, "text", "Name"].
// Properties of the wrong shape are passed over.
QString vcard(const QJsonObject& entity, const char* name) {
    const QJsonArray card = arr(entity, "vcardArray");
    if (card.size() < 2 || card[0].toString() != QLatin1String("vcard") || !card[1].isArray())
        return {};
    int n = 0;
    for (const QJsonValue& p : card[1].toArray()) {
        if (++n > kMaxItems) break;
        const QJsonArray prop = p.toArray();
        if (prop.size() < 4 || prop[0].toString() != QLatin1String(name)) continue;
        QString v = prop[3].isString() ? prop[3].toString() : QString();
        if (prop[3].isArray()) {  // a structured value, e.g. an "org" with units
            QStringList parts;
            for (const QJsonValue& x : prop[3].toArray()) {
                if (x.isString() && !x.toString().isEmpty()) parts << x.toString();
            }
            v = parts.join(QLatin1String(", "));
        }
        if (v.startsWith(QLatin1String("tel:"))) v = v.mid(4);
        if (v.startsWith(QLatin1String("mailto:"))) v = v.mid(7);
        v = clean(v);
        if (!v.isEmpty()) return v;
    }
    return {};
}

QString entityName(const QJsonObject& e) {
    QString n = vcard(e, "fn");
    if (n.isEmpty()) n = vcard(e, "org");
    if (n.isEmpty()) n = str(e, "handle");
    return n;
}

// An event's date as an ISO date (UTC); a date that does not parse says so.
QString eventDate(const QJsonObject& o, const char* action) {
    for (const QJsonValue& v : arr(o, "events")) {
        const QJsonObject ev = v.toObject();
        if (ev.value(QLatin1String("eventAction")).toString() != QLatin1String(action)) continue;
        const QString text = ev.value(QLatin1String("eventDate")).toString();
        QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
        if (!t.isValid()) t = QDateTime::fromString(text, Qt::ISODate);
        if (!t.isValid()) return QStringLiteral("(not a date)");
        return t.toUTC().date().toString(Qt::ISODate);
    }
    return {};
}

QString joined(const QJsonArray& values) {
    QStringList out;
    for (const QJsonValue& v : values) {
        if (out.size() >= kMaxItems) break;
        const QString s = clean(v.toString());
        if (!s.isEmpty()) out << s;
    }
    return out.join(QLatin1String(", "));
}

void domain(Lines& l, const QJsonObject& o) {
    const QString ldh = str(o, "ldhName");
    const QString unicode = str(o, "unicodeName");
    l.add("Domain", ldh.isEmpty() ? unicode : ldh);
    if (!unicode.isEmpty() && !ldh.isEmpty() && unicode.compare(ldh, Qt::CaseInsensitive) != 0)
        l.add("Unicode name", unicode);
    l.add("Status", joined(arr(o, "status")));
    l.add("Registered", eventDate(o, "registration"));
    l.add("Expires", eventDate(o, "expiration"));
    l.add("Last changed", eventDate(o, "last changed"));
    if (const auto r = findEntity(arr(o, "entities"), "registrar")) {
        l.add("Registrar", entityName(*r));
        for (const QJsonValue& id : arr(*r, "publicIds")) {
            const QJsonObject pid = id.toObject();
            if (pid.value(QLatin1String("type")).toString() == QLatin1String("IANA Registrar ID"))
                l.add("Registrar IANA ID", str(pid, "identifier"));
        }
        if (const auto a = findEntity(arr(*r, "entities"), "abuse")) {
            l.add("Registrar abuse e-mail", vcard(*a, "email"));
            l.add("Registrar abuse phone", vcard(*a, "tel"));
        }
    }
    int n = 0;
    for (const QJsonValue& ns : arr(o, "nameservers")) {
        if (++n > kMaxItems) break;
        const QJsonObject s = ns.toObject();
        l.add("Name server",
              str(s, "ldhName").isEmpty() ? str(s, "unicodeName") : str(s, "ldhName"));
    }
    const QJsonValue dnssec = o.value(QLatin1String("secureDNS"));
    if (dnssec.isObject()) {
        const QJsonValue signedValue = dnssec.toObject().value(QLatin1String("delegationSigned"));
        if (signedValue.isBool())
            l.add("DNSSEC",
                  signedValue.toBool() ? QStringLiteral("signed") : QStringLiteral("unsigned"));
    }
}

void network(Lines& l, const QJsonObject& o) {
    const QString start = str(o, "startAddress");
    const QString end = str(o, "endAddress");
    if (!start.isEmpty() || !end.isEmpty()) l.add("Range", start + QLatin1String(" - ") + end);
    QStringList cidrs;
    for (const QJsonValue& c : arr(o, "cidr0_cidrs")) {
        const QJsonObject p = c.toObject();
        QString net = str(p, "v4prefix");
        if (net.isEmpty()) net = str(p, "v6prefix");
        const QJsonValue len = p.value(QLatin1String("length"));
        if (!net.isEmpty() && len.isDouble()) cidrs << net + u'/' + QString::number(len.toInt());
        if (cidrs.size() >= kMaxItems) break;
    }
    l.add("CIDR", cidrs.join(QLatin1String(", ")));
    l.add("Name", str(o, "name"));
    l.add("Type", str(o, "type"));
    l.add("Country", str(o, "country"));
    if (const auto r = findEntity(arr(o, "entities"), "registrant"))
        l.add("Organisation", entityName(*r));
    if (const auto a = findEntity(arr(o, "entities"), "abuse")) {
        QString contact = vcard(*a, "email");
        if (contact.isEmpty()) contact = vcard(*a, "tel");
        if (contact.isEmpty()) contact = entityName(*a);
        l.add("Abuse contact", contact);
    }
}

void autnum(Lines& l, const QJsonObject& o) {
    const QJsonValue start = o.value(QLatin1String("startAutnum"));
    const QJsonValue end = o.value(QLatin1String("endAutnum"));
    if (start.isDouble() && end.isDouble()) {
        l.add("Range", QStringLiteral("AS%1 - AS%2")
                           .arg(static_cast<qint64>(start.toDouble()))
                           .arg(static_cast<qint64>(end.toDouble())));
    }
    l.add("Name", str(o, "name"));
    l.add("Country", str(o, "country"));
}

void notices(Lines& l, const QJsonObject& o) {
    int n = 0;
    for (const QJsonValue& v : arr(o, "notices")) {
        if (++n > kMaxItems) break;
        const QJsonObject notice = v.toObject();
        const QString title = str(notice, "title");
        l.lines << QStringLiteral("Notice: ") +
                       (title.isEmpty() ? QStringLiteral("(untitled)") : title);
        int m = 0;
        for (const QJsonValue& d : arr(notice, "description")) {
            if (++m > kMaxItems) break;
            const QString line = clean(d.toString());
            if (!line.isEmpty()) l.lines << QStringLiteral("  ") + line;
        }
    }
}

std::optional<QJsonObject> objectOf(const QByteArray& body) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    return doc.object();
}

}  // namespace

QString NotFoundText(const QString& query) {
    return QStringLiteral("No record found for ") + query;
}

QString RetryAfterText(const QByteArray& retryAfter) {
    const QByteArray t = retryAfter.trimmed();
    bool digits = !t.isEmpty() && t.size() <= 18;
    for (char c : t) digits = digits && c >= '0' && c <= '9';
    if (!digits) return QStringLiteral("The server asks to wait before asking again");
    return QStringLiteral("The server asks to wait %1 seconds").arg(t.toLongLong());
}

QString StatusText(int status, const QByteArray& body) {
    QString out = QStringLiteral("Error %1").arg(status);
    const auto o = objectOf(body);
    if (!o) return out;
    const QString title = str(*o, "title");
    const QString description =
        joined(arr(*o, "description")).replace(QLatin1String(", "), QLatin1String(" "));
    if (!title.isEmpty()) out += QLatin1String(": ") + title;
    if (!description.isEmpty())
        out += (title.isEmpty() ? QLatin1String(": ") : QLatin1String(" - ")) + description;
    return out;
}

QString RenderObject(const QUrl& url, const QJsonObject& o) {
    Lines l;
    l.lines << QStringLiteral("# ") + url.toString(QUrl::FullyEncoded);
    const QString kind = o.value(QLatin1String("objectClassName")).toString();
    if (kind == QLatin1String("domain"))
        domain(l, o);
    else if (kind == QLatin1String("ip network"))
        network(l, o);
    else if (kind == QLatin1String("autnum"))
        autnum(l, o);
    notices(l, o);
    return l.lines.join(u'\n') + u'\n';
}

std::optional<QString> RenderAnswer(const QUrl& url, const QByteArray& body) {
    const auto o = objectOf(body);
    if (!o) return std::nullopt;
    return RenderObject(url, *o);
}

std::optional<QUrl> RelatedRecord(const QUrl& answerUrl, const QByteArray& body) {
    const auto o = objectOf(body);
    if (!o) return std::nullopt;
    QJsonArray links = arr(*o, "links");
    // A thin registry puts the link on the registrar's entity.
    for (const QJsonValue& e : arr(*o, "entities")) {
        for (const QJsonValue& link : arr(e.toObject(), "links")) links.append(link);
    }
    for (const QJsonValue& v : links) {
        const QJsonObject link = v.toObject();
        if (link.value(QLatin1String("rel")).toString() != QLatin1String("related")) continue;
        const QString type = link.value(QLatin1String("type")).toString();
        if (!type.isEmpty() && type != QLatin1String("application/rdap+json")) continue;
        const QUrl href(link.value(QLatin1String("href")).toString(), QUrl::StrictMode);
        if (!href.isValid() || href.scheme() != QLatin1String("https") || href.host().isEmpty())
            continue;
        if (href.adjusted(QUrl::StripTrailingSlash) == answerUrl.adjusted(QUrl::StripTrailingSlash))
            continue;
        return href;
    }
    return std::nullopt;
}

}  // namespace norvik::rdap
