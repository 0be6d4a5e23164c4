#pragma once

#include <gtest/gtest.h>

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
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "../support/ScriptedMessageBox.h"
#include "../support/TempStore.h"
#include "platform/EchoService.h"
#include "platform/Resolver.h"
#include "shell/Form1.h"
#include "shell/Form2.h"
#include "store/Registry.h"

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

// Name resolution from a table; dotted addresses resolve to themselves, as
// the system resolver does. Nothing leaves the machine.
class TableResolver : public platform::Resolver {
  public:
    std::map<std::string, std::array<std::uint8_t, 4>> names;
    std::map<std::array<std::uint8_t, 4>, std::string> hosts;
    std::vector<std::string> asked;

    std::optional<std::array<std::uint8_t, 4>> lookupName(const std::string& name) override {
        asked.push_back(name);
        const auto it = names.find(name);
        if (it != names.end()) return it->second;
        const std::uint32_t a = platform::inetAddr(name);
        if (a == platform::kInaddrNone) return std::nullopt;
        std::array<std::uint8_t, 4> b{};
        for (int i = 0; i < 4; ++i) b[static_cast<std::size_t>(i)] = std::uint8_t(a >> (8 * i));
        return b;
    }
    std::optional<std::string> lookupAddress(const std::array<std::uint8_t, 4>& addr) override {
        const auto it = hosts.find(addr);
        if (it == hosts.end()) return std::nullopt;
        return it->second;
    }
};

// Echo answers from a script (time-outs and odd statuses that loopback
// cannot produce); with the script empty, a time-out without waiting.
class EchoDouble : public platform::EchoService {
  public:
    std::deque<platform::EchoResult> script;
    std::vector<platform::EchoRequest> requests;
    // Runs inside each send, before the answer; may wait through the
    // waiter it is given.
    std::function<void(const platform::EchoRequest&, const platform::Waiter&)> during;

    platform::EchoResult send(const platform::EchoRequest& request,
                              const platform::Waiter& wait) override {
        requests.push_back(request);
        if (during) during(request, wait);
        if (script.empty()) return timedOut();
        platform::EchoResult r = script.front();
        script.pop_front();
        return r;
    }
    std::string unavailableReason() const override { return {}; }

    void replyAfter(std::uint32_t ms) {
        platform::EchoResult r;
        r.status = platform::status::kSuccess;
        r.roundTripMs = ms;
        r.replyAddress = platform::inetAddr("127.0.0.2");
        r.data = "Norvik";
        script.push_back(r);
    }
    void timeOut() { script.push_back(timedOut()); }
    static platform::EchoResult timedOut() {
        platform::EchoResult r;
        r.status = platform::status::kTimedOut;
        r.replyAddress = platform::inetAddr("127.0.0.2");
        return r;
    }
};

// A real store that throws from chosen operations, to stand for a fault
// deep inside a step.
class FaultyStore : public platform::KeyStore {
  public:
    explicit FaultyStore(platform::KeyStore& inner) : inner_(inner) {}
    // Called with the operation ("read", "write", "create", "delete"), the
    // name of the key and the name of the value (empty for key operations);
    // true makes it throw.
    std::function<bool(const std::string& op, const std::string& key, const std::string& name)>
        failWhen;

    bool isRoot(std::uint32_t root) const override { return inner_.isRoot(root); }
    bool keyExists(std::uint32_t root, const Path& path) override {
        return inner_.keyExists(root, path);
    }
    bool createKey(std::uint32_t root, const Path& path) override {
        check("create", path, "");
        return inner_.createKey(root, path);
    }
    std::optional<std::string> readValue(std::uint32_t root, const Path& path,
                                         const std::string& name) override {
        check("read", path, name);
        return inner_.readValue(root, path, name);
    }
    bool writeValue(std::uint32_t root, const Path& path, const std::string& name,
                    const std::string& text) override {
        check("write", path, name);
        return inner_.writeValue(root, path, name, text);
    }
    std::optional<std::string> subKeyAt(std::uint32_t root, const Path& path,
                                        std::int64_t index) override {
        return inner_.subKeyAt(root, path, index);
    }
    bool deleteKey(std::uint32_t root, const Path& path) override {
        check("delete", path, "");
        return inner_.deleteKey(root, path);
    }
    bool deleteValue(std::uint32_t root, const Path& path, const std::string& name) override {
        return inner_.deleteValue(root, path, name);
    }
    std::string lastError() const override { return inner_.lastError(); }
    void beginBatch() override { inner_.beginBatch(); }
    void endBatch() override { inner_.endBatch(); }

