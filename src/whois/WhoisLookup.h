#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/TcpClient.h"
#include "platform/Timer.h"
#include "whois/Exchange.h"
#include "whois/WhoisText.h"

namespace norvik::whois {

// The status line texts of a lookup.
inline constexpr const char* kConnecting = "Connecting...";
inline constexpr const char* kRetrieving = "Connected...Retrieving Info";
inline constexpr const char* kDone = "Done";
inline constexpr const char* kFailed = "Failed!";

// The controls a lookup reads and writes. The window implements it with
// the Whois Lookup page's widgets; norvik-cli with plain fields.
class LookupView {
  public:
    virtual ~LookupView() = default;

    virtual QString domainText() = 0;  // the domain as typed
    virtual QStringList domainItems() = 0;
    virtual void appendDomainItem(const QString& domain) = 0;
    virtual QString serverText() = 0;                 // the whois server as typed
    virtual void setLookupEnabled(bool enabled) = 0;  // the lookup button
    // whoisresult, with CR LF line ends (CR CR LF where the answer had CR LF).
    virtual void setResultText(const QString& text) = 0;
    // The status line, shared with the TraceRoute page.
    virtual void setStatusText(const QString& text) = 0;
    // The server that the last answer refers to; nullopt hides the offer.
    virtual void offerReferral(const std::optional<Referral>& referral) = 0;
};

// One whois lookup at a time over a TCP client and a time-out timer
// (Winsock1 and Timer1 of the main window). Event-driven: start() opens the
// exchange and returns; the client's events and the timer's ticks carry the
// lookup on.
class WhoisLookup {
  public:
    enum class Outcome { Done, Failed };

    WhoisLookup(LookupView& view, platform::TcpClient& client, platform::Timer& timer,
                std::uint16_t port = 43);
    WhoisLookup(const WhoisLookup&) = delete;
    WhoisLookup& operator=(const WhoisLookup&) = delete;

    // "Lookup": asks the server in the view about the domain in the view.
    void start();

    // The domain of the lookup in flight or the last one.
    const QString& whoisDomain() const { return whoisDomain_; }
    // All that arrived in this lookup, at most kAnswerCap.
    const std::string& whoisReply() const { return exchange_.answer(); }
    // The server asked by the lookup in flight or the last one.
    const std::string& server() const { return server_; }
    // The last answer was cut at kAnswerCap.
    bool cut() const { return cut_; }
    // The answer as shown: ended by a line saying why when it was cut at
    // kAnswerCap or at the 60-second deadline.
    std::string shownReply() const;

    // Called when a lookup has ended, after the view shows its end.
    std::function<void(Outcome)> onEnded;

  private:
    bool connect();
    void ended(Exchange::End how);

    LookupView& view_;
    platform::Timer& timer_;
    Exchange exchange_;
    std::uint16_t port_;

    QString whoisDomain_;
    std::string server_;
    bool cut_ = false;
    bool late_ = false;
};

}  // namespace norvik::whois
