#include "shell/Form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>
#include <tuple>
#include <vector>

#include "ping/Numbers.h"
#include "platform/Product.h"
#include "platform/qt/QtDesktopShell.h"
#include "platform/qt/QtTcpClient.h"
#include "platform/qt/QtTimer.h"
#include "shell/Form2.h"
#include "shell/Help.h"
#include "shell/IpTranslationPage.h"
#include "shell/RdapView.h"
#include "shell/ResultButtons.h"
#include "shell/RunGuard.h"
#include "shell/SettingsPage.h"
#include "shell/TracePage.h"
#include "shell/WhoisPage.h"
#include "shell/WhoisView.h"
#include "shell/Widgets.h"
#include "shell/frmAbout.h"
#include "store/Settings.h"

namespace norvik::shell {

namespace {

template <class W>
W* named(W* w, const char* name) {
    w->setObjectName(QLatin1String(name));
    return w;
}

ClickLabel* clickLabel(const QString& text, const char* name, QWidget* parent) {
    auto* l = named(new ClickLabel(text, parent), name);
    l->setFocusPolicy(Qt::NoFocus);
    return l;
}

template <class Button = QToolButton>
Button* iconButton(const char* icon, const char* name, const QString& tip, int extent,
                   QWidget* parent) {
    auto* b = named(new Button(parent), name);
    // Drawn in the palette's colours (applySurfaceColours).
    b->setProperty("iconFile", QByteArray(icon));
    b->setIconSize(QSize(extent, extent));
    b->setAutoRaise(true);
    b->setToolTip(tip);
    b->setCursor(Qt::PointingHandCursor);
    b->setAccessibleName(tip.isEmpty() ? QStringLiteral("Quit") : tip);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

QLineEdit* lineEdit(const char* name, QWidget* parent) {
    return named(new QLineEdit(parent), name);
}

// A framed surface; its colour follows the palette (applySurfaceColours).
QFrame* panel(const char* name, QWidget* parent) {
    auto* f = named(new QFrame(parent), name);
    f->setFrameShape(QFrame::StyledPanel);
    f->setAutoFillBackground(true);
    return f;
}

QFont scaled(QFont f, double factor, bool bold) {
    f.setPointSizeF(f.pointSizeF() * factor);
    f.setBold(bold);
    return f;
}

}  // namespace

Form1::Form1(Services services, QWidget* parent)
    : QWidget(parent),
      boxes_(services.boxes),
      resolver_(services.resolver),
      echo_(services.echo),
      waiter_(services.waiter ? services.waiter : platform::Waiter(platform::pollWaiter)),
      ender_(std::move(services.endProgram)),
      tcpFactory_(std::move(services.makeTcpClient)),
      timerFactory_(std::move(services.makeTimer)),
      whoisPort_(services.whoisPort),
      reg_(services.store, services.boxes),
      hosts_(services.resolver, services.boxes),
      pingRun_(*this, reg_, hosts_, services.echo, services.boxes),
      ownShell_(services.shell ? nullptr : std::make_unique<platform::QtDesktopShell>()),
      shell_(services.shell ? services.shell : ownShell_.get()),
      help_(std::make_unique<Help>(services.boxes, *shell_, this)),
      runs_(new RunGuard(*this, waiter_)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Norvik v") + QLatin1String(platform::ProductVersion()));
    setWindowIcon(NamedIcon("norvik"));

    Winsock1_ = makeTcpClient();
    Timer1_ = makeTimer();
    Timer1_->setInterval(10000);
    runs_->addRun(*this);

    buildControls();
    buildLayout();
    connectControls();
    setTabOrders();

    nameInputs();
    auto* edges = new InputEdges(this);
    for (QLineEdit* e : findChildren<QLineEdit*>())
        if (e->hasFrame()) edges->watch(e);
    for (QComboBox* c : findChildren<QComboBox*>()) edges->watch(c);
    applySurfaceColours();
    // No larger than the screen leaves room for.
    QSize size(920, 640);
    if (const QScreen* s = screen()) size = size.boundedTo(s->availableGeometry().size() * 9 / 10);
    resize(size.expandedTo(minimumSize()));
}

// Surfaces whose text follows the palette take their tint from it too: a
// touch of the highlight colour over the window colour, so that a dark
// theme gives a dark band with light words. The icons are drawn in the
// highlight colour, made as dark or light as they need to stand out on
// those surfaces; the status in its own colours (statusColour).
void Form1::applySurfaceColours() {
    const auto tint = [this](int percent) {
        const QColor w = palette().color(QPalette::Window);
        const QColor h = palette().color(QPalette::Highlight);
        const auto mix = [percent](int a, int b) {
            return (a * (100 - percent) + b * percent) / 100;
        };
        return QColor(mix(w.red(), h.red()), mix(w.green(), h.green()), mix(w.blue(), h.blue()));
    };
    const std::pair<QWidget*, int> surfaces[] = {{iconBand_, 12}, {Shape1_, 8}};
    for (const auto& [surface, percent] : surfaces) {
        QPalette p = surface->palette();
        p.setColor(QPalette::Window, tint(percent));
        p.setColor(QPalette::WindowText, palette().color(QPalette::WindowText));
        surface->setPalette(p);
    }
    settingsPage_->setSurfaceColours(tint(5), palette().color(QPalette::WindowText));
    const QColor ink = Readable(
        palette().color(QPalette::Highlight),
        {tint(12), palette().color(QPalette::Window), palette().color(QPalette::Button)}, 4.5);
    for (QToolButton* b : findChildren<QToolButton*>()) {
        const QByteArray file = b->property("iconFile").toByteArray();
        if (!file.isEmpty()) b->setIcon(TintedIcon(file.constData(), ink));
    }
    const std::tuple<IconView*, const char*, ping::StatusLook> images[] = {
        {inprogress_, "inprogress", ping::StatusLook::InProgress},
        {tick_, "tick", ping::StatusLook::Success},
        {cross_, "cross", ping::StatusLook::Failure}};
    for (const auto& [view, name, look] : images) {
        view->setIcon(TintedIcon(name, statusColour(look)), QLatin1String(name));
        if (Picture1_->iconName() == view->iconName())
            Picture1_->setIcon(view->icon(), view->iconName());
    }
    QPalette p = status_->palette();
    p.setColor(QPalette::WindowText, statusColour(look_));
    status_->setPalette(p);
}

void Form1::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange ||
        event->type() == QEvent::ApplicationPaletteChange) {
        if (iconBand_ != nullptr) applySurfaceColours();
    }
    QWidget::changeEvent(event);
}

