// The server list: the parse of an answer, the filter and list orders, the
// directory "Add All" stores, and the built-in list.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QString>
#include <string>
#include <vector>

#include "../support/ScriptedMessageBox.h"
#include "../support/ServerDirectory.h"
#include "../support/TempStore.h"
#include "store/Registry.h"
#include "whois/ServerList.h"

namespace norvik::whois {
void PrintTo(const ServerEntry& e, std::ostream* os) {
    *os << "{\"" << e.Country << "\", \"" << e.Server << "\"}";
}
}  // namespace norvik::whois

namespace norvik::test {
namespace {

using namespace std::string_literals;
using whois::ServerEntry;
using Strings = std::vector<std::string>;
using Entries = std::vector<ServerEntry>;

struct ParseCase {
    const char* what;
    std::string answer;
    Entries entries;
    Strings countries;
};

TEST(ServerListParse, LinesBecomeEntriesAsTheRulesSay) {
    const std::vector<ParseCase> cases = {
        {"two servers of one country",
         "whois.a.gb C=GB\r\nwhois.b.gb C=GB\r\n",
         {{"GB", "whois.a.gb "}, {"GB", "whois.b.gb "}},
         {"GB"}},
        {"comment with . and C=", ";whois.x C=GB\r\n", {}, {}},
        {"line without a dot", "nodot C=GB\r\nx.y z\r\n", {{"", "x.y "}}, {""}},
        {"lines keep the latest country",
         "a.b c\r\nx.y C=FR\r\nz.w more\r\n",
         {{"", "a.b "}, {"FR", "x.y "}, {"FR", "z.w "}},
         {"", "FR"}},
        {"no blank: empty server", "a.b C=GB\r\nc.d\r\n", {{"GB", "a.b "}, {"GB", ""}}, {"GB"}},
        {"codes differing in case",
         "a.b C=gb\r\nc.d C=GB\r\n",
         {{"gb", "a.b "}, {"GB", "c.d "}},
         {"gb"}},
        {"LF only", "a.b C=GB\nc.d C=FR\n", {}, {}},
        {"unended rest ignored", "a.b C=GB\r\nc.d C=FR", {{"GB", "a.b "}}, {"GB"}},
        {"lone CR stays in the line",
         "a.b C=GB\rc.d C=FR\r\n",
         {{"GB\rc.d C=FR", "a.b "}},
         {"GB\rc.d C=FR"}},
        {"country keeps its blanks", "a.b C= GB \r\n", {{" GB ", "a.b "}}, {" GB "}},
        {"first C= counts", "a.b C=GB C=FR\r\n", {{"GB C=FR", "a.b "}}, {"GB C=FR"}},
        {"lower-case c= is no country", "a.b c=GB\r\n", {{"", "a.b "}}, {""}},
        {"tab is no blank", "a.b\tC=GB\r\n", {{"GB", ""}}, {"GB"}},
        {"leading blank", " a.b C=GB\r\n", {{"GB", " "}}, {"GB"}},
        {"empty lines", "\r\n\r\n", {}, {}},
        {"the all-servers text",
         "a.b C= All servers\r\nc.d C= all SERVERS\r\n",
         {{" All servers", "a.b "}, {" all SERVERS", "c.d "}},
         {}},
        {"Latin-1 bytes", "wh\xe9.b C=\xc9S\r\n", {{"\xc3\x89S", "wh\xc3\xa9.b "}}, {"\xc3\x89S"}},
        {"UTF-8 kept", "\xc3\xa9.b C=\xc3\x89S\r\n", {{"\xc3\x89S", "\xc3\xa9.b "}}, {"\xc3\x89S"}},
        {"NUL bytes", "a\0.b C=G\0B\r\n"s, {{"G\0B"s, "a\0.b "s}}, {"G\0B"s}},
    };
    for (const auto& c : cases) {
        const whois::ServerList list = whois::ParseServerList(c.answer);
        EXPECT_EQ(list.serverEntries, c.entries) << c.what;
        EXPECT_EQ(list.countries, c.countries) << c.what;
    }
}

TEST(ServerListParse, FilterAndListSortIgnoringCase) {
    const auto list = whois::ParseServerList(
        "m.x n\r\nb.x C=gb\r\na.x C=GB\r\nz.x C=de\r\nq.x C=Au\r\nk.x C=_\r\n");
    // "" sorts ahead of " All servers"; the first spelling of GB is the entry.
    EXPECT_EQ(whois::FilterEntries(list), (Strings{"", " All servers", "_", "Au", "de", "gb"}));
    EXPECT_EQ(whois::ListLines(list, " All servers"),
              (Strings{"\tm.x ", "_\tk.x ", "Au\tq.x ", "de\tz.x ", "GB\ta.x ", "gb\tb.x "}));
    // A pick shows exactly its own code.
    EXPECT_EQ(whois::ListLines(list, "gb"), (Strings{"gb\tb.x "}));
    EXPECT_EQ(whois::ListLines(list, "AU"), Strings{});
}

TEST(ServerListParse, ALongCountryOverManyLinesStopsAtTheTextCap) {
    // Each entry holds the 1 MiB code: 16 entries would pass the cap.
    std::string answer = "a.b C=" + std::string(std::size_t{1} << 20, 'X') + "\r\n";
    for (int i = 0; i < 1'000'000; ++i) answer += ".\r\n";
    ASSERT_LE(answer.size(), whois::kListCap);
    const auto list = whois::ParseServerList(answer);
    EXPECT_EQ(list.serverEntries.size(), 15u);
    EXPECT_EQ(list.serverEntries.back(), (ServerEntry{answer.substr(6, 1 << 20), ""}));
    EXPECT_EQ(list.countries.size(), 1u);
}

class StoreDirectoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(temp.valid());
        put("OLD", "Total", " 1");
        put("OLD", "1", "whois.old.example");
    }
    void put(const std::string& country, const std::string& name, const std::string& text) {
        ASSERT_TRUE(keys->createKey(store::HKEY_LOCAL_MACHINE, serversPath(country)));
        ASSERT_TRUE(keys->writeValue(store::HKEY_LOCAL_MACHINE, serversPath(country), name, text));
    }

