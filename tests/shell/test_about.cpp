// The About box, the help and the system-information button on real
// widgets; the desktop is a double that records what it was asked to open.
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <fstream>

#include "../support/SpinUntil.h"
#include "ShellFixture.h"
#include "shell/Help.h"
#include "shell/Widgets.h"
#include "shell/frmAbout.h"

namespace norvik::test {
namespace {

using platform::Buttons;
using platform::Icon;
using platform::KeyStore;
using namespace std::string_literals;

const std::string kVisit =
    "Visit https://www.norvik.example and download Norvik to get all the correct files.";
const std::string kMissingHelp = "Sorry, Help File: HELP.HTML is missing.\n\r\n\r" + kVisit;
const char kNoSysInfo[] = "System Information Is Unavailable At This Time";
const KeyStore::Path kInfoKey = {"SOFTWARE", "Microsoft", "Shared Tools", "MSINFO"};

void writeFile(const QString& path, const std::string& content, int mode = 0644) {
    QDir().mkpath(QFileInfo(path).path());
    std::ofstream(path.toStdString(), std::ios::binary) << content;
    ::chmod(path.toLocal8Bit().constData(), static_cast<mode_t>(mode));
}

// PATH for the length of a scope.
struct PathScope {
    QByteArray saved = qgetenv("PATH");
    explicit PathScope(const QString& path) { qputenv("PATH", path.toLocal8Bit()); }
    ~PathScope() { qputenv("PATH", saved); }
};

class AboutTest : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        ASSERT_TRUE(dir.isValid());
        shell.folder = (dir.path() + "/bin").toStdString();
        start();
    }
    shell::frmAbout* openAbout(const char* by = "Image5") {
        click(w(by));
        return form->about();
    }
    QString folder() const { return QString::fromStdString(shell.folder); }

    QTemporaryDir dir;
};

TEST_F(AboutTest, ShowsEveryControlNotModalOneAtATimeWithLinksAndKeys) {
    shell::frmAbout* box = openAbout();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->objectName(), "frmAbout");
    EXPECT_EQ(box->windowTitle(), "About Norvik");
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    expectTexts({{"lblDescription",
                  "Norvik is a Windows Ping Utility allowing users to ditch command prompt and "
                  "gain the extra features of multiple pings and user defined ping data."},
                 {"Label5", "Version 4.01"},
                 {"Label1", ""},
                 {"Label2", "Website:"},
                 {"Label4", "https://www.norvik.example"},
                 {"Label3", "Email:"},
                 {"Label8", "norvik@norvik.example"},
                 {"cmdOK", "OK"},
                 {"cmdSysInfo", "&System Info..."}},
                box);
    EXPECT_FALSE(box->findChild<shell::IconView*>("Image1")->icon().pixmap(64, 2.0).isNull());
    EXPECT_TRUE(box->findChild<QPushButton*>("cmdOK")->isDefault());

    // Asked again (icon or word) while it is open: the same box, still one.
    EXPECT_EQ(openAbout("Label5"), box);
    EXPECT_EQ(form->findChildren<shell::frmAbout*>().size(), 1);

    // Its links go to the desktop as web and mail addresses.
    shell.openAnswer = false;  // the result is not looked at
    click(box->findChild<QWidget*>("Label4"));
    click(box->findChild<QWidget*>("Label8"));
    EXPECT_EQ(shell.opened, (std::vector<std::string>{"https://www.norvik.example",
                                                      "mailto:norvik@norvik.example"}));

    // Enter, Escape and OK close the box; asked again, it comes back.
    for (int k : {int(Qt::Key_Return), int(Qt::Key_Escape), 0}) {
        box = openAbout();
        ASSERT_TRUE(box->isVisible());
        if (k != 0)
            key(box, k);
        else
            click(box->findChild<QPushButton*>("cmdOK"));
        EXPECT_FALSE(box->isVisible()) << k;
    }
    EXPECT_TRUE(boxes.shown.empty());
}

