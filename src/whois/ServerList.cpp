#include "whois/ServerList.h"

#include <QFile>
#include <QString>
#include <algorithm>
#include <numeric>
#include <unordered_map>

#include "platform/KeyStore.h"
#include "platform/Text.h"
#include "store/Registry.h"
#include "whois/WhoisText.h"

// The built-in list is compiled into the library; a static library has to
// register its resources itself.
static void initListResource() { Q_INIT_RESOURCE(whois); }

namespace norvik::whois {

namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The answer as UTF-8 text, read as the lookup reads its answers.
std::string answerText(std::string_view bytes) {
    if (isAscii(bytes)) return std::string(bytes);
    const QByteArray out = DecodeAnswer(std::string(bytes)).toUtf8();
    return std::string(out.constData(), static_cast<std::size_t>(out.size()));
}

}  // namespace

std::string FoldCase(std::string_view text) {
    if (isAscii(text)) return platform::AsciiLower(text);
    const QByteArray out =
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toCaseFolded().toUtf8();
    return std::string(out.constData(), static_cast<std::size_t>(out.size()));
}

ServerList ParseServerList(std::string_view answer) {
    const std::string text = answerText(answer);
    const std::string_view all(text);
    ServerList out;
    // The filter's entries so far, and whether one equals a text ignoring
    // case.
    FoldedSet filter;
    filter.insert(kAllServers);
    const auto CountryListed = [&filter](std::string_view text) { return filter.contains(text); };
    std::string country;
    std::size_t held = 0;  // the entries' text so far
    for (std::size_t start = 0;;) {
        const std::size_t end = all.find("\r\n", start);
        if (end == std::string_view::npos) break;  // an unended rest is no line
        const std::string_view line = all.substr(start, end - start);
        start = end + 2;
        if (line.empty() || line.front() == ';' || line.find('.') == std::string_view::npos) {
            continue;
        }
        if (const std::size_t c = line.find("C="); c != std::string_view::npos) {
            country = line.substr(c + 2);
        }
        const std::size_t blank = line.find(' ');
        const std::size_t serverSize = blank == std::string_view::npos ? 0 : blank + 1;
        held += country.size() + serverSize;
        if (held > kListTextCap) break;
        if (!CountryListed(country)) {
            filter.insert(country);
            out.countries.push_back(country);
        }
        out.serverEntries.push_back({country, std::string(line.substr(0, serverSize))});
    }
    return out;
}

void SortIgnoringCase(std::vector<std::string>& texts) {
    std::vector<std::string> keys;
    keys.reserve(texts.size());
    for (const auto& t : texts) keys.push_back(FoldCase(t));
    std::vector<std::size_t> order(texts.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    std::vector<std::string> sorted;
    sorted.reserve(texts.size());
    for (std::size_t i : order) sorted.push_back(std::move(texts[i]));
    texts = std::move(sorted);
}

std::vector<std::string> FilterEntries(const ServerList& list) {
    std::vector<std::string> entries;
    entries.reserve(list.countries.size() + 1);
    entries.emplace_back(kAllServers);
    entries.insert(entries.end(), list.countries.begin(), list.countries.end());
    SortIgnoringCase(entries);
    return entries;
}

std::vector<std::string> ListLines(const ServerList& list, const std::string& pick) {
    const bool everything = pick == kAllServers;
    std::vector<std::string> lines;
    for (const ServerEntry& e : list.serverEntries) {
        if (everything || e.Country == pick) lines.push_back(e.Country + '\t' + e.Server);
    }
    SortIgnoringCase(lines);
    return lines;
}

bool StorableCountry(std::string_view country) {
    // An empty name cannot be a key; a backslash would make a path of
    // several keys; a NUL would cut the name short.
    return !country.empty() && country.find('\\') == std::string_view::npos &&
           country.find('\0') == std::string_view::npos;
}

std::size_t StoreDirectory(store::Registry& reg, const std::vector<std::string>& filter,
                           const std::vector<std::string>& lines) {
    // The countries to store, each under the first spelling met, with the
    // servers of their lines. Names equal ignoring case are one key of the
    // store, so their servers are gathered under that key, in line order.
    std::vector<std::string_view> countries;
    std::vector<std::string> folds;                                     // of the countries
    std::unordered_map<std::string, std::vector<std::string>> servers;  // by folded name
    std::vector<std::size_t> sizes;  // of the folded names, each once, ascending
    for (const std::string& c : filter) {
        if (c == kAllServers || !StorableCountry(c)) continue;
        std::string folded = FoldCase(c);
        sizes.push_back(folded.size());
        if (servers.try_emplace(folded).second) {
            countries.push_back(c);
            folds.push_back(std::move(folded));
        }
    }
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    // A line belongs to country C when it begins with C (letter case aside)
    // and a tab. A code may hold a tab itself, so a line can belong to
    // several; only a tab where a code of that size would end is looked at,
    // so that a line of many tabs does not cost a look-up of every one of
    // its beginnings. Folding keeps the tabs, and a spelling of another
    // length folds to the same text: the k-th tab of the folded line is the
    // k-th tab of the line.
    for (const std::string& line : lines) {
        const std::string folded = FoldCase(line);
        for (const std::size_t tab : sizes) {
            if (tab >= folded.size()) break;
            if (folded[tab] != '\t') continue;
            const auto it = servers.find(folded.substr(0, tab));
            if (it == servers.end()) continue;
            auto before =
                std::count(folded.begin(), folded.begin() + static_cast<std::ptrdiff_t>(tab), '\t');
            std::size_t at = line.find('\t');
            for (; before > 0; --before) at = line.find('\t', at + 1);
            std::string_view rest = std::string_view(line).substr(at);
            while (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
            rest.remove_prefix(1);  // the tab
            it->second.emplace_back(rest);
        }
    }

    platform::BatchScope batch(reg.keyStore());
    reg.DeleteSubKey(store::HKEY_LOCAL_MACHINE, kServersSubPath);
    reg.CreateKeyPath(kServersKey);
    for (std::size_t i = 0; i < countries.size(); ++i) {
        const std::string key = std::string(kServersKey) + '\\' + std::string(countries[i]);
        reg.CreateKeyPath(key);
        const std::vector<std::string>& list = servers[folds[i]];
        for (std::size_t n = 0; n < list.size(); ++n) {
            reg.WriteKeyValue(key, std::to_string(n + 1), list[n]);
        }
        // Written after the servers, so that it never counts one that is
        // not there yet.
        reg.WriteKeyValue(key, "Total", ' ' + std::to_string(list.size()));
    }
    return countries.size();
}

std::string StoredListHost(store::Registry& reg) {
    const std::string host = reg.ReadKeyValue(store::kNorvikKey, kListHostValue);
    return host == store::kError ? std::string() : host;
}

std::string BuiltInServerList() {
    initListResource();
    QFile file(QStringLiteral(":/whois-servers.txt"));
    if (!file.open(QIODevice::ReadOnly)) return std::string();
    const QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace norvik::whois