    TempStore temp;
    std::unique_ptr<platform::SqliteKeyStore> keys = temp.open();
    ScriptedMessageBox boxes;
    store::Registry reg{*keys, boxes};
};

TEST_F(StoreDirectoryTest, TheShownLinesOfEachFilterCountryAreStored) {
    struct Case {
        const char* what;
        std::string answer;
        std::string pick;
        Directory stored;
    };
    const Case cases[] = {
        // A does not take AU's lines; values hold no blanks, in list order.
        {"all servers",
         "whois.b.gb C=GB\r\nwhois.a.gb C=GB\r\nau.x C=AU\r\na.x C=A\r\n",
         whois::kAllServers,
         {{"A", {" 1", "a.x"}},
          {"AU", {" 1", "au.x"}},
          {"GB", {" 2", "whois.a.gb", "whois.b.gb"}}}},
        {"a picked country",
         "au.x C=AU\r\na.x C=A\r\nb.x C=A\r\n",
         "A",
         {{"A", {" 2", "a.x", "b.x"}}, {"AU", {" 0"}}}},
        // The empty country, the all-servers text, a backslash and a NUL
        // cannot name a key.
        {"names that are no key",
         "e.x\r\nx.y C= All servers\r\nb.x C=A\\B\r\nc.x C=A\\\r\nn.x C=N\0L\r\ng.x C=GB\r\n"s,
         whois::kAllServers,
         {{"GB", {" 1", "g.x"}}}},
        // One key for codes equal but for case, with all their servers.
        {"codes equal but for case",
         "b.x C=us.x\r\na.x C=US.X\r\nk.x C=\xE2\x84\xAA\r\nc.x C=Us.x\r\nl.x C=k\r\n",
         whois::kAllServers,
         {{"us.x", {" 3", "a.x", "b.x", "c.x"}}, {"\xE2\x84\xAA", {" 2", "k.x", "l.x"}}}},
        {"nothing downloaded", "", whois::kAllServers, {}},
    };
    for (const Case& c : cases) {
        const auto list = whois::ParseServerList(c.answer);
        whois::StoreDirectory(reg, whois::FilterEntries(list), whois::ListLines(list, c.pick));
        EXPECT_TRUE(directoryExists(*keys)) << c.what;
        EXPECT_EQ(readDirectory(*keys), c.stored) << c.what;
    }
    EXPECT_TRUE(boxes.shown.empty());
}

