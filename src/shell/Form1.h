#pragma once

#include <QPointer>
#include <QWidget>

#include "net/HostToIP.h"
#include "shell/PageIcons.h"
#include "shell/PageStack.h"
#include "shell/RunGuard.h"
#include "shell/Services.h"
#include "store/Registry.h"

class QLabel;
class QPushButton;

namespace norvik::shell {

class Form2;
class Help;
class Page;
class PingPage;
class RdapView;
class SettingsChoices;
class Whoisupdate;
class frmAbout;

// The main window, a frame: the icons, the page title, and the pages, one
// on show at a time (the Ping page from the start, each other page built
// when first shown) with their shared headings. It owns the keys, Quit and
// Close, and the secondary windows.
class Form1 : public QWidget {
    Q_OBJECT
  public:
    enum class Start { Normal, Quiet };
    using PageId = shell::PageId;

    explicit Form1(Services services, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up with the arguments after the program's name: a quiet start
    // only hides the window; otherwise StartUp runs.
    Start startUp(const QString& arguments);
    // The session list renewed, the Ping page shown (see shell::StartUp).
    void StartUp();

    // True once the program has ended (Quit, Close, No in an error dialog).
    bool ended() const { return runs_->ended(); }
    // True while the window refuses user input (during each echo).
    bool inputBlocked() const { return runs_->inputBlocked(); }
    // Stop or Escape: the ping run and the trace under way end at once.
    void stopRun() { runs_->stopAll(); }

    // Leaves every page built and enters `page`, its icon the one checked.
    void showPage(PageId page);
    // The page, built if it was not yet.
    Page& page(PageId page);
    PingPage& pingPage();
    RdapView& rdapView();
    // The session's addresses remembered when so chosen, the program ends.
    void quit();
    // F1: the help's page for the page on show, else its contents.
    void showPageHelp();

    // The secondary windows: the report, made when first used; the About
    // box and the server list update window, opened or brought forward.
    Form2& form2();
    bool hasForm2() const { return form2_ != nullptr; }
    void ShowAbout();
    frmAbout* about() const { return about_; }
    Help& help() { return *help_; }
    void openServerListUpdate();
    // The update window while it is open, else null.
    Whoisupdate* whoisupdate() const;

    // The whois page's client and 10000 ms timer; new ones for others.
    platform::TcpClient& whoisClient() { return *whoisClient_; }
    platform::Timer& whoisTimer() { return *whoisTimer_; }
    std::unique_ptr<platform::TcpClient> makeTcpClient() const { return tcpFactory_(); }
    std::unique_ptr<platform::Timer> makeTimer() const { return timerFactory_(); }

    // The button that Enter presses, or null.
    QPushButton* defaultButton() const { return pages_->defaultButton(); }

    // The smallest the window gets; the pages scroll below that.
    static constexpr int kMinimumWidth = 560;
    static constexpr int kMinimumHeight = 360;

  protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildFrame();
    Page* makePage(PageId page, QWidget* parent);
    void applySurfaceColours();
    void endProgram();

    platform::MessageBox& boxes_;
    platform::Resolver& resolver_;
    platform::EchoService& echo_;
    std::function<void()> ender_;
    std::function<std::unique_ptr<platform::TcpClient>()> tcpFactory_;
    std::function<std::unique_ptr<platform::Timer>()> timerFactory_;
    std::uint16_t whoisPort_;
    store::Registry reg_;
    net::HostToIP hosts_;
    std::unique_ptr<platform::DesktopShell> ownShell_;
    platform::DesktopShell* shell_;
    std::unique_ptr<Help> help_;
    RunGuard* runs_;
    SettingsChoices* choices_;
    PageIcons* icons_;
    std::unique_ptr<platform::TcpClient> whoisClient_;
    std::unique_ptr<platform::Timer> whoisTimer_;
    std::unique_ptr<Form2> form2_;
    frmAbout* about_ = nullptr;
    QPointer<Whoisupdate> whoisupdate_;

    PageStack* pages_ = nullptr;
    QLabel* title_;
    QLabel* heading_;
    QLabel* intro_;
    QLabel* statusLine_;  // of the TraceRoute and Whois Lookup pages
};

}  // namespace norvik::shell
