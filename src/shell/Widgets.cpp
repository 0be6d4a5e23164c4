#include "shell/Widgets.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

// The icons are compiled into this library; a static library's resources
// must be registered by hand.
static void registerResources() { Q_INIT_RESOURCE(norvik); }

namespace norvik::shell {

QIcon NamedIcon(const char* name) {
    static const bool registered = (registerResources(), true);
    (void)registered;
    return QIcon(QStringLiteral(":/icons/") + QLatin1String(name) + QStringLiteral(".svg"));
}

ClickLabel::ClickLabel(const QString& text, QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setText(text);
    setCursor(Qt::PointingHandCursor);
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
