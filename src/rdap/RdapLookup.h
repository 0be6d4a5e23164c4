#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>
#include <functional>
#include <map>
#include <optional>

#include "rdap/Bootstrap.h"
#include "rdap/HttpClient.h"
#include "rdap/Query.h"

namespace norvik::rdap {

// Where the bootstrap registry files are fetched from.
inline constexpr const char* kRegistryBase = "https://data.iana.org/rdap/";
// How long a fetched file stays fresh when the server does not say.
inline constexpr qint64 kDefaultMaxAge = 24 * 60 * 60;

// The longest a fetched file stays fresh, whatever the server says.
inline constexpr qint64 kLongestMaxAge = 365 * 24 * 60 * 60;

// The max-age of a Cache-Control header in seconds, at most kLongestMaxAge;
// nullopt without one.
std::optional<qint64> MaxAge(const QByteArray& cacheControl);

// The bootstrap registry files: a fresh cached file; else fetched (and
// cached); when the fetch fails, the cached file however old; without one,
// the built-in table. A cached file that does not parse is ignored and
// replaced at the next fetch, and so is one that is a symbolic link or
// belongs to another user. Files are written new and renamed over the old
// name (a link is replaced, never written through), in a folder only the
// user can enter.
class BootstrapCache {
  public:
    enum class Source { Cached, Fetched, Stale, Builtin };

    BootstrapCache(QString dir, HttpClient& http,
                   QString registryBase = QLatin1String(kRegistryBase));
    // $XDG_CACHE_HOME/norvik/rdap
    static QString DefaultDir();

    void find(Registry which, std::function<void(const Bootstrap&, Source)> done);
    const QString& dir() const { return dir_; }

  private:
    struct Held {
        Bootstrap bootstrap;
        QDateTime freshUntil;
    };
    QString path(Registry which) const;
    std::optional<Held> readCached(Registry which) const;

    QString dir_;
    HttpClient& http_;
    QString base_;
    std::map<Registry, Held> held_;
};

// How a lookup ended.
struct Outcome {
    enum class Kind { Found, NotFound, Failed };
    Kind kind = Kind::Failed;
    bool timedOut = false;
    QUrl url;
    QByteArray json;  // the answer as received
    QString text;     // the answer as text when found, else the one-line reason
    std::optional<QUrl> related;
};

// The outcome of an HTTP answer to a query.
Outcome Interpret(const QString& query, const Response& r);

// One RDAP lookup at a time: bootstrap (unless a base URL is given), then
// the query.
class RdapLookup {
  public:
    RdapLookup(HttpClient& http, BootstrapCache* cache) : http_(http), cache_(cache) {}

    // base: empty to ask the service that the bootstrap names.
    void start(const Query& q, const QString& base, std::function<void(const Outcome&)> done);
    void startUrl(const QUrl& url, const QString& query, std::function<void(const Outcome&)> done);
    void abort();

  private:
    HttpClient& http_;
    BootstrapCache* cache_;
    int generation_ = 0;
};

}  // namespace norvik::rdap