// A store that ends the process after a number of writes, as a crash would.
class CrashingStore : public platform::SqliteKeyStore {
  public:
    CrashingStore(const std::string& path, int writes) : SqliteKeyStore(path), left_(writes) {}
    bool writeValue(std::uint32_t root, const Path& path, const std::string& name,
                    const std::string& text) override {
        if (--left_ < 0) ::_exit(3);
        return SqliteKeyStore::writeValue(root, path, name, text);
    }

  private:
    int left_;
};

// Only tabs where a code would end are looked at: a line of many tabs
// among many codes is stored at once.
TEST_F(StoreDirectoryTest, ALineOfManyTabsIsStoredAtOnce) {
    Strings filter{whois::kAllServers};
    for (int i = 10; i < 40; ++i) filter.push_back("C" + std::to_string(i));
    const std::string tabs(1'000'000, '\t');
    whois::StoreDirectory(reg, filter, {"C10\tx.y ", "C11\t" + tabs + "z ", "C1" + tabs});
    const Directory stored = readDirectory(*keys);
    EXPECT_EQ(stored.size(), 30u);
    EXPECT_EQ(stored.at("C10"), (Strings{" 1", "x.y"}));
    EXPECT_EQ(stored.at("C11"), (Strings{" 1", tabs + "z"}));
}

TEST_F(StoreDirectoryTest, ACrashHalfWayLeavesTheOldDirectory) {
    std::string answer;
    for (int i = 0; i < 40; ++i)
        answer += "w" + std::to_string(i) + ".x C=C" + std::to_string(i % 8) + "\r\n";
    keys.reset();  // the child opens its own connection
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CrashingStore crashing(temp.path(), 20);
        ScriptedMessageBox b;
        store::Registry r(crashing, b);
        const auto list = whois::ParseServerList(answer);
        whois::StoreDirectory(r, whois::FilterEntries(list),
                              whois::ListLines(list, whois::kAllServers));
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    keys = temp.open();
    EXPECT_EQ(readDirectory(*keys), (Directory{{"OLD", {" 1", "whois.old.example"}}}));
}

TEST(BuiltInList, EveryLineIsOneServerOfOneCountry) {
    const QString text = QString::fromStdString(whois::BuiltInServerList());
    ASSERT_TRUE(text.endsWith("\r\n"));
    // Every CR and LF is part of a CR LF; lines but the comments hold servers.
    const auto serverLines =
        static_cast<std::size_t>(text.count("\r\n") - text.count("\r\n;") - text.startsWith(';'));
    EXPECT_EQ(text.count('\r'), text.count("\r\n"));
    EXPECT_EQ(text.count('\n'), text.count("\r\n"));
    const auto list = whois::ParseServerList(text.toStdString());
    ASSERT_EQ(list.serverEntries.size(), serverLines);
    EXPECT_GT(serverLines, 50u);
    for (const ServerEntry& e : list.serverEntries) {
        // A code of capitals, a host name with a dot and its one blank.
        EXPECT_FALSE(e.Country.empty());
        EXPECT_EQ(e.Country.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos);
        ASSERT_GE(e.Server.size(), 4u);
        EXPECT_EQ(e.Server.find(' '), e.Server.size() - 1) << e.Server;
        EXPECT_NE(e.Server.find('.'), std::string::npos) << e.Server;
    }
    EXPECT_EQ(list.countries.size(), serverLines);  // one server per code
}

}  // namespace
}  // namespace norvik::test
