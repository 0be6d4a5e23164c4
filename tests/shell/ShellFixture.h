#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <array>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "../support/LoopbackResolver.h"
#include "../support/ManualTimer.h"
#include "../support/RecordingShell.h"
#include "../support/ScriptedEchoService.h"
#include "../support/ScriptedMessageBox.h"
#include "../support/TempStore.h"
#include "platform/qt/QtTcpClient.h"
#include "shell/Form1.h"
#include "shell/Form2.h"
#include "shell/Page.h"
#include "store/Registry.h"

// Readable QStrings in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace norvik::test {

// The one application object of a test program, on the offscreen platform
// unless one was chosen.
inline QApplication& qtApp() {
    static int argc = 1;
    static char arg0[] = "test_shell";
    static char* argv[] = {arg0, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// A left click near the left end of the widget (where a check box has its
// box), delivered as the window system would: through the application's
// event filters.
inline void click(QWidget* w) {
    ASSERT_NE(w, nullptr);
    const QPointF pos(std::min(w->width() / 2.0, 8.0), w->height() / 2.0);
    const QPointF global = w->mapToGlobal(pos);
    QMouseEvent press(QEvent::MouseButtonPress, pos, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, pos, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(w, &release);
}

// One key pressed and released on the widget.
inline void key(QWidget* w, int k, const QString& text = QString()) {
    ASSERT_NE(w, nullptr);
    QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, text);
    QCoreApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, k, Qt::NoModifier, text);
    QCoreApplication::sendEvent(w, &release);
}

// Name resolution from tables (a name's IPv4 and IPv6 address, taken by the
// family rule; an IPv6 address's name is the one it is listed under), else
// as the loopback resolver does it. Nothing leaves the machine.
class TableResolver : public LoopbackResolver {
  public:
    std::map<std::string, std::array<std::uint8_t, 4>> names;
    std::map<std::string, std::string> names6;
    std::map<std::array<std::uint8_t, 4>, std::string> hosts;

    std::optional<platform::IpAddress> lookupName(const std::string& name,
                                                  platform::FamilyRule rule) override {
        using enum platform::FamilyRule;
        std::optional<platform::IpAddress> v4, v6;
        if (const auto it = names.find(name); it != names.end())
            v4 = platform::IpAddress::v4(it->second);
        if (const auto it = names6.find(name); it != names6.end())
            v6 = platform::IpAddress::parse(it->second);
        if (!v4 && !v6) return LoopbackResolver::lookupName(name, rule);
        if (rule == Ipv6Only || (rule == Ipv6First && v6)) return v6;
        return rule == Ipv4Only || v4 ? v4 : v6;
    }
    std::optional<std::string> lookupAddress(const platform::IpAddress& addr) override {
        for (const auto& [name, address] : names6)
            if (addr.isV6() && platform::IpAddress::parse(address) == addr) return name;
        const auto it = hosts.find(v4Bytes(addr));
        return it != hosts.end() && addr.isV4() ? std::optional(it->second) : std::nullopt;
    }
};

// A real store that throws from chosen operations, to stand for a fault
// deep inside a step.
class FaultyStore : public platform::SqliteKeyStore {
  public:
    using SqliteKeyStore::SqliteKeyStore;
    // Called with the operation ("read" or "delete"), the name of the key
    // and the name of the value (empty for a key); true makes it throw.
    using Rule =
        std::function<bool(const std::string& op, const std::string& key, const std::string& name)>;
    Rule failWhen;

    std::optional<std::string> readValue(std::uint32_t root, const Path& path,
                                         const std::string& name) override {
        check("read", path, name);
        return SqliteKeyStore::readValue(root, path, name);
    }
    bool deleteKey(std::uint32_t root, const Path& path) override {
        check("delete", path, "");
        return SqliteKeyStore::deleteKey(root, path);
    }

  private:
    void check(const std::string& op, const Path& path, const std::string& name) {
        if (failWhen && failWhen(op, path.empty() ? "" : path.back(), name))
            throw std::runtime_error("Disk not ready");
    }
};

// A connected socket pair nobody writes to: an echo waiting on it waits for
// its whole time-out.
struct SilentSocket {
    int fd[2] = {-1, -1};
    SilentSocket() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fd), 0); }
    ~SilentSocket() {
        ::close(fd[0]);
        ::close(fd[1]);
    }
};

