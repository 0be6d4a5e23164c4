#include "shell/Whoisupdate.h"

#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTextOption>
#include <QVBoxLayout>

#include "platform/qt/ScreenFit.h"
#include "shell/Widgets.h"
#include "whois/ServerList.h"

namespace norvik::shell {

namespace {

// List1's one tab stop, in dialog units; a horizontal dialog unit is a
// quarter of the average character width of the list's font.
constexpr qreal kTabStopUnits = 38;

QString q(const std::string& s) { return QString::fromStdString(s); }

// Draws a list line with its tab expanded to the list's tab stop, so that
// the servers line up in a column after the country codes.
class TabStopDelegate : public QStyledItemDelegate {
  public:
    explicit TabStopDelegate(QListWidget* list) : QStyledItemDelegate(list), list_(list) {}

    qreal stop() const {
        return kTabStopUnits * QFontMetricsF(list_->font()).averageCharWidth() / 4;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        const QWidget* widget = opt.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        painter->save();
        painter->setFont(opt.font);
        const QPalette::ColorGroup group =
            opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
        painter->setPen(opt.palette.color(group, opt.state & QStyle::State_Selected
                                                     ? QPalette::HighlightedText
                                                     : QPalette::Text));
        painter->drawText(QRectF(area), text, textOption(area.left() - opt.rect.left()));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        const QString text = index.data(Qt::DisplayRole).toString();
        int tabs[] = {static_cast<int>(stop()), 0};
        const qreal width = QFontMetricsF(option.font)
                                .size(Qt::TextSingleLine | Qt::TextExpandTabs, text, 0, tabs)
                                .width();
        size.setWidth(std::max(size.width(), static_cast<int>(width) + 8));
        return size;
    }

  private:
    // The text starts `inset` pixels into its line; the stop counts from
    // the line's left end, the list's left edge.
    QTextOption textOption(int inset) const {
        QTextOption o(Qt::AlignLeft | Qt::AlignVCenter);
        o.setWrapMode(QTextOption::NoWrap);
        o.setTabs({QTextOption::Tab(std::max<qreal>(stop() - inset, 1), QTextOption::LeftTab)});
        return o;
    }

