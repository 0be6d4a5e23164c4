// The SQLite key store on a real file in a temporary folder: names, value
// types, file modes, batches, and files of other kinds and layouts.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "../support/Netns.h"
#include "../support/TempStore.h"

namespace {

using norvik::platform::BatchScope;
using norvik::platform::KeyStore;
using norvik::platform::SqliteKeyStore;
using namespace std::string_literals;
using Names = std::vector<std::string>;

constexpr std::uint32_t kMachine = 0x80000002u;
const KeyStore::Path kNorvik = {"Software", "Tarnwell", "Norvik"};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs SQL on the file with a connection of its own; the first column of
// the last row, or the error.
std::string sql(const std::string& path, const std::string& statements) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    std::string last;
    char* error = nullptr;
    auto row = [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) = values[0] ? values[0] : "NULL";
        return 0;
    };
    if (sqlite3_exec(db, statements.c_str(), row, &last, &error) != SQLITE_OK) last = error;
    sqlite3_free(error);
    sqlite3_close(db);
    return last;
}

Names subKeys(KeyStore& store, const KeyStore::Path& path) {
    Names names;
    while (auto name = store.subKeyAt(kMachine, path, static_cast<std::int64_t>(names.size())))
        names.push_back(*name);
    return names;
}

// Gives up root in a forked child, so that file modes hold for it as for
// anyone; that child's text, or "child failed: ..." when it gave none.
std::string asNobody(std::function<std::string()> body) {
    return norvik::test::runInside("", [&] {
        return geteuid() != 0 || norvik::test::NetnsChild::becomeNobody() ? body()
                                                                          : "cannot become nobody"s;
    });
}

class KeyStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(tmp.valid()); }
    norvik::test::TempStore tmp;
    std::unique_ptr<SqliteKeyStore> store = tmp.open();
};

// Names fold case for all of Unicode (final sigma too), one character to
// one, so "ss" stays another name than "ß"; bytes that are not UTF-8 fold as
// ASCII and do not meet in one replacement character. Keys keep their
// spelling and enumerate by the folded form.
TEST_F(KeyStoreTest, NamesFoldCaseKeepTheirSpellingAndRefuseBadNames) {
    const struct {
        const char *a, *b;
        bool same;
    } pairs[] = {{"ÄRGER", "ärger", true},     {"ΟΔΟΣ", "οδος", true},   {"STRAẞE", "straße", true},
                 {"straße", "strasse", false}, {"K\xff", "k\xff", true}, {"K\xfe", "K\xff", false}};
    for (const auto& p : pairs)
        EXPECT_EQ(SqliteKeyStore::foldName(p.a) == SqliteKeyStore::foldName(p.b), p.same) << p.a;
    for (const char* name : {"b", "Ä", "A", "c", "B"})
        ASSERT_TRUE(store->createKey(kMachine, {name}));
    EXPECT_EQ(subKeys(*store, {}), (Names{"A", "b", "c", "Ä"}));
    ASSERT_TRUE(store->writeValue(kMachine, {"ä"}, "STRAẞE", "1"));
    ASSERT_TRUE(store->writeValue(kMachine, {"Ä"}, "straße", "2"));
    EXPECT_EQ(store->readValue(kMachine, {"ä"}, "Straße"), "2");
    ASSERT_TRUE(store->deleteValue(kMachine, {"Ä"}, "STRAßE"));
    EXPECT_EQ(store->readValue(kMachine, {"ä"}, "straße"), std::nullopt);

    EXPECT_EQ(store->subKeyAt(kMachine, {}, -1), std::nullopt);
    EXPECT_EQ(store->subKeyAt(kMachine, {"missing"}, 0), std::nullopt);
    EXPECT_FALSE(store->createKey(kMachine, {"b", ""}));
    EXPECT_FALSE(store->createKey(kMachine, {"b", "x\\y"}));
    EXPECT_NE(store->lastError().find("backslash"), std::string::npos);
    EXPECT_FALSE(store->fileFailed());
    EXPECT_EQ(subKeys(*store, {"b"}), Names{});
}

