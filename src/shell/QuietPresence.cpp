#include "shell/QuietPresence.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <ostream>

#include "shell/Form1.h"
#include "shell/TerminationSignals.h"
#include "shell/Widgets.h"

namespace norvik::shell {

QuietPresence::QuietPresence(Form1& form, std::function<void()> quit, QObject* parent)
    : QObject(parent), form_(form), quit_(std::move(quit)) {}

QuietPresence::~QuietPresence() = default;

bool QuietPresence::waitsForSignals() const { return signals_ != nullptr && signals_->active(); }

void QuietPresence::start(bool useTray, std::ostream& err) {
    if (useTray) {
        menu_ = std::make_unique<QMenu>();
        menu_->addAction(QStringLiteral("Show Norvik"), this, &QuietPresence::showNorvik);
        menu_->addSeparator();
        menu_->addAction(QStringLiteral("Quit"), this, [this] {
            if (quit_) quit_();
        });
        tray_ = new QSystemTrayIcon(NamedIcon("norvik"), this);
        tray_->setToolTip(QStringLiteral("Norvik"));
        tray_->setContextMenu(menu_.get());
        connect(
            tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    showNorvik();
                }
            });
        tray_->show();
        return;
    }
    err << "Norvik is running hidden (/quiet); end it with SIGTERM or Ctrl+C." << std::endl;
    signals_ = new TerminationSignals(
        [this] {
            if (quit_) quit_();
        },
        this);
}

void QuietPresence::showNorvik() {
    if (tray_ != nullptr) {
        tray_->hide();
        tray_->deleteLater();
        tray_ = nullptr;
    }
    form_.StartUp();
    if (form_.ended()) return;
    form_.show();
    form_.raise();
    form_.activateWindow();
}

}  // namespace norvik::shell