// Every input is named after its caption for assistive technology (the
// caption label is its buddy); inputs without one get a name of their own.
void Form1::nameInputs() {
    const std::pair<QLabel*, QWidget*> captions[] = {
        {Label1_, Combo1_},    {Label9_, Combo2_},    {Label2_, Combo3_},    {return2_, Text4_[0]},
        {return7_, Text4_[1]}, {return3_, Text4_[2]}, {return4_, Text4_[3]}, {return5_, Text4_[5]}};
    for (const auto& [caption, input] : captions) {
        caption->setBuddy(input);
        input->setAccessibleName(caption->text().trimmed());
    }
    const std::pair<QWidget*, const char*> own[] = {
        {Text5_, "IP address"}, {Text2_, "Data to send"}, {ProgressBar1_, "Progress"}};
    for (const auto& [input, name] : own) input->setAccessibleName(QLatin1String(name));
    // The status lines are read by their text; their changes are announced.
    for (QLabel* l : {status_, traceLabel4_}) l->setAccessibleDescription(QStringLiteral("Status"));
    // An editable box's text field carries the box's name.
    for (QComboBox* c : findChildren<QComboBox*>()) {
        if (c->lineEdit() != nullptr) c->lineEdit()->setAccessibleName(c->accessibleName());
    }
}

// The page on show has its icon pressed in, for the eye and for assistive
// technology.
void Form1::markPage(PageIcon* icon) {
    for (PageIcon* b : {pingicon_, tracerouteicon_, whoisicon_, iptransicon_, Image7_})
        b->mark(b == icon);
}

bool Form1::tracing() const { return tracePage_ != nullptr && tracePage_->running(); }

Form1::~Form1() {
    // The whois lookups end before the client and timer they use go.
    delete whoisPage_;
}

std::unique_ptr<platform::TcpClient> Form1::makeTcpClient() const {
    if (tcpFactory_) return tcpFactory_();
    return std::make_unique<platform::QtTcpClient>();
}

