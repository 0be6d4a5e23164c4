#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/TcpClient.h"
#include "platform/Timer.h"

namespace norvik::whois {

// One question and answer over port 43, shared by the whois lookup and the
// server list download: connect, send the request once connected, gather
// what arrives up to a cap, and end. It decides its ends from its own state
// and ticks of the caller's timer:
// - the server closes (Closed);
// - the cap is reached (Cut), the server is not heard any further;
// - a tick finds nothing new since the tick before (Quiet): a server that
//   answered and keeps the connection open;
// - the kAnswerTicks-th tick since the connect (Late): a server that drips;
// - a tick while nothing has arrived (TimedOut): the timer is stopped.
// At every end the connection is closed before onEnd runs. The timer's
// period and its starting are the caller's.
class Exchange {
  public:
    enum class End { Closed, Cut, Quiet, Late, TimedOut };

    Exchange(platform::TcpClient& client, platform::Timer& timer, std::size_t cap);
    ~Exchange();
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    // Drops any exchange in progress, empties the answer and connects. True
    // when the attempt has started; otherwise no end follows.
    bool open(const std::string& host, std::uint16_t port, std::string request);
    // Drops the exchange; no end follows.
    void close();
    // Drops the connection when it is established, and nothing else: the
    // exchange still ends at the next tick.
    void dropConnected();

    // All that arrived in this exchange, in arrival order, at most the cap.
    const std::string& answer() const { return answer_; }

    std::function<void()> onData;  // after each arrival, the answer grown
    std::function<void(End)> onEnd;

  private:
    void connected();
    void arrived();
    void peerClosed();
    void tick();
    void end(End how);

    platform::TcpClient& client_;
    platform::Timer& timer_;
    std::size_t cap_;
    std::string request_;
    std::string answer_;
    bool running_ = false;
    // Arrivals of this exchange, and their number at the previous tick.
    std::uint64_t arrivals_ = 0;
    std::uint64_t arrivalsAtTick_ = 0;
    int ticks_ = 0;  // since the connect
};

}  // namespace norvik::whois
