#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "platform/DesktopShell.h"
#include "platform/KeyStore.h"
#include "platform/MessageBox.h"

class QFrame;
class QLabel;
class QPushButton;

namespace norvik::shell {

class ClickLabel;
class IconView;

// The About box: the product's picture, description and version, links to
// its web site and contact address, and a button that starts the desktop's
// system-information viewer. It is not modal; the main window keeps one and
// shows it again when asked.
class frmAbout : public QDialog {
    Q_OBJECT
  public:
    frmAbout(platform::KeyStore& store, platform::MessageBox& boxes, platform::DesktopShell& shell,
             QWidget* mainWindow);

    void dismiss();
    void showSystemInfo();
    void openWebSite();
    void writeToContact();

    // Starts the system-information viewer named in the store, else the
    // first one found on PATH; says so when there is none.
    void StartSysInfo();
    // Reads one value of the key below the root into text: a REG_SZ as its
    // text (without a terminating NUL), a REG_DWORD as its number in
    // decimal; a value of another type leaves KeyVal as it was. False, with
    // KeyVal empty, when the key or value cannot be read.
    bool GetKeyValue(std::uint32_t KeyRoot, const std::string& KeyName,
                     const std::string& SubKeyRef, std::string& KeyVal);

  protected:
    // Escape presses OK.
    void reject() override;

  private:
    platform::KeyStore& store_;
    platform::MessageBox& boxes_;
    platform::DesktopShell& shell_;

    IconView* picture_;
    QLabel* description_;
    QLabel* version_;
    QLabel* notice_;
    QLabel* webCaption_;
    ClickLabel* webLink_;
    QLabel* mailCaption_;
    ClickLabel* mailLink_;
    QPushButton* okButton_;
    QPushButton* sysInfoButton_;
    QFrame* rule_;
};

}  // namespace norvik::shell
