#include "whois/ListDownload.h"

#include <utility>

namespace norvik::whois {

ListDownload::ListDownload(platform::TcpClient& winsock, platform::Timer& timer, ListView& view,
                           ListSource source)
    : timer_(timer), view_(view), source_(std::move(source)), exchange_(winsock, timer, kListCap) {
    exchange_.onData = [this] { view_.setStatusText(kListRetrieving); };
    exchange_.onEnd = [this](Exchange::End how) { ended(how); };
    timer_.setInterval(kListTimerMs);
    timer_.setEnabled(true);
}

void ListDownload::start() {
    const std::string host = source_.host ? source_.host() : std::string();
    if (host.empty()) {
        readBuiltInList();
        return;
    }
    view_.emptyList();
    if (exchange_.open(host, source_.port, kListRequest)) {
        view_.setStatusText(kListConnecting);
        timer_.setEnabled(true);
    }
}

void ListDownload::stop() { exchange_.dropConnected(); }

// No host to ask: the list that comes with the program goes through the
// same parse and filter as a downloaded one.
void ListDownload::readBuiltInList() {
    view_.emptyList();
    exchange_.close();
    std::string text = source_.builtIn ? source_.builtIn() : std::string();
    const bool cut = text.size() > kListCap;
    if (cut) text.resize(kListCap);
    view_.setStatusText(kListRetrieving);
    finish(text, cut);
}

void ListDownload::ended(Exchange::End how) {
    if (how == Exchange::End::TimedOut) {
        view_.setStatusText(kListTimedOut);
    } else {
        finish(exchange_.answer(), how == Exchange::End::Cut);
    }
}

void ListDownload::finish(const std::string& text, bool cut) {
    view_.emptyList();
    list_ = ParseServerList(text);
    cut_ = cut;
    view_.fillFilter(FilterEntries(list_));
    view_.pickAllServers();
    view_.setStatusText(kListDone);
}

}  // namespace norvik::whois
