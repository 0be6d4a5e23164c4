#include "whois/WhoisLookup.h"

namespace norvik::whois {

WhoisLookup::WhoisLookup(LookupView& view, platform::TcpClient& client, platform::Timer& timer,
                         std::uint16_t port)
    : view_(view), client_(client), timer_(timer), port_(port) {
    client_.onConnect = [this] { onConnected(); };
    client_.onDataArrival = [this](std::size_t) { onData(); };
    client_.onClose = [this] { onPeerClosed(); };
    timer_.onTick = [this] { onTick(); };
}

WhoisLookup::~WhoisLookup() {
    client_.onConnect = nullptr;
    client_.onDataArrival = nullptr;
    client_.onClose = nullptr;
    timer_.onTick = nullptr;
}

void WhoisLookup::start() {
    view_.setLookupEnabled(false);
    timer_.setEnabled(true);
    view_.setResultText(QString());
    view_.offerReferral(std::nullopt);
    if (connect()) view_.setStatusText(QLatin1String(kConnecting));

    const QString domain = view_.domainText();
    if (!view_.domainItems().contains(domain, Qt::CaseSensitive)) view_.appendDomainItem(domain);
}

bool WhoisLookup::connect() {
    whoisChunk_.clear();
    whoisReply_.clear();
    cut_ = false;
    arrivals_ = arrivalsAtTick_ = 0;
    receiving_ = false;
    ticks_ = 0;
    late_ = false;
    server_ = view_.serverText().toStdString();
    whoisDomain_ = view_.domainText();
    client_.Close();
    client_.setLocalPort(0);
    client_.Connect(server_, port_);
    const bool started = client_.State() == platform::TcpClient::kResolvingHost;
    receiving_ = started;
    return started;
}

void WhoisLookup::onConnected() {
    if (client_.State() != platform::TcpClient::kConnected) return;
    client_.SendData(QueryBytes(whoisDomain_));
}

void WhoisLookup::onData() {
    whoisChunk_ = client_.GetData();
    ++arrivals_;
    const std::size_t room = kAnswerCap - std::min(kAnswerCap, whoisReply_.size());
    if (whoisChunk_.size() > room) {
        whoisReply_.append(whoisChunk_, 0, room);
        cut_ = true;
    } else {
        whoisReply_ += whoisChunk_;
    }
    view_.setStatusText(QLatin1String(kRetrieving));
    // Past the cap the server is not heard any further.
    if (cut_) endLookup();
}

void WhoisLookup::onPeerClosed() {
    if (client_.State() != platform::TcpClient::kPeerClosed) return;
    endLookup();
}

std::string WhoisLookup::shownReply() const {
    if (cut_) return MarkCut(whoisReply_);
    if (late_) return MarkCut(whoisReply_, kLateLine);
    return whoisReply_;
}

// The answer is complete: shown, "Done", and Lookup usable again. Timer1
// goes on ticking.
void WhoisLookup::endLookup() {
    client_.Close();
    receiving_ = false;
    view_.setResultText(QString());
    view_.setResultText(DecodeAnswer(LfToCrLf(shownReply())));
    view_.setStatusText(QLatin1String(kDone));
    view_.setLookupEnabled(true);
    view_.offerReferral(FindReferral(whoisReply_, server_));
    if (onEnded) onEnded(Outcome::Done);
}

void WhoisLookup::onTick() {
    // The status line is shared with the TraceRoute page, which may have
    // written over "Connecting..." or "Connected...Retrieving Info": the
    // lookup's own state decides, or such a lookup would never end.
    if (receiving_ && arrivals_ == 0) {
        view_.setStatusText(QLatin1String(kFailed));
        client_.Close();
        timer_.setEnabled(false);
        view_.setLookupEnabled(true);
        receiving_ = false;
        view_.setResultText(TimeoutText(view_.serverText()));
        if (onEnded) onEnded(Outcome::Failed);
        return;
    }
    // A server that answered and then went quiet without closing, or one
    // that drips its answer past the deadline.
    const bool idle = arrivals_ == arrivalsAtTick_;
    arrivalsAtTick_ = arrivals_;
    const bool late = receiving_ && ++ticks_ >= kAnswerTicks;
    if (receiving_ && (idle || late) && arrivals_ > 0) {
        late_ = !idle;
        endLookup();
    }
}

}  // namespace norvik::whois