    QListWidget* list_;
};

}  // namespace

Whoisupdate::Whoisupdate(WhoisupdateServices services, QWidget* parent)
    : QWidget(parent, Qt::Window),
      reg_(services.store, services.boxes),
      showWhoisPage_(std::move(services.showWhoisPage)) {
    setObjectName(QStringLiteral("Whoisupdate"));
    setWindowTitle(QStringLiteral("Norvik - Whois Server Update"));
    setWindowIcon(NamedIcon("whois"));
    setAttribute(Qt::WA_DeleteOnClose);

    Label3_ = plainLabel(QStringLiteral("Whois Lookup - Server Update"), "Label3", this);
    QFont heading = Label3_->font();
    heading.setPointSizeF(heading.pointSizeF() * 1.3);
    heading.setBold(true);
    Label3_->setFont(heading);
    // The list host; empty, the list built into the program is read.
    Label4_ = plainLabel(QStringLiteral("List host:"), "Label4", this);
    listhost_ = new QLineEdit(q(whois::StoredListHost(reg_)), this);
    listhost_->setObjectName(QStringLiteral("listhost"));
    listhost_->setPlaceholderText(QStringLiteral("empty: the built-in list"));
    listhost_->setAccessibleName(QStringLiteral("List host"));
    Label4_->setBuddy(listhost_);
    Command1_ = button(QStringLiteral("Download Now"), "Command1", this);
    Label2_ = plainLabel(QStringLiteral("Servers to Display"), "Label2", this);
    Combo1_ = new QComboBox(this);
    Combo1_->setObjectName(QStringLiteral("Combo1"));
    // Sizing to the contents would measure every entry of a long list.
    Combo1_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    Combo1_->setMinimumContentsLength(14);
    List1_ = new QListWidget(this);
    List1_->setObjectName(QStringLiteral("List1"));
    List1_->setUniformItemSizes(true);
    List1_->setItemDelegate(new TabStopDelegate(List1_));
    Label1_ = plainLabel(QStringLiteral("Ready"), "Label1", this);
    Command3_ = button(QStringLiteral("Add All"), "Command3", this);
    Command2_ = button(QStringLiteral("Cancel"), "Command2", this);

    Timer1_ = new NamedPlatformObject<platform::Timer>(std::move(services.timer), "Timer1", this);
    Winsock1_ =
        new NamedPlatformObject<platform::TcpClient>(std::move(services.winsock), "Winsock1", this);
    whois::ListSource source;
    source.host = [this] { return whois::StoredListHost(reg_); };
    source.port = services.port;
    if (services.builtIn) source.builtIn = std::move(services.builtIn);
    download_ = std::make_unique<whois::ListDownload>(Winsock1_->get(), Timer1_->get(), *this,
                                                      std::move(source));

    auto* host = new QHBoxLayout;
    host->addWidget(Label4_);
    host->addWidget(listhost_, 1);
    host->addWidget(Command1_);
    auto* filter = new QHBoxLayout;
    filter->addWidget(Label2_);
    filter->addWidget(Combo1_, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(Label3_, 1);
    auto* foot = new QHBoxLayout;
    foot->addWidget(Label1_, 1);
    foot->addWidget(Command3_);
    foot->addWidget(Command2_);
    QWidget* body = platform::ScrollingBody(this);
    auto* v = new QVBoxLayout(body);
    v->addLayout(top);
    v->addLayout(host);
    v->addLayout(filter);
    v->addWidget(List1_, 1);
    v->addLayout(foot);

    connect(Command1_, &QPushButton::clicked, this, &Whoisupdate::Command1_Click);
    connect(Combo1_, &QComboBox::activated, this, &Whoisupdate::Combo1_Click);
    connect(Command3_, &QPushButton::clicked, this, &Whoisupdate::Command3_Click);
    connect(Command2_, &QPushButton::clicked, this, &Whoisupdate::Command2_Click);
    setTabOrder(listhost_, Command1_);
    setTabOrder(Command1_, Combo1_);
    setTabOrder(Combo1_, List1_);
    setTabOrder(List1_, Command3_);
    setTabOrder(Command3_, Command2_);
    resize(460, 480);
    platform::FitToScreen(this);
}

Whoisupdate::~Whoisupdate() = default;

qreal Whoisupdate::tabStop() const {
    return static_cast<TabStopDelegate*>(List1_->itemDelegate())->stop();
}

void Whoisupdate::Command1_Click() {
    reg_.WriteKeyValue(store::kNorvikKey, whois::kListHostValue,
                       listhost_->text().trimmed().toStdString());
    download_->start();
}

void Whoisupdate::Combo1_Click() {
    if (Combo1_->currentIndex() < 0) return;
    List1_->clear();
    QStringList lines;
    for (const std::string& line :
         whois::ListLines(download_->serverEntries(), Combo1_->currentText().toStdString())) {
        lines << q(line);
    }
    List1_->addItems(lines);
}

void Whoisupdate::Command3_Click() {
    std::vector<std::string> filter;
    std::vector<std::string> lines;
    filter.reserve(static_cast<std::size_t>(Combo1_->count()));
    for (int i = 0; i < Combo1_->count(); ++i) filter.push_back(Combo1_->itemText(i).toStdString());
    lines.reserve(static_cast<std::size_t>(List1_->count()));
    for (int i = 0; i < List1_->count(); ++i)
        lines.push_back(List1_->item(i)->text().toStdString());
    whois::StoreDirectory(reg_, filter, lines);
    if (showWhoisPage_) showWhoisPage_();
    close();
}

void Whoisupdate::Command2_Click() {
    if (showWhoisPage_) showWhoisPage_();
    close();
}

void Whoisupdate::setStatusText(const std::string& text) { Label1_->setText(q(text)); }

void Whoisupdate::emptyList() { List1_->clear(); }

void Whoisupdate::fillFilter(const std::vector<std::string>& entries) {
    Combo1_->clear();
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(entries.size()));
    for (const std::string& e : entries) texts << q(e);
    Combo1_->addItems(texts);
}

void Whoisupdate::pickAllServers() {
    const int all = Combo1_->findText(QLatin1String(whois::kAllServers),
                                      Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (all < 0) return;
    Combo1_->setCurrentIndex(all);
    Combo1_Click();
}

void Whoisupdate::closeEvent(QCloseEvent* event) {
    download_->stop();
    QWidget::closeEvent(event);
}

void Whoisupdate::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            event->accept();
            Command2_Click();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            // Enter presses the focused button, else "Download Now".
            auto* focused = qobject_cast<QPushButton*>(focusWidget());
            event->accept();
            (focused != nullptr ? focused : Command1_)->click();
            return;
        }
        default:
            QWidget::keyPressEvent(event);
    }
}

}  // namespace norvik::shell
