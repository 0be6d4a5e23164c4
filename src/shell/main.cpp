#include <QApplication>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "platform/LinuxEchoService.h"
#include "platform/Product.h"
#include "platform/SqliteKeyStore.h"
#include "platform/SystemResolver.h"
#include "platform/qt/EventLoopWaiter.h"
#include "platform/qt/QtMessageBox.h"
#include "platform/qt/QtTcpClient.h"
#include "platform/qt/QtTimer.h"
#include "shell/Form1.h"
#include "shell/QuietPresence.h"
#include "shell/Widgets.h"

using namespace norvik;

int main(int argc, char* argv[]) {
    // Answered before any window system is needed.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "norvik " << platform::ProductVersion() << std::endl;
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Norvik"));
    QApplication::setApplicationVersion(QLatin1String(platform::ProductVersion()));
    // Ties the windows to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.norvik.Norvik"));
    QApplication::setWindowIcon(shell::NamedIcon("norvik"));
    // The main window ends the program itself (Quit or Close); the report
    // window and a hidden start must not.
    QApplication::setQuitOnLastWindowClosed(false);

    // What keeps the program from working fully, said once at start-up.
    std::vector<std::string> problems;
    auto store = platform::SqliteKeyStore::openDefault();
    if (!store->open()) {
        std::cerr << "norvik: the settings in " << store->path()
                  << " cannot be used: " << store->lastError() << std::endl;
        problems.push_back("Norvik cannot use its settings file " + store->path() + ":\n" +
                           store->lastError() +
                           "\n\nAddresses and settings are not kept until the file is "
                           "repaired or moved away.");
    }
    // Lookups wait in the event loop, so a slow DNS server never stops painting.
    platform::SystemResolver resolver(platform::eventLoopWaiter);
    platform::LinuxEchoService echo;
    platform::QtMessageBox boxes;
    const std::string why = echo.unavailableReason();
    if (!why.empty()) {
        std::cerr << "norvik: " << why << std::endl;
        problems.push_back("Norvik cannot send pings on this machine.\n\n" + why);
    }

    shell::Form1 form({*store, boxes, resolver, echo, platform::eventLoopWaiter,
                       [] { QCoreApplication::exit(0); },
                       [] { return std::make_unique<platform::QtTcpClient>(); },
                       [] { return std::make_unique<platform::QtTimer>(); }, 43});
    boxes.setParent(&form);

    const QString arguments = QCoreApplication::arguments().mid(1).join(QLatin1Char(' '));
    shell::QuietPresence quiet(form, [] { QCoreApplication::exit(0); });
    if (form.startUp(arguments) == shell::Form1::Start::Quiet) {
        quiet.start(QSystemTrayIcon::isSystemTrayAvailable(), std::cerr);
    } else if (!form.ended()) {
        form.show();
        QTimer::singleShot(0, &form, [&] {
            for (const auto& text : problems) {
                boxes.show(text, platform::kAppTitle, platform::Buttons::Ok,
                           platform::Icon::Exclamation);
            }
        });
    }
    // An error dialog at start-up may already have ended the program.
    if (form.ended()) return 0;
    return app.exec();
}