std::unique_ptr<platform::Timer> Form1::makeTimer() const {
    if (timerFactory_) return timerFactory_();
    return std::make_unique<platform::QtTimer>();
}

void Form1::buildControls() {
    // The page icons down the left, with their words.
    pingicon_ = iconButton<PageIcon>("ping", "pingicon", QStringLiteral("Ping"), 40, this);
    pingwords_ = clickLabel(QStringLiteral("Ping"), "pingwords", this);
    tracerouteicon_ = iconButton<PageIcon>("traceroute", "tracerouteicon",
                                           QStringLiteral("TraceRoute"), 40, this);
    traceroutewords_ = clickLabel(QStringLiteral("TraceRoute"), "traceroutewords", this);
    whoisicon_ =
        iconButton<PageIcon>("whois", "whoisicon", QStringLiteral("Whois Lookup"), 40, this);
    whoiswords_ = clickLabel(QStringLiteral("Whois Lookup"), "whoiswords", this);
    iptransicon_ =
        iconButton<PageIcon>("iptrans", "iptransicon", QStringLiteral("IP Translation"), 40, this);
    iptranswords_ = clickLabel(QStringLiteral("IP  Translation"), "iptranswords", this);

    // The fixed icons at the top right.
    Image7_ = iconButton<PageIcon>("settings", "Image7", QStringLiteral("Settings"), 26, this);
    Label4_ = clickLabel(QStringLiteral("Settings"), "Label4", this);
    Image5_ = iconButton("about", "Image5", QStringLiteral("About Norvik"), 26, this);
    Label5_ = clickLabel(QStringLiteral("About  "), "Label5", this);
    Image2_ = iconButton("help", "Image2", QStringLiteral("Help"), 26, this);
    Label7_ = clickLabel(QStringLiteral("Help"), "Label7", this);
    quiticon_ = iconButton("quit", "quiticon", QString(), 26, this);
    quitwords_ = clickLabel(QStringLiteral("Quit"), "quitwords", this);

    nme_ = plainLabel(QStringLiteral("Ping"), "nme", this);
    nme_->setFont(scaled(nme_->font(), 1.8, true));
    return1_ = plainLabel(QStringLiteral("Returned Data"), "return1", this);
    return1_->setFont(scaled(return1_->font(), 1.2, true));
    intro_ = plainLabel(QString(), "intro", this);
    intro_->setWordWrap(true);
    intro_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // Ping page.
    Label1_ = plainLabel(QStringLiteral("Address to Ping"), "Label1", this);
    Combo1_ = editableCombo("Combo1", this);
    Combo1_->setMinimumContentsLength(24);
    Text5_ = lineEdit("Text5", this);
    Text5_->setReadOnly(true);
    Text5_->setPlaceholderText(QStringLiteral("IP address"));
    Text5_->setToolTip(QStringLiteral("Click to look up the address"));
    Label9_ = plainLabel(QStringLiteral("MultiPing"), "Label9", this);
    Combo2_ = editableCombo("Combo2", this);
    Label2_ = plainLabel(QStringLiteral("Data to send"), "Label2", this);
    Combo3_ = editableCombo("Combo3", this);
    Label12_ = plainLabel(QStringLiteral("bytes"), "Label12", this);
    carryoutping_ = button(QStringLiteral("Ping Now"), "carryoutping", this);
    pingstop_ = button(QStringLiteral("Stop"), "pingstop", this);
    pingstop_->setToolTip(QStringLiteral("Stop after this ping (Esc)"));
    Label11_ = linkLabel(QStringLiteral("View Report"), "Label11", this);
    // The payload is never shown; it can hold the largest echo's data.
    Text2_ = lineEdit("Text2", this);
    Text2_->setMaxLength(static_cast<int>(ping::kMaxPayload));
    Text2_->setVisible(false);

    Line1_ = named(new QFrame(this), "Line1");
    Line1_->setFrameShape(QFrame::HLine);
    Line1_->setFrameShadow(QFrame::Sunken);
    Shape1_ = panel("Shape1", this);
    Picture1_ = named(new IconView(24, Shape1_), "Picture1");
    status_ = plainLabel(QStringLiteral("Ready..."), "status", Shape1_);
    status_->setFont(scaled(status_->font(), 1.1, true));
    // The status images; applySurfaceColours draws them.
    inprogress_ = named(new IconView(24, this), "inprogress");
    tick_ = named(new IconView(24, this), "tick");
    cross_ = named(new IconView(24, this), "cross");
    for (QWidget* w : {static_cast<QWidget*>(inprogress_), static_cast<QWidget*>(tick_),
                       static_cast<QWidget*>(cross_)}) {
        w->setVisible(false);
    }

    Labelping1_ = plainLabel(QStringLiteral("Pings to do:"), "Labelping1", this);
    todo_ = plainLabel(QStringLiteral("12"), "todo", this);
    Labelping2_ = plainLabel(QStringLiteral("Pings done:"), "Labelping2", this);
    done_ = plainLabel(QStringLiteral("12"), "done", this);
    pc_ = plainLabel(QStringLiteral("100%"), "pc", this);
    const int counterWidth = fontMetrics().horizontalAdvance(QStringLiteral("000000.0%"));
    for (QLabel* l : {todo_, done_, pc_}) l->setMinimumWidth(counterWidth);
    ProgressBar1_ = named(new QProgressBar(this), "ProgressBar1");
    ProgressBar1_->setRange(0, 100);
    ProgressBar1_->setTextVisible(false);

    return2_ = plainLabel(QStringLiteral("Returned Status"), "return2", this);
    return7_ = plainLabel(QStringLiteral("Address (dec)"), "return7", this);
    return3_ = plainLabel(QStringLiteral("Ping Time"), "return3", this);
    return4_ = plainLabel(QStringLiteral("Packet Size"), "return4", this);
    return5_ = plainLabel(QStringLiteral("Data Pointer"), "return5", this);
    for (int i : {0, 1, 2, 3, 5}) {
        const QByteArray name = "Text4_" + QByteArray::number(i);
        Text4_[static_cast<std::size_t>(i)] = lineEdit(name.constData(), this);
        Text4_[static_cast<std::size_t>(i)]->setReadOnly(true);
    }

    ipTranslationPage_ = new IpTranslationPage(
        hosts_, [this] { return ended(); }, this);

    traceLabel4_ = plainLabel(QString(), "traceLabel4", this);
    tracePage_ =
        new TracePage({traceLabel4_, *runs_}, reg_, hosts_, resolver_, echo_, boxes_, this);

    whoisPage_ = new WhoisPage({traceLabel4_, *Winsock1_, *Timer1_, whoisPort_,
                                [this] { return makeTimer(); }, [this] { return ended(); }},
                               reg_, boxes_, this);
    settingsPage_ = new SettingsPage(
        reg_, boxes_, [this] { return ended(); }, this);

    // Every page starts hidden; start-up shows the Ping page.
    for (QWidget* w : std::initializer_list<QWidget*>{
             intro_,      Label1_,  Combo1_,   Text5_,        Label9_,     Combo2_,
             Label2_,     Combo3_,  Label12_,  carryoutping_, pingstop_,   Label11_,
             Line1_,      Shape1_,  Picture1_, status_,       Labelping1_, todo_,
             Labelping2_, done_,    pc_,       ProgressBar1_, return2_,    return7_,
             return3_,    return4_, return5_,  traceLabel4_}) {
        w->setVisible(false);
    }
    for (int i : {0, 1, 2, 3, 5}) Text4(i)->setVisible(false);
}

