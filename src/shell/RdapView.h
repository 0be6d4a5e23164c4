#pragma once

#include <QString>
#include <QUrl>
#include <memory>
#include <optional>

#include "platform/Timer.h"
#include "rdap/HttpClient.h"
#include "rdap/RdapLookup.h"
#include "store/Registry.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace norvik::shell {

class ClickLabel;
class Form1;

// The stored value of the "Use RDAP" check box under the Norvik key.
inline constexpr const char* kUseRdap = "Use RDAP";

struct RdapControls {
    QCheckBox* whoisRdap;
    QComboBox* whoisCombo1;
    QComboBox* whoiscombo2;
    QPushButton* lookupwhois;
    QPlainTextEdit* whoisresult;
    QLabel* traceLabel4;
    ClickLabel* whoisrefer;
};

// The Whois Lookup page's RDAP way of asking: the "Use RDAP" check box, the
// lookup it starts from "Lookup" when ticked, and the "Ask" link to a
// registrar's own record. Event-driven like the port-43 lookup.
class RdapView {
  public:
    RdapView(Form1& form, const RdapControls& controls, store::Registry& reg,
             std::unique_ptr<platform::Timer> timer, const QString& cacheDir);
    ~RdapView();

    // The stored setting into the check box (window start).
    void restore();
    void whoisRdap_Click();
    bool ticked() const;

    void lookupwhois_Click();
    // Whether the "Ask" link offers an RDAP record now, and its click.
    bool offering() const { return related_.has_value(); }
    void whoisrefer_Click();
    void clearOffer() { related_.reset(); }

    rdap::HttpClient& http() { return http_; }
    platform::Timer& timer() { return *timer_; }

  private:
    void ask(const std::optional<QUrl>& url);
    void ended(const rdap::Outcome& o);
    void applyTicked(bool on);

    Form1& form_;
    RdapControls c_;
    store::Registry& reg_;
    std::unique_ptr<platform::Timer> timer_;
    rdap::HttpClient http_;
    rdap::BootstrapCache cache_;
    rdap::RdapLookup lookup_;
    QString domain_;
    std::optional<QUrl> related_;
};

}  // namespace norvik::shell