// Numbered slots (or named values) of one key, as stored.
using Slots = std::map<std::string, std::string>;
using Texts = std::initializer_list<std::pair<const char*, const char*>>;

inline constexpr char kClosingText[] =
    "Norvik is closing. If this error reoccurs try reinstalling or contact "
    "support@norvik.example";

// A main window over a fresh temporary store with doubles for the boxes,
// the resolver and the echo service.
class ShellTest : public ::testing::Test {
  protected:
    ShellTest() { qtApp(); }

    void SetUp() override { ASSERT_TRUE(temp.valid()); }

    void make() {
        form = std::make_unique<shell::Form1>(shell::Services{
            *keyStore, boxes, *resolverInUse, *echoInUse, waiter, [this] { ++endCalls; },
            [] { return std::make_unique<platform::QtTcpClient>(); },
            [this] { return timers.make(); }, whoisPort, &shell});
    }
    // A normal start, as main() does it.
    void start(const QString& arguments = QString()) {
        make();
        if (form->startUp(arguments) == shell::Form1::Start::Normal && !form->ended()) {
            form->show();
        }
    }

    // A control of the main window, or of the window `in`.
    template <class T = QWidget>
    T* w(const char* name, QWidget* in = nullptr) {
        T* found = (in != nullptr ? in : form.get())->findChild<T*>(QLatin1String(name));
        if (found == nullptr) ADD_FAILURE() << "no control " << name;
        return found;
    }
    bool shown(const char* name) {
        QWidget* x = w(name);
        return x != nullptr && x->isVisibleTo(form.get());
    }
    // The text a control shows: label, line edit, combo box, plain text or
    // button, looked up in the main window or in `in`.
    QString text(const char* name, QWidget* in = nullptr) {
        QWidget* root = in != nullptr ? in : form.get();
        const QLatin1String n(name);
        if (auto* l = root->findChild<QLabel*>(n)) return l->text();
        if (auto* e = root->findChild<QLineEdit*>(n)) return e->text();
        if (auto* c = root->findChild<QComboBox*>(n)) return c->currentText();
        if (auto* p = root->findChild<QPlainTextEdit*>(n)) return p->toPlainText();
        if (auto* b = root->findChild<QAbstractButton*>(n)) return b->text();
        ADD_FAILURE() << "no text control " << name;
        return {};
    }
    void expectTexts(Texts expected, QWidget* in = nullptr) {
        for (const auto& [name, shows] : expected)
            EXPECT_EQ(text(name, in), QString(shows)) << name;
    }
    void expectShown(std::initializer_list<const char*> names, bool visible) {
        for (const char* name : names) EXPECT_EQ(shown(name), visible) << name;
    }
    // The Settings page, built if it was not yet.
    QWidget* settingsPage() { return &form->page(shell::Form1::PageId::Settings); }
    // The three display check boxes of the Settings page, e.g. "010".
    std::string displayChecks() {
        std::string out;
        for (const char* name : {"settingscheck1", "settingscheck2", "settingscheck3"})
            out += w<QCheckBox>(name, settingsPage())->isChecked() ? '1' : '0';
        return out;
    }
    QStringList items(const char* name, QWidget* in = nullptr) {
        QStringList out;
        QWidget* root = in != nullptr ? in : form.get();
        if (auto* c = root->findChild<QComboBox*>(QLatin1String(name))) {
            for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
        } else if (auto* l = root->findChild<QListWidget*>(QLatin1String(name))) {
            for (int i = 0; i < l->count(); ++i) out << l->item(i)->text();
        } else {
            ADD_FAILURE() << "no list " << name;
        }
        return out;
    }