void Form1::buildLayout() {
    // Left: the page icons on a tinted band.
    auto* band = named(new QFrame(this), "iconBand");
    band->setAutoFillBackground(true);
    iconBand_ = band;
    auto* bandLayout = new QVBoxLayout(band);
    bandLayout->setContentsMargins(8, 16, 8, 16);
    bandLayout->setSpacing(2);
    const std::pair<QToolButton*, ClickLabel*> pages[] = {{pingicon_, pingwords_},
                                                          {tracerouteicon_, traceroutewords_},
                                                          {whoisicon_, whoiswords_},
                                                          {iptransicon_, iptranswords_}};
    for (const auto& [icon, words] : pages) {
        icon->setParent(band);
        words->setParent(band);
        words->setAlignment(Qt::AlignHCenter);
        bandLayout->addWidget(icon, 0, Qt::AlignHCenter);
        bandLayout->addWidget(words, 0, Qt::AlignHCenter);
        bandLayout->addSpacing(14);
    }
    bandLayout->addStretch(1);
    band->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("IP  Translation")) + 32);

    // Top: the page title and the four fixed icons.
    auto* head = new QHBoxLayout;
    head->addWidget(nme_, 1, Qt::AlignBottom);
    const std::pair<QToolButton*, ClickLabel*> fixed[] = {
        {Image7_, Label4_}, {Image5_, Label5_}, {Image2_, Label7_}, {quiticon_, quitwords_}};
    for (const auto& [icon, words] : fixed) {
        auto* col = new QVBoxLayout;
        col->setSpacing(0);
        words->setAlignment(Qt::AlignHCenter);
        col->addWidget(icon, 0, Qt::AlignHCenter);
        col->addWidget(words, 0, Qt::AlignHCenter);
        head->addSpacing(6);
        head->addLayout(col);
    }

    auto* rule = named(new QFrame(this), "Line2");
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    // Ping page inputs.
    auto* ping = new QGridLayout;
    ping->setHorizontalSpacing(10);
    ping->addWidget(Label1_, 0, 0);
    ping->addWidget(Combo1_, 0, 1, 1, 3);
    ping->addWidget(Text5_, 0, 4, 1, 2);
    ping->addWidget(Label9_, 1, 0);
    ping->addWidget(Combo2_, 1, 1);
    ping->addWidget(Label2_, 1, 2, Qt::AlignRight);
    ping->addWidget(Combo3_, 1, 3);
    ping->addWidget(Label12_, 1, 4);
    auto* pingButtons = new QHBoxLayout;
    pingButtons->addWidget(carryoutping_);
    pingButtons->addWidget(pingstop_);
    pingButtons->addStretch(1);
    ping->addLayout(pingButtons, 2, 0, 1, 2);
    ping->addWidget(Label11_, 2, 3, 1, 3, Qt::AlignRight | Qt::AlignVCenter);
    ping->setColumnStretch(1, 1);
    ping->setColumnStretch(3, 1);
    ping->setColumnStretch(5, 1);

    auto* statusRow = new QHBoxLayout(Shape1_);
    statusRow->setContentsMargins(10, 6, 10, 6);
    statusRow->addWidget(Picture1_);
    statusRow->addWidget(status_, 1);

    // TraceRoute page inputs.
    // The results panel: progress counters and reply fields.
    auto* progress = new QGridLayout;
    progress->addWidget(Labelping1_, 0, 0);
    progress->addWidget(todo_, 0, 1);
    progress->addWidget(Labelping2_, 1, 0);
    progress->addWidget(done_, 1, 1);
    progress->addWidget(ProgressBar1_, 2, 0, 1, 3);
    progress->addWidget(pc_, 2, 3);
    progress->setColumnStretch(2, 1);

    auto* reply = new QGridLayout;
    reply->setHorizontalSpacing(12);
    const std::pair<QLabel*, int> rows[] = {
        {return2_, 0}, {return7_, 1}, {return3_, 2}, {return4_, 3}, {return5_, 5}};
    int row = 0;
    for (const auto& [label, field] : rows) {
        reply->addWidget(label, row, 0);
        reply->addWidget(Text4(field), row, 1);
        ++row;
    }
    reply->setColumnStretch(1, 1);

    auto* content = new QVBoxLayout;
    content->setSpacing(10);
    content->addLayout(ping);
    content->addWidget(ipTranslationPage_);
    content->addWidget(tracePage_);
    content->addWidget(whoisPage_);
    content->addWidget(settingsPage_);
    content->addWidget(Line1_);
    content->addWidget(Shape1_);
    content->addSpacing(4);
    content->addWidget(return1_);
    content->addWidget(intro_);
    content->addLayout(progress);
    content->addLayout(reply);
    content->addWidget(tracePage_->resultsSection(), 1);
    content->addWidget(whoisPage_->resultsSection(), 1);
    content->addWidget(traceLabel4_);
    content->addStretch(0);

    auto* main = new QVBoxLayout;
    main->setContentsMargins(18, 10, 14, 14);
    main->addLayout(head);
    main->addWidget(rule);
    main->addSpacing(6);
    main->addLayout(content, 1);

    // Everything scrolls when the window is smaller than the pages need, so
    // the window fits small screens at large scales and nothing is cut off.
    auto* canvas = named(new QWidget, "pageCanvas");
    auto* whole = new QHBoxLayout(canvas);
    whole->setContentsMargins(0, 0, 0, 0);
    whole->setSpacing(0);
    whole->addWidget(band);
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
}

