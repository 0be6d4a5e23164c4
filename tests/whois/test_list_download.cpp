// The list download over real loopback TCP with a timer ticked by hand:
// states and status texts, the built-in list and the time-out. The ends it
// shares with the lookup are tested in test_port43.cpp.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../support/LoopbackTcpServer.h"
#include "../support/ManualTimer.h"
#include "../support/SpinUntil.h"
#include "platform/qt/QtTcpClient.h"
#include "whois/ListDownload.h"
#include "whois/MemoryListView.h"

namespace norvik::test {
namespace {

using platform::TcpClient;
using Strings = std::vector<std::string>;

// The window's controls as plain fields, with every status written down.
struct RecordingView : whois::MemoryListView {
    Strings statuses;
    void setStatusText(const std::string& text) override {
        MemoryListView::setStatusText(text);
        statuses.push_back(text);
    }
};

class ListDownloadTest : public ::testing::Test {
  protected:
    ListDownloadTest() { ensureCoreApp(); }

    // A list host on loopback, and the download that asks it.
    void serve(ServerScript script) {
        server = std::make_unique<LoopbackTcpServer>(std::move(script));
        ASSERT_TRUE(server->listening());
        host = "127.0.0.1";
        make(server->port());
    }
    void make(std::uint16_t port) {
        download = std::make_unique<whois::ListDownload>(
            winsock, timer, view, whois::ListSource{[this] { return host; }, port});
        view.download = download.get();
    }
    bool reaches(const std::string& status, int ms = 5000) {
        return spinUntil([&] { return view.statusText() == status; }, ms);
    }

    std::string host;
    RecordingView view;
    ManualTimer timer;
    platform::QtTcpClient winsock;
    std::unique_ptr<LoopbackTcpServer> server;
    std::unique_ptr<whois::ListDownload> download;
};

TEST_F(ListDownloadTest, AnAnswerInPiecesIsShownWhenTheHostCloses) {
    serve(ServerScript::inPieces({"w1.x C=GB\r\nw2", ".x C=GB\r\n", "z.x C=de\r\n"}));
    EXPECT_TRUE(timer.enabled());
    EXPECT_EQ(timer.interval(), 10000);
    download->start();
    EXPECT_EQ(view.statuses, Strings{"Connecting..."});
    ASSERT_TRUE(reaches("Done"));
    ASSERT_GE(view.statuses.size(), 3u);
    for (std::size_t i = 1; i + 1 < view.statuses.size(); ++i)
        EXPECT_EQ(view.statuses[i], "Retrieving...");
    EXPECT_EQ(server->requests(), Strings{"whois-servers\r\n"});
    EXPECT_EQ(view.filter, (Strings{" All servers", "de", "GB"}));
    EXPECT_EQ(view.lines, (Strings{"de\tz.x ", "GB\tw1.x ", "GB\tw2.x "}));
    // Ticks after the end change nothing; the timer keeps running.
    timer.fire();
    timer.fire();
    EXPECT_EQ(view.statusText(), "Done");
    EXPECT_TRUE(timer.enabled());
    EXPECT_FALSE(download->cut());
}

TEST_F(ListDownloadTest, RefusedAndUnusableHostsEndAtTheTimeOutKeepingTheFilter) {
    make(LoopbackTcpServer::closedPort());
    download->start();  // no host yet: the built-in list
    const Strings filter = view.filter;
    for (const char* bad : {"127.0.0.1", "no host!", "127.0.0.1:", "\x01\x02"}) {
        host = bad;
        view.statuses.clear();
        download->start();
        EXPECT_TRUE(timer.enabled());
        spinFor(100);
        EXPECT_EQ(view.statuses, Strings{"Connecting..."}) << bad;
        timer.fire();
        EXPECT_EQ(view.statusText(), "Timed Out. The server is currently unavailable") << bad;
        EXPECT_FALSE(timer.enabled());
        EXPECT_TRUE(view.lines.empty());
        // The filter and the entries of the download before stay.
        EXPECT_EQ(view.filter, filter);
        EXPECT_FALSE(download->serverEntries().serverEntries.empty());
    }
}

}  // namespace
}  // namespace norvik::test
