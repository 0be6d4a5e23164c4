#pragma once

#include <functional>
#include <memory>

#include "platform/MessageBox.h"
#include "platform/TcpClient.h"
#include "platform/Timer.h"
#include "shell/Page.h"
#include "store/Registry.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;

namespace norvik::shell {

class ClickLabel;
class RdapView;
class ResultButtons;
class WhoisView;

// What the Whois Lookup page needs of the window around it.
struct WhoisFrame {
    // The status line under the answer, shared with the TraceRoute page.
    QLabel* status;
    // The port-43 client and its time-out timer, and the whois port.
    platform::TcpClient& client;
    platform::Timer& timer;
    std::uint16_t port;
    // New timers for the RDAP lookups.
    std::function<std::unique_ptr<platform::Timer>()> makeTimer;
    // True once the program has ended.
    std::function<bool()> ended;
};

// The Whois Lookup page: the domain and the server (picked by country from
// the stored server directory, or typed), Lookup on port 43 or by RDAP,
// the answer with Copy and Save, and the referral link (the answer section
// is placed lower in the window, under the shared headings).
class WhoisPage : public Page {
    Q_OBJECT
  public:
    WhoisPage(WhoisFrame frame, store::Registry& reg, platform::MessageBox& boxes, QWidget* parent);
    ~WhoisPage() override;

    void enter() override;
    void leave() override;
    std::vector<QWidget*> tabOrder() const override;
    // The answer box with its Copy and Save and the referral link, for the
    // window to place.
    QWidget* resultsSection() const override { return resultsSection_; }

    // Fills the server list from the directory: every server for "All",
    // else the chosen country's; the server box is left empty.
    void listServers();
    RdapView& rdapView() { return *rdapView_; }

  signals:
    // "Update Server List" was clicked.
    void serverListUpdateWanted();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void listDirectory(bool listCountries);
    void lookUp();
    void askReferral();
    ResultButtons* makeResultButtons();

    WhoisFrame frame_;
    store::Registry& reg_;
    platform::MessageBox& boxes_;

    QLabel* domainCaption_;
    QComboBox* domainBox_;
    QPushButton* lookupButton_;
    QCheckBox* rdapBox_;
    QLabel* noWwwNote_;
    QLabel* serverCaption_;
    QComboBox* serverBox_;
    QComboBox* countryBox_;
    ClickLabel* ukLink_;
    ClickLabel* usLink_;
    ClickLabel* updateLink_;
    QWidget* resultsSection_;
    QPlainTextEdit* answerBox_;
    ResultButtons* resultButtons_;
    ClickLabel* referralLink_;
    std::unique_ptr<WhoisView> whoisView_;
    std::unique_ptr<RdapView> rdapView_;
};

}  // namespace norvik::shell
