#include "shell/IpTranslationPage.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "shell/Widgets.h"

namespace norvik::shell {

IpTranslationPage::IpTranslationPage(net::HostToIP& hosts, Headings headings,
                                     std::function<bool()> ended, QWidget* parent)
    : Page(parent), hosts_(hosts), headings_(headings), ended_(std::move(ended)) {
    setObjectName(QStringLiteral("ipTranslationPage"));
    addressCaption_ = plainLabel(
        QStringLiteral("IP Address (eg: ") + QLatin1String(kExampleAddress) + QStringLiteral(")"),
        "Label8", this);
    addressBox_ = new QLineEdit(this);
    addressBox_->setObjectName(QStringLiteral("ipad"));
    nameCaption_ = plainLabel(
        QStringLiteral("Domain Name (eg: ") + QLatin1String(kExampleHostName) + QStringLiteral(")"),
        "Label3", this);
    nameBox_ = new QLineEdit(this);
    nameBox_->setObjectName(QStringLiteral("domainname"));
    nameButton_ = button(QStringLiteral("IP to Domain Name"), "iptodom", this);
    addressButton_ = button(QStringLiteral("Domain Name to IP"), "domtoip", this);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(10);
    grid->addWidget(addressCaption_, 0, 0);
    grid->addWidget(addressBox_, 1, 0);
    grid->addWidget(nameButton_, 1, 1);
    grid->addWidget(nameCaption_, 2, 0);
    grid->addWidget(nameBox_, 3, 0);
    grid->addWidget(addressButton_, 3, 1);
    grid->setColumnStretch(0, 1);

    // Each box is named after its caption for assistive technology.
    for (const auto& [caption, box] :
         {std::pair{addressCaption_, addressBox_}, std::pair{nameCaption_, nameBox_}}) {
        caption->setBuddy(box);
        box->setAccessibleName(caption->text().trimmed());
    }

    connect(nameButton_, &QPushButton::clicked, this, &IpTranslationPage::lookUpName);
    connect(addressButton_, &QPushButton::clicked, this, &IpTranslationPage::lookUpAddress);
    // Enter in a box presses its own button, once it is typed in or has
    // the focus.
    connect(addressBox_, &QLineEdit::textChanged, this,
            [this] { emit defaultChosen(nameButton_); });
    connect(nameBox_, &QLineEdit::textChanged, this,
            [this] { emit defaultChosen(addressButton_); });
    addressBox_->installEventFilter(this);
    nameBox_->installEventFilter(this);
}

void IpTranslationPage::enter() {
    headings_.intro->setVisible(true);
    headings_.heading->setText(QStringLiteral("IP Translation"));
    headings_.intro->setText(
        QStringLiteral("Here you can convert IP addresses to Domain Names and vice versa.\r\n\r\n"
                       "Did you know..you can translate a domain name to an IP address using the "
                       "ping function. Just enter the domain name and click in the IP address "
                       "box!"));
    setVisible(true);
    addressBox_->setFocus();
}

std::vector<QWidget*> IpTranslationPage::tabOrder() const {
    return {addressBox_, nameButton_, nameBox_, addressButton_};
}

bool IpTranslationPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == addressBox_) emit defaultChosen(nameButton_);
        if (watched == nameBox_) emit defaultChosen(addressButton_);
    }
    return Page::eventFilter(watched, event);
}

void IpTranslationPage::lookUpName() {
    translate(nameButton_, addressBox_, nameBox_, &net::HostToIP::IPToHostName);
}

void IpTranslationPage::lookUpAddress() {
    translate(addressButton_, nameBox_, addressBox_, &net::HostToIP::HostNameToIP);
}

// One lookup: the button is off while it runs, and an empty input leaves an
// empty answer whatever the resolver said.
void IpTranslationPage::translate(QPushButton* button, QLineEdit* from, QLineEdit* to,
                                  std::string (net::HostToIP::*lookup)(const std::string&)) {
    if (ended_()) return;
    button->setEnabled(false);
    button->repaint();
    if (hosts_.SocketsStart()) {
        to->setText(QString::fromStdString((hosts_.*lookup)(from->text().toStdString())));
        if (from->text().isEmpty()) to->setText(QString());
    }
    button->setEnabled(true);
    // The answer written into the other box does not take Enter away from
    // the box the lookup was started from.
    emit defaultChosen(button);
}

}  // namespace norvik::shell
