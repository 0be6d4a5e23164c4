// The server list update window: its controls, texts, time-out and keys,
// the sorted filter and list with their tab column, "Add All", "Cancel" and
// the frame, and bad answers that must leave the stored directory alone.
#include <QImage>
#include <QPixmap>

#include "../support/LoopbackTcpServer.h"
#include "../support/ServerDirectory.h"
#include "../support/SpinUntil.h"
#include "ShellFixture.h"
#include "shell/Whoisupdate.h"
#include "whois/ServerList.h"

namespace norvik::test {
namespace {

using namespace std::string_literals;

class WhoisUpdate : public ShellTest {
  protected:
    // A list host on loopback, stored as the list host unless `stored` is false.
    void serve(ServerScript script, bool stored = true) {
        server = std::make_unique<LoopbackTcpServer>(std::move(script));
        ASSERT_TRUE(server->listening());
        whoisPort = server->port();
        if (stored) put("", whois::kListHostValue, "127.0.0.1");
    }
    // The main window on the Whois Lookup page with the update window open.
    shell::Whoisupdate* open() {
        if (!form) start();
        click(w("whoiswords"));
        click(w("whoisserver"));
        return form->whoisupdate();
    }
    template <class T = QWidget>
    T* u(const char* name) {
        return w<T>(name, form->whoisupdate());
    }
    QStringList entries(const char* name) { return items(name, form->whoisupdate()); }
    QString status() { return u<QLabel>("Label1")->text(); }
    bool downloaded() {
        click(u("Command1"));
        return spinUntil([&] { return status() == "Done"; }, 20000);
    }
    // True once the window has closed and gone.
    bool gone() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return form->whoisupdate() == nullptr;
    }
    ManualTimer& listTimer() { return timers.at(1); }

