#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "net/HostToIP.h"
#include "platform/DesktopShell.h"
#include "platform/EchoService.h"
#include "platform/KeyStore.h"
#include "platform/MessageBox.h"
#include "platform/Resolver.h"
#include "platform/TcpClient.h"
#include "platform/Timer.h"
#include "store/Registry.h"

class QLabel;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace norvik::shell {

class ClickLabel;
class DefaultButton;
class Form2;
class Help;
class InputEdges;
class frmAbout;
class Page;
class PageIcon;
class PingPage;
class RdapView;
class RunGuard;
class SettingsChoices;
class Whoisupdate;

// What the main window works with. Tests pass doubles; main() the real
// services.
struct Services {
    platform::KeyStore& store;
    platform::MessageBox& boxes;
    platform::Resolver& resolver;
    platform::EchoService& echo;
    // How an echo waits; the window's own event loop keeps serving
    // meanwhile when this is eventLoopWaiter.
    platform::Waiter waiter;
    // Ends the program. Empty: leave the application's event loop.
    std::function<void()> endProgram;
    // Make the TCP clients and timers of the windows. Empty: the Qt ones.
    std::function<std::unique_ptr<platform::TcpClient>()> makeTcpClient = nullptr;
    std::function<std::unique_ptr<platform::Timer>()> makeTimer = nullptr;
    // The port of whois servers and of the list host.
    std::uint16_t whoisPort = 43;
    // Opens links and the help, starts other programs. Null: the desktop's.
    platform::DesktopShell* shell = nullptr;
};

// The main window, a frame: a column of page icons, the page title and four
// fixed icons at the top right, and the pages, one on show at a time (the
// Ping page from the start, each other page built when first shown). It
// owns the keys, Quit and Close, and the secondary windows.
class Form1 : public QWidget {
    Q_OBJECT
  public:
    enum class Start { Normal, Quiet };
    // The pages, in the order they are left when another one is shown.
    enum class PageId { IpTranslation, Ping, Trace, Whois, Settings };

    explicit Form1(Services services, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up with the command-line argument string (everything after the
    // program's name). A quiet start only hides the window and loads
    // nothing; otherwise StartUp runs.
    Start Form_Load(const QString& arguments);
    static bool IsQuietArgument(const QString& arguments);
    // The normal start-up: the session list is renewed from the remembered
    // one and the Ping page is shown. A failing step opens the start-up
    // error dialog.
    void StartUp();

    // True once the program has ended (Quit, Close, or No in an error
    // dialog); the window then takes no further action.
    bool ended() const;
    // True while the window refuses user input (during each echo).
    bool inputBlocked() const;
    // Stop or Escape: the ping run and the trace under way end at once.
    void stopRun();

    // Leaves every page and enters `page`, its icon the one checked.
    void showPage(PageId page);
    // The page, built if it was not yet.
    Page& page(PageId page);
    PingPage& pingPage();
    RdapView& rdapView();
    // Quit: the session's addresses are remembered when so chosen, and the
    // program ends.
    void quit();
    // F1: the help's page for the page on show, else its contents.
    void showPageHelp();

    // The report window, made when first used.
    Form2& form2();
    bool hasForm2() const { return form2_ != nullptr; }
    // Shows the About box, or brings the one on show forward.
    void ShowAbout();
    frmAbout* about() const { return about_; }
    Help& help() { return *help_; }
    // The server list update window while it is open, else null.
    Whoisupdate* whoisupdate() const;
    // Opens the server list update window, or brings the open one forward.
    void openServerListUpdate();

    // The Whois Lookup page's TCP client and time-out timer (10000 ms).
    platform::TcpClient& whoisClient() { return *whoisClient_; }
    platform::Timer& whoisTimer() { return *whoisTimer_; }
    // New TCP clients and timers for other windows.
    std::unique_ptr<platform::TcpClient> makeTcpClient() const;
    std::unique_ptr<platform::Timer> makeTimer() const;

    // The button that Enter presses, or null.
    QPushButton* defaultButton() const;

    // The smallest the window gets; the pages scroll below that.
    static constexpr int kMinimumWidth = 560;
    static constexpr int kMinimumHeight = 360;

  protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildFrame();
    Page* buildPage(PageId page);
    void adopt(QWidget* root);
    void setTabOrders();
    void applySurfaceColours();
    bool startupStep(const std::function<void()>& step);
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
    DefaultButton* defaults_;
    InputEdges* edges_;
    SettingsChoices* choices_;
    std::unique_ptr<platform::TcpClient> whoisClient_;
    std::unique_ptr<platform::Timer> whoisTimer_;
    std::unique_ptr<Form2> form2_;
    frmAbout* about_ = nullptr;
    QPointer<Whoisupdate> whoisupdate_;

    QWidget* iconBand_ = nullptr;
    QWidget* canvas_;
    std::array<PageIcon*, 5> pageIcons_{};  // by PageId
    std::array<Page*, 5> pages_{};          // by PageId, null until built
    QLabel* title_;
    QLabel* heading_;
    QLabel* intro_;
    QLabel* statusLine_;  // of the TraceRoute and Whois Lookup pages
    QVBoxLayout* pageArea_;
    QVBoxLayout* resultsArea_;
};

}  // namespace norvik::shell
