#include "shell/Help.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/Product.h"
#include "platform/qt/ScreenFit.h"

namespace norvik::shell {

namespace {

// The message's line breaks are line feed then carriage return, twice.
const char kBreak[] = "\n\r\n\r";

std::string visitText() {
    return std::string("Visit ") + platform::ProductWebAddress() +
           " and download Norvik to get all the correct files.";
}

}  // namespace

QStringList HelpPlaces(const QString& programFolder) {
    const QDir dir(programFolder);
    return {QDir::cleanPath(dir.filePath(QLatin1String(kHelpFileName))),
            QDir::cleanPath(
                dir.filePath(QStringLiteral("../share/norvik/") + QLatin1String(kHelpFileName)))};
}

HelpFile FindHelpFile(const QString& programFolder) {
    HelpFile found{QString(), true, QString()};
    for (const QString& place : HelpPlaces(programFolder)) {
        const QFileInfo info(place);
        if (!info.exists()) continue;
        QString problem;
        QFile file(place);
        if (!info.isFile()) {
            problem = QStringLiteral("it is not a file");
        } else if (!file.open(QIODevice::ReadOnly)) {
            problem = file.errorString();
        } else if (file.read(1).isEmpty()) {
            problem = QStringLiteral("the file is empty");
        } else {
            return {place, false, QString()};
        }
        // A damaged copy in one place does not hide a good one in the next.
        if (found.missing) found = {place, false, problem};
    }
    return found;
}

HelpWindow::HelpWindow(platform::DesktopShell& shell, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window), shell_(shell) {
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(QStringLiteral("Norvik Help"));

    helpBack_ = new QToolButton(this);
    helpBack_->setObjectName(QStringLiteral("helpBack"));
    helpBack_->setText(QStringLiteral("Back"));
    helpBack_->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    helpBack_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    helpBack_->setShortcut(QKeySequence::Back);
    helpForward_ = new QToolButton(this);
    helpForward_->setObjectName(QStringLiteral("helpForward"));
    helpForward_->setText(QStringLiteral("Forward"));
    helpForward_->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    helpForward_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    helpForward_->setShortcut(QKeySequence::Forward);
    helpBrowser_ = new QTextBrowser(this);
    helpBrowser_->setObjectName(QStringLiteral("helpBrowser"));
    helpBrowser_->setOpenLinks(false);

    auto* bar = new QHBoxLayout;
    bar->addWidget(helpBack_);
    bar->addWidget(helpForward_);
    bar->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(helpBrowser_, 1);

    helpBack_->setEnabled(false);
    helpForward_->setEnabled(false);
    connect(helpBack_, &QToolButton::clicked, helpBrowser_, &QTextBrowser::backward);
    connect(helpForward_, &QToolButton::clicked, helpBrowser_, &QTextBrowser::forward);
    connect(helpBrowser_, &QTextBrowser::backwardAvailable, helpBack_, &QToolButton::setEnabled);
    connect(helpBrowser_, &QTextBrowser::forwardAvailable, helpForward_, &QToolButton::setEnabled);
    connect(helpBrowser_, &QTextBrowser::anchorClicked, this, &HelpWindow::follow);
    resize(640, 560);
    platform::FitToScreen(this);
}

void HelpWindow::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(e);
}

void HelpWindow::showPage(const QString& file) {
    helpBrowser_->setSource(QUrl::fromLocalFile(file));
}

void HelpWindow::follow(const QUrl& link) {
    const QUrl target = helpBrowser_->source().resolved(link);
    if (target.isLocalFile() && QFileInfo(target.toLocalFile()).isFile()) {
        helpBrowser_->setSource(target);
    } else if (!target.isLocalFile()) {
        shell_.openUrl(target.toString(QUrl::FullyEncoded).toStdString());
    }
}

Help::Help(platform::MessageBox& boxes, platform::DesktopShell& shell, QWidget* mainWindow)
    : boxes_(boxes), shell_(shell), mainWindow_(mainWindow) {}

void Help::Show(const char* page) {
    const HelpFile help = FindHelpFile(QString::fromStdString(shell_.programFolder()));
    if (help.missing) {
        boxes_.show("Sorry, Help File: HELP.HTML is missing." + std::string(kBreak) + visitText(),
                    platform::kAppTitle, platform::Buttons::Ok, platform::Icon::Critical);
        return;
    }
    if (!help.problem.isEmpty()) {
        boxes_.show("Sorry, Help File: HELP.HTML cannot be read." + std::string(kBreak) +
                        QDir::toNativeSeparators(help.path).toStdString() + ": " +
                        help.problem.toStdString() + kBreak + visitText(),
                    platform::kAppTitle, platform::Buttons::Ok, platform::Icon::Critical);
        return;
    }
    QString path = QFileInfo(help.path).dir().filePath(QLatin1String(page));
    if (!QFileInfo(path).isFile()) path = help.path;
    if (shell_.openUrl(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded).toStdString()))
        return;
    if (!window_) window_ = new HelpWindow(shell_, mainWindow_);
    window_->showPage(path);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void Help::hide() {
    if (window_) window_->hide();
}

}  // namespace norvik::shell