// Where the help lies and what the desktop answers, against what a click on
// the help icon does.
TEST_F(AboutTest, HelpIsLookedForBesideTheProgramThenInTheDataFolder) {
    const QString beside = folder() + "/help.html";
    const QString shared = dir.path() + "/share/norvik/help.html";
    const std::string page = "<html><body>Help</body></html>";
    struct Case {
        const char* name;
        std::vector<std::pair<QString, std::string>> files;  // "" content: a folder
        QString opens;                                       // empty: a message instead
        std::string message;                                 // start of the message
    };
    const std::vector<Case> cases = {
        {"none", {}, "", kMissingHelp},
        {"beside", {{beside, page}}, beside, ""},
        {"installed", {{shared, page}}, shared, ""},
        {"both", {{beside, page}, {shared, page}}, beside, ""},
        {"empty beside, good installed", {{beside, "-"}, {shared, page}}, shared, ""},
        {"empty", {{beside, "-"}}, "", "Sorry, Help File: HELP.HTML cannot be read.\n\r\n\r"},
        {"a folder", {{shared, ""}}, "", "Sorry, Help File: HELP.HTML cannot be read."},
    };
    for (const Case& c : cases) {
        QDir(dir.path() + "/bin").removeRecursively();
        QDir(dir.path() + "/share").removeRecursively();
        for (const auto& [path, content] : c.files) {
            if (content.empty())
                QDir().mkpath(path);
            else
                writeFile(path, content == "-" ? std::string() : content);
        }
        shell.opened.clear();
        boxes.shown.clear();
        click(w(c.files.size() == 1 ? "Label7" : "Image2"));
        if (c.opens.isEmpty()) {
            EXPECT_TRUE(shell.opened.empty()) << c.name;
            ASSERT_EQ(boxes.shown.size(), 1u) << c.name;
            const auto& b = boxes.shown[0];
            EXPECT_EQ(b.text.substr(0, c.message.size()), c.message) << c.name;
            EXPECT_TRUE(b.text.ends_with(kVisit)) << b.text;
            EXPECT_EQ(std::tie(b.caption, b.icon, b.buttons),
                      std::make_tuple("Norvik", Icon::Critical, Buttons::Ok));
        } else {
            EXPECT_EQ(
                shell.opened,
                std::vector<std::string>{QUrl::fromLocalFile(c.opens).toString().toStdString()})
                << c.name;
            EXPECT_TRUE(boxes.shown.empty()) << c.name;
        }
    }
    EXPECT_EQ(form->help().window(), nullptr);
}

// Without a handler on the desktop, the built pages open in the help window.
TEST_F(AboutTest, WithoutADesktopHandlerTheHelpWindowShowsTheBuiltPages) {
    const char* cli = std::getenv("NORVIK_CLI");
    ASSERT_NE(cli, nullptr);
    shell.folder = QFileInfo(QString::fromLocal8Bit(cli)).path().toStdString();
    shell.openAnswer = false;
    click(w("Image2"));
    ASSERT_EQ(shell.opened.size(), 1u);
    shell::HelpWindow* help = form->help().window();
    ASSERT_NE(help, nullptr);
    ASSERT_TRUE(help->isVisible());
    QTextBrowser* browser = help->browser();
    auto page = [&] { return QFileInfo(browser->source().toLocalFile()).fileName(); };
    EXPECT_EQ(page(), "help.html");
    EXPECT_TRUE(browser->toPlainText().contains("Pinging without root"));

    // A link to another page, Back, Forward; a web link goes to the desktop.
    emit browser->anchorClicked(QUrl("help-ping-without-root.html"));
    EXPECT_EQ(page(), "help-ping-without-root.html");
    EXPECT_TRUE(browser->toPlainText().contains("cap_net_raw"));
    help->findChild<QToolButton*>("helpBack")->click();
    EXPECT_EQ(page(), "help.html");
    help->findChild<QToolButton*>("helpForward")->click();
    EXPECT_EQ(page(), "help-ping-without-root.html");
    emit browser->anchorClicked(QUrl("https://www.norvik.example/x"));
    EXPECT_EQ(shell.opened.back(), "https://www.norvik.example/x");
    EXPECT_EQ(page(), "help-ping-without-root.html");

    key(browser, Qt::Key_Escape);
    EXPECT_FALSE(help->isVisible());
    // Asked again: the same window, at the contents.
    click(w("Image2"));
    EXPECT_EQ(form->help().window(), help);
    EXPECT_EQ(page(), "help.html");
}

