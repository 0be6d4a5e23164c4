#include "shell/Form1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QVBoxLayout>

#include "platform/Product.h"
#include "platform/qt/QtDesktopShell.h"
#include "platform/qt/QtTcpClient.h"
#include "platform/qt/QtTimer.h"
#include "shell/Form2.h"
#include "shell/Help.h"
#include "shell/IpTranslationPage.h"
#include "shell/PingPage.h"
#include "shell/SettingsPage.h"
#include "shell/Startup.h"
#include "shell/TracePage.h"
#include "shell/WhoisPage.h"
#include "shell/Whoisupdate.h"
#include "shell/Widgets.h"
#include "shell/frmAbout.h"
#include "store/Settings.h"

namespace norvik::shell {

namespace {

// By PageId; Ctrl and a digit shows a page.
constexpr const char* kTitles[] = {"IP Translation", "Ping", "TraceRoute", "Whois Lookup",
                                   "Settings"};
constexpr const char* kHelp[] = {"help-iptranslation.html", "help-ping.html",
                                 "help-traceroute.html", "help-whois.html", "help-settings.html"};
constexpr Qt::Key kKeys[] = {Qt::Key_4, Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_5};
std::size_t at(PageId p) { return static_cast<std::size_t>(p); }

}  // namespace

Form1::Form1(Services services, QWidget* parent)
    : QWidget(parent),
      boxes_(services.boxes),
      resolver_(services.resolver),
      echo_(services.echo),
      ender_(std::move(services.endProgram)),
      tcpFactory_(
          services.makeTcpClient
              ? std::move(services.makeTcpClient)
              : [] { return std::unique_ptr<platform::TcpClient>(new platform::QtTcpClient); }),
      timerFactory_(services.makeTimer
                        ? std::move(services.makeTimer)
                        : [] { return std::unique_ptr<platform::Timer>(new platform::QtTimer); }),
      whoisPort_(services.whoisPort),
      reg_(services.store, services.boxes),
      hosts_(services.resolver, services.boxes),
      ownShell_(services.shell ? nullptr : std::make_unique<platform::QtDesktopShell>()),
      shell_(services.shell ? services.shell : ownShell_.get()),
      help_(std::make_unique<Help>(services.boxes, *shell_, this)),
      runs_(new RunGuard(
          *this, services.waiter ? services.waiter : platform::Waiter(platform::pollWaiter))),
      choices_(new SettingsChoices(reg_, this)),
      icons_(new PageIcons(*this)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Norvik v") + QLatin1String(platform::ProductVersion()));
    setWindowIcon(NamedIcon("norvik"));
    whoisClient_ = makeTcpClient();
    whoisTimer_ = makeTimer();
    whoisTimer_->setInterval(10000);
    // Every name the window resolves follows "Prefer IPv6".
    connect(choices_, &SettingsChoices::changed, this, [this](SettingsChoices::Choice c, bool on) {
        if (c == SettingsChoices::Choice::PreferIpv6)
            hosts_.setFamilyRule(on ? platform::FamilyRule::Ipv6First
                                    : platform::FamilyRule::Ipv4First);
    });
    buildFrame();
    // The other pages are built when first shown.
    page(PageId::Ping).tabOrder().front()->setFocus();
    // No larger than the screen leaves room for.
    QSize size(920, 640);
    if (const QScreen* s = screen()) size = size.boundedTo(s->availableGeometry().size() * 9 / 10);
    resize(size.expandedTo(minimumSize()));
}

Form1::~Form1() {
    // The whois lookups end before the client and timer they use go.
    if (pages_->built(PageId::Whois)) delete &page(PageId::Whois);
}

void Form1::buildFrame() {
    title_ = plainLabel(QStringLiteral("Ping"), "nme", this);
    title_->setFont(scaled(title_->font(), 1.8, true));
    auto* head = new QHBoxLayout;
    head->addWidget(title_, 1, Qt::AlignBottom);
    head->addLayout(icons_->fixedRow());
    auto* rule = named(new QFrame(this), "Line2");
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    heading_ = plainLabel(QStringLiteral("Returned Data"), "return1", this);
    heading_->setFont(scaled(heading_->font(), 1.2, true));
    intro_ = plainLabel(QString(), "intro", this);
    intro_->setWordWrap(true);
    intro_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    intro_->setVisible(false);
    statusLine_ = plainLabel(QString(), "traceLabel4", this);
    statusLine_->setVisible(false);
    // The status line is read by its text; its changes are announced.
    statusLine_->setAccessibleDescription(QStringLiteral("Status"));

    // The pages above the headings, what they show lower down below them.
    auto* canvas = named(new QWidget, "pageCanvas");
    pages_ = new PageStack(
        *this, canvas, [this](PageId p, QWidget* parent) { return makePage(p, parent); },
        icons_->tabOrder());
    connect(pages_, &PageStack::pageBuilt, this, &Form1::applySurfaceColours);
    connect(pages_, &PageStack::entering, this, [this](PageId id) {
        title_->setText(QLatin1String(kTitles[at(id)]));
        statusLine_->setVisible(id == PageId::Trace || id == PageId::Whois);
        icons_->mark(id);
    });
    auto* content = new QVBoxLayout;
    content->setSpacing(10);
    content->addLayout(pages_->pageArea());
    content->addSpacing(4);
    content->addWidget(heading_);
    content->addWidget(intro_);
    content->addLayout(pages_->resultsArea(), 1);
    content->addWidget(statusLine_);
    content->addStretch(0);
    auto* main = new QVBoxLayout;
    main->setContentsMargins(18, 10, 14, 14);
    main->addLayout(head);
    main->addWidget(rule);
    main->addSpacing(6);
    main->addLayout(content, 1);

    // Everything scrolls when the window is smaller than the pages need, so
    // the window fits small screens at large scales and nothing is cut off.
    auto* whole = new QHBoxLayout(canvas);
    whole->setContentsMargins(0, 0, 0, 0);
    whole->setSpacing(0);
    whole->addWidget(icons_->column());
    whole->addLayout(main, 1);
    auto* scroll = named(new QScrollArea(this), "pageScroll");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(canvas);
    // The window's own background shows through.
    canvas->setAutoFillBackground(false);
    scroll->viewport()->setAutoFillBackground(false);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    setMinimumSize(kMinimumWidth, kMinimumHeight);

    connect(icons_, &PageIcons::pageWanted, this, &Form1::showPage);
    connect(icons_, &PageIcons::aboutWanted, this, [this] {
        if (!ended()) ShowAbout();
    });
    connect(icons_, &PageIcons::helpWanted, this, [this] {
        if (!ended()) help_->Show();
    });
    connect(icons_, &PageIcons::quitWanted, this, &Form1::quit);
    for (std::size_t i = 0; i < std::size(kKeys); ++i) {
        connect(new QShortcut(QKeySequence(Qt::CTRL | kKeys[i]), this), &QShortcut::activated, this,
                [this, i] { showPage(static_cast<PageId>(i)); });
    }
    connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this,
            &Form1::showPageHelp);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this), &QShortcut::activated, this,
            &Form1::quit);
}

