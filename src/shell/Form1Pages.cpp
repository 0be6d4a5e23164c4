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
#include "shell/WhoisPage.h"
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

void setShown(std::initializer_list<QWidget*> widgets, bool shown) {
    for (QWidget* w : widgets) w->setVisible(shown);
}

QString q(const std::string& s) { return QString::fromStdString(s); }

// Clears a combo box's list and its text.
void emptyCombo(QComboBox* c) {
    c->clear();
    c->clearEditText();
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
    traceLabel4_->setVisible(true);
    markPage(whoisicon_);
    whoisPage_->enter();
}

void Form1::HideWhoisPage() { whoisPage_->leave(); }

RdapView& Form1::rdapView() { return whoisPage_->rdapView(); }

Whoisupdate* Form1::whoisupdate() const { return whoisupdate_; }

// Opens the server list update window, or brings the open one to the front.
void Form1::openServerListUpdate() {
    if (ended()) return;
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
