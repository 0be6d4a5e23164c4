#include "shell/Form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QVBoxLayout>

#include "platform/Product.h"
#include "platform/qt/QtDesktopShell.h"
#include "platform/qt/QtTcpClient.h"
#include "platform/qt/QtTimer.h"
#include "shell/DefaultButton.h"
#include "shell/Form2.h"
#include "shell/Help.h"
#include "shell/IpTranslationPage.h"
#include "shell/PingPage.h"
#include "shell/RunGuard.h"
#include "shell/SettingsPage.h"
#include "shell/TracePage.h"
#include "shell/WhoisPage.h"
#include "shell/Whoisupdate.h"
#include "shell/Widgets.h"
#include "shell/frmAbout.h"
#include "store/Settings.h"

namespace norvik::shell {

namespace {

using PageId = Form1::PageId;

// An icon with its words under it, and what invoking it does.
struct IconLook {
    const char* file;
    const char* name;
    const char* tip;  // also the title of its page
    const char* wordsName;
    const char* words;
};

// The page icons by PageId, with each page's help and key (Ctrl and a digit).
constexpr IconLook kPageIcons[] = {
    {"iptrans", "iptransicon", "IP Translation", "iptranswords", "IP  Translation"},
    {"ping", "pingicon", "Ping", "pingwords", "Ping"},
    {"traceroute", "tracerouteicon", "TraceRoute", "traceroutewords", "TraceRoute"},
    {"whois", "whoisicon", "Whois Lookup", "whoiswords", "Whois Lookup"},
    {"settings", "Image7", "Settings", "Label4", "Settings"}};
constexpr const char* kPageHelp[] = {"help-iptranslation.html", "help-ping.html",
                                     "help-traceroute.html", "help-whois.html",
                                     "help-settings.html"};
constexpr Qt::Key kPageKeys[] = {Qt::Key_4, Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_5};
// The order of the page icons in the column, Settings at the top right.
constexpr PageId kColumn[] = {PageId::Ping, PageId::Trace, PageId::Whois, PageId::IpTranslation};
// The fixed icons after Settings: About, Help, Quit.
constexpr IconLook kFixedIcons[] = {{"about", "Image5", "About Norvik", "Label5", "About  "},
                                    {"help", "Image2", "Help", "Label7", "Help"},
                                    {"quit", "quiticon", "", "quitwords", "Quit"}};

std::size_t at(PageId p) { return static_cast<std::size_t>(p); }

template <class Button>
Button* iconButton(const IconLook& look, int extent, QWidget* parent) {
    auto* b = named(new Button(parent), look.name);
    // Drawn in the palette's colours (applySurfaceColours).
    b->setProperty("iconFile", QByteArray(look.file));
    b->setIconSize(QSize(extent, extent));
    b->setAutoRaise(true);
    b->setToolTip(QLatin1String(look.tip));
    b->setCursor(Qt::PointingHandCursor);
    b->setAccessibleName(*look.tip == '\0' ? QStringLiteral("Quit") : QLatin1String(look.tip));
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

ClickLabel* words(const IconLook& look, QWidget* parent) {
    auto* l = named(new ClickLabel(QLatin1String(look.words), parent), look.wordsName);
    l->setFocusPolicy(Qt::NoFocus);
    l->setAlignment(Qt::AlignHCenter);
    return l;
}

}  // namespace

Form1::Form1(Services services, QWidget* parent)
    : QWidget(parent),
      boxes_(services.boxes),
      resolver_(services.resolver),
      echo_(services.echo),
      ender_(std::move(services.endProgram)),
      tcpFactory_(std::move(services.makeTcpClient)),
      timerFactory_(std::move(services.makeTimer)),
      whoisPort_(services.whoisPort),
      reg_(services.store, services.boxes),
      hosts_(services.resolver, services.boxes),
      ownShell_(services.shell ? nullptr : std::make_unique<platform::QtDesktopShell>()),
      shell_(services.shell ? services.shell : ownShell_.get()),
      help_(std::make_unique<Help>(services.boxes, *shell_, this)),
      runs_(new RunGuard(
          *this, services.waiter ? services.waiter : platform::Waiter(platform::pollWaiter))),
      defaults_(new DefaultButton(this)),
      edges_(new InputEdges(this)),
      choices_(new SettingsChoices(reg_, this)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Norvik v") + QLatin1String(platform::ProductVersion()));
    setWindowIcon(NamedIcon("norvik"));
    whoisClient_ = makeTcpClient();
    whoisTimer_ = makeTimer();
    whoisTimer_->setInterval(10000);

    buildFrame();
    adopt(this);
    for (PageId p :
         {PageId::Ping, PageId::IpTranslation, PageId::Trace, PageId::Whois, PageId::Settings})
        page(p);
    pages_[at(PageId::Ping)]->tabOrder().front()->setFocus();
    // No larger than the screen leaves room for.
    QSize size(920, 640);
    if (const QScreen* s = screen()) size = size.boundedTo(s->availableGeometry().size() * 9 / 10);
    resize(size.expandedTo(minimumSize()));
}

Form1::~Form1() {
    // The whois lookups end before the client and timer they use go.
    delete pages_[at(PageId::Whois)];
}

void Form1::buildFrame() {
    // Left: the page icons on a tinted band.
    iconBand_ = named(new QFrame(this), "iconBand");
    iconBand_->setAutoFillBackground(true);
    auto* band = new QVBoxLayout(iconBand_);
    band->setContentsMargins(8, 16, 8, 16);
    band->setSpacing(2);
    for (PageId p : kColumn) {
        pageIcons_[at(p)] = iconButton<PageIcon>(kPageIcons[at(p)], 40, iconBand_);
        band->addWidget(pageIcons_[at(p)], 0, Qt::AlignHCenter);
        band->addWidget(words(kPageIcons[at(p)], iconBand_), 0, Qt::AlignHCenter);
        band->addSpacing(14);
    }
    band->addStretch(1);
    iconBand_->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("IP  Translation")) +
                               32);

