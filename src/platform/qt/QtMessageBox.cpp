#include "platform/qt/QtMessageBox.h"

#include <QMessageBox>

namespace norvik::platform {

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
    QMessageBox box(parent_);
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
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return Answer::Ok;
}

}  // namespace norvik::platform
