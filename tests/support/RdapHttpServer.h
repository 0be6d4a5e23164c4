#pragma once

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QFile>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <map>
#include <vector>

namespace norvik::test {

// What the server sends for one path: an HTTP status, headers and body,
// written as they stand. `lieLength` announces more body than is sent and
// `keepOpen` keeps the connection open afterwards (a server that sends the
// headers and never the body); `dripMs` sends the body one byte at a time,
// one every so many milliseconds.
struct Canned {
    int status = 200;
    QByteArray body;
    std::vector<std::pair<QByteArray, QByteArray>> headers;
    qint64 lieLength = 0;
    bool keepOpen = false;
    int dripMs = 0;

    static Canned json(QByteArray body, int status = 200) {
        return {status, std::move(body), {{"Content-Type", "application/rdap+json"}}};
    }
    static Canned redirect(const QByteArray& to, int status = 302) {
        return {status, {}, {{"Location", to}}};
    }
};

// A real HTTP (or HTTPS) server on 127.0.0.1 inside the test's event loop,
// answering each path from a table and recording the requests. Paths not
// in the table get 404 with an RDAP error object.
class RdapHttpServer : public QAbstractHttpServer {
  public:
    RdapHttpServer() { port = listen(QHostAddress::LocalHost, 0); }
    // HTTPS: the certificate is set before listening.
    RdapHttpServer(const QSslCertificate& certificate, const QSslKey& key) {
        sslSetup(certificate, key);
        port = listen(QHostAddress::LocalHost, 0);
    }

    QByteArray base(const char* scheme = "http") const {
        return QByteArray(scheme) + "://127.0.0.1:" + QByteArray::number(port) + "/";
    }

    quint16 port = 0;
    std::map<QByteArray, Canned> paths;
    std::vector<QByteArray> asked;  // paths in order
    QByteArray lastAccept, lastAgent;

  protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        const QByteArray path = request.url().path(QUrl::FullyEncoded).toUtf8();
        asked.push_back(path);
        lastAccept = request.value("Accept");
        lastAgent = request.value("User-Agent");
        const auto it = paths.find(path);
        const Canned c = it != paths.end()
                             ? it->second
                             : Canned::json(R"({"errorCode":404,"title":"Not Found"})", 404);
        QByteArray out = "HTTP/1.1 " + QByteArray::number(c.status) + " X\r\n";
        for (const auto& [k, v] : c.headers) out += k + ": " + v + "\r\n";
        out += "Content-Length: " + QByteArray::number(c.body.size() + c.lieLength) + "\r\n\r\n";
        if (c.dripMs > 0) {
            auto* drip = new QTimer(socket);
            QObject::connect(drip, &QTimer::timeout, socket,
                             [socket, drip, rest = c.body]() mutable {
                                 if (rest.isEmpty()) {
                                     drip->stop();
                                     return;
                                 }
                                 socket->write(rest.first(1));
                                 rest.remove(0, 1);
                             });
            drip->start(c.dripMs);
        } else {
            out += c.body;
        }
        socket->write(out);
        if (!c.keepOpen && c.lieLength > 0) socket->disconnectFromHost();
        return true;
    }
    void missingHandler(const QHttpServerRequest&, QTcpSocket*) override {}
};

// A self-signed certificate for 127.0.0.1 made with the openssl tool.
struct TestCertificate {
    QTemporaryDir dir;
    QSslCertificate certificate;
    QSslKey key;
    QString why;  // why there is none

    TestCertificate() {
        const QString k = dir.filePath(QStringLiteral("k.pem"));
        const QString c = dir.filePath(QStringLiteral("c.pem"));
        QProcess p;
        p.start(
            QStringLiteral("openssl"),
            {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
             "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", k, "-out", c});
        if (!p.waitForFinished(20000) || p.exitCode() != 0) {
            why = QStringLiteral("openssl could not make a certificate");
            return;
        }
        QFile kf(k), cf(c);
        if (!kf.open(QIODevice::ReadOnly) || !cf.open(QIODevice::ReadOnly)) return;
        key = QSslKey(kf.readAll(), QSsl::Rsa);
        certificate = QSslCertificate(cf.readAll());
    }
    bool valid() const { return !certificate.isNull() && !key.isNull(); }
};

}  // namespace norvik::test
