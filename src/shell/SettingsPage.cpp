#include "shell/SettingsPage.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "shell/Widgets.h"
#include "store/Settings.h"

namespace norvik::shell {

using platform::Answer;
using platform::Buttons;
using platform::Icon;

namespace {

// A framed surface; the window gives it its colours (setSurfaceColours).
QFrame* panel(const char* name, QWidget* parent) {
    auto* f = new QFrame(parent);
    f->setObjectName(QLatin1String(name));
    f->setFrameShape(QFrame::StyledPanel);
    f->setAutoFillBackground(true);
    return f;
}

QLabel* title(const QString& text, const char* name, QWidget* parent) {
    QLabel* l = plainLabel(text, name, parent);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

QCheckBox* checkBox(const QString& text, const char* name, QWidget* parent) {
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(QLatin1String(name));
    return c;
}

// The stored value of each choice, by Choice.
constexpr std::array<const char*, 5> kValueNames = {
    store::kDisplayAddress, store::kDisplayPacketSize, store::kDisplayDataPointer,
    store::kRememberOnExit, store::kPreferIpv6};

std::size_t at(SettingsPage::Choice c) { return static_cast<std::size_t>(c); }

}  // namespace

SettingsChoices::SettingsChoices(store::Registry& reg, QObject* parent)
    : QObject(parent), reg_(reg) {}

void SettingsChoices::readDisplay() {
    const std::pair<Choice, bool (*)(const std::string&)> display[] = {
        {Choice::DisplayAddress, store::DisplayAddressOn},
        {Choice::DisplayPacketSize, store::DisplayPacketSizeOn},
        {Choice::DisplayDataPointer, store::DisplayDataPointerOn},
        {Choice::PreferIpv6, store::PreferIpv6On}};
    for (const auto& [choice, on] : display)
        set(choice, on(reg_.ReadKeyValue(store::kNorvikKey, kValueNames[at(choice)])));
}

void SettingsChoices::readRemember() {
    const bool on = store::RememberOn(reg_.ReadKeyValue(store::kNorvikKey, store::kRememberOnExit));
    set(Choice::RememberOnExit, on);
    if (on) reg_.WriteKeyValue(store::kNorvikKey, store::kRememberOnExit, "1");
}

void SettingsChoices::store(Choice choice, bool on) {
    on_[at(choice)] = on;
    store::WriteCheckSetting(reg_, kValueNames[at(choice)], on);
    emit changed(choice, on);
}

SettingsPage::SettingsPage(store::Registry& reg, SettingsChoices& choices,
                           platform::MessageBox& boxes, std::function<bool()> ended,
                           QWidget* parent)
    : Page(parent), reg_(reg), choices_(choices), boxes_(boxes), ended_(std::move(ended)) {
    setObjectName(QStringLiteral("settingsPage"));
    displayPanel_ = panel("settingsback", this);
    displayTitle_ = title(QStringLiteral("Optional Returned Data to Display"), "settingsminititle",
                          displayPanel_);
    choiceBoxes_[at(Choice::DisplayAddress)] =
        checkBox(QStringLiteral("Display Address (as decimal)"), "settingscheck1", displayPanel_);
    choiceBoxes_[at(Choice::DisplayPacketSize)] =
        checkBox(QStringLiteral("Display Packet Size Returned"), "settingscheck2", displayPanel_);
    choiceBoxes_[at(Choice::DisplayDataPointer)] =
        checkBox(QStringLiteral("Display Data Pointer"), "settingscheck3", displayPanel_);
    sessionPanel_ = panel("settingsback2", this);
    sessionTitle_ = title(QStringLiteral("Remove Stored IPs"), "settingsrem", sessionPanel_);
    sessionList_ = new QListWidget(sessionPanel_);
    sessionList_->setObjectName(QStringLiteral("List1"));
    sessionList_->setSelectionMode(QAbstractItemView::SingleSelection);
    removeSelectedButton_ =
        button(QStringLiteral("Remove Selected"), "settingsdelsel", sessionPanel_);
    removeAllButton_ = button(QStringLiteral("Remove All"), "settingsdelall", sessionPanel_);
    choiceBoxes_[at(Choice::RememberOnExit)] =
        checkBox(QStringLiteral("remember settings on exit"), "settingsremember", sessionPanel_);
    rememberExplained_ = plainLabel(QString(), "settingsexplain", sessionPanel_);
    rememberExplained_->setWordWrap(true);
    addressPanel_ = panel("settingsback3", this);
    choiceBoxes_[at(Choice::PreferIpv6)] =
        checkBox(QStringLiteral("Prefer IPv6"), "settingsipv6", addressPanel_);

    auto* display = new QVBoxLayout(displayPanel_);
    display->addWidget(displayTitle_);
    for (Choice c : {Choice::DisplayAddress, Choice::DisplayPacketSize, Choice::DisplayDataPointer})
        display->addWidget(choiceBoxes_[at(c)]);
    auto* session = new QGridLayout(sessionPanel_);
    session->addWidget(sessionTitle_, 0, 0, 1, 2);
    session->addWidget(sessionList_, 1, 0, 3, 1);
    session->addWidget(removeSelectedButton_, 1, 1);
    session->addWidget(removeAllButton_, 2, 1);
    session->setRowStretch(3, 1);
    session->addWidget(choiceBoxes_[at(Choice::RememberOnExit)], 4, 0, 1, 2);
    session->addWidget(rememberExplained_, 5, 0, 1, 2);
    session->setColumnStretch(0, 1);
    sessionList_->setMinimumHeight(fontMetrics().height() * 8);
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(10);
    // The address choice sits beside the display choices.
    auto* address = new QVBoxLayout(addressPanel_);
    address->addWidget(choiceBoxes_[at(Choice::PreferIpv6)]);
    address->addStretch(1);
    auto* top = new QHBoxLayout;
    top->setSpacing(10);
    top->addWidget(displayPanel_, 3);
    top->addWidget(addressPanel_, 1);
    page->addLayout(top);
    page->addWidget(sessionPanel_);

    // The list is named after its caption for assistive technology.
    sessionTitle_->setBuddy(sessionList_);
    sessionList_->setAccessibleName(sessionTitle_->text().trimmed());
    (new InputEdges(this))->watch(sessionList_);

    for (Choice c : {Choice::DisplayAddress, Choice::DisplayPacketSize, Choice::DisplayDataPointer,
                     Choice::RememberOnExit, Choice::PreferIpv6}) {
        choiceBoxes_[at(c)]->setChecked(choices_.chosen(c));
        connect(choiceBoxes_[at(c)], &QCheckBox::stateChanged, this, [this, c] { storeChoice(c); });
    }
    // A choice set elsewhere shows in its box.
    connect(&choices_, &SettingsChoices::changed, this, [this](Choice c, bool on) {
        const QSignalBlocker quiet(choiceBoxes_[at(c)]);
        choiceBoxes_[at(c)]->setChecked(on);
    });
    connect(removeAllButton_, &QPushButton::clicked, this, &SettingsPage::removeAll);
    connect(removeSelectedButton_, &QPushButton::clicked, this, &SettingsPage::removeSelected);
}

void SettingsPage::enter() {
    setVisible(true);
    rememberExplained_->setText(
        QStringLiteral("This setting ensures addresses and settings used during a Norvik session "
                       "are saved for future sessions."));
    listSession();
    choiceBoxes_[at(Choice::DisplayAddress)]->setFocus();
}

std::vector<QWidget*> SettingsPage::tabOrder() const {
    return {choiceBoxes_[at(Choice::DisplayAddress)],
            choiceBoxes_[at(Choice::DisplayPacketSize)],
            choiceBoxes_[at(Choice::DisplayDataPointer)],
            sessionList_,
            removeSelectedButton_,
            removeAllButton_,
            choiceBoxes_[at(Choice::RememberOnExit)],
            choiceBoxes_[at(Choice::PreferIpv6)]};
}

void SettingsPage::setSurfaceColours(const QColor& surface, const QColor& text) {
    for (QFrame* f : {displayPanel_, sessionPanel_, addressPanel_}) {
        QPalette p = f->palette();
        p.setColor(QPalette::Window, surface);
        p.setColor(QPalette::WindowText, text);
        f->setPalette(p);
    }
}

// A box that is not plainly checked (the greyed state included) is cleared
// and stored as "0". Changes made by the program count as clicks too.
void SettingsPage::storeChoice(Choice choice) {
    QCheckBox* box = choiceBoxes_[at(choice)];
    if (box->checkState() == Qt::PartiallyChecked) {
        const QSignalBlocker quiet(box);
        box->setCheckState(Qt::Unchecked);
    }
    choices_.store(choice, box->checkState() == Qt::Checked);
}

void SettingsPage::removeAll() {
    if (ended_()) return;
    const Answer a = boxes_.show(
        "This will clear all IP's in the 'Address to ping' dropdown.\n\r"
        "Are you sure you wish to do this?",
        platform::kAppTitle, Buttons::YesNo, Icon::None);
    if (a != Answer::Yes) return;
    store::RemoveAllSession(reg_);
    listSession();
}

void SettingsPage::removeSelected() {
    if (ended_()) return;
    const QList<QListWidgetItem*> selected = sessionList_->selectedItems();
    const std::string chosen =
        selected.isEmpty() ? std::string() : selected.first()->text().toStdString();
    const Answer a = boxes_.show(
        "This will clear the following addresses in the 'Address to ping' dropdown:\n\r\n\r" +
            chosen + "\n\r\n\rAre you sure you wish to do this?",
        platform::kAppTitle, Buttons::YesNo, Icon::None);
    if (a != Answer::Yes) return;
    store::RemoveFromSession(reg_, chosen);
    listSession();
}

// The list shows the session's addresses with none selected.
void SettingsPage::listSession() {
    sessionList_->clear();
    for (const std::string& a : store::ReadSessionList(reg_))
        sessionList_->addItem(QString::fromStdString(a));
    sessionList_->clearSelection();
    sessionList_->setCurrentRow(-1);
}

}  // namespace norvik::shell
