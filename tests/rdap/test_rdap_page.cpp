// The Whois Lookup page's "Use RDAP" box and norvik-cli rdap, against
// loopback servers: HTTPS with a certificate made for the test, trusted by
// the window's client (or by norvik-cli through NORVIK_RDAP_CA_FILE), and
// a bootstrap file in the test's own cache folder.
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "../shell/PageFixture.h"
#include "../support/LoopbackTcpServer.h"
#include "../support/RdapHttpServer.h"
#include "../support/RunCli.h"
#include "../support/SpinUntil.h"
#include "Fixtures.h"
#include "platform/qt/QtTcpClient.h"
#include "shell/RdapView.h"
#include "shell/ResultButtons.h"
#include "shell/WhoisPage.h"

namespace norvik::test {
namespace {

// The Whois Lookup page on its own, its port-43 client real.
class RdapPage : public PageTest {
  protected:
    void SetUp() override {
        PageTest::SetUp();
        if (!cert.valid()) GTEST_SKIP() << cert.why.toStdString();
        server.emplace(cert.certificate, cert.key);
        const QByteArray b = server->base("https");
        server->paths = {
            {"/domain/example.test", Canned::json(ThinAnswer(b + "registrar/example.test"))},
            {"/registrar/example.test", Canned::json(kAutnum)},
            {"/domain/stall.test", {200, "{", {}, 100, true}}};
        ASSERT_TRUE(cache.isValid());
        qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
        QDir().mkpath(cache.path() + "/norvik/rdap");
        QFile f(cache.path() + "/norvik/rdap/dns.json");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(R"({"services": [[["test"], [")" + b + R"("]]]})");
    }
    void TearDown() override {
        PageTest::TearDown();  // the page goes before the timer it ticks on
        qunsetenv("XDG_CACHE_HOME");
    }
    void openPage() {
        host<shell::WhoisPage>(
            shell::WhoisFrame{status, client, *timer, whoisPort, [this] { return timers.make(); },
                              [] { return false; }},
            reg, boxes)
            ->rdapView()
            .http()
            .addCaCertificates({cert.certificate});
    }
    void lookUp(const QString& domain) {
        w<QComboBox>("whoisCombo1")->setEditText(domain);
        click(w("lookupwhois"));
    }
    bool ended() {
        return spinUntil([&] { return w<QPushButton>("lookupwhois")->isEnabled(); }, 15000);
    }
    platform::QtTcpClient client;
    std::unique_ptr<platform::Timer> timer = timers.make();
    std::uint16_t whoisPort = 43;
    TestCertificate cert;
    std::optional<RdapHttpServer> server;
    QTemporaryDir cache;
};

TEST_F(RdapPage, TheBoxIsStoredRestoredAndDisablesTheServerBox) {
    openPage();
    auto* box = w<QCheckBox>("whoisRdap");
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(shown("whoisRdap"));
    EXPECT_EQ(box->text(), "Use RDAP");
    EXPECT_FALSE(setting("Use RDAP"));
    const QString serverText = text("whoiscombo2");
    click(box);
    EXPECT_EQ(setting("Use RDAP"), "1");
    EXPECT_FALSE(w("whoiscombo2")->isEnabled());
    EXPECT_EQ(text("whoiscombo2"), serverText);

    drop();
    openPage();
    EXPECT_TRUE(w<QCheckBox>("whoisRdap")->isChecked());
    EXPECT_FALSE(w("whoiscombo2")->isEnabled());
    click(w("whoisRdap"));
    EXPECT_EQ(setting("Use RDAP"), "0");
    EXPECT_TRUE(w("whoiscombo2")->isEnabled());
    page->leave();
    EXPECT_FALSE(shown("whoisRdap"));
}

TEST_F(RdapPage, ALookupShowsTheTextAndAsksTheRegistrarOnlyWhenClicked) {
    put("", "Use RDAP", "1");
    openPage();
    lookUp("Example.test");
    EXPECT_EQ(text("traceLabel4"), "Connecting...");
    ASSERT_TRUE(ended());
    const QByteArray b = server->base("https");
    expectTexts({{"traceLabel4", "Done"}, {"whoisrefer", "Ask 127.0.0.1"}});
    EXPECT_EQ(text("whoisresult"),
              "# " + b + "domain/example.test\nDomain: EXAMPLE.TEST\nRegistrar: R\n");
    EXPECT_TRUE(shown("whoisrefer"));
    EXPECT_EQ(server->asked, std::vector<QByteArray>{"/domain/example.test"});
    EXPECT_EQ(items("whoisCombo1").last(), "Example.test");

    click(w("whoisrefer"));
    ASSERT_TRUE(ended());
    EXPECT_EQ(text("traceLabel4"), "Done");
    EXPECT_EQ(text("whoisresult"), "# " + b + "registrar/example.test\n" + kAutnumText);
    EXPECT_FALSE(shown("whoisrefer"));

    lookUp("missing.test");
    ASSERT_TRUE(ended());
    expectTexts({{"traceLabel4", "Failed!"}, {"whoisresult", "No record found for missing.test"}});
    lookUp("not a domain");
    expectTexts({{"traceLabel4", "Failed!"},
                 {"whoisresult", "Not a domain, address, prefix or AS number: not a domain"}});

    lookUp("stall.test");
    ASSERT_TRUE(spinUntil([&] { return server->asked.back() == "/domain/stall.test"; }));
    spinFor(200);
    EXPECT_EQ(text("traceLabel4"), "Connected...Retrieving Info");
    ManualTimer& rdapTimer = timers.at(1);
    rdapTimer.fire();
    ASSERT_TRUE(ended());
    expectTexts({{"traceLabel4", "Failed!"},
                 {"whoisresult",
                  "Timeout Occurred reaching 127.0.0.1\n\nIt may be worth updating your Whois "
                  "Server List"}});
    EXPECT_EQ(setting("Use RDAP"), "1");
}

// Save writes JSON into the test's folder.
struct JsonSaveDialog : shell::SaveDialog {
    QTemporaryDir dir;
    std::optional<Choice> ask(QWidget*, const QString&) override {
        return Choice{dir.filePath("whois.json"), exports::kJsonFilter};
    }
};

// Copy and Save take what the box shows: a port-43 answer, then an RDAP
// answer, then a port-43 answer again.
TEST_F(RdapPage, CopyAndSaveTakeTheLastAnswerOfEitherKind) {
    LoopbackTcpServer port43(ServerScript::answer("Domain Name: EXAMPLE.TEST\n"));
    whoisPort = port43.port();
    openPage();
    JsonSaveDialog dialog;
    shell::SetSaveDialog(&dialog);
    // The saved JSON's members, as text.
    const auto saved = [&](const QStringList& names) {
        EXPECT_TRUE(w<shell::ResultButtons>("whoisbuttons")->saveResult());
        QFile f(dialog.dir.filePath("whois.json"));
        const QJsonObject o = f.open(QIODevice::ReadOnly)
                                  ? QJsonDocument::fromJson(f.readAll()).object()
                                  : QJsonObject();
        QStringList out;
        for (const QString& name : names)
            out << (name == "rdap" ? o[name].toObject()["ldhName"] : o[name]).toString();
        return out;
    };
    const auto copied = [&] {
        click(w("whoiscopy"));
        return QGuiApplication::clipboard()->text();
    };
    const auto port43LookUp = [&] {
        w<QComboBox>("whoiscombo2")->setEditText("127.0.0.1");
        lookUp("example.test");
        ASSERT_TRUE(ended());
        EXPECT_EQ(copied(), "Domain Name: EXAMPLE.TEST\r\n");
        EXPECT_EQ(saved({"kind", "server", "domain", "answer"}),
                  QStringList({"whois", "127.0.0.1", "example.test", copied()}));
    };

    port43LookUp();
    click(w("whoisRdap"));
    lookUp("Example.test");
    ASSERT_TRUE(ended());
    const QString url = server->base("https") + "domain/example.test";
    const QString shown = "# " + url + "\r\nDomain: EXAMPLE.TEST\r\nRegistrar: R\r\n";
    EXPECT_EQ(copied(), shown);
    // The object itself, under "rdap"; the time the answer was shown.
    EXPECT_EQ(saved({"kind", "service", "query", "answer", "rdap"}),
              QStringList({"rdap", url, "Example.test", shown, "EXAMPLE.TEST"}));
    EXPECT_GT(QDateTime::fromString(saved({"timestamp"})[0], Qt::ISODateWithMs),
              QDateTime::currentDateTimeUtc().addSecs(-60));

    click(w("whoisRdap"));
    port43LookUp();
    shell::SetSaveDialog(nullptr);
}

// norvik-cli rdap, with the event loop serving while it runs.
CliResult runRdap(const QStringList& args) {
    std::vector<std::string> words{"rdap"};
    for (const QString& a : args) words.push_back(a.toStdString());
    return runCli(words, "/nonexistent/norvik-rdap-test.sqlite3", 20000);
}

TEST_F(RdapPage, CliExitCodes) {
    RdapHttpServer plain;
    plain.paths = {{"/autnum/64496", Canned::json(kAutnum)},
                   {"/autnum/64497", Canned::json("{\"objectClassName\": \"autnum\", \"name\": "
                                                  "\"A\x1b]0;t\x07\xc2\x9b\x7f\"}")}};
    const QString base = QString::fromUtf8(plain.base());
    QFile ca(cert.dir.filePath("c.pem"));
    const QByteArray tls = server->base("https");
    const QString usage = "usage: norvik-cli rdap [--json] [--base URL] [--follow] QUERY\n";
    const struct {
        QStringList args;
        int code;
        QString out, err;
    } cases[] = {
        {{"--base", base, "AS64496"}, 0, "# " + base + "autnum/64496\n" + kAutnumText, ""},
        // The JSON as the parser writes it: control characters escaped.
        {{"--json", "--base", base, "64497"},
         0,
         "{\n    \"name\": \"A\\u001b]0;t\\u0007\\u009b\\u007f\",\n    \"objectClassName\": "
         "\"autnum\"\n}\n",
         ""},
        {{"--base", base, "nothere.test"}, 1, "", "No record found for nothere.test\n"},
        {{"--base", base}, 2, "", usage},
        {{"--base", "ftp://127.0.0.1/", "AS1"},
         2,
         "",
         "norvik-cli: not an http or https URL: ftp://127.0.0.1/\n" + usage},
        {{"--base", QString::fromUtf8(tls), "--follow", "example.test"},
         0,
         "# " + tls + "domain/example.test\nDomain: EXAMPLE.TEST\nRegistrar: R\n# " + tls +
             "registrar/example.test\n" + kAutnumText,
         ""},
    };
    qputenv("NORVIK_RDAP_CA_FILE", ca.fileName().toUtf8());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CliResult r = runRdap(c.args);
        EXPECT_EQ(r.exitCode, c.code);
        EXPECT_EQ(QString::fromStdString(r.out), c.out);
        EXPECT_EQ(QString::fromStdString(r.err), c.err);
    }
    // Without the test's certificate the HTTPS service is refused.
    qunsetenv("NORVIK_RDAP_CA_FILE");
    const CliResult r = runRdap({"--base", QString::fromUtf8(tls), "example.test"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("TLS failure: ", 0), 0u) << r.err;
}

}  // namespace
}  // namespace norvik::test
