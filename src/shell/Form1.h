#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "export/Export.h"
#include "net/HostToIP.h"
#include "ping/PingRun.h"
#include "platform/DesktopShell.h"
#include "platform/EchoService.h"
#include "platform/KeyStore.h"
#include "platform/MessageBox.h"
#include "platform/Resolver.h"
#include "platform/TcpClient.h"
#include "platform/Timer.h"
#include "shell/RunGuard.h"
#include "store/Registry.h"
#include "whois/WhoisText.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace norvik::shell {

class ClickLabel;
class Form2;
class Help;
class frmAbout;
class IconView;
class PageIcon;
class RunGuard;
class IpTranslationPage;
class SettingsPage;
class TracePage;
class WhoisPage;
class ResultButtons;
class Whoisupdate;
class WhoisView;
class RdapView;

// What the main window works with. Tests pass doubles; main() the real
// services.
struct Services {
    platform::KeyStore& store;
    platform::MessageBox& boxes;
    platform::Resolver& resolver;
    platform::EchoService& echo;
    // How a ping waits for its echo; the window's own event loop keeps
    // serving meanwhile when this is eventLoopWaiter.
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

// The default whois servers, for the "US" and "GB" quick selections and
// the server box when the Whois Lookup page is shown.
inline constexpr const char* kDefaultUsWhoisServer = whois::kDefaultUsServer;
inline constexpr const char* kDefaultGbWhoisServer = whois::kDefaultGbServer;

// The main window: a column of page icons, four fixed icons at the top
// right, and five pages (Ping, TraceRoute, Whois Lookup, IP Translation,
// Settings), one on show at a time. All but the Ping page are Page classes
// of their own; the Ping page's controls are still the window's, shown and
// hidden together. It is the ping run's view.
class Form1 : public QWidget, public ping::PingView, public StoppableRun {
    Q_OBJECT
  public:
    enum class Start { Normal, Quiet };

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
    bool ended() const { return runs_->ended(); }
    // True while a ping run works.
    bool pingRunning() const { return running_; }
    // True while a trace runs.
    bool tracing() const;
    // True while the window refuses user input (during each echo).
    bool inputBlocked() const { return runs_->inputBlocked(); }
    // Stop or Escape: the ping run and the trace under way end at once,
    // abandoning the echo in flight.
    void stopRun();

    // The report window, made when first used.
    Form2& form2();
    bool hasForm2() const { return form2_ != nullptr; }

    // Shows the About box, or brings the one on show forward.
    void ShowAbout();
    // The About box, once it was shown.
    frmAbout* about() const { return about_; }
    Help& help() { return *help_; }

    const ping::PingRun& pingRun() const { return pingRun_; }
    // The payload held in the hidden Text2.
    QString payload() const;

    // Page operations.
    void HideAllPages();
    void ShowPingPage();
    void HidePingPage();
    void ShowIpTranslationPage();
    void HideIpTranslationPage();
    void ShowSettingsPage();
    void HideSettingsPage();
    void ShowTracePage();
    void HideTracePage();
    void ShowWhoisPage();
    void HideWhoisPage();

    // Fixed controls.
    void pingicon_Click();
    void tracerouteicon_Click();
    void whoisicon_Click();
    void iptransicon_Click();
    void Image7_Click();
    void Image5_Click();
    void Image2_Click();
    // F1: the help's page for the page on show, else its contents.
    void PageHelp();
    void quiticon_Click();

    // Ping page.
    void carryoutping_Click();
    void Combo1_Change();
    void Combo1_Click();
    void Combo1_GotFocus();
    void Combo3_Change();
    void Combo3_Click();
    void Text5_Click();
    void Label11_Click();

    // Whois Lookup page.
    // The server list update window while it is open, else null.
    Whoisupdate* whoisupdate() const;
    // Opens the server list update window, or brings the open one forward.
    void openServerListUpdate();
    RdapView& rdapView();

    // The window's TCP client and time-out timer (stopped, 10000 ms).
    platform::TcpClient& Winsock1() { return *Winsock1_; }
    platform::Timer& Timer1() { return *Timer1_; }
    // New TCP clients and timers for other windows, and the whois port.
    std::unique_ptr<platform::TcpClient> makeTcpClient() const;
    std::unique_ptr<platform::Timer> makeTimer() const;
    std::uint16_t whoisPort() const { return whoisPort_; }

    // The button that Enter presses, or null.
    QPushButton* defaultButton() const { return defaultButton_; }