    // Top: the page title and the four fixed icons.
    title_ = plainLabel(QStringLiteral("Ping"), "nme", this);
    title_->setFont(scaled(title_->font(), 1.8, true));
    auto* head = new QHBoxLayout;
    head->addWidget(title_, 1, Qt::AlignBottom);
    const auto addFixed = [&](QToolButton* icon, const IconLook& look) {
        auto* col = new QVBoxLayout;
        col->setSpacing(0);
        col->addWidget(icon, 0, Qt::AlignHCenter);
        col->addWidget(words(look, this), 0, Qt::AlignHCenter);
        head->addSpacing(6);
        head->addLayout(col);
        return icon;
    };
    const IconLook& settings = kPageIcons[at(PageId::Settings)];
    pageIcons_[at(PageId::Settings)] = iconButton<PageIcon>(settings, 26, this);
    addFixed(pageIcons_[at(PageId::Settings)], settings);
    for (const IconLook& look : kFixedIcons)
        addFixed(iconButton<QToolButton>(look, 26, this), look);

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
    auto* content = new QVBoxLayout;
    content->setSpacing(10);
    for (QVBoxLayout** area : {&pageArea_, &resultsArea_}) {
        *area = new QVBoxLayout;
        (*area)->setSpacing(10);
    }
    content->addLayout(pageArea_);
    content->addSpacing(4);
    content->addWidget(heading_);
    content->addWidget(intro_);
    content->addLayout(resultsArea_, 1);
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
    canvas_ = named(new QWidget, "pageCanvas");
    auto* whole = new QHBoxLayout(canvas_);
    whole->setContentsMargins(0, 0, 0, 0);
    whole->setSpacing(0);
    whole->addWidget(iconBand_);
    whole->addLayout(main, 1);
    auto* scroll = named(new QScrollArea(this), "pageScroll");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(canvas_);
    // The window's own background shows through.
    canvas_->setAutoFillBackground(false);
    scroll->viewport()->setAutoFillBackground(false);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    setMinimumSize(kMinimumWidth, kMinimumHeight);

    for (std::size_t i = 0; i < pageIcons_.size(); ++i) {
        const auto show = [this, i] { showPage(static_cast<PageId>(i)); };
        connect(pageIcons_[i], &PageIcon::invoked, this, show);
        connect(findChild<ClickLabel*>(QLatin1String(kPageIcons[i].wordsName)),
                &ClickLabel::clicked, this, show);
        connect(new QShortcut(QKeySequence(Qt::CTRL | kPageKeys[i]), this), &QShortcut::activated,
                this, show);
    }
    const std::function<void()> fixed[] = {[this] {
                                               if (!ended()) ShowAbout();
                                           },
                                           [this] {
                                               if (!ended()) help_->Show();
                                           },
                                           [this] { quit(); }};
    for (std::size_t i = 0; i < std::size(kFixedIcons); ++i) {
        connect(findChild<QToolButton*>(QLatin1String(kFixedIcons[i].name)), &QToolButton::clicked,
                this, fixed[i]);
        connect(findChild<ClickLabel*>(QLatin1String(kFixedIcons[i].wordsName)),
                &ClickLabel::clicked, this, fixed[i]);
    }
    connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this,
            &Form1::showPageHelp);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this), &QShortcut::activated, this,
            &Form1::quit);
}

