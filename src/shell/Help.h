#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "platform/DesktopShell.h"
#include "platform/MessageBox.h"

class QTextBrowser;
class QToolButton;

namespace norvik::shell {

// The help is a set of HTML pages; this is the one the help icon opens.
inline constexpr const char* kHelpFileName = "help.html";

// Where the help is looked for, in this order: beside the program's
// executable (a build tree), then the installed data folder
// ../share/norvik/ from it.
QStringList HelpPlaces(const QString& programFolder);

// The first help file that can be read, or why none can: `missing` when no
// place holds one, else what is wrong with the first one found.
struct HelpFile {
    QString path;
    bool missing = false;
    QString problem;
};
HelpFile FindHelpFile(const QString& programFolder);

// The help's pages in a window of the program's own, for a desktop that has
// no handler for them: links between the pages work, Back and Forward go
// through the pages seen, Escape closes. Links to anything but a local page
// go to the desktop.
class HelpWindow : public QWidget {
    Q_OBJECT
  public:
    HelpWindow(platform::DesktopShell& shell, QWidget* mainWindow);

    void showPage(const QString& file);
    QTextBrowser* browser() const { return helpBrowser_; }

  protected:
    void keyPressEvent(QKeyEvent* e) override;

  private:
    void follow(const QUrl& link);

    platform::DesktopShell& shell_;
    QToolButton* helpBack_;
    QToolButton* helpForward_;
    QTextBrowser* helpBrowser_;
};

// A click on the help icon or its word: finds the help, has the desktop
// open it, and falls back to the help window when the desktop cannot.
class Help {
  public:
    Help(platform::MessageBox& boxes, platform::DesktopShell& shell, QWidget* mainWindow);

    // Opens the help at `page`, a page of the help beside the contents;
    // the contents when there is no such page.
    void Show(const char* page = kHelpFileName);
    // The help window, once it was needed.
    HelpWindow* window() const { return window_; }
    void hide();

  private:
    platform::MessageBox& boxes_;
    platform::DesktopShell& shell_;
    QWidget* mainWindow_;
    QPointer<HelpWindow> window_;
};

}  // namespace norvik::shell