void Form1::connectControls() {
    connect(pingicon_, &PageIcon::invoked, this, &Form1::pingicon_Click);
    connect(pingwords_, &ClickLabel::clicked, this, &Form1::pingicon_Click);
    connect(tracerouteicon_, &PageIcon::invoked, this, &Form1::tracerouteicon_Click);
    connect(traceroutewords_, &ClickLabel::clicked, this, &Form1::tracerouteicon_Click);
    connect(whoisicon_, &PageIcon::invoked, this, &Form1::whoisicon_Click);
    connect(whoiswords_, &ClickLabel::clicked, this, &Form1::whoisicon_Click);
    connect(iptransicon_, &PageIcon::invoked, this, &Form1::iptransicon_Click);
    connect(iptranswords_, &ClickLabel::clicked, this, &Form1::iptransicon_Click);
    connect(Image7_, &PageIcon::invoked, this, &Form1::Image7_Click);
    connect(Label4_, &ClickLabel::clicked, this, &Form1::Image7_Click);
    connect(Image5_, &QToolButton::clicked, this, &Form1::Image5_Click);
    connect(Label5_, &ClickLabel::clicked, this, &Form1::Image5_Click);
    connect(Image2_, &QToolButton::clicked, this, &Form1::Image2_Click);
    connect(Label7_, &ClickLabel::clicked, this, &Form1::Image2_Click);
    connect(quiticon_, &QToolButton::clicked, this, &Form1::quiticon_Click);
    connect(quitwords_, &ClickLabel::clicked, this, &Form1::quiticon_Click);

    connect(carryoutping_, &QPushButton::clicked, this, &Form1::carryoutping_Click);
    connect(Combo1_, &QComboBox::editTextChanged, this, &Form1::Combo1_Change);
    connect(Combo1_, &QComboBox::activated, this, &Form1::Combo1_Click);
    connect(Combo3_, &QComboBox::editTextChanged, this, &Form1::Combo3_Change);
    connect(Combo3_, &QComboBox::activated, this, &Form1::Combo3_Click);
    connect(Label11_, &ClickLabel::clicked, this, &Form1::Label11_Click);

    connect(ipTranslationPage_, &Page::defaultChosen, this, &Form1::makeDefault);
    connect(tracePage_, &Page::defaultChosen, this, &Form1::makeDefault);
    connect(whoisPage_, &Page::defaultChosen, this, &Form1::makeDefault);
    connect(whoisPage_, &WhoisPage::serverListUpdateWanted, this, &Form1::openServerListUpdate);

    // Keys for what the icons do.
    const std::pair<QKeySequence, void (Form1::*)()> keys[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_1), &Form1::pingicon_Click},
        {QKeySequence(Qt::CTRL | Qt::Key_2), &Form1::tracerouteicon_Click},
        {QKeySequence(Qt::CTRL | Qt::Key_3), &Form1::whoisicon_Click},
        {QKeySequence(Qt::CTRL | Qt::Key_4), &Form1::iptransicon_Click},
        {QKeySequence(Qt::CTRL | Qt::Key_5), &Form1::Image7_Click},
        {QKeySequence(Qt::Key_F1), &Form1::PageHelp},
        {QKeySequence(Qt::CTRL | Qt::Key_Q), &Form1::quiticon_Click}};
    for (const auto& [sequence, handler] : keys) {
        connect(new QShortcut(sequence, this), &QShortcut::activated, this, handler);
    }
    for (QToolButton* icon : findChildren<QToolButton*>()) icon->installEventFilter(this);

    connect(pingstop_, &QPushButton::clicked, this, [this] {
        pingStop_ = running_;
        pingstop_->setEnabled(false);
    });

    // Enter in a single-line box presses the default button; some boxes
    // also react to getting the focus or to a click.
    for (QLineEdit* e : findChildren<QLineEdit*>()) e->installEventFilter(this);
    for (QComboBox* c : findChildren<QComboBox*>()) c->installEventFilter(this);
}

