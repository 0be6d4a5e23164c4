#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace norvik::platform {

// A TCP client connection driven by events on the UI thread, the way the
// whois lookup and the server list download use it. Texts are bytes: one
// char per byte, sent and received unchanged.
class TcpClient {
  public:
    // The values State reads. Callers test 4, 7 and 8 only.
    enum StateValue : int {
        kClosed = 0,
        // An attempt has started: the host is being looked up or connected to.
        kResolvingHost = 4,
        kConnected = 7,
        kPeerClosed = 8,  // the peer has closed its side; the Close event follows
        kError = 9,       // the attempt or the connection failed; no event follows
    };

    virtual ~TcpClient() = default;

    // Ends any connection or attempt, in any state; no event follows, and
    // bytes not yet read are dropped.
    virtual void Close() = 0;
    // The local port of the next connection; 0 lets the system pick.
    virtual void setLocalPort(std::uint16_t port) = 0;
    virtual std::uint16_t LocalPort() const = 0;
    // Starts an asynchronous connection (dropping any earlier one). State
    // reads kResolvingHost right after the call, whatever the host text; a
    // host that cannot be used fails later, with State kError and no event.
    virtual void Connect(const std::string& host, std::uint16_t port) = 0;
    virtual int State() const = 0;
    // Sends the bytes; nothing happens unless connected.
    virtual void SendData(const std::string& bytes) = 0;
    // The bytes received and not yet read.
    virtual std::string GetData() = 0;

    // Events, raised on the UI thread one at a time. A handler may call any
    // member, Close included.
    std::function<void()> onConnect;                       // the connection is established
    std::function<void(std::size_t bytes)> onDataArrival;  // received bytes wait to be read
    // The peer has closed the connection (State reads kPeerClosed). Bytes
    // that came with the close are announced by onDataArrival before it.
    std::function<void()> onClose;
};

}  // namespace norvik::platform
