#pragma once

#include <QObject>
#include <functional>
#include <iosfwd>
#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace norvik::shell {

class Form1;
class TerminationSignals;

// What a /quiet start leaves on the desktop. Where there is a notification
// area: an icon whose menu offers "Show Norvik" (the normal start-up, then
// the window) and "Quit". Elsewhere nothing can be shown: it says so on the
// error stream and ends the program on SIGTERM or SIGINT.
class QuietPresence : public QObject {
    Q_OBJECT
  public:
    QuietPresence(Form1& form, std::function<void()> quit, QObject* parent = nullptr);
    ~QuietPresence() override;

    // useTray: whether the desktop has a notification area (normally
    // QSystemTrayIcon::isSystemTrayAvailable()).
    void start(bool useTray, std::ostream& err);

    bool hasTrayIcon() const { return tray_ != nullptr; }
    bool waitsForSignals() const;
    QMenu* menu() const { return menu_.get(); }

    // "Show Norvik": runs the start-up now and shows the window; the icon
    // goes away.
    void showNorvik();

  private:
    Form1& form_;
    std::function<void()> quit_;
    std::unique_ptr<QMenu> menu_;
    QSystemTrayIcon* tray_ = nullptr;
    TerminationSignals* signals_ = nullptr;
};

}  // namespace norvik::shell
