// The RDAP engine: bootstrap matching and its cache, query building, the
// answer as text, and the HTTP client against real loopback servers (plain
// HTTP, and HTTPS with a certificate made for the test).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <optional>

#include "../shell/PageFixture.h"
#include "../support/ManualTimer.h"
#include "../support/RdapHttpServer.h"
#include "../support/SpinUntil.h"
#include "Fixtures.h"
#include "rdap/Bootstrap.h"
#include "rdap/HttpClient.h"
#include "rdap/Query.h"
#include "rdap/RdapLookup.h"
#include "rdap/RdapText.h"

namespace norvik::test {
namespace {

using rdap::Outcome;
using Kind = rdap::Outcome::Kind;

QCoreApplication& app() { return qtApp(); }

std::string s(const std::optional<std::string>& v) { return v.value_or("-"); }

TEST(RdapBootstrap, LongestDomainMostSpecificPrefixAndAsRangesWinNonHttpsSkipped) {
    const auto dns = rdap::ParseBootstrap(rdap::Registry::Dns, R"({"services": [
        [["uk"], ["https://uk.test/rdap"]], [["co.uk", "B\u00dcCHER"], ["http://plain.test/", "https://co.test/"]],
        [["org"], ["http://only-plain.test/"]], "wrong", [["x"]], [[5, "net"], ["ftp://f.test/", "https://net.test/"]]]})");
    ASSERT_TRUE(dns);
    const auto v4 = rdap::ParseBootstrap(rdap::Registry::Ipv4, R"({"services": [
        [["192.0.0.0/8"], ["https://wide.test/"]], [["192.0.2.0/24", "2001:db8::/32", "bad"], ["https://narrow.test/"]]]})");
    const auto v6 = rdap::ParseBootstrap(rdap::Registry::Ipv6, R"({"services": [
        [["2001:db8:1::/48"], ["https://narrow.test/"]], [["2001:db8::/32"], ["https://wide.test/"]]]})");
    const auto as = rdap::ParseBootstrap(rdap::Registry::Asn, R"({"services": [
        [["1-100000"], ["https://wide.test/"]], [["64496-64511", "9-3"], ["https://narrow.test/"]]]})");
    ASSERT_TRUE(v4 && v6 && as);
    const std::pair<std::optional<std::string>, const char*> cases[] = {
        {rdap::MatchDomain(*dns, "example.co.uk"), "https://co.test/"},
        {rdap::MatchDomain(*dns, "EXAMPLE.UK."), "https://uk.test/rdap/"},
        {rdap::MatchDomain(*dns, "a.xn--bcher-kva"), "https://co.test/"},
        {rdap::MatchDomain(*dns, "example.net"), "https://net.test/"},
        {rdap::MatchDomain(*dns, "example.org"), "-"},
        {rdap::MatchDomain(*dns, "co.ukx"), "-"},
        {rdap::MatchV4(*v4, 0xC0000201), "https://narrow.test/"},
        {rdap::MatchV4(*v4, 0xC0000301), "https://wide.test/"},
        {rdap::MatchV4(*v4, 0xC6336401), "-"},
        {rdap::MatchV6(*v6, {0x20, 0x01, 0x0d, 0xb8, 0, 1}), "https://narrow.test/"},
        {rdap::MatchV6(*v6, {0x20, 0x01, 0x0d, 0xb8, 0, 2}), "https://wide.test/"},
        {rdap::MatchV6(*v6, {0x20, 0x01, 0x0d, 0xb9}), "-"},
        {rdap::MatchAs(*as, 64500), "https://narrow.test/"},
        {rdap::MatchAs(*as, 7), "https://wide.test/"},
        {rdap::MatchAs(*as, 100001), "-"},
    };
    for (const auto& [got, want] : cases) EXPECT_EQ(s(got), want);
    EXPECT_TRUE(v4->v6.empty());
    for (const char* bad : {"", "[]", "{\"services\": 5}", "{\"services\": [", "nope"})
        EXPECT_FALSE(rdap::ParseBootstrap(rdap::Registry::Dns, bad)) << bad;
    for (auto r :
         {rdap::Registry::Dns, rdap::Registry::Ipv4, rdap::Registry::Ipv6, rdap::Registry::Asn}) {
        const auto b = rdap::ParseBootstrap(r, rdap::BuiltinBootstrap(r));
        ASSERT_TRUE(b && !b->empty());
    }
}

