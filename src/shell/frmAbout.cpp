#include "shell/frmAbout.h"

#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <array>

#include "platform/Product.h"
#include "platform/qt/ScreenFit.h"
#include "shell/Widgets.h"
#include "store/Registry.h"

namespace norvik::shell {

namespace {

// The value buffer of a read: longer data does not fit and fails.
constexpr std::size_t kValueBuffer = 1024;

constexpr char kSysInfoKey[] = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr char kSysInfoPlaceKey[] = "SOFTWARE\\Microsoft\\Shared Tools Location";

// The system-information viewers of the common desktops, tried in order.
struct Viewer {
    const char* program;
    std::vector<std::string> arguments;
};
const std::array<Viewer, 4> kViewers = {{{"kinfocenter", {}},
                                         {"gnome-control-center", {"info-overview"}},
                                         {"hardinfo2", {}},
                                         {"hardinfo", {}}}};

}  // namespace

frmAbout::frmAbout(platform::KeyStore& store, platform::MessageBox& boxes,
                   platform::DesktopShell& shell, QWidget* mainWindow)
    : QDialog(mainWindow), store_(store), boxes_(boxes), shell_(shell) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Norvik"));
    setModal(false);

    picture_ = new IconView(64, this);
    picture_->setObjectName(QStringLiteral("Image1"));
    picture_->setIcon(NamedIcon("product"), QStringLiteral("product"));
    description_ = plainLabel(
        QStringLiteral(
            "Norvik is a Windows Ping Utility allowing users to ditch command prompt and "
            "gain the extra features of multiple pings and user defined ping data."),
        "lblDescription", this);
    description_->setWordWrap(true);
    version_ = plainLabel(QStringLiteral("Version ") + QLatin1String(platform::ProductVersion()),
                          "Label5", this);
    notice_ = plainLabel(QString(), "Label1", this);
    notice_->setWordWrap(true);
    rule_ = new QFrame(this);
    rule_->setObjectName(QStringLiteral("Line1"));
    rule_->setFrameShape(QFrame::HLine);
    rule_->setFrameShadow(QFrame::Sunken);
    webCaption_ = plainLabel(QStringLiteral("Website:"), "Label2", this);
    webLink_ = linkLabel(QLatin1String(platform::ProductWebAddress()), "Label4", this);
    mailCaption_ = plainLabel(QStringLiteral("Email:"), "Label3", this);
    mailLink_ = linkLabel(QLatin1String(platform::ProductContactAddress()), "Label8", this);
    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    okButton_->setObjectName(QStringLiteral("cmdOK"));
    okButton_->setDefault(true);
    sysInfoButton_ = new QPushButton(QStringLiteral("&System Info..."), this);
    sysInfoButton_->setObjectName(QStringLiteral("cmdSysInfo"));

    auto* text = new QVBoxLayout;
    text->addWidget(description_);
    text->addSpacing(6);
    text->addWidget(version_);
    text->addWidget(notice_);
    auto* top = new QHBoxLayout;
    top->addWidget(picture_, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* links = new QGridLayout;
    links->addWidget(webCaption_, 0, 0);
    links->addWidget(webLink_, 0, 1, Qt::AlignLeft);
    links->addWidget(mailCaption_, 1, 0);
    links->addWidget(mailLink_, 1, 1, Qt::AlignLeft);
    links->setColumnStretch(1, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(okButton_);
    buttons->addWidget(sysInfoButton_);
    auto* bottom = new QHBoxLayout;
    bottom->addLayout(links, 1);
    bottom->addLayout(buttons);

    QWidget* body = platform::ScrollingBody(this);
    auto* whole = new QVBoxLayout(body);
    whole->addLayout(top);
    whole->addWidget(rule_);
    whole->addLayout(bottom);
    body->setMinimumWidth(460);
    resize(sizeHint());
    platform::FitToScreen(this);

    connect(okButton_, &QPushButton::clicked, this, &frmAbout::dismiss);
    connect(sysInfoButton_, &QPushButton::clicked, this, &frmAbout::showSystemInfo);
    connect(webLink_, &ClickLabel::clicked, this, &frmAbout::openWebSite);
    connect(mailLink_, &ClickLabel::clicked, this, &frmAbout::writeToContact);
    setTabOrder(okButton_, sysInfoButton_);
    setTabOrder(sysInfoButton_, webLink_);
    setTabOrder(webLink_, mailLink_);
    okButton_->setFocus();
}

void frmAbout::reject() { okButton_->click(); }

// The box goes away; the next request shows it afresh.
void frmAbout::dismiss() { hide(); }

void frmAbout::showSystemInfo() { StartSysInfo(); }

// The open requests' results are not checked: the desktop says when it
// cannot.
void frmAbout::openWebSite() { shell_.openUrl(platform::ProductWebAddress()); }

void frmAbout::writeToContact() {
    shell_.openUrl(std::string("mailto:") + platform::ProductContactAddress());
}

bool frmAbout::GetKeyValue(std::uint32_t KeyRoot, const std::string& KeyName,
                           const std::string& SubKeyRef, std::string& KeyVal) {
    const auto value =
        store_.readTypedValue(KeyRoot, store::Registry::SubPathKeys(KeyName), SubKeyRef);
    if (!value || value->data.size() > kValueBuffer) {
        KeyVal.clear();
        return false;
    }
    std::string data = value->data;
    if (!data.empty() && data.back() == '\0') data.pop_back();
    if (value->type == platform::KeyStore::REG_SZ) {
        KeyVal = data;
    } else if (value->type == platform::KeyStore::REG_DWORD) {
        if (const auto n = platform::KeyStore::dwordNumber(value->data))
            KeyVal = std::to_string(*n);
    }
    // Any other type (or a number of another size) leaves KeyVal as it was.
    return true;
}

void frmAbout::StartSysInfo() {
    auto unavailable = [this] {
        boxes_.show("System Information Is Unavailable At This Time", platform::kAppTitle,
                    platform::Buttons::Ok, platform::Icon::None);
    };
    std::string program;
    if (GetKeyValue(store::HKEY_LOCAL_MACHINE, kSysInfoKey, "PATH", program)) {
        if (!shell_.startDetached(program, {})) unavailable();
        return;
    }
    std::string folder;
    if (GetKeyValue(store::HKEY_LOCAL_MACHINE, kSysInfoPlaceKey, "MSINFO", folder)) {
        program = folder + "/MSINFO32.EXE";
        if (QFileInfo(QString::fromStdString(program)).isFile()) {
            if (!shell_.startDetached(program, {})) unavailable();
            return;
        }
    }
    // The desktop's own viewer: the first one on PATH that starts.
    for (const Viewer& viewer : kViewers) {
        program = shell_.findProgram(viewer.program);
        if (!program.empty() && shell_.startDetached(program, viewer.arguments)) return;
    }
    unavailable();
}

}  // namespace norvik::shell
