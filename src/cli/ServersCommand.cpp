// norvik-cli servers: the update window's download without the window. It
// prints the list as the window shows it with " All servers" picked, and with
// --store stores it as "Add All" does.
#include <QCoreApplication>
#include <QEventLoop>
#include <optional>
#include <ostream>

#include "cli/ArgParser.h"
#include "cli/TerminalText.h"
#include "platform/SqliteKeyStore.h"
#include "platform/StderrMessageBox.h"
#include "platform/qt/QtTcpClient.h"
#include "platform/qt/QtTimer.h"
#include "store/Registry.h"
#include "whois/ListDownload.h"
#include "whois/MemoryListView.h"

namespace norvik::cli {

namespace {

const char kServersUsage[] = "usage: norvik-cli servers [--host HOST] [-p PORT] [--store]\n";

// The window's status line, filter and list as plain fields; the event loop
// ends with the download.
class PrintedList : public whois::MemoryListView {
  public:
    QEventLoop* loop = nullptr;

    void setStatusText(const std::string& text) override {
        MemoryListView::setStatusText(text);
        if (loop != nullptr && (text == whois::kListDone || text == whois::kListTimedOut))
            loop->quit();
    }
};

}  // namespace

int runServers(const Args& args, std::ostream& out, std::ostream& err) {
    std::optional<std::string> host;
    std::uint16_t port = whois::kListPort;
    bool storeIt = false;
    if (const int bad = ArgParser(kServersUsage)
                            .option("--host", host)
                            .option("-p", PortOption(port, "norvik-cli servers: bad port '%'"))
                            .flag("--store", storeIt)
                            .parse(args, err))
        return bad;
    const auto app = commandLineApp();

    // Without --store the store is only read: none is made where there is
    // none, and the list host then is the built-in one.
    auto keyStore = platform::SqliteKeyStore::openDefault();
    if (!storeIt) {
        keyStore->openReadOnly();
    } else if (!keyStore->open()) {
        err << "norvik-cli servers: " << keyStore->lastError() << '\n';
        return 1;
    }
    platform::StderrMessageBox boxes(err);
    store::Registry registry(*keyStore, boxes);
    const std::string listHost = host ? *host : whois::StoredListHost(registry);

    platform::QtTcpClient winsock;
    platform::QtTimer timer;
    PrintedList view;
    whois::ListDownload download(winsock, timer, view,
                                 whois::ListSource{[&listHost] { return listHost; }, port});
    view.download = &download;
    download.start();
    if (view.status == whois::kListConnecting) {
        QEventLoop loop;
        view.loop = &loop;
        loop.exec();
        view.loop = nullptr;
    }
    if (view.status == whois::kListTimedOut) {
        err << whois::kListTimedOut << '\n';
        return 1;
    }
    if (view.status != whois::kListDone) {
        err << "norvik-cli servers: the download could not start\n";
        return 1;
    }
    for (const std::string& line : view.lines) out << Printable(line) << '\n';
    if (download.cut()) err << whois::kCutLine << '\n';
    if (storeIt) whois::StoreDirectory(registry, view.filter, view.lines);
    return 0;
}

}  // namespace norvik::cli
