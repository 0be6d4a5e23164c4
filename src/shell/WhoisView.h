#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "export/Export.h"
#include "platform/TcpClient.h"
#include "platform/Timer.h"
#include "whois/WhoisLookup.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace norvik::shell {

class ClickLabel;

// The Whois Lookup page's controls that the lookup works with.
struct WhoisControls {
    QComboBox* domainBox;
    QComboBox* serverBox;
    QComboBox* countryBox;
    QPushButton* lookupButton;
    QPlainTextEdit* answerBox;
    QLabel* status;
    ClickLabel* referralLink;  // "Ask <server>" under the result box
};

// The whois lookup's view over the main window's controls: the Lookup
// button, the quick buttons and the referral link.
class WhoisView : public whois::LookupView {
  public:
    // `ended` tells whether the program has ended; `listServers` fills the
    // server list for the country shown.
    WhoisView(std::function<bool()> ended, std::function<void()> listServers,
              const WhoisControls& controls, platform::TcpClient& client, platform::Timer& timer,
              std::uint16_t port);

    void lookUp();
    void pickGb();
    void pickUs();
    // The referral link: asks the server it names about the same domain.
    void askReferral();

    whois::WhoisLookup& lookup() { return lookup_; }
    // The answer as shown, with its server, domain and time, for Save.
    exports::WhoisDocument document() const;

    QString domainText() override;
    QStringList domainItems() override;
    void appendDomainItem(const QString& domain) override;
    QString serverText() override;
    void setLookupEnabled(bool enabled) override;
    void setResultText(const QString& text) override;
    void setStatusText(const QString& text) override;
    void offerReferral(const std::optional<whois::Referral>& referral) override;

  private:
    void quickSelect(const QString& country, const char* server);

    std::function<bool()> ended_;
    std::function<void()> listServers_;
    WhoisControls c_;
    whois::WhoisLookup lookup_;
    std::optional<whois::Referral> referral_;
    std::int64_t shownAtMs_ = 0;  // when the result box was last written
};

}  // namespace norvik::shell
