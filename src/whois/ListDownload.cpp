#include "whois/ListDownload.h"

#include <utility>

namespace norvik::whois {

using platform::TcpClient;

ListDownload::ListDownload(platform::TcpClient& winsock, platform::Timer& timer, ListView& view,
                           ListSource source)
    : winsock_(winsock), timer_(timer), view_(view), source_(std::move(source)) {
    winsock_.onConnect = [this] { onConnected(); };
    winsock_.onDataArrival = [this](std::size_t) { onData(); };
    winsock_.onClose = [this] { onPeerClosed(); };
    timer_.onTick = [this] { onTick(); };
    timer_.setInterval(kListTimerMs);
    timer_.setEnabled(true);
}

ListDownload::~ListDownload() {
    winsock_.onConnect = nullptr;
    winsock_.onDataArrival = nullptr;
    winsock_.onClose = nullptr;
    timer_.onTick = nullptr;
}

void ListDownload::start() {
    if (winsock_.State() == TcpClient::kConnected) winsock_.Close();
    const std::string host = source_.host ? source_.host() : std::string();
    if (host.empty()) {
        readBuiltInList();
        return;
    }
    if (connect(host)) {
        view_.setStatusText(kListConnecting);
        timer_.setEnabled(true);
    }
}

void ListDownload::stop() {
    if (winsock_.State() == TcpClient::kConnected) winsock_.Close();
}

bool ListDownload::connect(const std::string& host) {
    view_.emptyList();
    listBuffer_.clear();
    listRequest_ = kListRequest;
    received_ = receivedAtTick_ = 0;
    ticks_ = 0;
    cutting_ = false;
    winsock_.setLocalPort(0);
    winsock_.Close();
    winsock_.Connect(host, source_.port);
    return winsock_.State() == TcpClient::kResolvingHost;
}

// No host to ask: the list that comes with the program goes through the
// same parse and filter as a downloaded one.
void ListDownload::readBuiltInList() {
    view_.emptyList();
    winsock_.Close();
    cutting_ = false;
    listBuffer_ = source_.builtIn ? source_.builtIn() : std::string();
    if (listBuffer_.size() > kListCap) {
        listBuffer_.resize(kListCap);
        cutting_ = true;
    }
    view_.setStatusText(kListRetrieving);
    endDownload(true);
}

void ListDownload::onConnected() {
    if (winsock_.State() == TcpClient::kConnected) winsock_.SendData(listRequest_);
}

void ListDownload::onData() {
    listChunk_ = winsock_.GetData();
    received_ += listChunk_.size();
    const std::size_t room = kListCap - listBuffer_.size();
    if (listChunk_.size() > room) {
        // A host that never stops sending: keep the first 4 MiB and end
        // here.
        listBuffer_.append(listChunk_, 0, room);
        listChunk_.clear();
        cutting_ = true;
        view_.setStatusText(kListRetrieving);
        endDownload(true);
        return;
    }
    listBuffer_ += listChunk_;
    view_.setStatusText(kListRetrieving);
}

void ListDownload::onPeerClosed() { endDownload(winsock_.State() == TcpClient::kPeerClosed); }

void ListDownload::onTick() {
    const std::string status = view_.statusText();
    const bool late = ++ticks_ >= kAnswerTicks;
    if (status == kListConnecting) {
        winsock_.Close();
        view_.setStatusText(kListTimedOut);
        timer_.setEnabled(false);
    } else if (status == kListRetrieving && (received_ == receivedAtTick_ || late)) {
        // Nothing new for a whole period: the host sent its list and keeps
        // the connection open. Or the deadline: the list as far as it came.
        endDownload(true);
    }
    receivedAtTick_ = received_;
}

void ListDownload::endDownload(bool parse) {
    if (parse) {
        winsock_.Close();
        view_.emptyList();
        list_ = ParseServerList(listBuffer_);
        cut_ = cutting_;
        view_.fillFilter(FilterEntries(list_));
    }
    view_.pickAllServers();
    view_.setStatusText(kListDone);
}

}  // namespace norvik::whois
