#include "rdap/RdapLookup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>

#include "platform/OwnFile.h"
#include "rdap/RdapText.h"

namespace norvik::rdap {

namespace {

constexpr qint64 kMaxBootstrapBytes = qint64{4} << 20;

QString maxAgePath(const QString& file) { return file + QStringLiteral(".max-age"); }

// A new file renamed over the name. QSaveFile writes to the target of a
// link, so a link there is taken away first: the link goes, its target
// stays as it was.
void writeFile(const QString& path, const QByteArray& bytes) {
    if (QFileInfo(path).isSymLink() && !QFile::remove(path)) return;
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()) file.commit();
}

}  // namespace

std::optional<qint64> MaxAge(const QByteArray& cacheControl) {
    static const QRegularExpression re(QStringLiteral("(?:^|[,\\s])max-age\\s*=\\s*\"?(\\d{1,10})"),
                                       QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(QString::fromLatin1(cacheControl));
    if (!m.hasMatch()) return std::nullopt;
    return std::min(m.captured(1).toLongLong(), kLongestMaxAge);
}

BootstrapCache::BootstrapCache(QString dir, HttpClient& http, QString registryBase)
    : dir_(std::move(dir)), http_(http), base_(std::move(registryBase)) {
    if (!base_.endsWith(u'/')) base_ += u'/';
}

QString BootstrapCache::DefaultDir() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/norvik/rdap");
}

QString BootstrapCache::path(Registry which) const {
    return dir_ + u'/' + QLatin1String(RegistryFileName(which));
}

std::optional<BootstrapCache::Held> BootstrapCache::readCached(Registry which) const {
    // A link, or a file put there by someone else, counts as missing.
    if (!platform::IsOwnPlainFile(path(which))) return std::nullopt;
    QFile f(path(which));
    if (f.size() > kMaxBootstrapBytes || !f.open(QIODevice::ReadOnly)) return std::nullopt;
    auto b = ParseBootstrap(which, f.readAll());
    if (!b || b->empty()) return std::nullopt;
    qint64 maxAge = kDefaultMaxAge;
    QFile age(maxAgePath(path(which)));
    if (platform::IsOwnPlainFile(age.fileName()) && age.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const qint64 n = age.readLine(32).trimmed().toLongLong(&ok);
        if (ok && n >= 0) maxAge = std::min(n, kLongestMaxAge);
    }
    return Held{std::move(*b), QFileInfo(f).lastModified().addSecs(maxAge)};
}

void BootstrapCache::find(Registry which, std::function<void(const Bootstrap&, Source)> done) {
    const QDateTime now = QDateTime::currentDateTime();
    if (auto it = held_.find(which); it != held_.end() && it->second.freshUntil > now) {
        done(it->second.bootstrap, Source::Cached);
        return;
    }
    std::optional<Held> cached = readCached(which);
    if (cached && cached->freshUntil > now) {
        const Bootstrap& b = (held_[which] = std::move(*cached)).bootstrap;
        done(b, Source::Cached);
        return;
    }
    const QUrl url(base_ + QLatin1String(RegistryFileName(which)));
    http_.get(
        url, [this, which, cached = std::move(cached), done = std::move(done)](const Response& r) {
            std::optional<Bootstrap> fetched;
            if (r.status == 200) fetched = ParseBootstrap(which, r.body);
            if (fetched && !fetched->empty()) {
                QDir().mkpath(dir_);
                QFile::setPermissions(
                    dir_, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
                writeFile(path(which), r.body);
                const qint64 maxAge = MaxAge(r.cacheControl).value_or(kDefaultMaxAge);
                writeFile(maxAgePath(path(which)), QByteArray::number(maxAge));
                Held& h = held_[which] =
                    Held{std::move(*fetched), QDateTime::currentDateTime().addSecs(maxAge)};
                done(h.bootstrap, Source::Fetched);
                return;
            }
            if (cached) {
                done(cached->bootstrap, Source::Stale);
                return;
            }
            static const std::map<Registry, Bootstrap> builtin = [] {
                std::map<Registry, Bootstrap> m;
                for (Registry r : {Registry::Dns, Registry::Ipv4, Registry::Ipv6, Registry::Asn})
                    m[r] = ParseBootstrap(r, BuiltinBootstrap(r)).value_or(Bootstrap{});
                return m;
            }();
            done(builtin.at(which), Source::Builtin);
        });
}

Outcome Interpret(const QString& query, const Response& r) {
    Outcome o;
    o.url = r.url;
    o.timedOut = r.timedOut;
    if (r.status == 0) {
        o.text = r.failure;
        return o;
    }
    o.json = r.body;
    if (r.status == 404) {
        o.kind = Outcome::Kind::NotFound;
        o.text = NotFoundText(query);
        return o;
    }
    if (r.status == 429) {
        o.text = RetryAfterText(r.retryAfter);
        return o;
    }
    if (r.status < 200 || r.status >= 300) {
        o.text = StatusText(r.status, r.body);
        return o;
    }
    const auto text = RenderAnswer(r.url, r.body);
    if (!text) {
        o.text = QLatin1String(kNotRdap);
        return o;
    }
    o.kind = Outcome::Kind::Found;
    o.text = *text;
    o.related = RelatedRecord(r.url, r.body);
    return o;
}

void RdapLookup::start(const Query& q, const QString& base,
                       std::function<void(const Outcome&)> done) {
    const int generation = ++generation_;
    if (!base.isEmpty() || cache_ == nullptr) {
        startUrl(QueryUrl(base, q), q.typed, std::move(done));
        return;
    }
    cache_->find(q.registry, [this, q, generation, done = std::move(done)](const Bootstrap& b,
                                                                           BootstrapCache::Source) {
        if (generation != generation_) return;
        const auto service = MatchQuery(b, q);
        if (!service) {
            Outcome o;
            o.text = QStringLiteral("No RDAP service is known for ") + q.typed;
            done(o);
            return;
        }
        startUrl(QueryUrl(QString::fromStdString(*service), q), q.typed, done);
    });
}

void RdapLookup::startUrl(const QUrl& url, const QString& query,
                          std::function<void(const Outcome&)> done) {
    http_.get(url,
              [query, done = std::move(done)](const Response& r) { done(Interpret(query, r)); });
}

void RdapLookup::abort() {
    ++generation_;
    http_.abort();
}

}  // namespace norvik::rdap