TEST(RdapQuery, DomainsAsAceAddressesPrefixesAndAsNumbers) {
    const std::pair<const char*, const char*> cases[] = {
        {"AS64496", "autnum/64496"},
        {"64496", "autnum/64496"},
        {"as4294967295", "autnum/4294967295"},
        {" 192.0.2.1 ", "ip/192.0.2.1"},
        {"2001:DB8::1", "ip/2001:db8::1"},
        {"192.0.2.0/24", "ip/192.0.2.0/24"},
        {"2001:db8::/32", "ip/2001:db8::/32"},
        {"[2001:db8::1]", "ip/2001:db8::1"},
        {"fe80::1%lo", "ip/fe80::1"},
        {"2001:db8::1::2", "-"},
        {"[::1", "-"},
        {"B\u00fccher.Example", "domain/xn--bcher-kva.example"},
        {"example.com.", "domain/example.com"},
        {"AS4294967296", "-"},
        {"a b", "-"},
        {"", "-"},
        {"192.0.2.0/33", "-"},
        {"-bad-.test", "-"},
    };
    for (const auto& [typed, path] : cases) {
        const auto q = rdap::ParseQuery(QString::fromUtf8(typed));
        EXPECT_EQ(q ? q->path.toStdString() : "-", path) << typed;
    }
    EXPECT_EQ(rdap::QueryUrl("http://127.0.0.1:9", *rdap::ParseQuery("AS1")).toString(),
              "http://127.0.0.1:9/autnum/1");
}

TEST(RdapText, EachObjectClassInItsOrderUnknownMembersLeftOut) {
    // The domain and the AS number: over HTTP and HTTPS below.
    EXPECT_EQ(rdap::RenderAnswer(QUrl("https://rdap.example/x"), kNetwork).value_or("-"),
              QStringLiteral("# https://rdap.example/x\n") + QString::fromUtf8(kNetworkText));
    EXPECT_EQ(rdap::StatusText(503, "<html>"), "Error 503");
    const std::pair<const char*, const char*> waits[] = {
        {"1000000000000", "The server asks to wait 1000000000000 seconds"},
        {"-1", "The server asks to wait before asking again"},
        {"", "The server asks to wait before asking again"},
        {"Wed, 21 Oct 2015 07:28:00 GMT", "The server asks to wait before asking again"}};
    for (const auto& [header, text] : waits)
        EXPECT_EQ(rdap::RetryAfterText(header), text) << header;
}

TEST(RdapText, BadInputEndsInPlainLines) {
    const QUrl url("https://rdap.example/x");
    // Wrong vCard shapes are passed over; dates that do not parse say so; NUL
    // and line breaks inside a value become blanks.
    const auto text = rdap::RenderAnswer(url, R"({"objectClassName": "domain",
        "ldhName": "a\u0000b\nc\r\u2028d", "events": [{"eventAction": "expiration", "eventDate": "soon"}],
        "entities": [{"roles": ["registrar"], "vcardArray": ["vcard", [["fn"], 7, ["fn", {}, "text", 5],
          ["fn", {}, "text", "Good"]]], "entities": [{"roles": ["abuse"], "vcardArray": ["vcard", "x"]}]},
          {"roles": "registrar"}, 5]})");
    EXPECT_EQ(
        text.value_or("-"),
        "# https://rdap.example/x\nDomain: a b c  d\nExpires: (not a date)\nRegistrar: Good\n");
    // Nested 10,000 deep, invalid UTF-8, not an object: not RDAP.
    for (const QByteArray& bad :
         {QByteArray(10000, '[') + QByteArray(10000, ']'),
          QByteArray("{\"ldhName\": \"\xff\xfe\"}"), QByteArray("[1]"), QByteArray("{\"a\": ")})
        EXPECT_FALSE(rdap::RenderAnswer(url, bad)) << bad.left(20).toStdString();
    // 100,000 entities: the text stays short.
    QByteArray many = R"({"objectClassName": "ip network", "name": "N", "entities": [)";
    for (int i = 0; i < 100000; ++i)
        many += i ? R"(,{"roles": ["tech"]})" : R"({"roles": ["tech"]})";
    many += "]}";
    EXPECT_EQ(rdap::RenderAnswer(url, many).value_or("-"), "# https://rdap.example/x\nName: N\n");
}

// An HTTP client on a timer the test ticks, a loopback server, and one
// lookup at a time.
struct AppFirst {
    AppFirst() { app(); }
};
class RdapHttp : public ::testing::Test, AppFirst {
  protected:
    Outcome ask(const QByteArray& url, rdap::RdapLookup* by = nullptr) {
        std::optional<Outcome> got;
        (by ? by : &lookup)
            ->startUrl(QUrl(QString::fromUtf8(url)), "example.test",
                       [&](const Outcome& o) { got = o; });
        EXPECT_TRUE(spinUntil([&] { return got.has_value(); }, 15000));
        return got.value_or(Outcome{});
    }
    ManualTimer timer;
    rdap::HttpClient http{timer};
    rdap::RdapLookup lookup{http, nullptr};
    RdapHttpServer server;
};

