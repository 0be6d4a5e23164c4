#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <array>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

#include "../support/LoopbackResolver.h"
#include "../support/ManualTimer.h"
#include "../support/ScriptedEchoService.h"
#include "../support/ScriptedMessageBox.h"
#include "../support/TempStore.h"
#include "shell/DefaultButton.h"
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

// Numbered slots (or named values) of one key, as stored.
using Slots = std::map<std::string, std::string>;
using Texts = std::initializer_list<std::pair<const char*, const char*>>;

// A fresh temporary store with doubles for the boxes, the resolver, the
// echo service and the timers, and the look-ups of controls in `root`.
class Harness : public ::testing::Test {
  protected:
    Harness() { qtApp(); }
    void SetUp() override { ASSERT_TRUE(temp.valid()); }

    // A control of `root`, or of the window `in`.
    template <class T = QWidget>
    T* w(const char* name, QWidget* in = nullptr) {
        T* found = (in != nullptr ? in : root)->findChild<T*>(QLatin1String(name));
        if (found == nullptr) ADD_FAILURE() << "no control " << name;
        return found;
    }
    bool shown(const char* name) {
        QWidget* x = w(name);
        return x != nullptr && x->isVisibleTo(root);
    }
    // The text a control shows: label, line edit, combo box, plain text or
    // button.
    QString text(const char* name, QWidget* in = nullptr) {
        QWidget* at = in != nullptr ? in : root;
        const QLatin1String n(name);
        if (auto* l = at->findChild<QLabel*>(n)) return l->text();
        if (auto* e = at->findChild<QLineEdit*>(n)) return e->text();
        if (auto* c = at->findChild<QComboBox*>(n)) return c->currentText();
        if (auto* p = at->findChild<QPlainTextEdit*>(n)) return p->toPlainText();
        if (auto* b = at->findChild<QAbstractButton*>(n)) return b->text();
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
    QStringList items(const char* name, QWidget* in = nullptr) {
        QStringList out;
        QWidget* at = in != nullptr ? in : root;
        if (auto* c = at->findChild<QComboBox*>(QLatin1String(name))) {
            for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
        } else if (auto* l = at->findChild<QListWidget*>(QLatin1String(name))) {
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
    void expectBox(std::size_t i, const std::string& text, const std::string& caption,
                   platform::Buttons buttons, platform::Icon icon) {
        ASSERT_LT(i, boxes.shown.size()) << text;
        const ScriptedMessageBox::Shown& b = boxes.shown[i];
        EXPECT_EQ(std::make_tuple(b.text, b.caption, b.buttons, b.icon),
                  std::make_tuple(text, caption, buttons, icon));
    }

    TempStore temp;
    std::unique_ptr<platform::SqliteKeyStore> sqlite = temp.open();
    platform::KeyStore* keyStore = sqlite.get();
    ScriptedMessageBox boxes;
    TableResolver resolver;
    ScriptedEchoService echo;
    // Timers tick only when a test fires them.
    ManualTimers timers;
    // Where w(), text() and items() look.
    QWidget* root = nullptr;
};

// One page on its own, in a bare window with the default button Enter
// presses, the shared headings and the status line; no other page and no
// frame around it.
class PageTest : public Harness {
  protected:
    PageTest() {
        root = &window;
        heading->setObjectName("return1");
        intro->setObjectName("intro");
        status->setObjectName("traceLabel4");
    }
    // Builds the page (its constructor's arguments, then the parent), shows
    // it and enters it.
    template <class P, class... Args>
    P* host(Args&&... args) {
        auto* p = new P(std::forward<Args>(args)..., &window);
        page = p;
        layout->addWidget(p);
        if (QWidget* results = p->resultsSection()) layout->addWidget(results);
        QObject::connect(p, &shell::Page::defaultChosen, &defaults, &shell::DefaultButton::choose);
        defaults.watch(p);
        if (p->resultsSection() != nullptr) defaults.watch(p->resultsSection());
        window.show();
        p->enter();
        return p;
    }
    // The program's key, as start-up leaves it.
    void SetUp() override {
        Harness::SetUp();
        ASSERT_TRUE(keyStore->createKey(store::HKEY_LOCAL_MACHINE, norvikPath()));
    }
    void TearDown() override { drop(); }
    // The page and what it placed lower down go.
    void drop() {
        if (page != nullptr && page->resultsSection() != nullptr) delete page->resultsSection();
        delete page;
        page = nullptr;
    }

    store::Registry reg{*keyStore, boxes};
    QWidget window;
    QVBoxLayout* layout = new QVBoxLayout(&window);
    QLabel* heading = new QLabel(&window);
    QLabel* intro = new QLabel(&window);
    QLabel* status = new QLabel(&window);
    shell::DefaultButton defaults{&window};
    shell::Page* page = nullptr;
};

}  // namespace norvik::test
