#include "whois/WhoisText.h"

#include <QStringDecoder>
#include <QUrl>
#include <algorithm>
#include <string_view>

#include "platform/Text.h"

namespace norvik::whois {

namespace {

bool isAscii(const QString& s) {
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c.unicode() < 0x80; });
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

// `line` begins with `key` in any letter case.
bool startsWithKey(std::string_view line, std::string_view key) {
    if (line.size() < key.size()) return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (platform::AsciiLower(line[i]) != platform::AsciiLower(key[i])) return false;
    }
    return true;
}

bool hostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

// A host name, with perhaps ":port" after it and a path after that.
std::optional<Referral> parseHost(std::string_view value) {
    std::size_t end = 0;
    while (end < value.size() && hostChar(value[end])) ++end;
    std::string host(value.substr(0, end));
    while (!host.empty() && host.back() == '.') host.pop_back();
    // A host name has a dot and neither starts nor ends with one.
    if (host.empty() || host.size() > 253 || host.find('.') == std::string::npos ||
        host.front() == '.' || host.front() == '-') {
        return std::nullopt;
    }
    Referral r{host, 43};
    std::string_view rest = value.substr(end);
    if (!rest.empty() && rest.front() == ':') {
        rest.remove_prefix(1);
        unsigned port = 0;
        std::size_t digits = 0;
        while (digits < rest.size() && digits < 6 && rest[digits] >= '0' && rest[digits] <= '9') {
            port = port * 10 + static_cast<unsigned>(rest[digits] - '0');
            ++digits;
        }
        if (digits == 0 || port == 0 || port > 65535) return std::nullopt;
        r.port = static_cast<std::uint16_t>(port);
        rest.remove_prefix(digits);
    }
    if (!rest.empty() && rest.front() != '/' && rest.front() != ' ' && rest.front() != '\t') {
        return std::nullopt;
    }
    return r;
}

}  // namespace

std::string QueryBytes(const QString& domain) {
    QByteArray bytes;
    if (isAscii(domain)) {
        bytes = domain.toLatin1();
    } else {
        bytes = QUrl::toAce(domain);
        if (bytes.isEmpty()) bytes = domain.toUtf8();
    }
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())) + "\r\n";
}

QString DecodeAnswer(const std::string& bytes) {
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(view);
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(view);
}

std::string MarkCut(std::string bytes, const char* line) {
    // Step back over continuation bytes to the lead byte of the last
    // sequence, and drop the sequence when it is incomplete.
    std::size_t i = bytes.size();
    std::size_t back = 0;
    while (i > 0 && back < 3 && (static_cast<unsigned char>(bytes[i - 1]) & 0xC0) == 0x80) {
        --i;
        ++back;
    }
    if (i > 0) {
        const auto lead = static_cast<unsigned char>(bytes[i - 1]);
        const std::size_t need = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        if (lead >= 0xC0 && need > back) bytes.resize(i - 1);
    }
    if (!bytes.empty() && bytes.back() != '\n') bytes += '\n';
    return bytes + line + "\n";
}

QString DisplayLines(const QString& boxText) {
    const qsizetype n = boxText.size();
    const QChar* from = boxText.constData();
    QString out(n, Qt::Uninitialized);
    QChar* to = out.data();
    for (qsizetype i = 0; i < n; ++i) {
        if (from[i] != u'\r') {
            *to++ = from[i];
            continue;
        }
        // A run of CRs before an LF is that LF's line break; a CR on its
        // own is a line break of its own.
        qsizetype j = i;
        while (j < n && from[j] == u'\r') ++j;
        if (j < n && from[j] == u'\n') {
            i = j;
            *to++ = u'\n';
        } else {
            for (; i < j; ++i) *to++ = u'\n';
            --i;
        }
    }
    out.truncate(to - out.constData());
    return out;
}

QString TimeoutText(const QString& server) {
    return QStringLiteral("Timeout Occurred reaching ") + server +
           QStringLiteral("\r\n\r\nIt may be worth updating your Whois Server List");
}

bool SameServer(const std::string& a, const std::string& b) {
    std::string_view x(a), y(b);
    while (!x.empty() && x.back() == '.') x.remove_suffix(1);
    while (!y.empty() && y.back() == '.') y.remove_suffix(1);
    return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin(), [](char p, char q) {
               return platform::AsciiLower(p) == platform::AsciiLower(q);
           });
}

std::optional<Referral> FindReferral(const std::string& answer, const std::string& asked,
                                     std::optional<std::uint16_t> askedPort) {
    static constexpr std::string_view kKeys[] = {"Registrar WHOIS Server:", "refer:", "whois:"};
    static constexpr std::string_view kReferral = "ReferralServer:";
    static constexpr std::string_view kScheme = "whois://";
    std::size_t start = 0;
    while (start < answer.size()) {
        std::size_t end = answer.find('\n', start);
        if (end == std::string::npos) end = answer.size();
        const std::string_view line = trimmed(std::string_view(answer).substr(start, end - start));
        start = end + 1;

        std::optional<std::string_view> value;
        for (std::string_view key : kKeys) {
            if (startsWithKey(line, key)) value = trimmed(line.substr(key.size()));
        }
        if (startsWithKey(line, kReferral)) {
            const std::string_view v = trimmed(line.substr(kReferral.size()));
            if (startsWithKey(v, kScheme)) value = v.substr(kScheme.size());
        }
        if (!value) continue;
        std::optional<Referral> r = parseHost(*value);
        if (r && !(SameServer(r->host, asked) && (!askedPort || r->port == *askedPort))) return r;
    }
    return std::nullopt;
}

}  // namespace norvik::whois