TEST_F(RdapHttp, AnswersAndErrorsEndInTheirLines) {
    const QByteArray b = server.base();
    server.paths = {
        {"/domain/ok", Canned::json(kDomain)},
        {"/rate", {429, "", {{"Retry-After", "30"}}}},
        {"/broken", Canned::json(kError, 500)},
        {"/html", {200, "<html>hello</html>", {{"Content-Type", "text/html"}}}},
        {"/cut", {200, R"({"objectClassName": "domain", "ldhName": "a)", {}, 500}},
        {"/huge", Canned::json(QByteArray(rdap::kBodyCap + 1, ' '))},
        {"/r1", Canned::redirect(b + "r2", 301)},
        {"/r2", Canned::redirect("/domain/ok", 307)},
        {"/loop", Canned::redirect(b + "loop")},
        {"/file", Canned::redirect("file:///etc/passwd")},
        {"/js", Canned::redirect("javascript:alert(1)")},
    };
    const std::tuple<const char*, Kind, QString> cases[] = {
        {"domain/ok", Kind::Found, "# " + b + "domain/ok\n" + kDomainText},
        {"domain/none", Kind::NotFound, "No record found for example.test"},
        {"rate", Kind::Failed, "The server asks to wait 30 seconds"},
        {"broken", Kind::Failed, "Error 500: Internal error - The database is down."},
        {"html", Kind::Failed, "The server did not answer with RDAP"},
        {"cut", Kind::Failed, "The server did not answer with RDAP"},
        {"huge", Kind::Failed, "The answer is larger than 4 MiB"},
        {"r1", Kind::Found, "# " + b + "domain/ok\n" + kDomainText},
        {"loop", Kind::Failed, "Too many redirects"},
        {"file", Kind::Failed, "Redirect refused: not an http or https URL"},
        {"js", Kind::Failed, "Redirect refused: not an http or https URL"},
    };
    for (const auto& [path, kind, text] : cases) {
        const Outcome o = ask(b + path);
        EXPECT_EQ(o.kind, kind) << path;
        EXPECT_EQ(o.text, text) << path;
        EXPECT_FALSE(o.timedOut) << path;
    }
    EXPECT_EQ(server.lastAccept, "application/rdap+json");
    EXPECT_TRUE(server.lastAgent.startsWith("Norvik/4"));
    EXPECT_LE(std::count(server.asked.begin(), server.asked.end(), QByteArray("/loop")), 6);
    ask(rdap::QueryUrl(QString::fromUtf8(b), *rdap::ParseQuery("B\u00fccher.example")).toEncoded());
    EXPECT_EQ(server.asked.back(), "/domain/xn--bcher-kva.example");
}

TEST_F(RdapHttp, AStalledOrDrippingAnswerEndsAtTheFirstTick) {
    server.paths = {{"/stall", {200, "{", {}, 1000, true}},
                    {"/drip", {200, QByteArray(1000, ' '), {}, 0, false, 20}}};
    for (const char* path : {"stall", "drip"}) {
        std::optional<Outcome> got;
        lookup.startUrl(QUrl(QString::fromUtf8(server.base() + path)), "x",
                        [&](const Outcome& o) { got = o; });
        ASSERT_TRUE(spinUntil([&] { return !server.asked.empty(); }));
        spinFor(200);  // bytes keep coming from the drip
        EXPECT_EQ(timer.interval(), 10000);
        timer.fire();
        ASSERT_TRUE(got) << path;
        EXPECT_TRUE(got->timedOut);
        EXPECT_EQ(got->kind, Kind::Failed);
        EXPECT_FALSE(timer.enabled());
        server.asked.clear();
    }
}

TEST_F(RdapHttp, HttpsVerifiesTheCertificateAndRefusesADowngrade) {
    TestCertificate cert;
    if (!cert.valid()) GTEST_SKIP() << cert.why.toStdString();
    RdapHttpServer tls(cert.certificate, cert.key);
    tls.paths = {{"/domain/ok", Canned::json(kAutnum)},
                 {"/down", Canned::redirect(server.base() + "domain/ok")}};
    const QByteArray b = tls.base("https");

    http.addCaCertificates({cert.certificate});
    const Outcome trusted = ask(b + "domain/ok");
    EXPECT_EQ(trusted.text, "# " + b + "domain/ok\n" + kAutnumText) << trusted.text.toStdString();
    EXPECT_EQ(ask(b + "down").text, "Redirect refused: from https to http");
    EXPECT_TRUE(server.asked.empty());

    // Another client, without the test's certificate.
    ManualTimer otherTimer;
    rdap::HttpClient other{otherTimer};
    rdap::RdapLookup plain{other, nullptr};
    const Outcome untrusted = ask(b + "domain/ok", &plain);
    EXPECT_EQ(untrusted.kind, Kind::Failed);
    EXPECT_TRUE(untrusted.text.startsWith("TLS failure: ")) << untrusted.text.toStdString();
    EXPECT_TRUE(untrusted.text.contains("self-signed", Qt::CaseInsensitive))
        << untrusted.text.toStdString();
}

// The bootstrap cache over a loopback registry and a temporary folder.
class RdapCache : public RdapHttp {
  protected:
    std::optional<rdap::BootstrapCache::Source> find() {
        std::optional<rdap::BootstrapCache::Source> got;
        cache->find(rdap::Registry::Dns,
                    [&](const rdap::Bootstrap& b, rdap::BootstrapCache::Source src) {
                        got = src;
                        url = rdap::MatchDomain(b, "example.com").value_or("-");
                    });
        EXPECT_TRUE(spinUntil([&] { return got.has_value(); }, 15000));
        return got;
    }
    void writeCache(const QByteArray& body, int ageDays) {
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.write(body) == body.size() && f.flush());
        f.setFileTime(QDateTime::currentDateTime().addDays(-ageDays),
                      QFileDevice::FileModificationTime);
    }
    QString file() const { return dir.path() + "/dns.json"; }
    static QByteArray readAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
    }
    static QByteArray table(const char* url) {
        return QByteArray(R"({"services": [[["com"], [")") + url + R"("]]]})";
    }
    QTemporaryDir dir;
    void renew() { cache.emplace(dir.path(), http, QString::fromUtf8(server.base())); }
    std::optional<rdap::BootstrapCache> cache{std::in_place, dir.path(), http,
                                              QString::fromUtf8(server.base())};
    std::string url;
};

