#include "shell/Widgets.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

// The icons are compiled into this library; a static library's resources
// must be registered by hand.
static void registerResources() { Q_INIT_RESOURCE(norvik); }

namespace norvik::shell {

QIcon NamedIcon(const char* name) {
    static const bool registered = (registerResources(), true);
    (void)registered;
    return QIcon(QStringLiteral(":/icons/") + QLatin1String(name) + QStringLiteral(".svg"));
}

QLabel* plainLabel(const QString& text, const char* name, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setTextFormat(Qt::PlainText);
    l->setText(text);
    return l;
}

QPushButton* button(const QString& text, const char* name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

namespace {

// A click label to assistive technology: a link when it takes the keyboard
// focus (the underlined ones), else a button; either can be pressed.
class ClickLabelAccessible : public QAccessibleWidget {
  public:
    explicit ClickLabelAccessible(ClickLabel* l) : QAccessibleWidget(l, QAccessible::Button) {
        addControllingSignal(QStringLiteral("clicked()"));
    }
    QAccessible::Role role() const override {
        return widget()->focusPolicy() & Qt::TabFocus ? QAccessible::Link : QAccessible::Button;
    }
    QString text(QAccessible::Text t) const override {
        QString s = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && s.isEmpty())
            s = static_cast<ClickLabel*>(widget())->text().trimmed();
        return s;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction() && widget()->isEnabled())
            emit static_cast<ClickLabel*>(widget())->clicked();
    }
};

QAccessibleInterface* clickLabelFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("norvik::shell::ClickLabel") && object->isWidgetType())
        return new ClickLabelAccessible(static_cast<ClickLabel*>(object));
    return nullptr;
}

}  // namespace

ClickLabel* linkLabel(const QString& text, const char* name, QWidget* parent) {
    auto* l = new ClickLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setFocusPolicy(Qt::TabFocus);
    l->setCursor(Qt::PointingHandCursor);
    QFont f = l->font();
    f.setUnderline(true);
    l->setFont(f);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, p.color(QPalette::Link));
    l->setPalette(p);
    return l;
}

void Announce(QLabel* status) {
    QAccessibleValueChangeEvent event(status, status->text());
    QAccessible::updateAccessibility(&event);
}

ClickLabel::ClickLabel(const QString& text, QWidget* parent) : QLabel(parent) {
    static const bool factory = (QAccessible::installFactory(clickLabelFactory), true);
    (void)factory;
    setTextFormat(Qt::PlainText);
    setText(text);
    setCursor(Qt::PointingHandCursor);
}

void ClickLabel::paintEvent(QPaintEvent* e) {
    QLabel::paintEvent(e);
    if (!hasFocus()) return;
    // The focus mark a button would show, around the text.
    QStylePainter p(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    // A label takes the focus only from the keyboard.
    option.state |= QStyle::State_KeyboardFocusChange;
    option.rect = contentsRect();
    option.backgroundColor = palette().color(backgroundRole());
    p.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}

void ClickLabel::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        pressed_ = true;
        e->accept();
        return;
    }
    QLabel::mousePressEvent(e);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && pressed_) {
        pressed_ = false;
        e->accept();
        if (rect().contains(e->position().toPoint())) emit clicked();
        return;
    }
    QLabel::mouseReleaseEvent(e);
}

void ClickLabel::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Space || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        e->accept();
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(e);
}

PageIcon::PageIcon(QWidget* parent) : QToolButton(parent) {
    setCheckable(true);
    connect(this, &QToolButton::clicked, this, &PageIcon::invoked);
    // A toggle from outside (assistive technology) is undone and asks for
    // the page instead, so one icon always reads checked.
    connect(this, &QToolButton::toggled, this, [this](bool checked) {
        if (marking_) return;
        mark(!checked);
        emit invoked();
    });
}

void PageIcon::mark(bool onShow) {
    marking_ = true;
    setChecked(onShow);
    marking_ = false;
}

IconView::IconView(int extent, QWidget* parent) : QWidget(parent), extent_(extent) {
    setFixedSize(extent, extent);
}

void IconView::setIcon(const QIcon& icon, const QString& name) {
    icon_ = icon;
    name_ = name;
    update();
}

QSize IconView::sizeHint() const { return {extent_, extent_}; }

void IconView::paintEvent(QPaintEvent*) {
    if (icon_.isNull()) return;
    QPainter p(this);
    icon_.paint(&p, rect());
}

}  // namespace norvik::shell
