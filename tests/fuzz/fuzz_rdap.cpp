// RDAP answers and bootstrap files as a server could send them: the input
// goes through the answer's text, the related-record search, the four
// bootstrap parsers and the query parser. The text is one "# " line and
// then lines without control characters.
#include <QByteArray>
#include <QString>
#include <QUrl>
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "rdap/Bootstrap.h"
#include "rdap/Query.h"
#include "rdap/RdapText.h"

using namespace norvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QUrl url(QStringLiteral("https://rdap.example/domain/example.test"));
    if (const auto text = rdap::RenderAnswer(url, input)) {
        FUZZ_CHECK(text->startsWith(QStringLiteral("# https://rdap.example/")));
        FUZZ_CHECK(text->endsWith(u'\n'));
        for (QChar c : *text) FUZZ_CHECK(c == u'\n' || c.category() != QChar::Other_Control);
    }
    if (const auto related = rdap::RelatedRecord(url, input))
        FUZZ_CHECK(related->scheme() == QLatin1String("https"));
    for (auto r :
         {rdap::Registry::Dns, rdap::Registry::Ipv4, rdap::Registry::Ipv6, rdap::Registry::Asn}) {
        if (const auto b = rdap::ParseBootstrap(r, input)) {
            for (const auto& [name, base] : b->domains) FUZZ_CHECK(base.rfind("https://", 0) == 0);
            (void)rdap::MatchDomain(*b, "a.example.test");
            (void)rdap::MatchV4(*b, 0xC0000201);
            (void)rdap::MatchAs(*b, 64496);
        }
    }
    (void)rdap::RetryAfterText(input.left(64));
    if (const auto q = rdap::ParseQuery(QString::fromUtf8(input.left(400))))
        FUZZ_CHECK(!q->path.isEmpty() && !q->path.contains(u' '));
    return 0;
}
