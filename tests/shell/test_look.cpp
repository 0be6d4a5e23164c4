// Icons and keyboard order of the main window.

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QToolButton>

#include "ShellFixture.h"
#include "shell/Widgets.h"

namespace norvik::test {
namespace {

using Look = ShellTest;

TEST_F(Look, EveryIconIsAValidDrawing) {
    qtApp();
    for (const char* name : {"norvik", "ping", "traceroute", "whois", "iptrans", "settings",
                             "about", "help", "quit", "inprogress", "tick", "cross"}) {
        QSvgRenderer svg(QStringLiteral(":/icons/") + name + QStringLiteral(".svg"));
        EXPECT_TRUE(svg.isValid()) << name;
        // Drawn at twice the size, it covers part of its square.
        const QIcon icon = shell::NamedIcon(name);
        ASSERT_FALSE(icon.isNull()) << name;
        QImage img(96, 96, QImage::Format_ARGB32);
        img.fill(Qt::transparent);
        QPainter p(&img);
        icon.paint(&p, img.rect());
        p.end();
        int inked = 0;
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x) inked += qAlpha(img.pixel(x, y)) > 0;
        }
        EXPECT_GT(inked, 96 * 96 / 40) << name;
    }
}

TEST_F(Look, TabGoesFromTheAddressThroughThePingInputs) {
    start();
    QWidget* at = w("Combo1");
    QStringList order;
    for (int i = 0; i < 5; ++i) {
        at = at->nextInFocusChain();
        while (at != nullptr && (!at->isVisibleTo(form.get()) || at->focusPolicy() == Qt::NoFocus ||
                                 at->focusProxy() != nullptr)) {
            at = at->nextInFocusChain();
        }
        if (at == nullptr) break;
        order << at->objectName();
    }
    EXPECT_EQ(order.mid(0, 5),
              (QStringList{"Text5", "Combo2", "Combo3", "carryoutping", "Label11"}));
}

}  // namespace
}  // namespace norvik::test