TEST_F(RdapCache, FreshStaleRefreshedFailingAndCorruptFiles) {
    using Src = rdap::BootstrapCache::Source;
    server.paths = {
        {"/dns.json",
         {200, table("https://fetched.test/"), {{"Cache-Control", "public, max-age=60"}}}}};
    writeCache(table("https://cached.test/"), 0);
    EXPECT_EQ(find(), Src::Cached);  // fresh: not asked
    EXPECT_EQ(url, "https://cached.test/");
    EXPECT_TRUE(server.asked.empty());

    renew();  // what it holds is gone, the file is old
    writeCache(table("https://cached.test/"), 2);
    EXPECT_EQ(find(), Src::Fetched);  // stale: refreshed and kept
    EXPECT_EQ(url, "https://fetched.test/");
    EXPECT_EQ(readAll(file()), table("https://fetched.test/"));
    EXPECT_EQ(readAll(file() + ".max-age"), "60");

    // A link is not read, and the refresh replaces it, its target kept as
    // it was; the folder becomes the user's alone; a max-age beyond a year
    // counts as a year.
    const QString target = file() + ".real";
    writeCache(table("https://cached.test/"), 0);
    ASSERT_TRUE(QFile::rename(file(), target) && QFile::link(target, file()));
    QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ReadOther);
    server.paths["/dns.json"].headers = {{"Cache-Control", "max-age=9999999999"}};
    renew();
    EXPECT_EQ(find(), Src::Fetched);
    EXPECT_EQ(readAll(target), table("https://cached.test/"));
    EXPECT_FALSE(QFileInfo(file()).isSymLink());
    EXPECT_EQ(readAll(file() + ".max-age"), "31536000");
    EXPECT_EQ(QFile::permissions(dir.path()) & 0x77, 0);  // group and others
}

TEST_F(RdapCache, AFailingFetchFallsBackToTheCacheThenTheBuiltInTable) {
    using Src = rdap::BootstrapCache::Source;
    server.paths = {{"/dns.json", {500, "no", {}}}};
    EXPECT_EQ(find(), Src::Builtin);
    EXPECT_EQ(url, "https://rdap.verisign.com/com/v1/");
    writeCache("{corrupt", 0);  // ignored
    EXPECT_EQ(find(), Src::Builtin);
    writeCache(table("https://cached.test/"), 30);
    EXPECT_EQ(find(), Src::Stale);
    EXPECT_EQ(url, "https://cached.test/");
    EXPECT_EQ(server.asked.size(), 3u);

    server.paths = {{"/dns.json", Canned::json(table("https://fetched.test/"))}};
    writeCache("{corrupt", 0);  // replaced at the next fetch
    EXPECT_EQ(find(), Src::Fetched);
    EXPECT_EQ(readAll(file()), table("https://fetched.test/"));
}

}  // namespace
}  // namespace norvik::test
