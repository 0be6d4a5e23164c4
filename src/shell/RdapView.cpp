#include "shell/RdapView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "rdap/Query.h"
#include "shell/ResultButtons.h"
#include "shell/Widgets.h"
#include "store/Settings.h"
#include "whois/WhoisLookup.h"
#include "whois/WhoisText.h"

namespace norvik::shell {

RdapView::Engine::Engine(std::unique_ptr<platform::Timer> t)
    : timer(std::move(t)),
      http(*timer),
      cache(rdap::BootstrapCache::DefaultDir(), http),
      lookup(http, &cache) {}

RdapView::RdapView(std::function<bool()> ended, const RdapControls& controls, store::Registry& reg,
                   std::function<std::unique_ptr<platform::Timer>()> makeTimer)
    : ended_(std::move(ended)), c_(controls), reg_(reg), makeTimer_(std::move(makeTimer)) {}

RdapView::~RdapView() {
    if (engine_) engine_->lookup.abort();
}

RdapView::Engine& RdapView::engine() {
    if (!engine_) {
        engine_ = std::make_unique<Engine>(makeTimer_());
        engine_->http.onRequestSent = [this] {
            c_.status->setText(QLatin1String(whois::kRetrieving));
        };
    }
    return *engine_;
}

bool RdapView::ticked() const { return c_.rdapBox->isChecked(); }

void RdapView::applyTicked(bool on) {
    // The server box is not used by RDAP; its text stays for port 43.
    c_.serverBox->setEnabled(!on);
}

void RdapView::restore() {
    const bool on = reg_.ReadKeyValue(store::kNorvikKey, kUseRdap) == "1";
    const QSignalBlocker quiet(c_.rdapBox);
    c_.rdapBox->setChecked(on);
    applyTicked(on);
}

void RdapView::storeTicked() {
    const bool on = c_.rdapBox->isChecked();
    store::WriteCheckSetting(reg_, kUseRdap, on);
    applyTicked(on);
}

void RdapView::lookUp() {
    if (ended_() || !c_.lookupButton->isEnabled()) return;
    domain_ = c_.domainBox->currentText();
    ask(std::nullopt);
    // The domain joins the list as a port-43 lookup adds it.
    bool listed = false;
    for (int i = 0; i < c_.domainBox->count() && !listed; ++i)
        listed = c_.domainBox->itemText(i) == domain_;
    if (!listed) {
        c_.domainBox->addItem(domain_);
        c_.domainBox->setEditText(domain_);
    }
}

void RdapView::askReferral() {
    if (!related_ || ended_() || !c_.lookupButton->isEnabled()) return;
    const QUrl url = *related_;
    ask(url);
}

void RdapView::ask(const std::optional<QUrl>& url) {
    related_.reset();
    c_.referralLink->setVisible(false);
    c_.lookupButton->setEnabled(false);
    show(QString(), {});
    const auto done = [this](const rdap::Outcome& o) { ended(o); };
    if (url) {
        c_.status->setText(QLatin1String(whois::kConnecting));
        engine().lookup.startUrl(*url, domain_, done);
        return;
    }
    const auto query = rdap::ParseQuery(domain_);
    if (!query) {
        rdap::Outcome o;
        o.text = QStringLiteral("Not a domain, address, prefix or AS number: ") + domain_.left(200);
        ended(o);
        return;
    }
    c_.status->setText(QLatin1String(whois::kConnecting));
    engine().lookup.start(*query, QString(), done);
}

void RdapView::show(const QString& text, exports::RdapDocument doc) {
    c_.answerBox->setPlainText(text);
    SetHoldsResult(c_.answerBox, !text.isEmpty());
    shownText_ = c_.answerBox->toPlainText();
    doc.query = domain_.toStdString();
    doc.receivedAtMs = QDateTime::currentMSecsSinceEpoch();
    shown_ = std::move(doc);
}

std::optional<exports::RdapDocument> RdapView::document() const {
    const QString now = c_.answerBox->toPlainText();
    if (!shown_ || now != shownText_) return std::nullopt;
    exports::RdapDocument doc = *shown_;
    doc.answer = ShownText(now).toStdString();
    return doc;
}

void RdapView::ended(const rdap::Outcome& o) {
    c_.lookupButton->setEnabled(true);
    exports::RdapDocument doc;
    doc.service = o.url.toString(QUrl::FullyEncoded).toStdString();
    if (o.kind == rdap::Outcome::Kind::Found) {
        c_.status->setText(QLatin1String(whois::kDone));
        doc.object = o.json.toStdString();
        show(whois::DisplayLines(o.text), std::move(doc));
        related_ = o.related;
        if (related_) c_.referralLink->setText(QStringLiteral("Ask ") + related_->host());
        c_.referralLink->setVisible(related_.has_value() &&
                                    c_.answerBox->isVisibleTo(c_.answerBox->window()));
        return;
    }
    c_.status->setText(QLatin1String(whois::kFailed));
    show(whois::DisplayLines(o.timedOut ? whois::TimeoutText(o.url.host()) : o.text),
         std::move(doc));
}

}  // namespace norvik::shell
