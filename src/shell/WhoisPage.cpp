#include "shell/WhoisPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ping/Numbers.h"
#include "platform/Text.h"
#include "shell/RdapView.h"
#include "shell/ResultButtons.h"
#include "shell/WhoisView.h"
#include "shell/Widgets.h"
#include "store/Settings.h"
#include "whois/WhoisText.h"

namespace norvik::shell {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

const char kServersKey[] = "HKEY_LOCAL_MACHINE\\Software\\Tarnwell\\Norvik\\Servers";
const char kServersSubPath[] = "Software\\Tarnwell\\Norvik\\Servers";

// Bounds on what a damaged directory can make the walk read.
constexpr std::int32_t kMaxCountries = 10000;
constexpr double kMaxServersPerCountry = 10000;

QString q(const std::string& s) { return QString::fromStdString(s); }

// Clears a combo box's list and its text.
void emptyCombo(QComboBox* c) {
    c->clear();
    c->clearEditText();
}

// "Total" of a country key as a count of servers; nothing when it is no
// number.
double serverCount(const std::string& total) {
    const std::optional<double> n = ping::ParseNumber(total);
    if (!n) return 0;
    return *n < kMaxServersPerCountry ? *n : kMaxServersPerCountry;
}

}  // namespace

WhoisPage::WhoisPage(WhoisFrame frame, store::Registry& reg, platform::MessageBox& boxes,
                     QWidget* parent)
    : Page(parent), frame_(std::move(frame)), reg_(reg), boxes_(boxes) {
    setObjectName(QStringLiteral("whoisPage"));
    domainCaption_ = plainLabel(QStringLiteral("Address to Lookup"), "whoisLabel2", this);
    domainBox_ = editableCombo("whoisCombo1", this);
    serverCaption_ = plainLabel(QStringLiteral("Whois Server"), "whois1", this);
    serverBox_ = editableCombo("whoiscombo2", this);
    countryBox_ = editableCombo("countrydropdown", this);
    countryBox_->setMinimumContentsLength(6);
    countryBox_->setAccessibleName(QStringLiteral("Country"));
    ukLink_ = linkLabel(QStringLiteral("UK"), "whoisuk", this);
    usLink_ = linkLabel(QStringLiteral("US"), "whoisus", this);
    updateLink_ = linkLabel(QStringLiteral("Update Server List"), "whoisserver", this);
    rdapBox_ = new QCheckBox(QStringLiteral("Use RDAP"), this);
    rdapBox_->setObjectName(QStringLiteral("whoisRdap"));
    noWwwNote_ =
        plainLabel(QStringLiteral("Note: Do NOT include \"www\" of domain."), "whoisLabel6", this);
    lookupButton_ = button(QStringLiteral("Lookup"), "lookupwhois", this);

    resultsSection_ = new QWidget(parent);
    resultsSection_->setObjectName(QStringLiteral("whoisResults"));
    resultsSection_->setVisible(false);
    answerBox_ = new QPlainTextEdit(resultsSection_);
    answerBox_->setObjectName(QStringLiteral("whoisresult"));
    answerBox_->setReadOnly(true);
    answerBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    answerBox_->setTabChangesFocus(true);
    answerBox_->setAccessibleName(QStringLiteral("Whois answer"));
    resultButtons_ = makeResultButtons();
    // The referral link under the result box ("Ask <server>").
    referralLink_ = linkLabel(QString(), "whoisrefer", resultsSection_);
    referralLink_->setAccessibleDescription(QStringLiteral("Ask the server the answer refers to"));
    (new InputEdges(this))->watch(answerBox_);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(10);
    grid->addWidget(domainCaption_, 0, 0);
    grid->addWidget(domainBox_, 0, 1, 1, 2);
    grid->addWidget(lookupButton_, 0, 3);
    grid->addWidget(rdapBox_, 0, 4);
    grid->addWidget(noWwwNote_, 1, 1, 1, 3);
    grid->addWidget(serverCaption_, 2, 0);
    grid->addWidget(serverBox_, 2, 1);
    grid->addWidget(countryBox_, 2, 2);
    auto* quick = new QHBoxLayout;
    quick->setSpacing(14);
    quick->addWidget(ukLink_);
    quick->addWidget(usLink_);
    quick->addStretch(1);
    quick->addWidget(updateLink_);
    grid->addLayout(quick, 3, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    auto* results = new QVBoxLayout(resultsSection_);
    results->setContentsMargins(0, 0, 0, 0);
    results->setSpacing(10);
    results->addWidget(answerBox_, 1);
    results->addWidget(resultButtons_);
    results->addWidget(referralLink_);

    // Each box is named after its caption for assistive technology.
    for (const auto& [caption, box] :
         {std::pair{domainCaption_, domainBox_}, std::pair{serverCaption_, serverBox_}}) {
        caption->setBuddy(box);
        box->setAccessibleName(caption->text().trimmed());
    }

    whoisView_ = std::make_unique<WhoisView>(
        frame_.ended, [this] { listServers(); },
        WhoisControls{domainBox_, serverBox_, countryBox_, lookupButton_, answerBox_, frame_.status,
                      referralLink_},
        frame_.client, frame_.timer, frame_.port);
    rdapView_ =
        std::make_unique<RdapView>(frame_.ended,
                                   RdapControls{rdapBox_, domainBox_, serverBox_, lookupButton_,
                                                answerBox_, frame_.status, referralLink_},
                                   reg_, frame_.makeTimer);
    rdapView_->restore();

    connect(countryBox_, &QComboBox::activated, this, [this] {
        if (!frame_.ended()) listServers();
    });
    connect(ukLink_, &ClickLabel::clicked, this, [this] { whoisView_->pickGb(); });
    connect(usLink_, &ClickLabel::clicked, this, [this] { whoisView_->pickUs(); });
    connect(updateLink_, &ClickLabel::clicked, this, &WhoisPage::serverListUpdateWanted);
    connect(lookupButton_, &QPushButton::clicked, this, &WhoisPage::lookUp);
    connect(referralLink_, &ClickLabel::clicked, this, &WhoisPage::askReferral);
    connect(rdapBox_, &QCheckBox::clicked, this, [this] { rdapView_->storeTicked(); });
    // Enter in the domain box looks up.
    domainBox_->installEventFilter(this);
    domainBox_->lineEdit()->installEventFilter(this);
}

WhoisPage::~WhoisPage() = default;

ResultButtons* WhoisPage::makeResultButtons() {
    SetHoldsResult(answerBox_, false);
    return new ResultButtons(
        QStringLiteral("whois"), answerBox_,
        [this](exports::Format f) {
            // The last lookup's answer as the box shows it, asked by RDAP or on port 43.
            if (const auto rdap = rdapView_ ? rdapView_->document() : std::nullopt)
                return exports::Render(f, *rdap);
            if (!whoisView_) return std::string();
            return exports::Render(f, whoisView_->document());
        },
        QStringLiteral("whois"), &boxes_, resultsSection_);
}

void WhoisPage::enter() {
    setVisible(true);
    resultsSection_->setVisible(true);
    answerBox_->setPlainText(
        QStringLiteral("Select the domain you wish to perform a lookup on and a Whois server for "
                       "the relevant country.") +
        kCrLf + kCrLf + QStringLiteral("Click LOOKUP to perform Whois lookup on domain.") + kCrLf +
        kCrLf + QStringLiteral("Domain information will appear in this box."));
    SetHoldsResult(answerBox_, false);

    emptyCombo(countryBox_);
    emptyCombo(serverBox_);
    emptyCombo(domainBox_);
    countryBox_->addItem(QStringLiteral("All"));
    listDirectory(true);
    countryBox_->setCurrentIndex(0);
    if (!frame_.ended()) listServers();
    serverBox_->setEditText(QLatin1String(whois::kDefaultUsServer));

    for (int i = 1; i <= store::kSlotsRead; ++i) {
        std::string a = reg_.ReadKeyValue(store::kSessionIPsKey, std::to_string(i));
        if (a == store::kError) continue;
        if (platform::AsciiLower(std::string_view(a).substr(0, 4)) == "www.") a.erase(0, 4);
        domainBox_->addItem(q(a));
    }
    if (domainBox_->count() > 0) domainBox_->setCurrentIndex(0);
    domainBox_->setFocus();
}

void WhoisPage::leave() {
    setVisible(false);
    resultsSection_->setVisible(false);
    referralLink_->setVisible(false);
}

std::vector<QWidget*> WhoisPage::tabOrder() const {
    return {domainBox_,
            lookupButton_,
            rdapBox_,
            serverBox_,
            countryBox_,
            ukLink_,
            usLink_,
            updateLink_,
            answerBox_,
            referralLink_,
            resultButtons_->copyButton(),
            resultButtons_->saveButton()};
}

bool WhoisPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) emit defaultChosen(lookupButton_);
    return Page::eventFilter(watched, event);
}

