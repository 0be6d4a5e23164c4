// A server list answer as a list host could send it, through the parse,
// the filter and list lines, and "Add All" into a store that checks what
// arrives. The first byte picks the filter entry shown; the rest is the
// answer.
#include <QStringDecoder>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "FuzzCheck.h"
#include "platform/MessageBox.h"
#include "store/Registry.h"
#include "whois/ServerList.h"

using namespace norvik;
using namespace norvik::whois;
using platform::KeyStore;

namespace {

bool validUtf8(const std::string& s) {
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = utf8.decode(QByteArrayView(s.data(), qsizetype(s.size())));
    return !utf8.hasError();
}

// Keys by their path, names compared ignoring case as the store does.
class MemoryStore : public KeyStore {
  public:
    std::map<std::string, std::map<std::string, std::string>> keys;

    static std::string join(const Path& path) {
        std::string out;
        for (const auto& name : path) out += '\\' + FoldCase(name);
        return out;
    }
    bool keyExists(std::uint32_t, const Path& path) override { return keys.count(join(path)); }
    bool createKey(std::uint32_t, const Path& path) override {
        for (std::size_t n = 0; n <= path.size(); ++n)
            keys[join(Path(path.begin(), path.begin() + std::ptrdiff_t(n)))];
        return true;
    }
    std::optional<std::string> readValue(std::uint32_t, const Path&, const std::string&) override {
        return std::nullopt;
    }
    bool writeValue(std::uint32_t, const Path& path, const std::string& name,
                    const std::string& text) override {
        const auto it = keys.find(join(path));
        if (it != keys.end()) it->second[name] = text;
        return it != keys.end();
    }
    std::optional<TypedValue> readTypedValue(std::uint32_t, const Path&,
                                             const std::string&) override {
        return std::nullopt;
    }
    bool writeTypedValue(std::uint32_t, const Path&, const std::string&,
                         const TypedValue&) override {
        FUZZ_CHECK(false);
        return false;
    }
    std::optional<std::string> subKeyAt(std::uint32_t, const Path&, std::int64_t) override {
        return std::nullopt;
    }
    bool deleteKey(std::uint32_t, const Path& path) override {
        const std::string key = join(path);
        std::erase_if(keys, [&](const auto& k) {
            return k.first == key || k.first.rfind(key + '\\', 0) == 0;
        });
        return true;
    }
    bool deleteValue(std::uint32_t, const Path&, const std::string&) override { return true; }
    std::string lastError() const override { return {}; }
    void beginBatch() override { ++batches; }
    void endBatch() override {}
    int batches = 0;
};

class NoBoxes : public platform::MessageBox {
  public:
    platform::Answer show(const std::string&, const std::string&, platform::Buttons,
                          platform::Icon) override {
        FUZZ_CHECK(false);
        return platform::Answer::Ok;
    }
};

bool sortedIgnoringCase(const std::vector<std::string>& texts) {
    return std::is_sorted(texts.begin(), texts.end(),
                          [](const auto& a, const auto& b) { return FoldCase(a) < FoldCase(b); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::string answer(reinterpret_cast<const char*>(data + 1), size - 1);
    const ServerList list = ParseServerList(answer);

    // One entry per line that a CR LF ends, does not start with ";" and
    // holds a "."; read from the answer as the lookup decodes it.
    const QByteArray decoded = DecodeAnswer(answer).toUtf8();
    const std::string text(decoded.constData(), std::size_t(decoded.size()));
    std::size_t lines = 0;
    for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
         start = end + 2) {
        const std::string line = text.substr(start, end - start);
        lines += !line.empty() && line[0] != ';' && line.find('.') != std::string::npos;
    }
    // All of them, unless the next would have passed the cap.
    std::size_t held = 0;
    for (const ServerEntry& e : list.serverEntries) held += e.Country.size() + e.Server.size();
    FUZZ_CHECK(held <= kListTextCap);
    FUZZ_CHECK(list.serverEntries.size() == lines ||
               (list.serverEntries.size() < lines && held + 2 * text.size() > kListTextCap));

    // Countries: once each, letter case ignored, never " All servers".
    FoldedSet countries;
    countries.insert(kAllServers);
    for (const auto& c : list.countries) {
        FUZZ_CHECK(countries.insert(c));
        FUZZ_CHECK(validUtf8(c) && text.find(c) != std::string::npos);
    }
    for (const ServerEntry& e : list.serverEntries) {
        FUZZ_CHECK(countries.contains(e.Country));
        FUZZ_CHECK(e.Country.find("\r\n") == std::string::npos && validUtf8(e.Country));
        // The line up to its first blank: one blank, at the end.
        FUZZ_CHECK(e.Server.empty() || e.Server.find(' ') == e.Server.size() - 1);
        FUZZ_CHECK(e.Server.find("\r\n") == std::string::npos && validUtf8(e.Server));
        FUZZ_CHECK(text.find(e.Server) != std::string::npos);
    }

    const std::vector<std::string> filter = FilterEntries(list);
    FUZZ_CHECK(filter.size() == list.countries.size() + 1 && sortedIgnoringCase(filter));
    FUZZ_CHECK(std::count(filter.begin(), filter.end(), kAllServers) == 1);
    const std::string& pick = filter[data[0] % filter.size()];
    const std::vector<std::string> shown = ListLines(list, pick);
    FUZZ_CHECK(sortedIgnoringCase(shown));
    const auto picked = std::count_if(list.serverEntries.begin(), list.serverEntries.end(),
                                      [&](const auto& e) { return e.Country == pick; });
    FUZZ_CHECK(shown.size() == (pick == kAllServers ? list.serverEntries.size() : picked));

    // "Add All": a key per storable country, each with the servers of the
    // lines that begin with its code and a tab, blanks at the end dropped.
    MemoryStore keys;
    keys.createKey(store::HKEY_LOCAL_MACHINE, {"Software", "Tarnwell", "Norvik", "Servers", "Old"});
    NoBoxes boxes;
    store::Registry reg(keys, boxes);
    const std::size_t stored = StoreDirectory(reg, filter, shown);
    FUZZ_CHECK(keys.batches == 1);
    std::size_t storable = 0;
    for (const std::string& c : filter) {
        if (c == kAllServers || !StorableCountry(c)) continue;
        ++storable;
        const auto key =
            keys.keys.find(MemoryStore::join({"Software", "Tarnwell", "Norvik", "Servers", c}));
        FUZZ_CHECK(key != keys.keys.end());
        const auto value = [&](const std::string& name) {
            const auto v = key->second.find(name);
            return v == key->second.end() ? std::optional<std::string>() : v->second;
        };
        std::size_t n = 0;
        for (const std::string& line : shown) {
            if (line.rfind(c + '\t', 0) != 0) continue;
            std::string server = line.substr(c.size() + 1);
            while (!server.empty() && server.back() == ' ') server.pop_back();
            FUZZ_CHECK(value(std::to_string(++n)) == server);
        }
        FUZZ_CHECK(value("Total") == ' ' + std::to_string(n));
        FUZZ_CHECK(key->second.size() == n + 1);
    }
    FUZZ_CHECK(stored == storable);
    // The old directory is gone: the root, the four keys of its path and
    // one per country are left.
    FUZZ_CHECK(keys.keys.size() == 5 + storable);
    return 0;
}
