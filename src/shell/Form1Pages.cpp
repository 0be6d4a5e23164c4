// The page operations: every show operation hides all five pages, then
// shows its own: a Page of its own is entered, the Ping and Whois Lookup
// pages show and fill their controls here.

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetricsF>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextOption>
#include <QToolButton>

#include "ping/Numbers.h"
#include "shell/Form1.h"
#include "shell/IpTranslationPage.h"
#include "shell/RdapView.h"
#include "shell/ResultButtons.h"
#include "shell/SettingsPage.h"
#include "shell/TracePage.h"
#include "shell/WhoisView.h"
#include "shell/Whoisupdate.h"
#include "shell/Widgets.h"
#include "store/Settings.h"

namespace norvik::shell {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

const char kPingIntro[] =
    "Norvik has 4 main functions, these can be accessed from the icons on the left. "
    "Configuration and further help are available from the icons in the top right.";

const char kServersKey[] = "HKEY_LOCAL_MACHINE\\Software\\Tarnwell\\Norvik\\Servers";
const char kServersSubPath[] = "Software\\Tarnwell\\Norvik\\Servers";

// Bounds on what a damaged directory can make the walk read.
constexpr std::int32_t kMaxCountries = 10000;
constexpr double kMaxServersPerCountry = 10000;

void setShown(std::initializer_list<QWidget*> widgets, bool shown) {
    for (QWidget* w : widgets) w->setVisible(shown);
}

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

void Form1::HideAllPages() {
    HideIpTranslationPage();
    HidePingPage();
    HideTracePage();
    HideWhoisPage();
    HideSettingsPage();
}

// ---- Ping ----

void Form1::ShowPingPage() {
    HideAllPages();
    setShown({intro_, carryoutping_, Label1_, Label2_, Label9_, Label11_, Label12_, Combo1_,
              Combo2_, Combo3_, Text5_},
             true);
    ShowProgressHeading();
    nme_->setText(QStringLiteral("Ping"));
    return1_->setText(QStringLiteral("Welcome to Norvik!"));
    intro_->setText(QLatin1String(kPingIntro));
    reg_.CreateKeyPath(store::kSessionIPsKey);

    emptyCombo(Combo1_);
    emptyCombo(Combo2_);
    emptyCombo(Combo3_);
    Combo2_->addItems({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                       QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("10"),
                       QStringLiteral("20"), QStringLiteral("50")});
    Combo3_->addItems({QStringLiteral("1"), QStringLiteral("16"), QStringLiteral("32")});
    Combo3_->setCurrentIndex(2);
    Combo3_Click();

    LoadDisplaySettings();
    FillFromSession(Combo1_);
    if (Combo1_->count() > 0) Combo1_->setCurrentIndex(0);
    markPage(pingicon_);
    Combo1_->setFocus();
}

void Form1::HidePingPage() {
    setShown({intro_, carryoutping_, Label1_, Label2_, Label9_, Label11_, Label12_, Combo1_,
              Combo2_, Combo3_, Text5_, Shape1_, status_, Line1_, Picture1_, Text2_},
             false);
    ShowProgressHeading();
}

void Form1::LoadDisplaySettings() {
    if (store::RememberOn(reg_.ReadKeyValue(store::kNorvikKey, store::kRememberOnExit))) {
        settingsPage_->setChoice(SettingsPage::Choice::RememberOnExit, true);
        reg_.WriteKeyValue(store::kNorvikKey, store::kRememberOnExit, "1");
    } else {
        settingsPage_->setChoice(SettingsPage::Choice::RememberOnExit, false);
    }

    const std::string nopings = reg_.ReadKeyValue(store::kNorvikKey, store::kNoPings);
    if (Combo2_->count() > 0) Combo2_->setCurrentIndex(0);
    if (nopings != store::kError) Combo2_->setEditText(q(nopings));

    ApplyDisplaySettings();
}

// The three display check boxes follow the store, and a field that is off
// is hidden; nothing here shows a field again. A box changed here counts as
// clicked, so its value is written back.
void Form1::ApplyDisplaySettings() {
    using Choice = SettingsPage::Choice;
    const auto apply = [this](const char* name, bool (*on)(const std::string&), Choice choice,
                              std::initializer_list<QWidget*> fields) {
        const bool shown = on(reg_.ReadKeyValue(store::kNorvikKey, name));
        settingsPage_->setChoice(choice, shown);
        if (!shown) setShown(fields, false);
    };
    apply(store::kDisplayAddress, store::DisplayAddressOn, Choice::DisplayAddress,
          {Text4(1), return7_});
    apply(store::kDisplayPacketSize, store::DisplayPacketSizeOn, Choice::DisplayPacketSize,
          {Text4(3), return4_});
    apply(store::kDisplayDataPointer, store::DisplayDataPointerOn, Choice::DisplayDataPointer,
          {Text4(5), return5_});
}

void Form1::FillFromSession(QComboBox* list) {
    emptyCombo(list);
    for (const std::string& a : store::ReadSessionList(reg_)) list->addItem(q(a));
}

// ---- IP Translation ----

void Form1::ShowIpTranslationPage() {
    HideAllPages();
    intro_->setVisible(true);
    return1_->setText(QStringLiteral("IP Translation"));
    intro_->setText(
        QStringLiteral("Here you can convert IP addresses to Domain Names and vice versa.") +
        kCrLf + kCrLf +
        QStringLiteral("Did you know..you can translate a domain name to an IP address using the "
                       "ping function. Just enter the domain name and click in the IP address "
                       "box!"));
    nme_->setText(QStringLiteral("IP Translation"));
    markPage(iptransicon_);
    ipTranslationPage_->enter();
}

void Form1::HideIpTranslationPage() { ipTranslationPage_->setVisible(false); }

// ---- Settings ----

void Form1::ShowSettingsPage() {
    HideAllPages();
    nme_->setText(QStringLiteral("Settings"));
    markPage(Image7_);
    settingsPage_->enter();
}

void Form1::HideSettingsPage() { settingsPage_->setVisible(false); }

// ---- TraceRoute ----

void Form1::ShowTracePage() {
    HideAllPages();
    nme_->setText(QStringLiteral("TraceRoute"));
    traceLabel4_->setVisible(true);
    tracePage_->enter();
    markPage(tracerouteicon_);
}

void Form1::HideTracePage() {
    tracePage_->leave();
    traceLabel4_->setVisible(false);
}

// ---- Whois Lookup ----

void Form1::ShowWhoisPage() {
    HideAllPages();
    nme_->setText(QStringLiteral("Whois Lookup"));
    setShown({whoisLabel2_, whoisLabel6_, whoisCombo1_, whoiscombo2_, lookupwhois_, whois1_,
              whoisuk_, whoisus_, whoisserver_, countrydropdown_, whoisresult_, traceLabel4_},
             true);
    whoisRdap_->setVisible(true);
    whoisresult_->setPlainText(
        QStringLiteral("Select the domain you wish to perform a lookup on and a Whois server for "
                       "the relevant country.") +
        kCrLf + kCrLf + QStringLiteral("Click LOOKUP to perform Whois lookup on domain.") + kCrLf +
        kCrLf + QStringLiteral("Domain information will appear in this box."));
    SetHoldsResult(whoisresult_, false);

    emptyCombo(countrydropdown_);
    emptyCombo(whoiscombo2_);
    emptyCombo(whoisCombo1_);
    countrydropdown_->addItem(QStringLiteral("All"));
    DirectoryWalk(true);
    countrydropdown_->setCurrentIndex(0);
    countrydropdown_Click();
    whoiscombo2_->setEditText(QLatin1String(kDefaultUsWhoisServer));

    for (int i = 1; i <= store::kSlotsRead; ++i) {
        std::string a = reg_.ReadKeyValue(store::kSessionIPsKey, std::to_string(i));
        if (a == store::kError) continue;
        std::string head = a.substr(0, 4);
        for (char& c : head) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        if (head == "www.") a.erase(0, 4);
        whoisCombo1_->addItem(q(a));
    }
    if (whoisCombo1_->count() > 0) whoisCombo1_->setCurrentIndex(0);
    markPage(whoisicon_);
    whoisCombo1_->setFocus();
}

void Form1::HideWhoisPage() {
    setShown({whoisLabel2_, whoisLabel6_, whoisCombo1_, whoiscombo2_, lookupwhois_, whois1_,
              whoisuk_, whoisus_, whoisserver_, countrydropdown_, whoisresult_, whoisrefer_},
             false);
    whoisRdap_->setVisible(false);
}

void Form1::DirectoryWalk(bool listCountries) {
    for (std::int32_t n = 0; n < kMaxCountries; ++n) {
        const std::string country =
            reg_.SubKeyNameAt(store::HKEY_LOCAL_MACHINE, kServersSubPath, n);
        if (country == store::kNotFound) return;
        const std::string key = std::string(kServersKey) + "\\" + country;
        const std::string total = reg_.ReadKeyValue(key, "Total");
        if (listCountries) countrydropdown_->addItem(q(country));
        if (total == store::kError) continue;
        const double count = serverCount(total);
        for (int i = 1; i <= count; ++i) {
            whoiscombo2_->addItem(q(reg_.ReadKeyValue(key, std::to_string(i))));
        }
    }
}

void Form1::countrydropdown_Click() {
    if (ended_) return;
    emptyCombo(whoiscombo2_);
    if (countrydropdown_->currentIndex() == 0) {
        DirectoryWalk(false);
    } else {
        const std::string key =
            std::string(kServersKey) + "\\" + countrydropdown_->currentText().toStdString();
        const std::string total = reg_.ReadKeyValue(key, "Total");
        if (total != store::kError) {
            const double count = serverCount(total);
            for (int i = 1; i <= count; ++i) {
                whoiscombo2_->addItem(q(reg_.ReadKeyValue(key, std::to_string(i))));
            }
        }
    }
    // Filling the list picks nothing: the server box stays empty until the
    // user picks or types a server.
    whoiscombo2_->setCurrentIndex(-1);
    whoiscombo2_->clearEditText();
}

void Form1::whoisuk_Click() { whoisView_->whoisuk_Click(); }
void Form1::whoisus_Click() { whoisView_->whoisus_Click(); }
void Form1::lookupwhois_Click() {
    if (rdapView_->ticked()) {
        rdapView_->lookupwhois_Click();
        return;
    }
    rdapView_->yieldToPort43();
    whoisView_->lookupwhois_Click();
}
void Form1::whoisrefer_Click() {
    if (rdapView_->offering()) {
        rdapView_->whoisrefer_Click();
        return;
    }
    rdapView_->yieldToPort43();
    whoisView_->whoisrefer_Click();
}
void Form1::whoisRdap_Click() { rdapView_->whoisRdap_Click(); }
void Form1::whoisCombo1_GotFocus() { makeDefault(lookupwhois_); }

Whoisupdate* Form1::whoisupdate() const { return whoisupdate_; }

// Opens the server list update window, or brings the open one to the front.
void Form1::whoisserver_Click() {
    if (ended_) return;
    if (whoisupdate_ != nullptr && whoisupdate_->isVisible()) {
        whoisupdate_->raise();
        whoisupdate_->activateWindow();
        return;
    }
    whoisupdate_ = new Whoisupdate({reg_.keyStore(),
                                    boxes_,
                                    makeTcpClient(),
                                    makeTimer(),
                                    whoisPort_,
                                    [this] {
                                        raise();
                                        activateWindow();
                                        ShowWhoisPage();
                                    },
                                    {}},
                                   this);
    whoisupdate_->show();
}

}  // namespace norvik::shell
