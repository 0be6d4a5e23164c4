#include "rdap/HttpClient.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QSslError>
#include <QStringList>

#include "platform/Product.h"
#include "rdap/RdapText.h"

namespace norvik::rdap {

HttpClient::HttpClient(platform::Timer& timer) : timer_(timer) {
    timer_.setInterval(kTimeoutMs);
    // The tick ends the whole request, redirects, headers and body
    // included: a server that drips its answer gets no longer than a
    // silent one.
    timer_.onTick = [this] {
        if (reply_ == nullptr) {
            timer_.setEnabled(false);
            return;
        }
        stop(QStringLiteral("Timeout"), true);
    };
}

HttpClient::~HttpClient() {
    timer_.onTick = nullptr;
    timer_.setEnabled(false);
    if (reply_ != nullptr) {
        reply_->disconnect();
        reply_->abort();
        delete reply_.data();
    }
}

QByteArray HttpClient::UserAgent() {
    return QByteArray("Norvik/") + platform::ProductVersion() + " (RDAP client)";
}

void HttpClient::addCaCertificates(const QList<QSslCertificate>& certificates) {
    extraCa_ += certificates;
}

void HttpClient::get(const QUrl& url, std::function<void(const Response&)> done) {
    abort();
    done_ = std::move(done);
    redirects_ = 0;
    send(url);
    timer_.setEnabled(false);
    timer_.setEnabled(true);
}

void HttpClient::send(const QUrl& url) {
    response_ = Response{};
    response_.url = url;
    stopped_ = false;

    QNetworkRequest request(url);
    request.setRawHeader("Accept", "application/rdap+json");
    request.setHeader(QNetworkRequest::UserAgentHeader, UserAgent());
    // Redirects are followed here, one checked step at a time (see finish).
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!extraCa_.isEmpty()) tls.addCaCertificates(extraCa_);
    request.setSslConfiguration(tls);

    QNetworkReply* reply = manager_.get(request);
    reply_ = reply;

    QObject::connect(reply, &QNetworkReply::sslErrors, reply,
                     [this, reply](const QList<QSslError>& errors) {
                         if (reply != reply_) return;
                         QStringList reasons;
                         for (const QSslError& e : errors) reasons << e.errorString();
                         // Never ignored: the handshake fails with these reasons.
                         stop(QStringLiteral("TLS failure: ") + reasons.join(QLatin1String("; ")));
                     });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [this, reply] {
        if (reply != reply_) return;
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > kBodyCap) stop(QLatin1String(kTooLarge));
    });
    QObject::connect(reply, &QNetworkReply::requestSent, reply, [this, reply] {
        if (reply == reply_ && onRequestSent) onRequestSent();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [this, reply] {
        if (reply == reply_) readBody();
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply] {
        if (reply == reply_) finish();
    });
}

void HttpClient::readBody() {
    const qint64 room = kBodyCap - response_.body.size();
    if (reply_->bytesAvailable() > room) {
        stop(QLatin1String(kTooLarge));
        return;
    }
    response_.body += reply_->readAll();
}

void HttpClient::stop(const QString& reason, bool timedOut) {
    if (reply_ == nullptr || stopped_) return;
    stopped_ = true;
    response_.failure = reason;
    response_.timedOut = timedOut;
    response_.status = 0;
    reply_->abort();  // finished comes at once and ends the request
    if (reply_ != nullptr) finish();
}

void HttpClient::finish() {
    QNetworkReply* reply = reply_;
    if (reply == nullptr) return;
    reply_ = nullptr;
    reply->disconnect();
    reply->deleteLater();
    if (!stopped_) {
        response_.body += reply->readAll().left(kBodyCap - response_.body.size());
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const int code = status.isValid() ? status.toInt() : 0;
        const QByteArray location = reply->rawHeader("Location");
        if (code >= 300 && code < 400 && !location.isEmpty()) {
            // A redirect: only to http or https, never from https to http,
            // at most kMaxRedirects in a row.
            const QUrl to = response_.url.resolved(QUrl::fromEncoded(location));
            const QString scheme = to.scheme();
            if (scheme != QLatin1String("https") && scheme != QLatin1String("http")) {
                response_.failure = QStringLiteral("Redirect refused: not an http or https URL");
            } else if (response_.url.scheme() == QLatin1String("https") &&
                       scheme == QLatin1String("http")) {
                response_.failure = QStringLiteral("Redirect refused: from https to http");
            } else if (++redirects_ > kMaxRedirects) {
                response_.failure = QStringLiteral("Too many redirects");
            } else {
                send(to);  // within the time of the first request
                return;
            }
        } else if (code > 0 && reply->error() != QNetworkReply::OperationCanceledError) {
            response_.status = code;
            response_.retryAfter = reply->rawHeader("Retry-After");
            response_.cacheControl = reply->rawHeader("Cache-Control");
            // A body cut short by the server's end still counts as received;
            // it does not parse, and says so.
        } else if (reply->error() == QNetworkReply::SslHandshakeFailedError) {
            response_.failure = QStringLiteral("TLS failure: ") + reply->errorString();
        } else if (reply->error() == QNetworkReply::TooManyRedirectsError) {
            response_.failure = QStringLiteral("Too many redirects");
        } else if (reply->error() == QNetworkReply::InsecureRedirectError) {
            response_.failure = QStringLiteral("Redirect refused: from https to http");
        } else {
            response_.failure = reply->errorString();
            if (response_.failure.isEmpty())
                response_.failure = QStringLiteral("The request failed");
        }
    }
    timer_.setEnabled(false);
    auto done = std::move(done_);
    done_ = nullptr;
    const Response r = response_;
    if (done) done(r);
}

void HttpClient::abort() {
    if (reply_ == nullptr) return;
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    done_ = nullptr;
    timer_.setEnabled(false);
    reply->disconnect();
    reply->abort();
    reply->deleteLater();
}

}  // namespace norvik::rdap