TEST_F(AboutTest, GetKeyValueReadsTextAndNumbersAndLeavesOtherTypes) {
    shell::frmAbout* box = openAbout();
    ASSERT_TRUE(keyStore->createKey(store::HKEY_LOCAL_MACHINE, kInfoKey));
    struct Case {
        const char* name;
        std::optional<KeyStore::TypedValue> stored;
        std::string result;
        bool ok;
    };
    const std::vector<Case> cases = {
        {"text", KeyStore::TypedValue{KeyStore::REG_SZ, "C:\\Tools\\info.exe"},
         "C:\\Tools\\info.exe", true},
        {"text with its NUL", KeyStore::TypedValue{KeyStore::REG_SZ, "abc\0"s}, "abc", true},
        {"empty", KeyStore::TypedValue{KeyStore::REG_SZ, ""}, "", true},
        {"number 16", KeyStore::TypedValue{KeyStore::REG_DWORD, KeyStore::dwordData(16)}, "16",
         true},
        {"largest number",
         KeyStore::TypedValue{KeyStore::REG_DWORD, KeyStore::dwordData(4294967295u)}, "4294967295",
         true},
        {"another type", KeyStore::TypedValue{3, "\x01\x02"s}, "before", true},
        {"too long", KeyStore::TypedValue{KeyStore::REG_SZ, std::string(1025, 'x')}, "", false},
        {"missing", std::nullopt, "", false},
    };
    for (const Case& c : cases) {
        keyStore->deleteValue(store::HKEY_LOCAL_MACHINE, kInfoKey, "PATH");
        if (c.stored) {
            ASSERT_TRUE(
                keyStore->writeTypedValue(store::HKEY_LOCAL_MACHINE, kInfoKey, "PATH", *c.stored));
        }
        std::string value = "before";
        EXPECT_EQ(box->GetKeyValue(store::HKEY_LOCAL_MACHINE,
                                   "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", value),
                  c.ok)
            << c.name;
        EXPECT_EQ(value, c.result) << c.name;
    }
    std::string value = "before";
    EXPECT_FALSE(box->GetKeyValue(store::HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", "PATH", value));
    EXPECT_EQ(value, "");
}

// The viewer named in the store, else the first viewer on PATH that can be
// started, else the message. Fake viewers write their arguments to a file.
TEST_F(AboutTest, SystemInfoStartsAViewerFromTheStoreOrPathOrSaysItIsUnavailable) {
    const QString marker = dir.path() + "/started";
    const std::string script = "#!/bin/sh\necho \"$0 $*\" > '" + marker.toStdString() + "'\n";
    const QString a = dir.path() + "/a", b = dir.path() + "/b", none = dir.path() + "/none";
    writeFile(a + "/kinfocenter", script, 0644);  // not executable: passed over
    QDir().mkpath(a + "/hardinfo2");              // a folder: passed over
    writeFile(b + "/gnome-control-center", script, 0755);
    writeFile(b + "/hardinfo", script, 0755);
    writeFile(dir.path() + "/tools/viewer", script, 0755);
    QDir().mkpath(none);

    struct Case {
        const char* name;
        QString path;
        std::optional<std::string> stored;  // the store's PATH value
        std::string started;                // what the viewer wrote; empty: the message
    };
    const std::vector<Case> cases = {
        {"on PATH", a + ":" + b, std::nullopt,
         (b + "/gnome-control-center info-overview").toStdString()},
        {"none on PATH", none + ":" + a, std::nullopt, ""},
        {"named in the store", none, (dir.path() + "/tools/viewer").toStdString(),
         (dir.path() + "/tools/viewer ").toStdString()},
        {"store names a missing program", a + ":" + b, (dir.path() + "/gone").toStdString(), ""},
    };
    shell::frmAbout* box = openAbout();
    for (const Case& c : cases) {
        PathScope path(c.path);
        QFile::remove(marker);
        boxes.shown.clear();
        keyStore->deleteKey(store::HKEY_LOCAL_MACHINE, {"SOFTWARE"});
        if (c.stored) {
            ASSERT_TRUE(keyStore->createKey(store::HKEY_LOCAL_MACHINE, kInfoKey));
            ASSERT_TRUE(
                keyStore->writeValue(store::HKEY_LOCAL_MACHINE, kInfoKey, "PATH", *c.stored));
        }
        click(box->findChild<QPushButton*>("cmdSysInfo"));
        if (c.started.empty()) {
            EXPECT_EQ(boxes.shown.size(), 1u) << c.name;
            expectBox(0, kNoSysInfo, "Norvik", Buttons::Ok, Icon::None);
            continue;
        }
        EXPECT_TRUE(boxes.shown.empty()) << c.name;
        EXPECT_TRUE(spinUntil([&] { return QFileInfo(marker).size() > 0; }, 10000)) << c.name;
        std::ifstream in(marker.toStdString());
        std::string line;
        std::getline(in, line);
        EXPECT_EQ(line, c.started) << c.name;
    }
}

}  // namespace
}  // namespace norvik::test