Page* Form1::makePage(PageId id, QWidget* parent) {
    const auto ended = [this] { return this->ended(); };
    switch (id) {
        case PageId::IpTranslation:
            return new IpTranslationPage(hosts_, {heading_, intro_}, ended, parent);
        case PageId::Ping:
            return new PingPage({heading_, intro_, *runs_, [this]() -> Form2& { return form2(); },
                                 [this] { endProgram(); }},
                                reg_, hosts_, echo_, boxes_, *choices_, parent);
        case PageId::Trace:
            return new TracePage({statusLine_, *runs_}, reg_, hosts_, resolver_, echo_, boxes_,
                                 parent);
        case PageId::Whois: {
            auto* p = new WhoisPage({statusLine_, *whoisClient_, *whoisTimer_, whoisPort_,
                                     [this] { return makeTimer(); }, ended},
                                    reg_, boxes_, parent);
            connect(p, &WhoisPage::serverListUpdateWanted, this, &Form1::openServerListUpdate);
            return p;
        }
        case PageId::Settings:
            break;
    }
    return new SettingsPage(reg_, *choices_, boxes_, ended, parent);
}

// Surfaces whose text follows the palette take their tint from it too: a
// touch of the highlight colour over the window colour, so that a dark
// theme gives a dark band with light words. The icons are drawn in the
// highlight colour, made as dark or light as they need to stand out on
// those surfaces.
void Form1::applySurfaceColours() {
    const QColor text = palette().color(QPalette::WindowText);
    const auto tint = [this](int percent) {
        const QColor w = palette().color(QPalette::Window);
        const QColor h = palette().color(QPalette::Highlight);
        const auto mix = [percent](int a, int b) {
            return (a * (100 - percent) + b * percent) / 100;
        };
        return QColor(mix(w.red(), h.red()), mix(w.green(), h.green()), mix(w.blue(), h.blue()));
    };
    if (pages_->built(PageId::Ping)) pingPage().setSurfaceColours(tint(8), text);
    if (pages_->built(PageId::Settings))
        static_cast<SettingsPage&>(page(PageId::Settings)).setSurfaceColours(tint(5), text);
    const QColor ink = Readable(
        palette().color(QPalette::Highlight),
        {tint(12), palette().color(QPalette::Window), palette().color(QPalette::Button)}, 4.5);
    icons_->setColours(tint(12), text, ink);
}

