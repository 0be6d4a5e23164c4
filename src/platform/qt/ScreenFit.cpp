#include "platform/qt/ScreenFit.h"

#include <QEvent>
#include <QFrame>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace norvik::platform {

namespace {

// The frame the window system puts around the window; before the window
// system has said, a title bar and thin borders.
QMargins frameOf(QWidget* window) {
    const QWindow* handle = window->windowHandle();
    QMargins frame = handle != nullptr ? handle->frameMargins() : QMargins();
    if (frame.isNull()) {
        const int border = 4;
        frame = QMargins(border, window->style()->pixelMetric(QStyle::PM_TitleBarHeight) + border,
                         border, border);
    }
    return frame;
}

void fit(QWidget* window) {
    const QScreen* screen = window->screen();
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    const QMargins frame = frameOf(window);
    const QSize room = RoomOnScreen(window);
    const QSize size = window->size().boundedTo(room).expandedTo(window->minimumSize());
    if (size != window->size()) window->resize(size);
    // The frame's top left, kept so that the whole frame lies in the area.
    const QSize outer = window->size().grownBy(frame);
    const QPoint at(std::clamp(window->x(), area.left(),
                               std::max(area.left(), area.right() + 1 - outer.width())),
                    std::clamp(window->y(), area.top(),
                               std::max(area.top(), area.bottom() + 1 - outer.height())));
    if (at != window->pos()) window->move(at);
}

class Fitter : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType())
            fit(static_cast<QWidget*>(watched));
        return false;
    }
};

// The scroll area sizes a body whose layout has a height for a width by
// that height; this one asks only for the room its minimum sizes take.
class Body : public QWidget {
  public:
    using QWidget::QWidget;
    int heightForWidth(int width) const override {
        const QLayout* l = layout();
        return l != nullptr && l->hasHeightForWidth() ? l->totalMinimumHeightForWidth(width)
                                                      : QWidget::heightForWidth(width);
    }
};

// Asks for the room the body asks for, however large; the window is made
// to fit its screen afterwards.
class BodyScroll : public QScrollArea {
  public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override {
        const QWidget* body = widget();
        return body != nullptr ? body->sizeHint().expandedTo(body->minimumSize())
                               : QScrollArea::sizeHint();
    }
};

}  // namespace

QSize RoomOnScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (screen == nullptr) return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    return screen->availableGeometry().size().shrunkBy(frameOf(window)).expandedTo(QSize(1, 1));
}

void FitToScreen(QWidget* window) {
    const QString name = QStringLiteral("screenFit");
    if (window->findChild<QObject*>(name, Qt::FindDirectChildrenOnly) == nullptr) {
        auto* fitter = new Fitter(window);
        fitter->setObjectName(name);
        window->installEventFilter(fitter);
    }
    if (window->isVisible()) fit(window);
}

QWidget* ScrollingBody(QWidget* window) {
    auto* body = new Body;
    auto* scroll = new BodyScroll(window);
    scroll->setObjectName(window->objectName() + QStringLiteral("Scroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(body);
    auto* outer = new QVBoxLayout(window);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    return body;
}

}  // namespace norvik::platform
