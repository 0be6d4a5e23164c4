// A whois answer as a server could send it, through what the lookup does
// with it before it is shown: the cut mark, LF to CR LF, the decoding and
// the line breaks of the result box; and its first line, read as a domain
// typed by the user, through the query bytes.
#include <QRegularExpression>
#include <QString>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "platform/Text.h"
#include "whois/WhoisText.h"

using namespace norvik::whois;

namespace {

// The length of the valid UTF-8 sequence at `i` (no overlong forms, no
// surrogates, nothing past U+10FFFF), or 0.
std::size_t sequenceAt(const std::string& s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    if (c < 0x80) return 1;
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (i + n > s.size() || b(i + 1) < lo || b(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if ((b(i + k) & 0xC0) != 0x80) return 0;
    return n;
}

bool validUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = sequenceAt(s, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string utf8(const QString& text) {
    const QByteArray b = text.toUtf8();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

// The result box's line breaks as written down: a run of CRs and the LF
// after it is one break, every other CR one of its own.
QString expectedLines(QString text) {
    static const QRegularExpression crsLf(QStringLiteral("\r+\n"));
    return text.replace(crsLf, QStringLiteral("\n")).replace(u'\r', u'\n');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const bool valid = validUtf8(bytes);

    // Valid UTF-8 comes back as it was (a byte order mark at the start is
    // dropped); anything else one character per byte.
    const QString text = DecodeAnswer(bytes);
    if (valid) {
        const bool bom = bytes.rfind("\xEF\xBB\xBF", 0) == 0;
        FUZZ_CHECK(utf8(text) == bytes.substr(bom ? 3 : 0));
    } else {
        FUZZ_CHECK(text.size() == static_cast<qsizetype>(size));
        for (std::size_t i = 0; i < size; ++i) FUZZ_CHECK(text[qsizetype(i)].unicode() == data[i]);
    }

    // Every LF gets a CR before it, and nothing else changes.
    const std::string crlf = norvik::platform::LfToCrLf(bytes);
    std::string back;
    for (std::size_t i = 0; i < crlf.size(); ++i) {
        if (crlf[i] == '\n') FUZZ_CHECK(i > 0 && crlf[i - 1] == '\r' && back.back() == '\r');
        if (crlf[i] == '\n') back.pop_back();
        back += crlf[i];
    }
    FUZZ_CHECK(back == bytes);

    // The box shows the same lines as the answer's own breaks give, and no
    // CR.
    const QString shown = DisplayLines(DecodeAnswer(crlf));
    FUZZ_CHECK(!shown.contains(u'\r'));
    FUZZ_CHECK(shown == expectedLines(text));
    FUZZ_CHECK(DisplayLines(shown) == shown);

    // A cut keeps what came before it, drops at most one split sequence,
    // and ends in the cut line; valid UTF-8 cut anywhere stays valid, with
    // every whole sequence before the cut kept.
    const std::string mark = std::string(kCutLine) + "\n";
    const std::size_t at = size - std::min<std::size_t>(size, size ? data[0] % 4 : 0);
    const std::string cut = MarkCut(bytes.substr(0, at));
    FUZZ_CHECK(cut.size() >= mark.size() &&
               cut.compare(cut.size() - mark.size(), mark.size(), mark) == 0);
    // The LF added after a text that did not end in one is no part of it.
    std::string kept = cut.substr(0, cut.size() - mark.size());
    if (kept.size() > at || bytes.compare(0, kept.size(), kept) != 0) {
        FUZZ_CHECK(!kept.empty() && kept.back() == '\n');
        kept.pop_back();
    }
    FUZZ_CHECK(kept.size() <= at && at - kept.size() <= 4 &&
               bytes.compare(0, kept.size(), kept) == 0);
    if (valid) {
        std::size_t whole = 0;
        while (whole < at && whole + sequenceAt(bytes, whole) <= at)
            whole += sequenceAt(bytes, whole);
        FUZZ_CHECK(kept.size() == whole);
        FUZZ_CHECK(validUtf8(cut));
    }

    // The query: ASCII as typed, else its ACE form or its UTF-8; then CR LF.
    const QString domain = text.left(text.indexOf(u'\n')).left(255);
    const std::string query = QueryBytes(domain);
    FUZZ_CHECK(query.size() >= 2 && query.compare(query.size() - 2, 2, "\r\n") == 0);
    const std::string sent = query.substr(0, query.size() - 2);
    const bool ascii =
        std::all_of(domain.begin(), domain.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii) {
        FUZZ_CHECK(sent == domain.toStdString());
    } else if (sent != utf8(domain)) {
        FUZZ_CHECK(!sent.empty());
        for (char c : sent) FUZZ_CHECK(static_cast<unsigned char>(c) < 0x80);
    }
    return 0;
}
