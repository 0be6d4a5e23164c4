#pragma once

#include <QCoreApplication>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace norvik::test {

// What a LoopbackTcpServer does with each connection, step by step:
// read the request, send the pieces, send endless data, then end.
struct ServerScript {
    enum class End {
        Close,     // close normally (FIN)
        KeepOpen,  // keep the connection until the client closes it
        Reset,     // abort with a reset (SO_LINGER 0)
    };
    // Read the request up to its first CR LF (at most 5 s) before answering.
    bool readRequest = true;
    // Sent in order, each as its own write, with a pause after each but the
    // last so that they arrive as separate pieces.
    std::vector<std::string> pieces;
    int pauseMs = 30;
    // When not empty: sent again and again after the pieces until the
    // client closes or `cap` bytes have gone out in all.
    std::string endlessBlock;
    std::size_t cap = std::size_t{64} << 20;
    End end = End::Close;

    // Answers in pieces (see `pieces`), then ends.
    static ServerScript inPieces(std::vector<std::string> pieces, End end = End::Close) {
        ServerScript s;
        s.pieces = std::move(pieces);
        s.end = end;
        return s;
    }
    // The usual whois server: answer in one piece, then close.
    static ServerScript answer(std::string text, End end = End::Close) {
        return inPieces({std::move(text)}, end);
    }
    // Accepts, reads the request and never answers.
    static ServerScript silent() {
        ServerScript s;
        s.end = End::KeepOpen;
        return s;
    }
};

// The Qt clients of these servers need an application object: made once.
inline void ensureCoreApp() {
    static int argc = 1;
    static char arg0[] = "norvik-test";
    static char* argv[] = {arg0, nullptr};
    if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
}

// A real TCP server on a loopback address (127.0.0.1 unless another
// 127.x.y.z is given) and a port the system picks (or the one given). It serves one
// connection after the other on a thread of its own, so it answers while
// the test waits in any way, and records what each client sent. Every
// wait is bounded, and the destructor ends everything.
class LoopbackTcpServer {
  public:
    explicit LoopbackTcpServer(ServerScript script, const std::string& address = "127.0.0.1",
                               std::uint16_t port = 0);
    ~LoopbackTcpServer();
    LoopbackTcpServer(const LoopbackTcpServer&) = delete;
    LoopbackTcpServer& operator=(const LoopbackTcpServer&) = delete;

    bool listening() const { return listenFd_ >= 0; }
    std::uint16_t port() const { return port_; }
    // What each connection's client sent (read until the client closed or
    // the script went on), in connection order.
    std::vector<std::string> requests() const;
    int connections() const { return connections_; }
    // Bytes sent over all connections.
    std::size_t bytesSent() const { return sent_; }

    // A loopback port that nobody listens on: a connection is refused.
    static std::uint16_t closedPort();

  private:
    void run();
    void serve(int fd);
    bool waitFor(int fd, short events, int timeoutMs);
    bool sendAll(int fd, const std::string& bytes);
    void record(std::size_t index, const char* data, std::size_t n);

    ServerScript script_;
    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::atomic<int> connections_{0};
    std::atomic<std::size_t> sent_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace norvik::test
