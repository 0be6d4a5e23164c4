#pragma once

#include <QObject>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/KeyStore.h"
#include "platform/MessageBox.h"
#include "platform/TcpClient.h"
#include "platform/Timer.h"
#include "store/Registry.h"
#include "whois/ListDownload.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace norvik::shell {

// What the update window works with.
struct WhoisupdateServices {
    platform::KeyStore& store;
    platform::MessageBox& boxes;
    std::unique_ptr<platform::TcpClient> winsock;
    std::unique_ptr<platform::Timer> timer;
    std::uint16_t port = whois::kListPort;
    // "Add All" and "Cancel": bring the main window to the front and show
    // the Whois Lookup page again.
    std::function<void()> showWhoisPage;
    // The list read when no list host is set; empty: the built-in one.
    std::function<std::string()> builtIn;
};

// A platform object (TCP client, timer) held by a window under a name.
template <class T>
class NamedPlatformObject : public QObject {
  public:
    NamedPlatformObject(std::unique_ptr<T> object, const char* name, QObject* parent)
        : QObject(parent), object_(std::move(object)) {
        setObjectName(QLatin1String(name));
    }
    T& get() { return *object_; }

  private:
    std::unique_ptr<T> object_;
};

// The server list update window: downloads the list of whois servers from
// the host in its List host box (or, with the box empty, reads the built-in
// one), shows it filtered by country, and on "Add All" stores it as the
// server directory. Not modal; it deletes itself when closed.
class Whoisupdate : public QWidget, public whois::ListView {
    Q_OBJECT
  public:
    explicit Whoisupdate(WhoisupdateServices services, QWidget* parent = nullptr);
    ~Whoisupdate() override;

    void downloadList();   // "Download Now": stores the list host, then downloads
    void filterServers();  // a pick in the filter
    void addAll();         // "Add All"
    void cancel();         // "Cancel"

    const whois::ListDownload& download() const { return *download_; }
    // Where List1's tab stop stands, in pixels from the list's left edge.
    qreal tabStop() const;

    // ListView.
    void setStatusText(const std::string& text) override;
    void emptyList() override;
    void fillFilter(const std::vector<std::string>& entries) override;
    void pickAllServers() override;

  protected:
    void closeEvent(QCloseEvent* event) override;  // Form_Unload
    void keyPressEvent(QKeyEvent* event) override;

  private:
    store::Registry reg_;
    std::function<void()> showWhoisPage_;

    QLabel* title_;
    QLabel* hostCaption_;
    QLineEdit* hostBox_;
    QPushButton* downloadButton_;
    QLabel* filterCaption_;
    QComboBox* filterBox_;
    QListWidget* serverList_;
    QLabel* status_;
    QPushButton* addAllButton_;
    QPushButton* cancelButton_;
    NamedPlatformObject<platform::Timer>* timer_;
    NamedPlatformObject<platform::TcpClient>* client_;
    std::unique_ptr<whois::ListDownload> download_;
};

}  // namespace norvik::shell
