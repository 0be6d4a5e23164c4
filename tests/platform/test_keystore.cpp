// The SQLite key store on a real file in a temporary folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

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

Names subKeys(KeyStore& store, const KeyStore::Path& path) {
    Names names;
    while (auto name = store.subKeyAt(kMachine, path, static_cast<std::int64_t>(names.size())))
        names.push_back(*name);
    return names;
}

// A forked child running body; finish() gives what body returned, or how the
// child ended otherwise ("signal 9").
class Child {
  public:
    explicit Child(const std::function<std::string()>& body) {
        int fds[2];
        if (pipe(fds) != 0) return;
        if ((pid_ = fork()) == 0) {
            const std::string out = body();
            _exit(write(fds[1], out.data(), out.size()) < 0 ? 3 : 0);
        }
        close(fds[1]);
        fd_ = fds[0];
    }
    std::string finish() {
        std::string out;
        char buf[4096];
        for (ssize_t n; (n = read(fd_, buf, sizeof buf)) > 0;) out.append(buf, std::size_t(n));
        close(fd_);
        int status = 0;
        waitpid(pid_, &status, 0);
        if (WIFSIGNALED(status)) return out + "signal " + std::to_string(WTERMSIG(status));
        return WEXITSTATUS(status) ? out + "exit " + std::to_string(WEXITSTATUS(status)) : out;
    }

  private:
    pid_t pid_ = -1;
    int fd_ = -1;
};

// Gives up root in a child, so that file modes hold for it as for anyone.
void becomeNobody() {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(4);
}

class KeyStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(tmp.valid()); }
    norvik::test::TempStore tmp;
    std::unique_ptr<SqliteKeyStore> store = tmp.open();
};

TEST_F(KeyStoreTest, NamesIgnoreCaseForAllOfUnicode) {
    ASSERT_TRUE(store->createKey(kMachine, {"Software", "ÄRGER", "ΟΔΟΣ"}));
    EXPECT_TRUE(store->keyExists(kMachine, {"SOFTWARE", "ärger", "οδος"}));  // final sigma too
    ASSERT_TRUE(store->writeValue(kMachine, {"software", "Ärger"}, "STRAẞE", "1"));
    ASSERT_TRUE(store->writeValue(kMachine, {"Software", "ärger"}, "straße", "2"));
    EXPECT_EQ(store->readValue(kMachine, {"SOFTWARE", "ÄRGER"}, "Straße"), "2");
    // One character folds to one: "ss" stays another name than "ß".
    EXPECT_EQ(store->readValue(kMachine, {"Software", "ärger"}, "strasse"), std::nullopt);
    EXPECT_EQ(subKeys(*store, {"Software"}), Names{"ÄRGER"});
    ASSERT_TRUE(store->deleteValue(kMachine, {"Software", "ärger"}, "STRAßE"));
    EXPECT_EQ(store->readValue(kMachine, {"Software", "ärger"}, "straße"), std::nullopt);
}

TEST_F(KeyStoreTest, NamesThatAreNotUtf8DoNotMeetInOneReplacementCharacter) {
    ASSERT_TRUE(store->createKey(kMachine, {"K\xfe"}));
    ASSERT_TRUE(store->createKey(kMachine, {"K\xff"}));
    EXPECT_EQ(subKeys(*store, {}).size(), 2u);
    EXPECT_TRUE(store->keyExists(kMachine, {"k\xff"}));
}

