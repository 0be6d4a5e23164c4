#include "shell/Widgets.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QIconEngine>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOption>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QSvgRenderer>
#include <algorithm>
#include <cmath>

// The icons are compiled into this library; a static library's resources
// must be registered by hand.
static void registerResources() { Q_INIT_RESOURCE(norvik); }

namespace norvik::shell {

namespace {

QString iconPath(const char* name) {
    static const bool registered = (registerResources(), true);
    (void)registered;
    return QStringLiteral(":/icons/") + QLatin1String(name) + QStringLiteral(".svg");
}

// A drawing drawn as Qt's SVG icon engine draws it (scaled into the size
// asked for, keeping its proportions; the style's look for a disabled or
// selected icon), but read only when first drawn and without loading that
// engine's plugin: most icons are made at start-up and not yet drawn, and
// some never are (a window's icon, offscreen).
class SvgIconEngine : public QIconEngine {
  public:
    explicit SvgIconEngine(QString path) : path_(std::move(path)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        QSize pixels = rect.size();
        if (painter->device() != nullptr) pixels *= painter->device()->devicePixelRatio();
        painter->drawPixmap(rect, pixmap(pixels, mode, state));
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        const QPixmap pm = pixmap(size, mode, state);
        return pm.isNull() ? QSize() : pm.size();
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        const QString key = QStringLiteral("norvik-svg %1 %2x%3 %4")
                                .arg(path_)
                                .arg(size.width())
                                .arg(size.height())
                                .arg(int(mode));
        QPixmap pm;
        if (QPixmapCache::find(key, &pm)) return pm;
        QSvgRenderer svg(path_);
        if (!svg.isValid()) return pm;
        QSize actual = svg.defaultSize();
        if (!actual.isNull()) actual.scale(size, Qt::KeepAspectRatio);
        if (actual.isEmpty()) return pm;
        QImage image(actual, QImage::Format_ARGB32_Premultiplied);
        image.fill(0x00000000);
        QPainter p(&image);
        svg.render(&p);
        p.end();
        pm = QPixmap::fromImage(image);
        if (mode != QIcon::Normal) {
            QStyleOption option(0);
            option.palette = QGuiApplication::palette();
            const QPixmap generated = QApplication::style()->generatedIconPixmap(mode, pm, &option);
            if (!generated.isNull()) pm = generated;
        }
        QPixmapCache::insert(key, pm);
        return pm;
    }
    QIconEngine* clone() const override { return new SvgIconEngine(*this); }
    QString key() const override { return QStringLiteral("NorvikSvg"); }

  private:
    QString path_;
};

// A drawing rendered at the pixel size it is shown at, every inked pixel
// then filled with one colour (its coverage kept); a disabled icon is
// fainter.
class TintedIconEngine : public QIconEngine {
  public:
    TintedIconEngine(QString path, QColor colour) : path_(std::move(path)), colour_(colour) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal ratio =
            painter->device() != nullptr ? painter->device()->devicePixelRatioF() : qreal(1);
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, ratio));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
        QColor colour = colour_;
        if (mode == QIcon::Disabled) colour.setAlphaF(colour.alphaF() * 0.45f);
        const QSize pixels = size * scale;
        const QString key = QStringLiteral("norvik-tint %1 %2 %3x%4 %5")
                                .arg(path_, colour.name(QColor::HexArgb))
                                .arg(pixels.width())
                                .arg(pixels.height())
                                .arg(scale);
        QPixmap out;
        if (QPixmapCache::find(key, &out)) return out;
        QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QSvgRenderer svg(path_);
        svg.setAspectRatioMode(Qt::KeepAspectRatio);
        QPainter p(&image);
        svg.render(&p);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(image.rect(), colour);
        p.end();
        image.setDevicePixelRatio(scale);
        out = QPixmap::fromImage(std::move(image));
        QPixmapCache::insert(key, out);
        return out;
    }
    QIconEngine* clone() const override { return new TintedIconEngine(*this); }
    QString key() const override { return QStringLiteral("NorvikTinted"); }

  private:
    QString path_;
    QColor colour_;
};

double luminance(const QColor& c) {
    const auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

}  // namespace

QIcon NamedIcon(const char* name) { return QIcon(new SvgIconEngine(iconPath(name))); }

QIcon TintedIcon(const char* name, const QColor& colour) {
    return QIcon(new TintedIconEngine(iconPath(name), colour));
}

double Contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor Readable(const QColor& wanted, std::initializer_list<QColor> backs, double ratio) {
    const auto worst = [backs](const QColor& c) {
        double least = 21;
        for (const QColor& back : backs) least = std::min(least, Contrast(c, back));
        return least;
    };
    const QColor end = worst(Qt::black) >= worst(Qt::white) ? QColor(Qt::black) : QColor(Qt::white);
    for (int step = 0; step < 255; ++step) {
        const auto mix = [step](int a, int b) { return (a * (255 - step) + b * step + 127) / 255; };
        const QColor c(mix(wanted.red(), end.red()), mix(wanted.green(), end.green()),
                       mix(wanted.blue(), end.blue()));
        if (worst(c) >= ratio) return c;
    }
    return end;
}

void InputEdges::watch(QWidget* input) {
    input->installEventFilter(this);
    input->update();
}

bool InputEdges::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Paint) return false;
    auto* box = static_cast<QWidget*>(watched);
    // The box paints itself first; its edge goes over the style's.
    static_cast<QObject*>(box)->event(event);
    const QPalette& palette = box->palette();
    const QColor surface = palette.color(QPalette::Window);
    const QColor base = palette.color(QPalette::Base);
    const QColor from = box->hasFocus() ? palette.color(QPalette::Highlight) : surface;
    QPainter p(box);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Readable(from, {surface, base}, 3.0));
    p.setBrush(Qt::NoBrush);
    const QRectF edge = QRectF(box->rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (qobject_cast<QAbstractScrollArea*>(box) != nullptr) {
        p.drawRect(edge);
    } else {
        p.drawRoundedRect(edge, 2, 2);
    }
    return true;
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

QComboBox* editableCombo(const char* name, QWidget* parent) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QLatin1String(name));
    c->setEditable(true);
    // Only the program adds to these lists.
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setMaxVisibleItems(12);
    return c;
}

std::vector<std::string> comboItems(const QComboBox* box) {
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(box->count()));
    for (int i = 0; i < box->count(); ++i) items.push_back(box->itemText(i).toStdString());
    return items;
}

void appendKeepingTyped(QComboBox* box, const std::string& text) {
    const QString typed = box->currentText();
    box->addItem(QString::fromStdString(text));
    if (box->currentText() != typed) box->setEditText(typed);
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
    l->link_ = true;
    l->inkLink();
    return l;
}

// A link's words in the palette's link colour, as much lighter or darker as
// they need to read well on the surface.
void ClickLabel::inkLink() {
    const QColor ink =
        Readable(palette().color(QPalette::Link), {palette().color(QPalette::Window)}, 4.5);
    if (palette().color(QPalette::WindowText) == ink) return;
    QPalette p = palette();
    p.setColor(QPalette::WindowText, ink);
    setPalette(p);
}

void ClickLabel::changeEvent(QEvent* e) {
    QLabel::changeEvent(e);
    if (link_ &&
        (e->type() == QEvent::PaletteChange || e->type() == QEvent::ApplicationPaletteChange))
        inkLink();
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