void WhoisPage::listDirectory(bool listCountries) {
    for (std::int32_t n = 0; n < kMaxCountries; ++n) {
        const std::string country =
            reg_.SubKeyNameAt(store::HKEY_LOCAL_MACHINE, kServersSubPath, n);
        if (country == store::kNotFound) return;
        const std::string key = std::string(kServersKey) + "\\" + country;
        const std::string total = reg_.ReadKeyValue(key, "Total");
        if (listCountries) countryBox_->addItem(q(country));
        if (total == store::kError) continue;
        const double count = serverCount(total);
        for (int i = 1; i <= count; ++i) {
            serverBox_->addItem(q(reg_.ReadKeyValue(key, std::to_string(i))));
        }
    }
}

void WhoisPage::listServers() {
    emptyCombo(serverBox_);
    if (countryBox_->currentIndex() == 0) {
        listDirectory(false);
    } else {
        const std::string key =
            std::string(kServersKey) + "\\" + countryBox_->currentText().toStdString();
        const std::string total = reg_.ReadKeyValue(key, "Total");
        if (total != store::kError) {
            const double count = serverCount(total);
            for (int i = 1; i <= count; ++i) {
                serverBox_->addItem(q(reg_.ReadKeyValue(key, std::to_string(i))));
            }
        }
    }
    // Filling the list picks nothing: the server box stays empty until the
    // user picks or types a server.
    serverBox_->setCurrentIndex(-1);
    serverBox_->clearEditText();
}

void WhoisPage::lookUp() {
    if (rdapView_->ticked()) {
        rdapView_->lookUp();
        return;
    }
    rdapView_->yieldToPort43();
    whoisView_->lookUp();
}

void WhoisPage::askReferral() {
    if (rdapView_->offering()) {
        rdapView_->askReferral();
        return;
    }
    rdapView_->yieldToPort43();
    whoisView_->askReferral();
}

}  // namespace norvik::shell
