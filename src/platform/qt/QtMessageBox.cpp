#include "platform/qt/QtMessageBox.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QScrollArea>
#include <QStyle>
#include <memory>

#include "platform/qt/ScreenFit.h"

namespace norvik::platform {

namespace {

// A box taller than its screen leaves room for shows its text in a scroll
// area, so that its buttons stay on the screen.
class Box : public QMessageBox {
  public:
    using QMessageBox::QMessageBox;

  protected:
    void showEvent(QShowEvent* e) override {
        QMessageBox::showEvent(e);
        const QSize room = RoomOnScreen(this);
        auto* grid = qobject_cast<QGridLayout*>(layout());
        auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        if (height() > room.height() && grid != nullptr && label != nullptr &&
            grid->indexOf(label) >= 0) {
            int row = 0, column = 0, rows = 0, columns = 0;
            grid->getItemPosition(grid->indexOf(label), &row, &column, &rows, &columns);
            grid->removeWidget(label);
            auto* scroll = new QScrollArea(this);
            scroll->setFrameShape(QFrame::NoFrame);
            scroll->setWidgetResizable(true);
            scroll->setWidget(label);
            label->show();
            grid->addWidget(scroll, row, column, rows, columns);
            scroll->show();
            setMinimumSize(0, 0);
            setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            // Wider by the scroll bar, so that the lines keep their breaks.
            scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            resize(width() + style()->pixelMetric(QStyle::PM_ScrollBarExtent), room.height());
        }
        FitToScreen(this);
    }
};

// A Yes/No box has no cancel answer: Escape and the close box do nothing,
// and only a click on Yes or No (or Enter, Space, Y, N) answers it.
class YesNoBox : public Box {
  public:
    using Box::Box;

  protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->matches(QKeySequence::Cancel)) {
            e->accept();
            return;
        }
        QMessageBox::keyPressEvent(e);
    }
    void closeEvent(QCloseEvent* e) override { e->ignore(); }
};

}  // namespace

QString QtMessageBox::displayText(const std::string& text) {
    const QString in = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QString out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const QChar c = in[i];
        if (c == u'\r' || c == u'\n') {
            // A pair of different line-end characters makes one break.
            if (i + 1 < in.size() && (in[i + 1] == u'\r' || in[i + 1] == u'\n') && in[i + 1] != c) {
                ++i;
            }
            out += u'\n';
        } else if (c == QChar(0)) {
            // The box shows text up to nothing invisible; drop NULs.
        } else {
            out += c;
        }
    }
    return out;
}

Answer QtMessageBox::show(const std::string& text, const std::string& caption, Buttons buttons,
                          Icon icon) {
    const auto made = buttons == Buttons::YesNo ? std::make_unique<YesNoBox>(parent_)
                                                : std::make_unique<Box>(parent_);
    QMessageBox& box = *made;
    box.setTextFormat(Qt::PlainText);
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(displayText(text));
    switch (icon) {
        case Icon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case Icon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        case Icon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
    }
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.exec();
        // Only an explicit No ends what asked.
        return box.clickedButton() == box.button(QMessageBox::No) ? Answer::No : Answer::Yes;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return Answer::Ok;
}

}  // namespace norvik::platform
