#pragma once

#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

#include "export/Export.h"
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

// The stored value of the "Use RDAP" check box under the Norvik key.
inline constexpr const char* kUseRdap = "Use RDAP";

struct RdapControls {
    QCheckBox* rdapBox;
    QComboBox* domainBox;
    QComboBox* serverBox;
    QPushButton* lookupButton;
    QPlainTextEdit* answerBox;
    QLabel* status;
    ClickLabel* referralLink;
};

// The Whois Lookup page's RDAP way of asking: the "Use RDAP" check box, the
// lookup it starts from "Lookup" when ticked, and the "Ask" link to a
// registrar's own record. Event-driven like the port-43 lookup.
class RdapView {
  public:
    // The timer and the HTTP client are made at the first RDAP lookup.
    // `ended` tells whether the program has ended.
    RdapView(std::function<bool()> ended, const RdapControls& controls, store::Registry& reg,
             std::function<std::unique_ptr<platform::Timer>()> makeTimer);
    ~RdapView();

    // The stored setting into the check box (window start).
    void restore();
    void storeTicked();
    bool ticked() const;

    void lookUp();
    // Whether the "Ask" link offers an RDAP record now, and its click.
    bool offering() const { return related_.has_value(); }
    void askReferral();
    // A port-43 lookup takes the result box: no offer, no answer of ours.
    void yieldToPort43() {
        related_.reset();
        shown_.reset();
    }
    // What the result box shows while it holds this lookup's answer (or
    // reason), for Copy and Save; nullopt once anything else wrote the box.
    std::optional<exports::RdapDocument> document() const;

    rdap::HttpClient& http() { return engine().http; }
    platform::Timer& timer() { return *engine().timer; }

  private:
    void ask(const std::optional<QUrl>& url);
    void ended(const rdap::Outcome& o);
    void show(const QString& text, exports::RdapDocument doc);
    void applyTicked(bool on);

    std::function<bool()> ended_;
    RdapControls c_;
    store::Registry& reg_;
    struct Engine {
        explicit Engine(std::unique_ptr<platform::Timer> t);
        std::unique_ptr<platform::Timer> timer;
        rdap::HttpClient http;
        rdap::BootstrapCache cache;
        rdap::RdapLookup lookup;
    };
    Engine& engine();

    std::function<std::unique_ptr<platform::Timer>()> makeTimer_;
    std::unique_ptr<Engine> engine_;
    QString domain_;
    std::optional<QUrl> related_;
    std::optional<exports::RdapDocument> shown_;
    QString shownText_;  // the box's text as this view left it
};

}  // namespace norvik::shell