    // PingView.
    std::string addressText() override;
    std::vector<std::string> addressItems() override;
    void appendAddressItem(const std::string& address) override;
    std::string countText() override;
    std::string payloadText() override;
    void ShowProgressHeading() override;
    void ShowProgressCounters() override;
    void ShowReturnedData() override;
    void setPingEnabled(bool enabled) override;
    void setWindowEnabled(bool enabled) override;
    void setStatus(ping::StatusLook look, const std::string& caption) override;
    bool statusInProgress() override;
    void showStatusArea() override;
    void repaintStatus() override;
    void setTodo(const std::string& text) override;
    void setDone(const std::string& text) override;
    void setPercent(const std::string& text) override;
    void setProgress(float percent) override;
    void repaintCounters() override;
    std::string resolvedText() override;
    void setResolvedText(const std::string& text) override;
    std::string replyField(int index) override;
    void setReplyField(int index, const std::string& text) override;
    void setReport(const std::string& text1, const std::string& average,
                   const std::string& timeouts) override;
    void showReport() override;
    void setRecords(const std::vector<ping::PingRecord>& records) override;
    platform::Waiter waiter() override;
    bool endRequested() override { return ended(); }
    bool stopRequested() override { return pingStop_; }
    void endProgram() override;

    // The smallest the window gets; the pages scroll below that.
    static constexpr int kMinimumWidth = 560;
    static constexpr int kMinimumHeight = 360;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildControls();
    void buildLayout();
    void connectControls();
    void setTabOrders();
    void nameInputs();
    void applySurfaceColours();
    QColor statusColour(ping::StatusLook look) const;
    void markPage(PageIcon* icon);

    bool startupStep(const std::function<void()>& step);
    void makeDefault(QPushButton* button);
    bool pressDefault();

    void LoadDisplaySettings();
    void ApplyDisplaySettings();
    void FillFromSession(QComboBox* list);
    // StoppableRun: the ping run.
    bool running() const override { return running_; }
    void stop() override;
    QWidget* stopButton() const override;
    QLineEdit* Text4(int index) const;

    platform::MessageBox& boxes_;
    platform::Resolver& resolver_;
    platform::EchoService& echo_;
    platform::Waiter waiter_;
    std::function<void()> ender_;
    std::function<std::unique_ptr<platform::TcpClient>()> tcpFactory_;
    std::function<std::unique_ptr<platform::Timer>()> timerFactory_;
    std::uint16_t whoisPort_;
    std::unique_ptr<platform::TcpClient> Winsock1_;
    std::unique_ptr<platform::Timer> Timer1_;
    store::Registry reg_;
    net::HostToIP hosts_;
    ping::PingRun pingRun_;
    std::unique_ptr<Form2> form2_;
    std::unique_ptr<platform::DesktopShell> ownShell_;
    platform::DesktopShell* shell_;
    frmAbout* about_ = nullptr;
    std::unique_ptr<Help> help_;
    QPointer<Whoisupdate> whoisupdate_;
    RunGuard* runs_ = nullptr;
    QFrame* iconBand_ = nullptr;

    bool running_ = false;
    bool pingStop_ = false;
    QPushButton* defaultButton_ = nullptr;
    ping::StatusLook look_ = ping::StatusLook::Failure;

    // Fixed controls.
    PageIcon* pingicon_;
    ClickLabel* pingwords_;
    PageIcon* tracerouteicon_;
    ClickLabel* traceroutewords_;
    PageIcon* whoisicon_;
    ClickLabel* whoiswords_;
    PageIcon* iptransicon_;
    ClickLabel* iptranswords_;
    PageIcon* Image7_;
    ClickLabel* Label4_;
    QToolButton* Image5_;
    ClickLabel* Label5_;
    QToolButton* Image2_;
    ClickLabel* Label7_;
    QToolButton* quiticon_;
    ClickLabel* quitwords_;
    QLabel* nme_;
    QLabel* return1_;
    QLabel* intro_;

    // Ping page.
    QPushButton* carryoutping_;
    QPushButton* pingstop_;  // "Stop", shown while a run goes
    QLabel* Label1_;
    QLabel* Label2_;
    QLabel* Label9_;
    ClickLabel* Label11_;
    QLabel* Label12_;
    QComboBox* Combo1_;
    QComboBox* Combo2_;
    QComboBox* Combo3_;
    QLineEdit* Text2_;
    QLineEdit* Text5_;
    QFrame* Shape1_;
    QFrame* Line1_;
    QLabel* status_;
    IconView* Picture1_;
    IconView* inprogress_;
    IconView* tick_;
    IconView* cross_;
    QLabel* Labelping1_;
    QLabel* todo_;
    QLabel* Labelping2_;
    QLabel* done_;
    QLabel* pc_;
    QProgressBar* ProgressBar1_;
    QLabel* return2_;
    QLabel* return3_;
    QLabel* return4_;
    QLabel* return5_;
    QLabel* return7_;
    std::array<QLineEdit*, 6> Text4_{};  // element 4 does not exist

    // The pages of their own.
    TracePage* tracePage_ = nullptr;
    IpTranslationPage* ipTranslationPage_ = nullptr;
    SettingsPage* settingsPage_ = nullptr;
    WhoisPage* whoisPage_ = nullptr;
    // The status line of the TraceRoute and Whois Lookup pages.
    QLabel* traceLabel4_;
};

}  // namespace norvik::shell
