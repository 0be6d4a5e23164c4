// The Whois Lookup page's "Use RDAP" box and norvik-cli rdap, against
// loopback servers: HTTPS with a certificate made for the test, trusted by
// the window's client (or by norvik-cli through NORVIK_RDAP_CA_FILE), and
// a bootstrap file in the test's own cache folder.
#include <QTemporaryDir>

#include "../shell/ShellFixture.h"
#include "../support/RdapHttpServer.h"
#include "../support/RunCli.h"
#include "../support/SpinUntil.h"
#include "Fixtures.h"
#include "shell/RdapView.h"

namespace norvik::test {
namespace {

class RdapPage : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
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
    void TearDown() override { qunsetenv("XDG_CACHE_HOME"); }
    void openPage() {
        start();
        form->rdapView().http().addCaCertificates({cert.certificate});
        click(w("whoisicon"));
    }
    void lookUp(const QString& domain) {
        w<QComboBox>("whoisCombo1")->setEditText(domain);
        click(w("lookupwhois"));
    }
    bool ended() {
        return spinUntil([&] { return w<QPushButton>("lookupwhois")->isEnabled(); }, 15000);
    }
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

    form.reset();
    openPage();
    EXPECT_TRUE(w<QCheckBox>("whoisRdap")->isChecked());
    EXPECT_FALSE(w("whoiscombo2")->isEnabled());
    click(w("whoisRdap"));
    EXPECT_EQ(setting("Use RDAP"), "0");
    EXPECT_TRUE(w("whoiscombo2")->isEnabled());
    click(w("pingicon"));
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

// norvik-cli rdap, with the event loop serving while it runs.
CliResult runRdap(const QStringList& args) {
    std::vector<std::string> words{"rdap"};
    for (const QString& a : args) words.push_back(a.toStdString());
    return runCli(words, "/nonexistent/norvik-rdap-test.sqlite3", 20000);
}

TEST_F(RdapPage, CliExitCodes) {
    RdapHttpServer plain;
    plain.paths = {{"/autnum/64496", Canned::json(kAutnum)}};
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
        {{"--json", "--base", base, "64496"}, 0, QString(kAutnum) + "\n", ""},
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
