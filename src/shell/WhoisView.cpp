#include "shell/WhoisView.h"

#include <QComboBox>
#include <QDateTime>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "shell/ResultButtons.h"
#include "shell/Widgets.h"
#include "whois/WhoisText.h"

namespace norvik::shell {

namespace {

// Past this many lines the result box holds the lines in groups of
// kLinesPerBlock, joined by line separators inside one text block: a text
// block per line makes a 4 MiB answer take far too long to show. The text
// and what toPlainText gives back stay the same.
constexpr qsizetype kManyLines = 2000;
constexpr int kLinesPerBlock = 16;

void groupLines(QString& text) {
    if (text.count(u'\n') <= kManyLines) return;
    QChar* c = text.data();
    const QChar* const end = c + text.size();
    int n = 0;
    for (; c != end; ++c) {
        if (*c == u'\n' && ++n % kLinesPerBlock != 0) *c = QChar::LineSeparator;
    }
}

}  // namespace

WhoisView::WhoisView(std::function<bool()> ended, std::function<void()> listServers,
                     const WhoisControls& controls, platform::TcpClient& client,
                     platform::Timer& timer, std::uint16_t port)
    : ended_(std::move(ended)),
      listServers_(std::move(listServers)),
      c_(controls),
      lookup_(*this, client, timer, port) {
    // Whois answers are laid out in columns: a fixed-width font, no wrapping.
    c_.answerBox->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    c_.answerBox->setLineWrapMode(QPlainTextEdit::NoWrap);
    c_.referralLink->setVisible(false);
}

void WhoisView::lookUp() {
    if (ended_() || !c_.lookupButton->isEnabled()) return;
    lookup_.start();
}

// The quick buttons pick a country as if it were picked from the list, then
// put the country's default server in the server box.
void WhoisView::quickSelect(const QString& country, const char* server) {
    if (ended_()) return;
    QComboBox* box = c_.countryBox;
    const int at = box->findText(country, Qt::MatchExactly | Qt::MatchCaseSensitive);
    box->setCurrentIndex(at > 0 ? at : -1);
    box->setEditText(country);
    if (!ended_()) listServers_();
    c_.serverBox->setEditText(QLatin1String(server));
}

void WhoisView::pickGb() { quickSelect(QStringLiteral("GB"), whois::kDefaultGbServer); }
void WhoisView::pickUs() { quickSelect(QStringLiteral("US"), whois::kDefaultUsServer); }

void WhoisView::askReferral() {
    if (!referral_ || !c_.lookupButton->isEnabled()) return;
    c_.serverBox->setEditText(QString::fromStdString(referral_->host));
    c_.domainBox->setEditText(lookup_.whoisDomain());
    lookUp();
}

QString WhoisView::domainText() { return c_.domainBox->currentText(); }

QStringList WhoisView::domainItems() {
    QStringList out;
    for (int i = 0; i < c_.domainBox->count(); ++i) out << c_.domainBox->itemText(i);
    return out;
}

void WhoisView::appendDomainItem(const QString& domain) {
    // Adding to the list must not change the text in the box.
    const QString text = c_.domainBox->currentText();
    c_.domainBox->addItem(domain);
    c_.domainBox->setEditText(text);
}

QString WhoisView::serverText() { return c_.serverBox->currentText(); }

void WhoisView::setLookupEnabled(bool enabled) { c_.lookupButton->setEnabled(enabled); }

void WhoisView::setResultText(const QString& text) {
    QString lines = whois::DisplayLines(text);
    groupLines(lines);
    c_.answerBox->setPlainText(lines);
    SetHoldsResult(c_.answerBox, !lines.isEmpty());
    shownAtMs_ = QDateTime::currentMSecsSinceEpoch();
}

exports::WhoisDocument WhoisView::document() const {
    // Before any answer the box holds the page's own words, saved as of now.
    const std::int64_t at = shownAtMs_ != 0 ? shownAtMs_ : QDateTime::currentMSecsSinceEpoch();
    return exports::WhoisDocument{lookup_.server(), lookup_.whoisDomain().toStdString(), at,
                                  ShownText(c_.answerBox->toPlainText()).toStdString()};
}

void WhoisView::setStatusText(const QString& text) {
    c_.status->setText(text);
    Announce(c_.status);
}

void WhoisView::offerReferral(const std::optional<whois::Referral>& referral) {
    referral_ = referral;
    if (referral_)
        c_.referralLink->setText(QStringLiteral("Ask ") + QString::fromStdString(referral_->host));
    // Shown only on the Whois Lookup page; a lookup that ends while another
    // page is shown leaves it hidden.
    c_.referralLink->setVisible(referral_.has_value() &&
                                c_.answerBox->isVisibleTo(c_.answerBox->window()));
}

}  // namespace norvik::shell
