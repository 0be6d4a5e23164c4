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

    Image1_ = new IconView(64, this);
    Image1_->setObjectName(QStringLiteral("Image1"));
    Image1_->setIcon(NamedIcon("product"), QStringLiteral("product"));
    lblDescription_ = plainLabel(
        QStringLiteral(
            "Norvik is a Windows Ping Utility allowing users to ditch command prompt and "
            "gain the extra features of multiple pings and user defined ping data."),
        "lblDescription", this);
    lblDescription_->setWordWrap(true);
    Label5_ = plainLabel(QStringLiteral("Version ") + QLatin1String(platform::ProductVersion()),
                         "Label5", this);
    Label1_ = plainLabel(QString(), "Label1", this);
    Label1_->setWordWrap(true);
    Line1_ = new QFrame(this);
    Line1_->setObjectName(QStringLiteral("Line1"));
    Line1_->setFrameShape(QFrame::HLine);
    Line1_->setFrameShadow(QFrame::Sunken);
    Label2_ = plainLabel(QStringLiteral("Website:"), "Label2", this);
    Label4_ = linkLabel(QLatin1String(platform::ProductWebAddress()), "Label4", this);
    Label3_ = plainLabel(QStringLiteral("Email:"), "Label3", this);
    Label8_ = linkLabel(QLatin1String(platform::ProductContactAddress()), "Label8", this);
    cmdOK_ = new QPushButton(QStringLiteral("OK"), this);
    cmdOK_->setObjectName(QStringLiteral("cmdOK"));
    cmdOK_->setDefault(true);
    cmdSysInfo_ = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo_->setObjectName(QStringLiteral("cmdSysInfo"));

    auto* text = new QVBoxLayout;
    text->addWidget(lblDescription_);
    text->addSpacing(6);
    text->addWidget(Label5_);
    text->addWidget(Label1_);
    auto* top = new QHBoxLayout;
    top->addWidget(Image1_, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* links = new QGridLayout;
    links->addWidget(Label2_, 0, 0);
    links->addWidget(Label4_, 0, 1, Qt::AlignLeft);
    links->addWidget(Label3_, 1, 0);
    links->addWidget(Label8_, 1, 1, Qt::AlignLeft);
    links->setColumnStretch(1, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdOK_);
    buttons->addWidget(cmdSysInfo_);
    auto* bottom = new QHBoxLayout;
    bottom->addLayout(links, 1);
    bottom->addLayout(buttons);

    QWidget* body = platform::ScrollingBody(this);
    auto* whole = new QVBoxLayout(body);
    whole->addLayout(top);
    whole->addWidget(Line1_);
    whole->addLayout(bottom);
    body->setMinimumWidth(460);
    resize(sizeHint());
    platform::FitToScreen(this);

    connect(cmdOK_, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo_, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
    connect(Label4_, &ClickLabel::clicked, this, &frmAbout::Label4_Click);
    connect(Label8_, &ClickLabel::clicked, this, &frmAbout::Label8_Click);
    setTabOrder(cmdOK_, cmdSysInfo_);
    setTabOrder(cmdSysInfo_, Label4_);
    setTabOrder(Label4_, Label8_);
    cmdOK_->setFocus();
}

void frmAbout::reject() { cmdOK_->click(); }

// The box goes away; the next request shows it afresh.
void frmAbout::cmdOK_Click() { hide(); }

void frmAbout::cmdSysInfo_Click() { StartSysInfo(); }

// The open requests' results are not checked: the desktop says when it
// cannot.
void frmAbout::Label4_Click() { shell_.openUrl(platform::ProductWebAddress()); }

void frmAbout::Label8_Click() {
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