Page* Form1::buildPage(PageId id) {
    const auto ended = [this] { return this->ended(); };
    Page* p = nullptr;
    switch (id) {
        case PageId::IpTranslation:
            p = new IpTranslationPage(hosts_, {heading_, intro_}, ended, canvas_);
            break;
        case PageId::Ping:
            p = new PingPage({heading_, intro_, *runs_, [this]() -> Form2& { return form2(); },
                              [this] { endProgram(); }},
                             reg_, hosts_, echo_, boxes_, *choices_, canvas_);
            break;
        case PageId::Trace:
            p = new TracePage({statusLine_, *runs_}, reg_, hosts_, resolver_, echo_, boxes_,
                              canvas_);
            break;
        case PageId::Whois: {
            auto* whois = new WhoisPage({statusLine_, *whoisClient_, *whoisTimer_, whoisPort_,
                                         [this] { return makeTimer(); }, ended},
                                        reg_, boxes_, canvas_);
            connect(whois, &WhoisPage::serverListUpdateWanted, this, &Form1::openServerListUpdate);
            p = whois;
            break;
        }
        case PageId::Settings:
            p = new SettingsPage(reg_, *choices_, boxes_, ended, canvas_);
            break;
    }
    pages_[at(id)] = p;
    pageArea_->addWidget(p);
    connect(p, &Page::defaultChosen, defaults_, &DefaultButton::choose);
    adopt(p);
    if (QWidget* results = p->resultsSection()) {
        resultsArea_->addWidget(results, 1);
        adopt(results);
    }
    setTabOrders();
    applySurfaceColours();
    return p;
}

// Every box shows its edge; an editable box's text field carries the box's
// name for assistive technology; Enter presses the default button.
void Form1::adopt(QWidget* root) {
    for (QLineEdit* e : root->findChildren<QLineEdit*>())
        if (e->hasFrame()) edges_->watch(e);
    for (QComboBox* c : root->findChildren<QComboBox*>()) {
        edges_->watch(c);
        if (c->lineEdit() != nullptr) c->lineEdit()->setAccessibleName(c->accessibleName());
    }
    defaults_->watch(root);
}

void Form1::setTabOrders() {
    std::vector<QWidget*> order;
    for (PageId p :
         {PageId::Ping, PageId::IpTranslation, PageId::Trace, PageId::Whois, PageId::Settings}) {
        if (pages_[at(p)] == nullptr) continue;
        const std::vector<QWidget*> more = pages_[at(p)]->tabOrder();
        order.insert(order.end(), more.begin(), more.end());
    }
    for (PageId p : kColumn) order.push_back(pageIcons_[at(p)]);
    order.push_back(pageIcons_[at(PageId::Settings)]);
    for (const IconLook& look : kFixedIcons)
        order.push_back(findChild<QToolButton*>(QLatin1String(look.name)));
    for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
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
    QPalette p = iconBand_->palette();
    p.setColor(QPalette::Window, tint(12));
    p.setColor(QPalette::WindowText, text);
    iconBand_->setPalette(p);
    if (pages_[at(PageId::Ping)] != nullptr) pingPage().setSurfaceColours(tint(8), text);
    if (auto* settings = static_cast<SettingsPage*>(pages_[at(PageId::Settings)]))
        settings->setSurfaceColours(tint(5), text);
    const QColor ink = Readable(
        palette().color(QPalette::Highlight),
        {tint(12), palette().color(QPalette::Window), palette().color(QPalette::Button)}, 4.5);
    for (QToolButton* b : findChildren<QToolButton*>()) {
        const QByteArray file = b->property("iconFile").toByteArray();
        if (!file.isEmpty()) b->setIcon(TintedIcon(file.constData(), ink));
    }
}

void Form1::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange ||
        event->type() == QEvent::ApplicationPaletteChange) {
        if (pages_[at(PageId::Ping)] != nullptr) applySurfaceColours();
    }
    QWidget::changeEvent(event);
}

Page& Form1::page(PageId id) {
    Page* p = pages_[at(id)];
    return p != nullptr ? *p : *buildPage(id);
}

PingPage& Form1::pingPage() { return static_cast<PingPage&>(page(PageId::Ping)); }

RdapView& Form1::rdapView() { return static_cast<WhoisPage&>(page(PageId::Whois)).rdapView(); }

void Form1::showPage(PageId id) {
    if (ended()) return;
    for (Page* p : pages_)
        if (p != nullptr) p->leave();
    statusLine_->setVisible(false);
    Page& shown = page(id);
    title_->setText(QLatin1String(kPageIcons[at(id)].tip));
    statusLine_->setVisible(id == PageId::Trace || id == PageId::Whois);
    // The page on show has its icon pressed in, for the eye and for
    // assistive technology.
    for (std::size_t i = 0; i < pageIcons_.size(); ++i) pageIcons_[i]->mark(i == at(id));
    shown.enter();
}

void Form1::showPageHelp() {
    if (ended()) return;
    for (std::size_t i = 0; i < pageIcons_.size(); ++i) {
        if (pageIcons_[i]->isChecked()) return help_->Show(kPageHelp[i]);
    }
    help_->Show();
}

bool Form1::ended() const { return runs_->ended(); }
bool Form1::inputBlocked() const { return runs_->inputBlocked(); }
void Form1::stopRun() { runs_->stopAll(); }
QPushButton* Form1::defaultButton() const { return defaults_->button(); }

std::unique_ptr<platform::TcpClient> Form1::makeTcpClient() const {
    if (tcpFactory_) return tcpFactory_();
    return std::make_unique<platform::QtTcpClient>();
}

std::unique_ptr<platform::Timer> Form1::makeTimer() const {
    if (timerFactory_) return timerFactory_();
    return std::make_unique<platform::QtTimer>();
}

// ---- the secondary windows ----

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

// ---- the end of the program ----

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
