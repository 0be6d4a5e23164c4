#pragma once

#include <QObject>
#include <cstdint>

#include "platform/TcpClient.h"

class QTcpSocket;

namespace norvik::platform {

// The TCP client over QTcpSocket. Every Connect uses a fresh socket; Close
// detaches the old one before it aborts it, so no signal of it reaches the
// event handlers afterwards. Never goes through a proxy.
class QtTcpClient : public QObject, public TcpClient {
  public:
    QtTcpClient();
    ~QtTcpClient() override;

    void Close() override;
    void setLocalPort(std::uint16_t port) override { localPort_ = port; }
    std::uint16_t LocalPort() const override { return localPort_; }
    void Connect(const std::string& host, std::uint16_t port) override;
    int State() const override { return state_; }
    void SendData(const std::string& bytes) override;
    std::string GetData() override;

    // Whether a host text can be handed to the socket layer: not empty, and
    // after the ACE conversion only letters, digits, '.', '-', '_' and ':'.
    // Anything else fails without a name lookup.
    static bool usableHost(const std::string& host);

  private:
    void drop();
    void peerClosed();

    QTcpSocket* socket_ = nullptr;
    int state_ = kClosed;
    std::uint16_t localPort_ = 0;
    // Counts connections and closes; a deferred step of an older one is
    // dropped.
    std::uint64_t generation_ = 0;
};

}  // namespace norvik::platform
