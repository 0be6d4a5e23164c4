#include "shell/PageIcons.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "shell/Page.h"
#include "shell/Widgets.h"

namespace norvik::shell {

namespace {

struct IconLook {
    const char* file;
    const char* name;
    const char* tip;
    const char* wordsName;
    const char* words;
};

// The page icons by PageId.
constexpr IconLook kPageIcons[] = {
    {"iptrans", "iptransicon", "IP Translation", "iptranswords", "IP  Translation"},
    {"ping", "pingicon", "Ping", "pingwords", "Ping"},
    {"traceroute", "tracerouteicon", "TraceRoute", "traceroutewords", "TraceRoute"},
    {"whois", "whoisicon", "Whois Lookup", "whoiswords", "Whois Lookup"},
    {"settings", "Image7", "Settings", "Label4", "Settings"}};
// The order of the page icons on the band.
constexpr PageId kColumn[] = {PageId::Ping, PageId::Trace, PageId::Whois, PageId::IpTranslation};
// About, Help and Quit.
constexpr IconLook kFixedIcons[] = {{"about", "Image5", "About Norvik", "Label5", "About  "},
                                    {"help", "Image2", "Help", "Label7", "Help"},
                                    {"quit", "quiticon", "", "quitwords", "Quit"}};

std::size_t at(PageId p) { return static_cast<std::size_t>(p); }

template <class Button>
Button* iconButton(const IconLook& look, int extent, QWidget* parent) {
    auto* b = named(new Button(parent), look.name);
    // Drawn in the palette's colours (setColours).
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

PageIcons::PageIcons(QWidget& window) : QObject(&window) {
    column_ = named(new QFrame(&window), "iconBand");
    column_->setAutoFillBackground(true);
    auto* band = new QVBoxLayout(column_);
    band->setContentsMargins(8, 16, 8, 16);
    band->setSpacing(2);
    for (PageId p : kColumn) {
        pages_[at(p)] = iconButton<PageIcon>(kPageIcons[at(p)], 40, column_);
        band->addWidget(pages_[at(p)], 0, Qt::AlignHCenter);
        auto* w = words(kPageIcons[at(p)], column_);
        band->addWidget(w, 0, Qt::AlignHCenter);
        band->addSpacing(14);
        connect(w, &ClickLabel::clicked, this, [this, p] { emit pageWanted(p); });
    }
    band->addStretch(1);
    column_->setMinimumWidth(
        column_->fontMetrics().horizontalAdvance(QStringLiteral("IP  Translation")) + 32);

    fixedRow_ = new QHBoxLayout;
    const auto addFixed = [&](QToolButton* icon, const IconLook& look) {
        auto* col = new QVBoxLayout;
        col->setSpacing(0);
        col->addWidget(icon, 0, Qt::AlignHCenter);
        col->addWidget(words(look, &window), 0, Qt::AlignHCenter);
        fixedRow_->addSpacing(6);
        fixedRow_->addLayout(col);
        return qobject_cast<ClickLabel*>(col->itemAt(1)->widget());
    };
    const IconLook& settings = kPageIcons[at(PageId::Settings)];
    pages_[at(PageId::Settings)] = iconButton<PageIcon>(settings, 26, &window);
    connect(addFixed(pages_[at(PageId::Settings)], settings), &ClickLabel::clicked, this,
            [this] { emit pageWanted(PageId::Settings); });
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        connect(pages_[i], &PageIcon::invoked, this,
                [this, i] { emit pageWanted(static_cast<PageId>(i)); });
    }
    void (PageIcons::*const wanted[])() = {&PageIcons::aboutWanted, &PageIcons::helpWanted,
                                           &PageIcons::quitWanted};
    for (std::size_t i = 0; i < fixed_.size(); ++i) {
        fixed_[i] = iconButton<QToolButton>(kFixedIcons[i], 26, &window);
        connect(fixed_[i], &QToolButton::clicked, this, wanted[i]);
        connect(addFixed(fixed_[i], kFixedIcons[i]), &ClickLabel::clicked, this, wanted[i]);
    }
}

void PageIcons::mark(PageId page) {
    for (std::size_t i = 0; i < pages_.size(); ++i) pages_[i]->mark(i == at(page));
}

bool PageIcons::marked(PageId* page) const {
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        if (pages_[i]->isChecked()) {
            *page = static_cast<PageId>(i);
            return true;
        }
    }
    return false;
}

std::vector<QWidget*> PageIcons::tabOrder() const {
    std::vector<QWidget*> order;
    for (PageId p : kColumn) order.push_back(pages_[at(p)]);
    order.push_back(pages_[at(PageId::Settings)]);
    order.insert(order.end(), fixed_.begin(), fixed_.end());
    return order;
}

void PageIcons::setColours(const QColor& band, const QColor& text, const QColor& ink) {
    QPalette p = column_->palette();
    p.setColor(QPalette::Window, band);
    p.setColor(QPalette::WindowText, text);
    column_->setPalette(p);
    std::vector<QToolButton*> icons(pages_.begin(), pages_.end());
    icons.insert(icons.end(), fixed_.begin(), fixed_.end());
    for (QToolButton* b : icons)
        b->setIcon(TintedIcon(b->property("iconFile").toByteArray().constData(), ink));
}

}  // namespace norvik::shell