void Form1::setTabOrders() {
    std::vector<QWidget*> order = {Combo1_, Text5_, Combo2_, Combo3_, carryoutping_, Label11_};
    const auto append = [&order](const std::vector<QWidget*>& more) {
        order.insert(order.end(), more.begin(), more.end());
    };
    append(ipTranslationPage_->tabOrder());
    append(tracePage_->tabOrder());
    append(whoisPage_->tabOrder());
    append(settingsPage_->tabOrder());
    append({Text4_[0], Text4_[1], Text4_[2], Text4_[3], Text4_[5], pingicon_, tracerouteicon_,
            whoisicon_, iptransicon_, Image7_, Image5_, Image2_, quiticon_});
    for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
    setTabOrder(carryoutping_, pingstop_);
    Combo1_->setFocus();
}

QLineEdit* Form1::Text4(int index) const { return Text4_.at(static_cast<std::size_t>(index)); }

QString Form1::payload() const { return Text2_->text(); }

Form2& Form1::form2() {
    if (!form2_) form2_ = std::make_unique<Form2>(this, &boxes_);
    return *form2_;
}

// ---- default button and keyboard ----

// The button drawn as the default is always the one Enter presses. No button
// becomes the default by taking the focus (none is an auto-default), so the
// focus mark and the default mark stay apart.
void Form1::makeDefault(QPushButton* b) {
    if (defaultButton_ != nullptr && defaultButton_ != b) defaultButton_->setDefault(false);
    defaultButton_ = b;
    if (b != nullptr) b->setDefault(true);
}

