#include "cli/TerminalText.h"

#include <unistd.h>

#include <QString>
#include <algorithm>

#include "whois/WhoisText.h"

namespace norvik::cli {

namespace {

bool isControl(char16_t c) {
    return (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || (c >= 0x7F && c <= 0x9F);
}

}  // namespace

std::string VisibleControls(const std::string& bytes) {
    // Plain ASCII without controls needs no decoding.
    if (std::none_of(bytes.begin(), bytes.end(), [](char b) {
            const auto c = static_cast<unsigned char>(b);
            return c >= 0x80 || isControl(c);
        })) {
        return bytes;
    }
    const QString text = whois::DecodeAnswer(bytes);
    QString shown;
    shown.reserve(text.size());
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (!isControl(c)) {
            shown += qc;
            continue;
        }
        if (c >= 0x80) shown += QLatin1String("M-");
        shown += u'^';
        shown += c == 0x7F ? u'?' : QChar(static_cast<char16_t>((c & 0x7F) + 0x40));
    }
    const QByteArray utf8 = shown.toUtf8();
    return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

std::string Printable(const std::string& bytes) {
    static const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    return terminal ? VisibleControls(bytes) : bytes;
}

}  // namespace norvik::cli