  private:
    void check(const std::string& op, const Path& path, const std::string& name) {
        const std::string key = path.empty() ? std::string() : path.back();
        if (failWhen && failWhen(op, key, name)) throw std::runtime_error("Disk not ready");
    }
    platform::KeyStore& inner_;
};

// A main window over a fresh temporary store with doubles for the boxes,
// the resolver and the echo service.
class ShellTest : public ::testing::Test {
  protected:
    ShellTest() { qtApp(); }

    void SetUp() override { ASSERT_TRUE(temp.valid()); }

    shell::Form1& make() {
        form = std::make_unique<shell::Form1>(shell::Services{
            *keyStore, boxes, *resolverInUse, *echoInUse, waiter, [this] { ++endCalls; }});
        return *form;
    }
    // A normal start, as main() does it.
    shell::Form1& start(const QString& arguments = QString()) {
        make();
        if (form->Form_Load(arguments) == shell::Form1::Start::Normal && !form->ended()) {
            form->show();
        }
        return *form;
    }

    template <class T = QWidget>
    T* w(const char* name) {
        T* found = form->findChild<T*>(QLatin1String(name));
        if (found == nullptr) ADD_FAILURE() << "no control " << name;
        return found;
    }
    bool shown(const char* name) {
        QWidget* x = w(name);
        return x != nullptr && x->isVisibleTo(form.get());
    }
    QString text(const char* name) {
        if (auto* l = form->findChild<QLabel*>(QLatin1String(name))) return l->text();
        if (auto* e = form->findChild<QLineEdit*>(QLatin1String(name))) return e->text();
        if (auto* c = form->findChild<QComboBox*>(QLatin1String(name))) return c->currentText();
        if (auto* p = form->findChild<QPlainTextEdit*>(QLatin1String(name))) {
            return p->toPlainText();
        }
        ADD_FAILURE() << "no text control " << name;
        return {};
    }
    QStringList items(const char* name) {
        QStringList out;
        if (auto* c = form->findChild<QComboBox*>(QLatin1String(name))) {
            for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
        } else if (auto* l = form->findChild<QListWidget*>(QLatin1String(name))) {
            for (int i = 0; i < l->count(); ++i) out << l->item(i)->text();
        } else {
            ADD_FAILURE() << "no list " << name;
        }
        return out;
    }

    // The store, read and written directly below Software\Tarnwell\Norvik.
    static platform::KeyStore::Path norvikPath(const std::string& sub = std::string()) {
        platform::KeyStore::Path p{"Software", "Tarnwell", "Norvik"};
        std::size_t from = 0;
        while (from < sub.size()) {
            const std::size_t slash = std::min(sub.find('\\', from), sub.size());
            p.push_back(sub.substr(from, slash - from));
            from = slash + 1;
        }
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
    std::map<std::string, std::string> storedSlots(const std::string& sub) {
        std::map<std::string, std::string> out;
        for (int n = 1; n <= 12; ++n) {
            if (auto v = value(sub, std::to_string(n))) out[std::to_string(n)] = *v;
        }
        return out;
    }

    TempStore temp;
    std::unique_ptr<platform::SqliteKeyStore> sqlite = temp.open();
    platform::KeyStore* keyStore = sqlite.get();
    ScriptedMessageBox boxes;
    TableResolver resolver;
    platform::Resolver* resolverInUse = &resolver;
    EchoDouble echo;
    platform::EchoService* echoInUse = &echo;
    platform::Waiter waiter = platform::pollWaiter;
    int endCalls = 0;
    std::unique_ptr<shell::Form1> form;
};

}  // namespace norvik::test
