// Value types in the SQLite key store, and store files of other layouts:
// the first one (text values only) is brought up to date in place, a newer
// one is refused and left alone.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <iterator>

#include "../support/TempStore.h"

namespace {

using norvik::platform::KeyStore;
using norvik::platform::SqliteKeyStore;
using namespace std::string_literals;

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

class KeyStoreTypes : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(tmp.valid()); }
    norvik::test::TempStore tmp;
    std::unique_ptr<SqliteKeyStore> store = tmp.open();
};

TEST_F(KeyStoreTypes, ValuesKeepTheirTypeAndOnlyTextReadsAsText) {
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

// The file as the first layout made it: no type column, user_version 1.
TEST_F(KeyStoreTypes, AStoreOfTheFirstLayoutIsUpgradedInPlaceAndKeepsEverything) {
    std::string layout =
        "PRAGMA journal_mode = WAL;"
        "CREATE TABLE keys (id INTEGER PRIMARY KEY, parent INTEGER REFERENCES keys(id),"
        " name BLOB NOT NULL, folded BLOB NOT NULL, UNIQUE (parent, folded));"
        "CREATE TABLE vals (key INTEGER NOT NULL REFERENCES keys(id), name BLOB NOT NULL,"
        " folded BLOB NOT NULL, data BLOB NOT NULL, PRIMARY KEY (key, folded)) WITHOUT ROWID;";
    const char* roots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",     "HKEY_LOCAL_MACHINE",
                           "HKEY_USERS",        "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG",
                           "HKEY_DYN_DATA"};
    for (std::size_t i = 0; i < std::size(roots); ++i) {
        layout += "INSERT INTO keys VALUES (" + std::to_string(0x80000000u + i) + ", NULL, CAST('" +
                  roots[i] + "' AS BLOB), CAST(lower('" + roots[i] + "') AS BLOB));";
    }
    layout +=
        "INSERT INTO keys VALUES (1, 2147483650, CAST('Software' AS BLOB), CAST('software' AS "
        "BLOB)),"
        " (2, 1, CAST('Tarnwell' AS BLOB), CAST('tarnwell' AS BLOB)),"
        " (3, 2, CAST('Norvik' AS BLOB), CAST('norvik' AS BLOB)),"
        " (4, 3, CAST('IPs' AS BLOB), CAST('ips' AS BLOB));"
        "INSERT INTO vals VALUES (4, CAST('1' AS BLOB), CAST('1' AS BLOB), CAST('192.0.2.1' AS "
        "BLOB)),"
        " (3, CAST('nopings' AS BLOB), CAST('nopings' AS BLOB), CAST('4' AS BLOB));"
        "PRAGMA application_id = 1313821270; PRAGMA user_version = 1;";
    store.reset();
    ASSERT_EQ(sql(tmp.path(), layout), "wal");

    store = tmp.open();
    ASSERT_TRUE(store->open()) << store->lastError();
    EXPECT_EQ(sql(tmp.path(), "PRAGMA user_version"), "2");
    EXPECT_EQ(store->readValue(kMachine, {"Software", "Tarnwell", "Norvik", "IPs"}, "1"),
              "192.0.2.1");
    EXPECT_EQ(store->readTypedValue(kMachine, kNorvik, "nopings")->type, KeyStore::REG_SZ);
    ASSERT_TRUE(store->writeTypedValue(kMachine, kNorvik, "n",
                                       {KeyStore::REG_DWORD, KeyStore::dwordData(16)}));
    EXPECT_EQ(tmp.open()->readTypedValue(kMachine, kNorvik, "n")->type, KeyStore::REG_DWORD);
    EXPECT_EQ(store->subKeyAt(kMachine, kNorvik, 0), "IPs");
}

TEST_F(KeyStoreTypes, AStoreOfANewerLayoutIsRefusedAndLeftByteForByte) {
    ASSERT_TRUE(store->createKey(kMachine, kNorvik));
    ASSERT_TRUE(store->writeValue(kMachine, kNorvik, "1", "kept"));
    store.reset();
    ASSERT_EQ(sql(tmp.path(), "PRAGMA user_version = 3; PRAGMA journal_mode = DELETE"), "delete");
    const std::string before = readFile(tmp.path());

    store = tmp.open();
    EXPECT_FALSE(store->open());
    EXPECT_EQ(store->lastError(),
              tmp.path() +
                  " was made by a newer version of Norvik (store layout 3; this version knows "
                  "layouts up to 2). It is left as it is: use the newer Norvik, or move the file "
                  "away.");
    EXPECT_TRUE(store->fileFailed());
    EXPECT_FALSE(store->readValue(kMachine, kNorvik, "1"));
    EXPECT_FALSE(store->writeValue(kMachine, kNorvik, "1", "lost"));
    EXPECT_FALSE(store->createKey(kMachine, {"x"}));
    store.reset();
    EXPECT_EQ(readFile(tmp.path()), before);
    EXPECT_EQ(sql(tmp.path(), "SELECT data FROM vals"), "kept");
}

}  // namespace
