#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QSslCertificate>
#include <QString>
#include <QUrl>
#include <cstdint>
#include <functional>

#include "platform/Timer.h"

namespace norvik::rdap {

// The most of an answer that is read.
inline constexpr qint64 kBodyCap = qint64{4} << 20;
// Redirects followed for one request, at most.
inline constexpr int kMaxRedirects = 5;
// The time-out of a whole request, redirects, headers and body: the first
// tick of the timer ends it.
inline constexpr int kTimeoutMs = 10000;

// What one GET gave: the HTTP status and body, or why there is none.
struct Response {
    QUrl url;        // after redirects
    int status = 0;  // 0 when no HTTP answer came
    QByteArray body;
    QByteArray retryAfter;
    QByteArray cacheControl;
    bool timedOut = false;
    QString failure;  // a one-line reason when status is 0
};

// One GET at a time over Qt Network, with the RDAP request headers, TLS
// verification always on, redirects only to http/https and never from https
// to http, a 4 MiB cap, and the time-out on the given timer.
class HttpClient {
  public:
    explicit HttpClient(platform::Timer& timer);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Certificates trusted beside the system's (a private service's CA).
    void addCaCertificates(const QList<QSslCertificate>& certificates);

    // Starts the request; done is called once, from the event loop.
    void get(const QUrl& url, std::function<void(const Response&)> done);
    void abort();
    bool busy() const { return reply_ != nullptr; }

    static QByteArray UserAgent();

    // Called when the request has been sent over a connected socket.
    std::function<void()> onRequestSent;

  private:
    void send(const QUrl& url);
    void finish();
    void stop(const QString& reason, bool timedOut = false);
    void readBody();

    platform::Timer& timer_;
    QNetworkAccessManager manager_;
    QList<QSslCertificate> extraCa_;
    QPointer<QNetworkReply> reply_;
    std::function<void(const Response&)> done_;
    Response response_;
    int redirects_ = 0;
    bool stopped_ = false;
};

}  // namespace norvik::rdap
