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

    title_ = plainLabel(QStringLiteral("Whois Lookup - Server Update"), "Label3", this);
    QFont heading = title_->font();
    heading.setPointSizeF(heading.pointSizeF() * 1.3);
    heading.setBold(true);
    title_->setFont(heading);
    // The list host; empty, the list built into the program is read.
    hostCaption_ = plainLabel(QStringLiteral("List host:"), "Label4", this);
    hostBox_ = new QLineEdit(q(whois::StoredListHost(reg_)), this);
    hostBox_->setObjectName(QStringLiteral("listhost"));
    hostBox_->setPlaceholderText(QStringLiteral("empty: the built-in list"));
    hostBox_->setAccessibleName(QStringLiteral("List host"));
    hostCaption_->setBuddy(hostBox_);
    downloadButton_ = button(QStringLiteral("Download Now"), "Command1", this);
    filterCaption_ = plainLabel(QStringLiteral("Servers to Display"), "Label2", this);
    filterBox_ = new QComboBox(this);
    filterBox_->setObjectName(QStringLiteral("Combo1"));
    // Sizing to the contents would measure every entry of a long list.
    filterBox_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    filterBox_->setMinimumContentsLength(14);
    serverList_ = new QListWidget(this);
    serverList_->setObjectName(QStringLiteral("List1"));
    serverList_->setUniformItemSizes(true);
    serverList_->setItemDelegate(new TabStopDelegate(serverList_));
    status_ = plainLabel(QStringLiteral("Ready"), "Label1", this);
    addAllButton_ = button(QStringLiteral("Add All"), "Command3", this);
    cancelButton_ = button(QStringLiteral("Cancel"), "Command2", this);

    timer_ = new NamedPlatformObject<platform::Timer>(std::move(services.timer), "Timer1", this);
    client_ =
        new NamedPlatformObject<platform::TcpClient>(std::move(services.winsock), "Winsock1", this);
    whois::ListSource source;
    source.host = [this] { return whois::StoredListHost(reg_); };
    source.port = services.port;
    if (services.builtIn) source.builtIn = std::move(services.builtIn);
    download_ = std::make_unique<whois::ListDownload>(client_->get(), timer_->get(), *this,
                                                      std::move(source));

    auto* host = new QHBoxLayout;
    host->addWidget(hostCaption_);
    host->addWidget(hostBox_, 1);
    host->addWidget(downloadButton_);
    auto* filter = new QHBoxLayout;
    filter->addWidget(filterCaption_);
    filter->addWidget(filterBox_, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(title_, 1);
    auto* foot = new QHBoxLayout;
    foot->addWidget(status_, 1);
    foot->addWidget(addAllButton_);
    foot->addWidget(cancelButton_);
    QWidget* body = platform::ScrollingBody(this);
    auto* v = new QVBoxLayout(body);
    v->addLayout(top);
    v->addLayout(host);
    v->addLayout(filter);
    v->addWidget(serverList_, 1);
    v->addLayout(foot);

    connect(downloadButton_, &QPushButton::clicked, this, &Whoisupdate::downloadList);
    connect(filterBox_, &QComboBox::activated, this, &Whoisupdate::filterServers);
    connect(addAllButton_, &QPushButton::clicked, this, &Whoisupdate::addAll);
    connect(cancelButton_, &QPushButton::clicked, this, &Whoisupdate::cancel);
    setTabOrder(hostBox_, downloadButton_);
    setTabOrder(downloadButton_, filterBox_);
    setTabOrder(filterBox_, serverList_);
    setTabOrder(serverList_, addAllButton_);
    setTabOrder(addAllButton_, cancelButton_);
    resize(460, 480);
    platform::FitToScreen(this);
}

Whoisupdate::~Whoisupdate() = default;

qreal Whoisupdate::tabStop() const {
    return static_cast<TabStopDelegate*>(serverList_->itemDelegate())->stop();
}

void Whoisupdate::downloadList() {
    reg_.WriteKeyValue(store::kNorvikKey, whois::kListHostValue,
                       hostBox_->text().trimmed().toStdString());
    download_->start();
}

void Whoisupdate::filterServers() {
    if (filterBox_->currentIndex() < 0) return;
    serverList_->clear();
    QStringList lines;
    for (const std::string& line :
         whois::ListLines(download_->serverEntries(), filterBox_->currentText().toStdString())) {
        lines << q(line);
    }
    serverList_->addItems(lines);
}

void Whoisupdate::addAll() {
    std::vector<std::string> filter;
    std::vector<std::string> lines;
    filter.reserve(static_cast<std::size_t>(filterBox_->count()));
    for (int i = 0; i < filterBox_->count(); ++i)
        filter.push_back(filterBox_->itemText(i).toStdString());
    lines.reserve(static_cast<std::size_t>(serverList_->count()));
    for (int i = 0; i < serverList_->count(); ++i)
        lines.push_back(serverList_->item(i)->text().toStdString());
    whois::StoreDirectory(reg_, filter, lines);
    if (showWhoisPage_) showWhoisPage_();
    close();
}

void Whoisupdate::cancel() {
    if (showWhoisPage_) showWhoisPage_();
    close();
}

void Whoisupdate::setStatusText(const std::string& text) { status_->setText(q(text)); }

void Whoisupdate::emptyList() { serverList_->clear(); }

void Whoisupdate::fillFilter(const std::vector<std::string>& entries) {
    filterBox_->clear();
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(entries.size()));
    for (const std::string& e : entries) texts << q(e);
    filterBox_->addItems(texts);
}

void Whoisupdate::pickAllServers() {
    const int all = filterBox_->findText(QLatin1String(whois::kAllServers),
                                         Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (all < 0) return;
    filterBox_->setCurrentIndex(all);
    filterServers();
}

void Whoisupdate::closeEvent(QCloseEvent* event) {
    download_->stop();
    QWidget::closeEvent(event);
}

void Whoisupdate::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            event->accept();
            cancel();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            // Enter presses the focused button, else "Download Now".
            auto* focused = qobject_cast<QPushButton*>(focusWidget());
            event->accept();
            (focused != nullptr ? focused : downloadButton_)->click();
            return;
        }
        default:
            QWidget::keyPressEvent(event);
    }
}

}  // namespace norvik::shell
