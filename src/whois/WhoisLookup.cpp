#include "whois/WhoisLookup.h"

#include "platform/Text.h"

namespace norvik::whois {

WhoisLookup::WhoisLookup(LookupView& view, platform::TcpClient& client, platform::Timer& timer,
                         std::uint16_t port)
    : view_(view), timer_(timer), exchange_(client, timer, kAnswerCap), port_(port) {
    exchange_.onData = [this] { view_.setStatusText(QLatin1String(kRetrieving)); };
    exchange_.onEnd = [this](Exchange::End how) { ended(how); };
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
    cut_ = false;
    late_ = false;
    server_ = view_.serverText().toStdString();
    whoisDomain_ = view_.domainText();
    return exchange_.open(server_, port_, QueryBytes(whoisDomain_));
}

std::string WhoisLookup::shownReply() const {
    if (cut_) return MarkCut(whoisReply());
    if (late_) return MarkCut(whoisReply(), kLateLine);
    return whoisReply();
}

// The status line is shared with the TraceRoute page, which may have written
// over "Connecting..." or "Connected...Retrieving Info": the exchange's own
// state decides the ends, or such a lookup would never end. An answer that
// ends is shown with "Done" and Lookup usable again; the timer goes on
// ticking.
void WhoisLookup::ended(Exchange::End how) {
    if (how == Exchange::End::TimedOut) {
        view_.setStatusText(QLatin1String(kFailed));
        view_.setLookupEnabled(true);
        view_.setResultText(TimeoutText(view_.serverText()));
        if (onEnded) onEnded(Outcome::Failed);
        return;
    }
    cut_ = how == Exchange::End::Cut;
    late_ = how == Exchange::End::Late;
    view_.setResultText(QString());
    view_.setResultText(DecodeAnswer(platform::LfToCrLf(shownReply())));
    view_.setStatusText(QLatin1String(kDone));
    view_.setLookupEnabled(true);
    view_.offerReferral(FindReferral(whoisReply(), server_));
    if (onEnded) onEnded(Outcome::Done);
}

}  // namespace norvik::whois