    // The store, read and written directly below Software\Tarnwell\Norvik.
    static platform::KeyStore::Path norvikPath(const std::string& sub = std::string()) {
        platform::KeyStore::Path p{"Software", "Tarnwell", "Norvik"};
        for (const QString& key : QString::fromStdString(sub).split('\\', Qt::SkipEmptyParts))
            p.push_back(key.toStdString());
        return p;
    }
    std::optional<std::string> value(const std::string& sub, const std::string& name) {
        return keyStore->readValue(store::HKEY_LOCAL_MACHINE, norvikPath(sub), name);
    }
    std::optional<std::string> setting(const std::string& name) { return value("", name); }
    void put(const std::string& sub, const std::string& name, const std::string& text) {
        ASSERT_TRUE(keyStore->createKey(store::HKEY_LOCAL_MACHINE, norvikPath(sub)));
        ASSERT_TRUE(keyStore->writeValue(store::HKEY_LOCAL_MACHINE, norvikPath(sub), name, text));
    }
    // The slots "1".."12" of an address list that hold a value.
    Slots storedSlots(const std::string& sub) {
        Slots out;
        for (int n = 1; n <= 12; ++n)
            if (auto v = value(sub, std::to_string(n))) out[std::to_string(n)] = *v;
        return out;
    }
    void putAll(const std::string& sub, const Slots& values) {
        for (const auto& [name, text] : values) put(sub, name, text);
    }
    // Makes the store throw from the operations `when` picks.
    void failWhen(FaultyStore::Rule when) {
        faulty = std::make_unique<FaultyStore>(temp.path());
        faulty->failWhen = std::move(when);
        keyStore = faulty.get();
    }

    // The Ping page of a started window with an address, count and size.
    void prepare(const QString& address, const QString& count, const QString& size = "32") {
        start();
        fill(address, count, size);
    }
    void fill(const QString& address, const QString& count, const QString& size = "32") {
        w<QComboBox>("Combo1")->setEditText(address);
        w<QComboBox>("Combo2")->setEditText(count);
        w<QComboBox>("Combo3")->setEditText(size);
    }
    void pingNow() { click(w("carryoutping")); }
    void answerAndClick(platform::Answer answer, const char* name) {
        boxes.answers = {answer};
        click(w(name));
    }

    void expectBox(std::size_t i, const std::string& text, const std::string& caption,
                   platform::Buttons buttons, platform::Icon icon) {
        ASSERT_LT(i, boxes.shown.size()) << text;
        const ScriptedMessageBox::Shown& b = boxes.shown[i];
        EXPECT_EQ(std::make_tuple(b.text, b.caption, b.buttons, b.icon),
                  std::make_tuple(text, caption, buttons, icon));
    }
    // The error dialog that asks whether to go on.
    void expectErrorBox(std::size_t i, const std::string& text) {
        expectBox(i, text, "Norvik - Error Occurred", platform::Buttons::YesNo,
                  platform::Icon::None);
    }
    // The notice after the error dialog was answered No.
    void expectClosingBox(std::size_t i) {
        expectBox(i, kClosingText, "Norvik", platform::Buttons::Ok, platform::Icon::Critical);
    }
    // The program ended exactly once, or not at all.
    void expectEnded(bool ended) {
        EXPECT_EQ(endCalls, ended ? 1 : 0);
        EXPECT_EQ(form->ended(), ended);
    }

    TempStore temp;
    std::unique_ptr<platform::SqliteKeyStore> sqlite = temp.open();
    std::unique_ptr<FaultyStore> faulty;
    platform::KeyStore* keyStore = sqlite.get();
    ScriptedMessageBox boxes;
    TableResolver resolver;
    platform::Resolver* resolverInUse = &resolver;
    ScriptedEchoService echo;
    platform::EchoService* echoInUse = &echo;
    platform::Waiter waiter = platform::pollWaiter;
    RecordingShell shell;
    int endCalls = 0;
    // The windows' timers tick only when a test fires them; TCP is real,
    // to loopback servers on `whoisPort`.
    ManualTimers timers;
    std::uint16_t whoisPort = 43;
    std::unique_ptr<shell::Form1> form;
};

}  // namespace norvik::test