TEST_F(KeyStoreTest, TextsComeBackByteForByteAfterReopening) {
    ASSERT_TRUE(store->createKey(kMachine, kNorvik));
    const Names texts = {
        "", "a\0b"s, "  both  ", "Grüße 日本 🙂", "\xff\xfe", std::string(65536, 'x')};
    for (std::size_t i = 0; i < texts.size(); ++i)
        ASSERT_TRUE(store->writeValue(kMachine, kNorvik, "v" + std::to_string(i), texts[i]));
    ASSERT_TRUE(store->writeValue(kMachine, kNorvik, "n\0ul"s, "named with NUL"));
    ASSERT_TRUE(store->writeValue(kMachine, kNorvik, "v1", "replaced"));
    store = tmp.open();
    for (std::size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(store->readValue(kMachine, kNorvik, "v" + std::to_string(i)),
                  i == 1 ? "replaced" : texts[i]);
    EXPECT_EQ(store->readValue(kMachine, kNorvik, "n\0ul"s), "named with NUL");
    EXPECT_EQ(store->readValue(kMachine, kNorvik, "n"), std::nullopt);
}

TEST_F(KeyStoreTest, TheSevenRootsAreSeparateTreesThatAlwaysExist) {
    for (std::uint32_t root = 0x80000000u; root <= 0x80000006u; ++root)
        EXPECT_TRUE(store->keyExists(root, {})) << root;
    EXPECT_FALSE(store->createKey(0x80000007u, {"x"}));
    EXPECT_FALSE(store->keyExists(0, {}));
    ASSERT_TRUE(store->createKey(0x80000001u, {"OnlyHere"}));
    EXPECT_FALSE(store->keyExists(kMachine, {"OnlyHere"}));
    EXPECT_FALSE(store->deleteKey(kMachine, {}));
}

TEST_F(KeyStoreTest, DeletingAKeyTakesItsWholeSubtreeAndNothingElse) {
    ASSERT_TRUE(store->createKey(kMachine, {"Software", "Tarnwell", "Norvik", "IPs"}));
    ASSERT_TRUE(store->createKey(kMachine, {"Software", "Other"}));
    ASSERT_TRUE(store->writeValue(kMachine, {"Software", "Tarnwell", "Norvik", "IPs"}, "1", "a"));
    ASSERT_TRUE(store->writeValue(kMachine, {"Software", "Tarnwell"}, "kept", "yes"));
    ASSERT_TRUE(store->deleteKey(kMachine, {"software", "TARNWELL", "norvik"}));
    EXPECT_EQ(store->readValue(kMachine, {"Software", "Tarnwell"}, "kept"), "yes");
    EXPECT_EQ(subKeys(*store, {"Software"}), (Names{"Other", "Tarnwell"}));
    // Made again, the key starts empty.
    ASSERT_TRUE(store->createKey(kMachine, {"Software", "Tarnwell", "Norvik", "IPs"}));
    EXPECT_EQ(store->readValue(kMachine, {"Software", "Tarnwell", "Norvik", "IPs"}, "1"),
              std::nullopt);

    KeyStore::Path deep;  // deeper than SQLite lets triggers or cascades nest
    for (int i = 0; i < 1500; ++i) deep.push_back("k" + std::to_string(i));
    ASSERT_TRUE(store->createKey(kMachine, deep)) << store->lastError();
    ASSERT_TRUE(store->writeValue(kMachine, deep, "bottom", "x"));
    ASSERT_TRUE(store->deleteKey(kMachine, {"k0", "k1"})) << store->lastError();
    EXPECT_EQ(subKeys(*store, {"k0"}), Names{});
}

TEST_F(KeyStoreTest, WritesOfAKilledProcessAreKept) {
    EXPECT_EQ(norvik::test::runInside("",
                                      [&] {
                                          auto s = tmp.open();
                                          s->createKey(kMachine, kNorvik);
                                          s->writeValue(kMachine, kNorvik, "single", "1");
                                          BatchScope batch(*s);  // ended, never committed
                                          s->writeValue(kMachine, kNorvik, "batched", "2");
                                          kill(getpid(), SIGKILL);
                                          return s->lastError();
                                      }),
              "child failed: the child died without an answer");
    EXPECT_EQ(store->readValue(kMachine, kNorvik, "single"), "1");
    EXPECT_EQ(store->readValue(kMachine, kNorvik, "batched"), std::nullopt);
}

TEST_F(KeyStoreTest, AKeyMadeItsOwnAncestorIsReportedAsDamageAndNothingIsDeleted) {
    const KeyStore::Path session = {"Software", "Tarnwell", "Norvik", "SessionIPs"};
    ASSERT_TRUE(store->createKey(kMachine, session));
    ASSERT_TRUE(store->createKey(kMachine, {"Other", "Below"}));
    store.reset();
    ASSERT_EQ(sql(tmp.path(),
                  "UPDATE keys SET parent = (SELECT id FROM keys WHERE CAST(name AS "
                  "TEXT) = 'SessionIPs') WHERE id = 2147483650"),
              "");
    store = tmp.open();
    for (const KeyStore::Path& key : {session, KeyStore::Path{"Software"}}) {
        EXPECT_FALSE(store->deleteKey(kMachine, key));
        EXPECT_TRUE(store->fileFailed());
        EXPECT_EQ(store->lastError(), tmp.path() + " is damaged (a key lies below itself)");
    }
    EXPECT_EQ(subKeys(*store, {"Software", "Tarnwell", "Norvik"}), Names{"SessionIPs"});
    EXPECT_TRUE(store->deleteKey(kMachine, {"Other"}));  // outside the cycle
    EXPECT_EQ(subKeys(*store, {}), Names{"Software"});
}

// The path given and the file it leads to, each made private whatever the
// umask and wherever it came from: new folders, an empty file, a symbolic
// link, a name that begins with "file:" (a file, not a URI, so a journal
// lies beside it).
TEST_F(KeyStoreTest, WithUmask000AStoreIsPrivateWhereverItsFileCameFrom) {
    const std::string dir = tmp.dir();
    for (const char* empty : {"/empty.db", "/target.db"}) {
        std::ofstream{dir + empty};
        chmod((dir + empty).c_str(), 0644);
    }
    symlink((dir + "/target.db").c_str(), (dir + "/link.db").c_str());
    const auto savedDir = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    const mode_t saved = umask(0);
    for (const auto& [path, file] : {std::pair{dir + "/new/a/s.db", "/new/a/s.db"},
                                     {dir + "/empty.db", "/empty.db"},
                                     {dir + "/link.db", "/target.db"},
                                     {"file:u.db"s, "/file:u.db"},
                                     {"file:m.db?mode=memory"s, "/file:m.db?mode=memory"}}) {
        SqliteKeyStore s(path);
        EXPECT_TRUE(s.createKey(kMachine, {"x"})) << path << ": " << s.lastError();
        for (const std::string& made :
             {dir + file, dir + file + "-wal", dir + "/new", dir + "/new/a"}) {
            struct stat st {};
            EXPECT_EQ(lstat(made.c_str(), &st), 0) << path << ": " << made;
            EXPECT_EQ(st.st_mode & 07777, S_ISDIR(st.st_mode) ? 0700u : 0600u)
                << path << ": " << made;
        }
    }
    EXPECT_FALSE(std::filesystem::exists("u.db"));
    umask(saved);
    std::filesystem::current_path(savedDir);
}

TEST_F(KeyStoreTest, AWalkBySubkeyIndexSeesEveryWriteOfThisAndOtherConnections) {
    ASSERT_TRUE(store->createKey(kMachine, {"K", "b"}));
    ASSERT_TRUE(store->createKey(kMachine, {"L", "z"}));
    EXPECT_EQ(store->subKeyAt(kMachine, {"K"}, 0), "b");
    auto other = tmp.open();
    ASSERT_TRUE(other->createKey(kMachine, {"K", "a"}));
    EXPECT_EQ(subKeys(*store, {"K"}), (Names{"a", "b"}));
    EXPECT_EQ(store->subKeyAt(kMachine, {"L"}, 0), "z");  // another key between
    ASSERT_TRUE(store->deleteKey(kMachine, {"K", "a"}));
    EXPECT_EQ(subKeys(*store, {"K"}), Names{"b"});
    EXPECT_EQ(store->subKeyAt(kMachine, {"K"}, 1), std::nullopt);
    EXPECT_EQ(store->lastError(), "HKEY_LOCAL_MACHINE\\K has no subkey at index 1");
    EXPECT_EQ(subKeys(*other, {"K"}), Names{"b"});
}

TEST_F(KeyStoreTest, AReadOnlyStoreReadsButRefusesWritesAndAnUnreadableOneSaysWhy) {
    ASSERT_TRUE(store->createKey(kMachine, kNorvik));
    ASSERT_TRUE(store->writeValue(kMachine, kNorvik, "1", "kept"));
    store.reset();
    chmod(tmp.path().c_str(), 0444);
    chmod(tmp.dir().c_str(), 0555);  // no journal can be made beside it either
    EXPECT_EQ(asNobody([&] {
                  auto s = tmp.open();
                  std::string out = s->readValue(kMachine, kNorvik, "1").value_or("none");
                  out += s->writeValue(kMachine, kNorvik, "1", "new") ? " written" : " refused";
                  return out + (s->fileFailed() ? " / " : " ? ") + s->lastError();
              }),
              "kept refused / " + tmp.path() +
                  " is read-only: nothing can be written to it (attempt to write a readonly "
                  "database)");
    chmod(tmp.dir().c_str(), 0755);
    chmod(tmp.path().c_str(), 0000);
    EXPECT_EQ(asNobody([&] {
                  auto s = tmp.open();
                  const bool found = s->keyExists(kMachine, {});
                  return (found ? "read: " : "failed: ") + s->lastError();
              }),
              "failed: cannot open the store file " + tmp.path() + ": Permission denied");
    chmod(tmp.path().c_str(), 0600);
    EXPECT_EQ(tmp.open()->readValue(kMachine, kNorvik, "1"), "kept");
}

TEST_F(KeyStoreTest, TwoProcessesStartingOnANewFileLoseNothing) {
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    auto worker = [&](std::string prefix) {
        return [&, prefix] {
            close(gate[1]);
            char c;
            if (read(gate[0], &c, 1) != 0) return "no gate"s;
            auto s = tmp.open();  // both lay out the new file at once
            std::string errors;
            for (int i = 0; i < 150; ++i) {
                const KeyStore::Path key = {"Software", "K" + std::to_string(i % 5)};
                if (!s->createKey(kMachine, key) ||
                    !s->writeValue(kMachine, key, prefix + std::to_string(i), prefix))
                    errors += s->lastError() + "\n";
                BatchScope batch(*s);
                s->writeValue(kMachine, key, prefix + "b" + std::to_string(i), prefix);
            }
            return errors;
        };
    };
    norvik::test::NetnsChild a("", worker("a")), b("", worker("b"));
    close(gate[0]);
    close(gate[1]);  // both children read end-of-file and start together
    EXPECT_EQ(a.result(60000).value_or(a.why()), "");
    EXPECT_EQ(b.result(60000).value_or(b.why()), "");
    EXPECT_EQ(subKeys(*store, {"Software"}).size(), 5u);
    for (int i = 0; i < 150; ++i) {
        const KeyStore::Path key = {"Software", "K" + std::to_string(i % 5)};
        for (const std::string name : {"a", "b", "ab", "bb"})
            EXPECT_EQ(store->readValue(kMachine, key, name + std::to_string(i)), name.substr(0, 1));
    }
}

TEST_F(KeyStoreTest, ABatchKeepsItsWritesThroughFailuresAndAWriterWaitsForItOrGivesUp) {
    ASSERT_TRUE(store->createKey(kMachine, {"K"}));
    auto impatient = tmp.open(100);
    {
        BatchScope batch(*store);
        store->beginBatch();
        ASSERT_TRUE(store->writeValue(kMachine, {"K"}, "1", "a"));
        EXPECT_EQ(store->readValue(kMachine, {"K"}, "1"), "a");
        EXPECT_FALSE(store->writeValue(kMachine, {"Missing"}, "1", "b"));
        EXPECT_NE(store->lastError().find("Missing"), std::string::npos);
        EXPECT_FALSE(store->deleteKey(kMachine, {"Missing"}));
        EXPECT_FALSE(store->fileFailed());
        store->endBatch();  // the inner end commits nothing yet
        EXPECT_FALSE(impatient->writeValue(kMachine, {"K"}, "other", "2"));
        EXPECT_TRUE(impatient->fileFailed());
        EXPECT_EQ(impatient->lastError(),
                  tmp.path() + " is kept busy by another program (gave up after 100 ms)");
        EXPECT_EQ(impatient->readValue(kMachine, {"K"}, "1"), std::nullopt);
        ASSERT_TRUE(store->writeValue(kMachine, {"K"}, "2", "c"));
    }
    EXPECT_EQ(impatient->readValue(kMachine, {"K"}, "1"), "a");
    EXPECT_TRUE(impatient->writeValue(kMachine, {"K"}, "other", "2"));
    store->beginBatch();  // left open: kept when the store closes
    ASSERT_TRUE(store->writeValue(kMachine, {"K"}, "3", "d"));
    store = tmp.open();
    for (const auto& [name, text] : {std::pair{"1", "a"}, {"2", "c"}, {"3", "d"}, {"other", "2"}})
        EXPECT_EQ(store->readValue(kMachine, {"K"}, name), text) << name;
    EXPECT_EQ(subKeys(*store, {}), Names{"K"});  // no key made for the missing one
}

TEST_F(KeyStoreTest, ValuesKeepTheirTypeAndOnlyTextReadsAsText) {
    ASSERT_TRUE(store->createKey(kMachine, kNorvik));
    ASSERT_TRUE(store->writeTypedValue(kMachine, kNorvik, "n",
                                       {KeyStore::REG_DWORD, KeyStore::dwordData(0x01020310)}));
    ASSERT_TRUE(store->writeTypedValue(kMachine, kNorvik, "b", {3, "\x01\0"s}));
    ASSERT_TRUE(store->writeValue(kMachine, kNorvik, "t", "text"));

    auto again = tmp.open();
    const auto n = again->readTypedValue(kMachine, kNorvik, "N");
    ASSERT_TRUE(n);
    EXPECT_EQ(n->type, KeyStore::REG_DWORD);
    EXPECT_EQ(n->data, "\x10\x03\x02\x01"s);
    EXPECT_EQ(KeyStore::dwordNumber(n->data), 0x01020310u);
    EXPECT_EQ(again->readTypedValue(kMachine, kNorvik, "b")->data, "\x01\0"s);
    EXPECT_EQ(again->readTypedValue(kMachine, kNorvik, "t")->type, KeyStore::REG_SZ);
    EXPECT_FALSE(again->readValue(kMachine, kNorvik, "n"));
    EXPECT_EQ(again->lastError(),
              "the value \"n\" in HKEY_LOCAL_MACHINE\\Software\\Tarnwell\\Norvik is not text "
              "(type 4)");
    EXPECT_FALSE(again->fileFailed());

    // A number is four bytes; writing text over it makes it text.
    EXPECT_FALSE(again->writeTypedValue(kMachine, kNorvik, "n", {KeyStore::REG_DWORD, "abc"}));
    EXPECT_EQ(again->lastError(), "a REG_DWORD value holds exactly four bytes");
    EXPECT_EQ(again->readTypedValue(kMachine, kNorvik, "n")->data, "\x10\x03\x02\x01"s);
    ASSERT_TRUE(again->writeValue(kMachine, kNorvik, "n", "16"));
    EXPECT_EQ(again->readValue(kMachine, kNorvik, "n"), "16");
}

// Each kind of file, opened for writing and for reading only. A store of
// the first layout (text values only) is brought up to date in place; any
// other file fails every operation, says why and keeps every byte, its
// journal mode too.
TEST_F(KeyStoreTest, AFileIsTakenUpgradedOrRefusedUntouched) {
    const std::string p = tmp.path();
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += char(i * 7919 % 251);
    const struct {
        bool store;                // the file first holds a store with IPs\1 and nopings
        std::string sql;           // then this is run on it; without both it holds bytes
        std::string bytes, error;  // error: none when the store opens
        bool writable = true;      // also opened for writing
    } cases[] = {
        {false, "", garbage,
         p + " is not a Norvik store: the file is not a database or is damaged"},
        {false, "CREATE TABLE t(x)", "",
         p + " is a database of another program, not a Norvik store"},
        {true, "PRAGMA user_version = 3; PRAGMA journal_mode = DELETE", "",
         p + " was made by a newer version of Norvik (store layout 3; this version knows layouts "
             "up to 2). It is left as it is: use the newer Norvik, or move the file away."},
        {true, "PRAGMA user_version = 0", "",
         p + " holds a store of another version of Norvik (layout 0)"},
        {false, "", "", p + " holds no store", false},
        {true, "ALTER TABLE vals DROP COLUMN type; PRAGMA user_version = 1", "", ""},
    };
    const KeyStore::Path ips = {"Software", "Tarnwell", "Norvik", "IPs"};
    for (const auto& c : cases) {
        for (const bool readOnly : {false, true}) {
            if (!readOnly && !c.writable) continue;
            SCOPED_TRACE(c.sql + (readOnly ? " (reading)" : ""));
            for (const char* journal : {"", "-wal", "-shm"}) std::filesystem::remove(p + journal);
            if (c.store) {
                auto s = tmp.open();
                s->createKey(kMachine, ips);
                s->writeValue(kMachine, ips, "1", "192.0.2.1");
                s->writeValue(kMachine, kNorvik, "nopings", "4");
            }
            if (c.sql.empty()) std::ofstream(p, std::ios::binary) << c.bytes;
            sql(p, c.sql);
            const std::string before = readFile(p);
            auto s = tmp.open();
            EXPECT_EQ(readOnly ? s->openReadOnly() : s->open(), c.error.empty());
            EXPECT_EQ(s->lastError(), c.error);
            if (c.error.empty()) {
                EXPECT_EQ(sql(p, "PRAGMA user_version"), "2");
                EXPECT_EQ(s->readValue(kMachine, ips, "1"), "192.0.2.1");
                EXPECT_EQ(s->readTypedValue(kMachine, kNorvik, "nopings")->type, KeyStore::REG_SZ);
                EXPECT_EQ(s->subKeyAt(kMachine, kNorvik, 0), "IPs");
                continue;
            }
            EXPECT_FALSE(s->createKey(kMachine, {"x"}));
            EXPECT_FALSE(s->readValue(kMachine, {}, "x"));
            EXPECT_FALSE(s->writeValue(kMachine, {}, "x", "y"));
            EXPECT_FALSE(s->subKeyAt(kMachine, {}, 0));
            EXPECT_FALSE(s->deleteValue(kMachine, {}, "x"));
            BatchScope{*s};
            EXPECT_TRUE(s->fileFailed());
            s.reset();
            EXPECT_EQ(readFile(p), before);
        }
    }
}

TEST(KeyStoreDefaultPath, StoreVariableThenXdgConfigThenHome) {
    setenv("NORVIK_STORE", "/somewhere/else.db", 1);
    setenv("XDG_CONFIG_HOME", "/xdg", 1);
    EXPECT_EQ(SqliteKeyStore::openDefault()->path(), "/somewhere/else.db");
    unsetenv("NORVIK_STORE");
    EXPECT_EQ(SqliteKeyStore::defaultPath(), "/xdg/norvik/norvik.sqlite3");
    setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(SqliteKeyStore::defaultPath(), "/home/someone/.config/norvik/norvik.sqlite3");
}

}  // namespace