TEST_F(KeyStoreTest, KeysKeepTheirSpellingEnumerateByFoldedNameAndRefuseBadNames) {
    for (const char* name : {"b", "Ä", "A", "c", "B"})
        ASSERT_TRUE(store->createKey(kMachine, {name}));
    EXPECT_EQ(subKeys(*store, {}), (Names{"A", "b", "c", "Ä"}));
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

TEST_F(KeyStoreTest, AMissingKeyGetsNothingWritten) {
    EXPECT_FALSE(store->writeValue(kMachine, {"Software", "Missing"}, "1", "x"));
    EXPECT_NE(store->lastError().find("Software"), std::string::npos);
    EXPECT_FALSE(store->fileFailed());
    EXPECT_EQ(subKeys(*store, {}), Names{});
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

TEST_F(KeyStoreTest, FileAndFolderAreMadeOnFirstUseForTheOwnerOnly) {
    const std::string path = tmp.dir() + "/a/b/store.sqlite3";
    SqliteKeyStore nested(path);
    ASSERT_TRUE(nested.createKey(kMachine, {"x"})) << nested.lastError();
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((path + "-wal").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u);
}

TEST_F(KeyStoreTest, WritesOfAKilledProcessAreKept) {
    const std::string child = Child([&] {
                                  auto s = tmp.open();
                                  s->createKey(kMachine, kNorvik);
                                  s->writeValue(kMachine, kNorvik, "single", "1");
                                  BatchScope batch(*s);  // ended, never committed
                                  s->writeValue(kMachine, kNorvik, "batched", "2");
                                  kill(getpid(), SIGKILL);
                                  return s->lastError();
                              }).finish();
    EXPECT_EQ(child, "signal 9");
    EXPECT_EQ(store->readValue(kMachine, kNorvik, "single"), "1");
    EXPECT_EQ(store->readValue(kMachine, kNorvik, "batched"), std::nullopt);
}

TEST_F(KeyStoreTest, AFileThatIsNoStoreFailsEveryOperationSaysWhyAndIsLeftAlone) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += char(i * 7919 % 251);
    std::ofstream(tmp.path(), std::ios::binary) << garbage;
    EXPECT_FALSE(store->open());
    EXPECT_EQ(store->lastError(), tmp.path() +
                                      " is not a Norvik store: the file is not a database or is "
                                      "damaged");
    EXPECT_FALSE(store->createKey(kMachine, {"x"}));
    EXPECT_FALSE(store->readValue(kMachine, {}, "x"));
    EXPECT_FALSE(store->writeValue(kMachine, {}, "x", "y"));
    EXPECT_FALSE(store->subKeyAt(kMachine, {}, 0));
    EXPECT_FALSE(store->deleteValue(kMachine, {}, "x"));
    BatchScope{*store};
    EXPECT_TRUE(store->fileFailed());
    EXPECT_EQ(readFile(tmp.path()), garbage);

    // Another program's database is not taken over either.
    const std::string other = tmp.dir() + "/other.db";
    sqlite3* db = nullptr;
    sqlite3_open(other.c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE t(x)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const std::string otherBytes = readFile(other);
    SqliteKeyStore foreign(other);
    EXPECT_FALSE(foreign.createKey(kMachine, {"x"}));
    EXPECT_EQ(foreign.lastError(), other + " is a database of another program, not a Norvik store");
    EXPECT_EQ(readFile(other), otherBytes);  // its journal mode too
}

TEST_F(KeyStoreTest, AKeyMadeItsOwnAncestorIsReportedAsDamageAndNothingIsDeleted) {
    const KeyStore::Path session = {"Software", "Tarnwell", "Norvik", "SessionIPs"};
    ASSERT_TRUE(store->createKey(kMachine, session));
    ASSERT_TRUE(store->createKey(kMachine, {"Other", "Below"}));
    store.reset();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(tmp.path().c_str(), &db), SQLITE_OK);
    const int rc = sqlite3_exec(db,
                                "UPDATE keys SET parent = (SELECT id FROM keys WHERE "
                                "CAST(name AS TEXT) = 'SessionIPs') WHERE id = 2147483650",
                                nullptr, nullptr, nullptr);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK);
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

TEST_F(KeyStoreTest, WithUmask000AStoreIsPrivateWhereverItsFileCameFrom) {
    const std::string dir = tmp.dir();
    const auto emptyFile = [](const std::string& path) {
        std::ofstream{path};
        chmod(path.c_str(), 0644);
    };
    const struct {
        const char* name;
        std::string path, file;  // file: what the path leads to
        std::function<void()> prepare;
        Names folders;  // made by the store
    } cases[] = {
        {"new file in new folders",
         dir + "/new/a/s.db",
         dir + "/new/a/s.db",
         [] {},
         {dir + "/new", dir + "/new/a"}},
        {"existing empty file", dir + "/empty.db", dir + "/empty.db",
         [&] { emptyFile(dir + "/empty.db"); }, {}},
        {"link to an empty file", dir + "/link.db", dir + "/target.db",
         [&] {
             emptyFile(dir + "/target.db");
             symlink((dir + "/target.db").c_str(), (dir + "/link.db").c_str());
         },
         {}},
    };
    const mode_t saved = umask(0);
    for (const auto& c : cases) {
        c.prepare();
        SqliteKeyStore s(c.path);
        EXPECT_TRUE(s.createKey(kMachine, {"x"})) << c.name << ": " << s.lastError();
        struct stat st {};
        for (const std::string& file : {c.file, c.file + "-wal"}) {
            EXPECT_EQ(lstat(file.c_str(), &st), 0) << c.name << ": " << file;
            EXPECT_EQ(st.st_mode & 07777, 0600u) << c.name << ": " << file;
        }
        for (const std::string& folder : c.folders) {
            EXPECT_EQ(lstat(folder.c_str(), &st), 0) << c.name << ": " << folder;
            EXPECT_EQ(st.st_mode & 07777, 0700u) << c.name << ": " << folder;
        }
    }
    umask(saved);
}

TEST_F(KeyStoreTest, APathBeginningWithFileColonIsTheNameOfAFile) {
    const auto saved = std::filesystem::current_path();
    std::filesystem::current_path(tmp.dir());
    const mode_t savedMask = umask(022);
    for (const std::string name : {"file:u.db", "file:m.db?mode=memory"}) {
        SqliteKeyStore s(name);
        EXPECT_TRUE(s.createKey(kMachine, {"x"})) << name << ": " << s.lastError();
        struct stat st {};
        EXPECT_EQ(stat(name.c_str(), &st), 0) << name;
        EXPECT_GT(st.st_size, 0) << name;
        EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
    }
    EXPECT_FALSE(std::filesystem::exists("u.db"));
    EXPECT_EQ(SqliteKeyStore("file:u.db").subKeyAt(kMachine, {}, 0), "x");
    umask(savedMask);
    std::filesystem::current_path(saved);
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
    EXPECT_EQ(Child([&] {
                  becomeNobody();
                  auto s = tmp.open();
                  std::string out = s->readValue(kMachine, kNorvik, "1").value_or("none");
                  out += s->writeValue(kMachine, kNorvik, "1", "new") ? " written" : " refused";
                  return out + (s->fileFailed() ? " / " : " ? ") + s->lastError();
              }).finish(),
              "kept refused / " + tmp.path() +
                  " is read-only: nothing can be written to it (attempt to write a readonly "
                  "database)");
    chmod(tmp.dir().c_str(), 0755);
    chmod(tmp.path().c_str(), 0000);
    EXPECT_EQ(Child([&] {
                  becomeNobody();
                  auto s = tmp.open();
                  const bool found = s->keyExists(kMachine, {});
                  return (found ? "read: " : "failed: ") + s->lastError();
              }).finish(),
              "failed: cannot open the store file " + tmp.path() + ": Permission denied");
    chmod(tmp.path().c_str(), 0600);
    EXPECT_EQ(tmp.open()->readValue(kMachine, kNorvik, "1"), "kept");
}

TEST_F(KeyStoreTest, AWriterWaitsForAnotherConnectionsBatchOrGivesUpAndSaysSo) {
    ASSERT_TRUE(store->createKey(kMachine, {"K"}));
    auto impatient = tmp.open(100);
    store->beginBatch();
    store->beginBatch();
    ASSERT_TRUE(store->writeValue(kMachine, {"K"}, "held", "1"));
    EXPECT_EQ(store->readValue(kMachine, {"K"}, "held"), "1");
    store->endBatch();  // the inner end commits nothing yet
    EXPECT_FALSE(impatient->writeValue(kMachine, {"K"}, "other", "2"));
    EXPECT_TRUE(impatient->fileFailed());
    EXPECT_EQ(impatient->lastError(),
              tmp.path() + " is kept busy by another program (gave up after 100 ms)");
    EXPECT_EQ(impatient->readValue(kMachine, {"K"}, "held"), std::nullopt);
    store->endBatch();
    EXPECT_EQ(impatient->readValue(kMachine, {"K"}, "held"), "1");
    EXPECT_TRUE(impatient->writeValue(kMachine, {"K"}, "other", "2"));
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
    Child a(worker("a")), b(worker("b"));
    close(gate[0]);
    close(gate[1]);  // both children read end-of-file and start together
    EXPECT_EQ(a.finish(), "");
    EXPECT_EQ(b.finish(), "");
    EXPECT_EQ(subKeys(*store, {"Software"}).size(), 5u);
    for (int i = 0; i < 150; ++i) {
        const KeyStore::Path key = {"Software", "K" + std::to_string(i % 5)};
        for (const std::string name : {"a", "b", "ab", "bb"})
            EXPECT_EQ(store->readValue(kMachine, key, name + std::to_string(i)), name.substr(0, 1));
    }
}

TEST_F(KeyStoreTest, AFailedOperationInABatchKeepsTheBatchsOtherWrites) {
    ASSERT_TRUE(store->createKey(kMachine, {"K"}));
    {
        BatchScope batch(*store);
        ASSERT_TRUE(store->writeValue(kMachine, {"K"}, "1", "a"));
        EXPECT_FALSE(store->writeValue(kMachine, {"Missing"}, "1", "b"));
        EXPECT_FALSE(store->deleteKey(kMachine, {"Missing"}));
        ASSERT_TRUE(store->writeValue(kMachine, {"K"}, "2", "c"));
        store->beginBatch();  // left open: kept when the store closes
        ASSERT_TRUE(store->writeValue(kMachine, {"K"}, "3", "d"));
    }
    store = tmp.open();
    EXPECT_EQ(store->readValue(kMachine, {"K"}, "1"), "a");
    EXPECT_EQ(store->readValue(kMachine, {"K"}, "2"), "c");
    EXPECT_EQ(store->readValue(kMachine, {"K"}, "3"), "d");
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
