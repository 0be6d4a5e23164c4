#include "whois/Exchange.h"

#include <algorithm>
#include <utility>

#include "whois/WhoisText.h"

namespace norvik::whois {

using platform::TcpClient;

Exchange::Exchange(TcpClient& client, platform::Timer& timer, std::size_t cap)
    : client_(client), timer_(timer), cap_(cap) {
    client_.onConnect = [this] { connected(); };
    client_.onDataArrival = [this](std::size_t) { arrived(); };
    client_.onClose = [this] { peerClosed(); };
    timer_.onTick = [this] { tick(); };
}

Exchange::~Exchange() {
    client_.onConnect = nullptr;
    client_.onDataArrival = nullptr;
    client_.onClose = nullptr;
    timer_.onTick = nullptr;
}

bool Exchange::open(const std::string& host, std::uint16_t port, std::string request) {
    request_ = std::move(request);
    answer_.clear();
    arrivals_ = arrivalsAtTick_ = 0;
    ticks_ = 0;
    client_.Close();
    client_.setLocalPort(0);
    client_.Connect(host, port);
    running_ = client_.State() == TcpClient::kResolvingHost;
    return running_;
}

void Exchange::dropConnected() {
    if (client_.State() == TcpClient::kConnected) client_.Close();
}

void Exchange::close() {
    client_.Close();
    running_ = false;
}

void Exchange::connected() {
    if (client_.State() == TcpClient::kConnected) client_.SendData(request_);
}

void Exchange::arrived() {
    const std::string chunk = client_.GetData();
    ++arrivals_;
    const std::size_t room = cap_ - std::min(cap_, answer_.size());
    answer_.append(chunk, 0, std::min(room, chunk.size()));
    if (onData) onData();
    if (chunk.size() > room) end(End::Cut);
}

void Exchange::peerClosed() {
    if (client_.State() == TcpClient::kPeerClosed) end(End::Closed);
}

void Exchange::tick() {
    if (!running_) return;
    if (arrivals_ == 0) {
        timer_.setEnabled(false);
        end(End::TimedOut);
        return;
    }
    const bool quiet = arrivals_ == arrivalsAtTick_;
    arrivalsAtTick_ = arrivals_;
    if (quiet) {
        end(End::Quiet);
    } else if (++ticks_ >= kAnswerTicks) {
        end(End::Late);
    }
}

void Exchange::end(End how) {
    close();
    if (onEnd) onEnd(how);
}

}  // namespace norvik::whois
