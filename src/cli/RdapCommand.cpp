#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QSslCertificate>
#include <optional>
#include <ostream>

#include "cli/ArgParser.h"
#include "platform/qt/QtTimer.h"
#include "rdap/HttpClient.h"
#include "rdap/RdapLookup.h"
#include "rdap/RdapText.h"
#include "whois/WhoisText.h"

namespace norvik::cli {

namespace {

// A private service's CA, trusted beside the system's (tests, benchmarks).
void trustExtraCa(rdap::HttpClient& http) {
    const QString file = qEnvironmentVariable("NORVIK_RDAP_CA_FILE");
    if (!file.isEmpty()) http.addCaCertificates(QSslCertificate::fromPath(file));
}

// The answer's JSON as the parser writes it again: every control character
// escaped as \u00XX, also DEL and U+0080 to U+009F, which the writer would
// leave as they are, so that nothing of the body reaches a terminal raw.
std::string rewrittenJson(const QByteArray& body) {
    static const char kHex[] = "0123456789abcdef";
    const QByteArray json = QJsonDocument::fromJson(body).toJson(QJsonDocument::Indented);
    std::string out;
    out.reserve(static_cast<std::size_t>(json.size()));
    for (qsizetype i = 0; i < json.size(); ++i) {
        const auto c = static_cast<unsigned char>(json[i]);
        // The writer's UTF-8 is valid: C2 followed by 80 to 9F is one C1 control.
        const auto next = i + 1 < json.size() ? static_cast<unsigned char>(json[i + 1]) : 0;
        if (c == 0x7F || (c == 0xC2 && next >= 0x80 && next <= 0x9F)) {
            const unsigned code = c == 0x7F ? c : next;
            out += "\\u00";
            out += kHex[code >> 4];
            out += kHex[code & 15];
            if (c == 0xC2) ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string reasonOf(const rdap::Outcome& o) {
    if (o.timedOut) return "Timeout Occurred reaching " + o.url.host().toStdString();
    return o.text.toStdString();
}

}  // namespace

// The Whois Lookup page's RDAP lookup: the answer as text (or its JSON) on
// stdout, the reason of a failure on stderr.
int runRdap(const Args& args, std::ostream& out, std::ostream& err) {
    const char usage[] = "usage: norvik-cli rdap [--json] [--base URL] [--follow] QUERY\n";
    bool json = false;
    bool follow = false;
    QString base;
    std::optional<std::string> typed;
    const auto baseOption = [&base](const std::string* text) -> ArgParser::Verdict {
        if (text == nullptr) return std::string();
        base = QString::fromStdString(*text);
        const QUrl url(base, QUrl::StrictMode);
        if (!url.isValid() || url.host().isEmpty() ||
            (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http")))
            return "norvik-cli: not an http or https URL: " + *text;
        return std::nullopt;
    };
    if (const int bad =
            ArgParser(usage)
                .flag("--json", json)
                .flag("--follow", follow)
                .option("--base", baseOption)
                .word(typed, [](const std::string& w) { return !w.empty() && w[0] != '-'; })
                .parse(args, err))
        return bad;
    const auto query = rdap::ParseQuery(QString::fromStdString(*typed));
    if (!query) {
        err << "norvik-cli: not a domain, address, prefix or AS number: "
            << QString::fromStdString(*typed).toStdString() << "\n"
            << usage;
        return 2;
    }

    const auto app = commandLineApp();

    platform::QtTimer timer;
    rdap::HttpClient http(timer);
    trustExtraCa(http);
    rdap::BootstrapCache cache(rdap::BootstrapCache::DefaultDir(), http);
    rdap::RdapLookup lookup(http, &cache);

    auto ask = [&](auto&& begin) {
        std::optional<rdap::Outcome> outcome;
        begin([&](const rdap::Outcome& o) {
            outcome = o;
            QCoreApplication::exit(0);
        });
        if (!outcome) QCoreApplication::exec();
        return *outcome;
    };
    auto show = [&](const rdap::Outcome& o) {
        if (json) {
            if (follow) out << "# " << o.url.toString(QUrl::FullyEncoded).toStdString() << "\n";
            out << rewrittenJson(o.json);
        } else {
            out << o.text.toStdString();
        }
        out.flush();
    };

    const rdap::Outcome first =
        ask([&](auto done) { lookup.start(*query, base, std::move(done)); });
    if (first.kind != rdap::Outcome::Kind::Found) {
        err << reasonOf(first) << "\n";
        return 1;
    }
    show(first);
    if (!follow || !first.related) return 0;
    const rdap::Outcome second =
        ask([&](auto done) { lookup.startUrl(*first.related, query->typed, std::move(done)); });
    if (second.kind != rdap::Outcome::Kind::Found) {
        err << reasonOf(second) << "\n";
        return 1;
    }
    show(second);
    return 0;
}

}  // namespace norvik::cli