    std::unique_ptr<LoopbackTcpServer> server;
};

TEST_F(WhoisUpdate, OpensOneNonModalWindowWithItsControlsTimeOutAndKeys) {
    serve(ServerScript::silent());
    shell::Whoisupdate* upd = open();
    ASSERT_NE(upd, nullptr);
    EXPECT_EQ(upd->windowTitle(), "Norvik - Whois Server Update");
    EXPECT_TRUE(upd->isVisible());
    EXPECT_EQ(upd->windowModality(), Qt::NonModal);
    expectTexts({{"Label3", "Whois Lookup - Server Update"},
                 {"Command1", "Download Now"},
                 {"Label2", "Servers to Display"},
                 {"Label1", "Ready"},
                 {"Command3", "Add All"},
                 {"Command2", "Cancel"},
                 {"Label4", "List host:"},
                 {"listhost", "127.0.0.1"}},
                upd);
    EXPECT_EQ(u<QLabel>("Label4")->buddy(), u("listhost"));
    EXPECT_EQ(u("listhost")->nextInFocusChain(), u("Command1"));
    EXPECT_TRUE(entries("Combo1").isEmpty());
    EXPECT_TRUE(entries("List1").isEmpty());
    // An emptied box reads the built-in list, and is stored empty.
    u<QLineEdit>("listhost")->clear();
    click(u("Command1"));
    EXPECT_EQ(status(), "Done");
    EXPECT_EQ(entries("List1").size(),
              whois::ParseServerList(whois::BuiltInServerList()).serverEntries.size());
    EXPECT_EQ(setting(whois::kListHostValue), "");
    for (QLabel* l : upd->findChildren<QLabel*>()) EXPECT_EQ(l->textFormat(), Qt::PlainText);
    // One at a time; the main window stays usable.
    click(w("whoisserver"));
    EXPECT_EQ(form->whoisupdate(), upd);
    EXPECT_EQ(form->findChildren<shell::Whoisupdate*>().size(), 1);
    EXPECT_TRUE(w("lookupwhois")->isEnabled());

    // A host that never answers: the time-out text. Enter downloads again,
    // Escape cancels.
    u<QLineEdit>("listhost")->setText("127.0.0.1");
    click(u("Command1"));
    EXPECT_EQ(status(), "Connecting...");
    listTimer().fire();
    EXPECT_EQ(status(), "Timed Out. The server is currently unavailable");
    EXPECT_FALSE(listTimer().enabled());
    u("List1")->setFocus();
    key(upd, Qt::Key_Return);
    EXPECT_EQ(status(), "Connecting...");
    key(upd, Qt::Key_Escape);
    EXPECT_TRUE(gone());
    EXPECT_EQ(text("nme"), "Whois Lookup");
}

TEST_F(WhoisUpdate, ADownloadShowsSortedListsAndAddAllStoresThePickedCountry) {
    serve(ServerScript::answer(
              "m.x n\r\nb.x C=gb\r\na.x C=GB\r\nz.x C=de\r\nq.x C=Au\r\nlong.server.x C=Au\r\n"),
          false);
    open();
    // The host typed is stored and asked.
    EXPECT_EQ(text("listhost", form->whoisupdate()), "");
    u<QLineEdit>("listhost")->setText("127.0.0.1");
    ASSERT_TRUE(downloaded());
    EXPECT_EQ(setting(whois::kListHostValue), "127.0.0.1");
    // The empty country sorts first, yet " All servers" is picked.
    EXPECT_EQ(entries("Combo1"), (QStringList{"", " All servers", "Au", "de", "gb"}));
    EXPECT_EQ(u<QComboBox>("Combo1")->currentText(), " All servers");
    EXPECT_EQ(entries("List1"), (QStringList{"\tm.x ", "Au\tlong.server.x ", "Au\tq.x ", "de\tz.x ",
                                             "GB\ta.x ", "gb\tb.x "}));

    // The servers start at the tab stop, in a column after the codes.
    auto* list = u<QListWidget>("List1");
    const QImage image = list->viewport()->grab().toImage();
    const QRect row = list->visualItemRect(list->item(2));
    const int stop = static_cast<int>(form->whoisupdate()->tabStop());
    const auto inkAt = [&](int x) {
        for (int y = row.top(); y <= row.bottom(); ++y)
            if (qGray(image.pixel(x, y)) < 128) return true;
        return false;
    };
    int firstAfterCode = -1;
    const int codeEnd = row.left() + 4 + QFontMetrics(list->font()).horizontalAdvance("Au");
    for (int x = codeEnd + 1; x < row.right() && firstAfterCode < 0; ++x)
        if (inkAt(x)) firstAfterCode = x;
    EXPECT_GE(firstAfterCode, stop - 1);
    EXPECT_LE(firstAfterCode, stop + QFontMetrics(list->font()).averageCharWidth());

    // Pick "gb" with the keyboard: only its own code shows.
    for (int i = 0; i < 3; ++i) key(u("Combo1"), Qt::Key_Down);
    EXPECT_EQ(u<QComboBox>("Combo1")->currentText(), "gb");
    EXPECT_EQ(entries("List1"), QStringList{"gb\tb.x "});

    click(u("Command3"));
    EXPECT_EQ(readDirectory(*keyStore),
              (Directory{{"Au", {" 0"}}, {"de", {" 0"}}, {"gb", {" 1", "b.x"}}}));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(gone());
    EXPECT_EQ(text("nme"), "Whois Lookup");
    EXPECT_EQ(items("countrydropdown"), (QStringList{"All", "Au", "de", "gb"}));
    EXPECT_EQ(items("whoiscombo2"), QStringList{"b.x"});
    open();
    EXPECT_EQ(text("listhost", form->whoisupdate()), "127.0.0.1");
}

TEST_F(WhoisUpdate, BadAnswersLeaveTheStoredDirectoryAlone) {
    put("Servers\\GB", "Total", " 1");
    put("Servers\\GB", "1", "whois.nic.uk");
    const Directory before = readDirectory(*keyStore);
    std::string many;
    for (int i = 0; i < 100000; ++i) many += "w.x C=C" + std::to_string(i) + "\r\n";
    struct Case {
        const char* what;
        std::string answer;
        int filterEntries;
    };
    const Case cases[] = {
        {"NUL bytes and bad UTF-8", "a\0.x C=N\0L\r\n\xff\xfe.x C=\xc3\r\n"s, 3},
        {"1 MiB country", "w.x C=" + std::string(1 << 20, 'c') + "\r\n", 2},
        {"100,000 countries", many, 100001},
    };
    for (const Case& c : cases) {
        serve(ServerScript::answer(c.answer));
        start();  // a new main window for the new port
        open();
        ASSERT_TRUE(downloaded()) << c.what;
        EXPECT_EQ(entries("Combo1").size(), c.filterEntries) << c.what;
        EXPECT_TRUE(u("Command3")->isEnabled());
        // Closed by its frame: nothing stored, the page not refreshed.
        form->showPage(shell::Form1::PageId::Ping);
        form->whoisupdate()->close();
        EXPECT_TRUE(gone()) << c.what;
        EXPECT_EQ(text("nme"), "Ping") << c.what;
        EXPECT_EQ(readDirectory(*keyStore), before) << c.what;
    }
    // And "Cancel" stores nothing either.
    open();
    ASSERT_TRUE(downloaded());
    click(u("Command2"));
    EXPECT_TRUE(gone());
    EXPECT_EQ(text("nme"), "Whois Lookup");
    EXPECT_EQ(readDirectory(*keyStore), before);
}

}  // namespace
}  // namespace norvik::test
