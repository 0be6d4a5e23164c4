#include "platform/qt/QtTcpClient.h"

#include <QByteArray>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QUrl>

namespace norvik::platform {

QtTcpClient::QtTcpClient() = default;

QtTcpClient::~QtTcpClient() { drop(); }

bool QtTcpClient::usableHost(const std::string& host) {
    if (host.empty() || host.size() > 253) return false;
    const QByteArray ace = QUrl::toAce(QString::fromStdString(host));
    if (ace.isEmpty()) return false;
    for (char c : ace) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_' || c == ':';
        if (!ok) return false;
    }
    return true;
}

void QtTcpClient::drop() {
    if (socket_ == nullptr) return;
    QTcpSocket* s = socket_;
    socket_ = nullptr;
    QObject::disconnect(s, nullptr, this, nullptr);
    s->blockSignals(true);
    s->abort();
    // It may be inside one of its own signals right now.
    s->deleteLater();
}

void QtTcpClient::Close() {
    ++generation_;
    drop();
    state_ = kClosed;
}

void QtTcpClient::Connect(const std::string& host, std::uint16_t port) {
    ++generation_;
    drop();
    state_ = kResolvingHost;
    const std::uint64_t gen = generation_;
    if (!usableHost(host)) {
        // Refused without a lookup, but later, as a failed lookup would be.
        QMetaObject::invokeMethod(
            this,
            [this, gen] {
                if (gen == generation_) state_ = kError;
            },
            Qt::QueuedConnection);
        return;
    }
    socket_ = new QTcpSocket(this);
    socket_->setProxy(QNetworkProxy::NoProxy);
    QTcpSocket* s = socket_;
    connect(s, &QAbstractSocket::connected, this, [this] {
        state_ = kConnected;
        if (onConnect) onConnect();
    });
    connect(s, &QIODevice::readyRead, this, [this, s] {
        if (s != socket_ || state_ != kConnected) return;
        const qint64 n = s->bytesAvailable();
        if (n > 0 && onDataArrival) onDataArrival(static_cast<std::size_t>(n));
    });
    connect(s, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        if (state_ == kConnected && e == QAbstractSocket::RemoteHostClosedError) {
            peerClosed();
        } else if (state_ != kPeerClosed) {
            state_ = kError;
        }
    });
    connect(s, &QAbstractSocket::disconnected, this, [this] {
        if (state_ == kConnected) peerClosed();
    });
    if (localPort_ != 0) s->bind(QHostAddress::AnyIPv4, localPort_);
    s->connectToHost(QString::fromStdString(host), port);
    // connectToHost may fail at once; the attempt still counts as started.
    if (socket_ == s && state_ == kError) state_ = kResolvingHost;
}

// The peer closed (or reset) the connection. The close is reported once the
// socket's own signal has returned: first the bytes that came with it, then
// the Close event.
void QtTcpClient::peerClosed() {
    state_ = kPeerClosed;
    const std::uint64_t gen = generation_;
    QMetaObject::invokeMethod(
        this,
        [this, gen] {
            if (gen != generation_) return;
            const qint64 n = socket_ != nullptr ? socket_->bytesAvailable() : 0;
            if (n > 0 && onDataArrival) onDataArrival(static_cast<std::size_t>(n));
            if (gen != generation_ || state_ != kPeerClosed) return;
            if (onClose) onClose();
        },
        Qt::QueuedConnection);
}

void QtTcpClient::SendData(const std::string& bytes) {
    if (socket_ == nullptr || state_ != kConnected) return;
    socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
}

std::string QtTcpClient::GetData() {
    if (socket_ == nullptr) return {};
    const QByteArray b = socket_->readAll();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

}  // namespace norvik::platform