bool Form1::pressDefault() {
    if (defaultButton_ == nullptr || !defaultButton_->isVisibleTo(this) ||
        !defaultButton_->isEnabled()) {
        return false;
    }
    defaultButton_->click();
    return true;
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
                // An open list takes its own Enter.
                auto* combo = qobject_cast<QComboBox*>(watched);
                if (combo == nullptr) combo = qobject_cast<QComboBox*>(watched->parent());
                if (combo != nullptr && combo->view()->isVisible()) return false;
                // Enter on an icon works as Space does.
                if (auto* icon = qobject_cast<QToolButton*>(watched)) {
                    icon->click();
                    return true;
                }
                if (pressDefault()) return true;
            }
            break;
        }
        case QEvent::FocusIn:
            if (watched == Combo1_ || watched == Combo1_->lineEdit()) {
                Combo1_GotFocus();
            }
            break;
        case QEvent::MouseButtonRelease:
            if (watched == Text5_ && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                Text5_Click();
            }
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
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

void Form1::quiticon_Click() {
    if (ended()) return;
    if (settingsPage_->chosen(SettingsPage::Choice::RememberOnExit)) {
        Combo1_->clear();
        Combo1_->clearEditText();
        for (const std::string& a : store::ReadSessionList(reg_)) {
            Combo1_->addItem(QString::fromStdString(a));
        }
        if (Combo1_->count() > 0) Combo1_->setCurrentIndex(0);
        store::SaveRemembered(reg_, addressItems());
    }
    endProgram();
}

void Form1::pingicon_Click() {
    if (!ended()) ShowPingPage();
}
void Form1::tracerouteicon_Click() {
    if (!ended()) ShowTracePage();
}
void Form1::whoisicon_Click() {
    if (!ended()) ShowWhoisPage();
}
void Form1::iptransicon_Click() {
    if (!ended()) ShowIpTranslationPage();
}
void Form1::Image7_Click() {
    if (!ended()) ShowSettingsPage();
}

void Form1::Image5_Click() {
    if (!ended()) ShowAbout();
}
void Form1::Image2_Click() {
    if (!ended()) help_->Show();
}
void Form1::PageHelp() {
    if (ended()) return;
    const std::pair<PageIcon*, const char*> pages[] = {{pingicon_, "help-ping.html"},
                                                       {tracerouteicon_, "help-traceroute.html"},
                                                       {whoisicon_, "help-whois.html"},
                                                       {iptransicon_, "help-iptranslation.html"},
                                                       {Image7_, "help-settings.html"}};
    for (const auto& [icon, page] : pages) {
        if (icon->isChecked()) {
            help_->Show(page);
            return;
        }
    }
    help_->Show();
}

void Form1::ShowAbout() {
    if (about_ == nullptr) about_ = new frmAbout(reg_.keyStore(), boxes_, *shell_, this);
    about_->show();
    about_->raise();
    about_->activateWindow();
}

}  // namespace norvik::shell
