// The Whois Lookup page's "Use RDAP" box and norvik-cli rdap, against
// loopback servers: HTTPS with a certificate made for the test, trusted by
// the window's client (or by norvik-cli through NORVIK_RDAP_CA_FILE), and
// a bootstrap file in the test's own cache folder.
#include <QProcess>
#include <QTemporaryDir>

#include "../shell/ShellFixture.h"
#include "../support/RdapHttpServer.h"
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
    rdapTimer.fire();
    ASSERT_TRUE(ended());
    expectTexts({{"traceLabel4", "Failed!"},
                 {"whoisresult",
                  "Timeout Occurred reaching 127.0.0.1\n\nIt may be worth updating your Whois "
                  "Server List"}});
    EXPECT_EQ(setting("Use RDAP"), "1");
}

// norvik-cli rdap, with the event loop serving while it runs.
struct Cli {
    int code = -1;
    QString out, err;
};
Cli runRdap(const QStringList& args, const QString& caFile = QString()) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!caFile.isEmpty()) env.insert("NORVIK_RDAP_CA_FILE", caFile);
    QTemporaryDir home;
    env.insert("XDG_CACHE_HOME", home.path());
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("NORVIK_CLI"), QStringList{"rdap"} + args);
    spinUntil([&] { return p.state() == QProcess::NotRunning; }, 20000);
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
    }
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
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
    for (const auto& c : cases) {
        const Cli r = runRdap(c.args, ca.fileName());
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString();
        EXPECT_EQ(r.out, c.out) << c.args.join(' ').toStdString();
        EXPECT_EQ(r.err, c.err) << c.args.join(' ').toStdString();
    }
    // Without the test's certificate the HTTPS service is refused.
    const Cli r = runRdap({"--base", QString::fromUtf8(tls), "example.test"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.startsWith("TLS failure: ")) << r.err.toStdString();
}

}  // namespace
}  // namespace norvik::test