void Form1::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange ||
        event->type() == QEvent::ApplicationPaletteChange) {
        if (pages_ != nullptr && pages_->built(PageId::Ping)) applySurfaceColours();
    }
    QWidget::changeEvent(event);
}

Page& Form1::page(PageId id) { return pages_->page(id); }

PingPage& Form1::pingPage() { return static_cast<PingPage&>(page(PageId::Ping)); }

RdapView& Form1::rdapView() { return static_cast<WhoisPage&>(page(PageId::Whois)).rdapView(); }

void Form1::showPage(PageId id) {
    if (!ended()) pages_->show(id);
}

void Form1::showPageHelp() {
    if (ended()) return;
    PageId shown;
    help_->Show(icons_->marked(&shown) ? kHelp[at(shown)] : kHelpFileName);
}

Form2& Form1::form2() {
    if (!form2_) form2_ = std::make_unique<Form2>(this, &boxes_);
    return *form2_;
}

void Form1::ShowAbout() {
    if (about_ == nullptr) about_ = new frmAbout(reg_.keyStore(), boxes_, *shell_, this);
    about_->show();
    about_->raise();
    about_->activateWindow();
}

Whoisupdate* Form1::whoisupdate() const { return whoisupdate_; }

void Form1::openServerListUpdate() {
    if (ended()) return;
    if (whoisupdate_ != nullptr && whoisupdate_->isVisible()) {
        whoisupdate_->raise();
        whoisupdate_->activateWindow();
        return;
    }
    const auto back = [this] {
        raise();
        activateWindow();
        showPage(PageId::Whois);
    };
    whoisupdate_ = new Whoisupdate(
        {reg_.keyStore(), boxes_, makeTcpClient(), makeTimer(), whoisPort_, back, {}}, this);
    whoisupdate_->show();
}

Form1::Start Form1::startUp(const QString& arguments) {
    if (IsQuietArgument(arguments)) {
        hide();
        return Start::Quiet;
    }
    StartUp();
    return Start::Normal;
}

void Form1::StartUp() {
    if (!ended())
        shell::StartUp(
            reg_, boxes_, [this] { showPage(PageId::Ping); }, [this] { endProgram(); });
}

void Form1::endProgram() {
    if (ended()) return;
    runs_->end();
    if (form2_) form2_->hide();
    if (about_) about_->hide();
    help_->hide();
    hide();
    if (ender_) {
        ender_();
    } else {
        QCoreApplication::exit(0);
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    // Any way of closing the window but Quit ends the program unsaved.
    event->accept();
    endProgram();
}

void Form1::quit() {
    if (ended()) return;
    if (choices_->chosen(SettingsChoices::Choice::RememberOnExit))
        store::SaveRemembered(reg_, store::ReadSessionList(reg_));
    endProgram();
}

}  // namespace norvik::shell
