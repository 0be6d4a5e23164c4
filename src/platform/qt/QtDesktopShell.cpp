#include "platform/qt/QtDesktopShell.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

namespace norvik::platform {

bool QtDesktopShell::openUrl(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url), QUrl::StrictMode));
}

std::string QtDesktopShell::findProgram(const std::string& name) {
    // Only executable files count; folders and other files are passed over.
    return QStandardPaths::findExecutable(QString::fromStdString(name)).toStdString();
}

bool QtDesktopShell::startDetached(const std::string& program,
                                   const std::vector<std::string>& arguments) {
    QStringList args;
    for (const auto& a : arguments) args << QString::fromStdString(a);
    return QProcess::startDetached(QString::fromStdString(program), args);
}

std::string QtDesktopShell::programFolder() {
    return QCoreApplication::applicationDirPath().toStdString();
}

}  // namespace norvik::platform
