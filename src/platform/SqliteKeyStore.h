#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/KeyStore.h"

struct sqlite3;
struct sqlite3_stmt;

namespace norvik::platform {

// The key store kept in one SQLite file. The seven roots (handles
// 0x80000000 to 0x80000006) always exist. Names are compared by their
// Unicode case-folded form; subkeys enumerate in the order of that form.
// A key name may not be empty nor hold a backslash.
//
// The file (and its folder) is made on first use, readable by its owner
// only. Each operation is its own transaction and is committed before it
// returns; several copies of the program may use the file at once, a writer
// waits up to busyTimeoutMs for another one to finish. A damaged, unreadable
// or read-only file makes operations fail and lastError() tells why.
class SqliteKeyStore : public KeyStore {
  public:
    static constexpr int kBusyTimeoutMs = 5000;

    explicit SqliteKeyStore(std::string path, int busyTimeoutMs = kBusyTimeoutMs);
    ~SqliteKeyStore() override;
    SqliteKeyStore(const SqliteKeyStore&) = delete;
    SqliteKeyStore& operator=(const SqliteKeyStore&) = delete;

    // $NORVIK_STORE when set, else norvik/norvik.sqlite3 in
    // $XDG_CONFIG_HOME or ~/.config.
    static std::string defaultPath();
    static std::unique_ptr<SqliteKeyStore> openDefault();

    const std::string& path() const { return path_; }

    // Opens the file now (operations otherwise open it when first needed)
    // and checks that it holds a store. False with lastError() when not.
    bool open();
    // Opens an existing store for reading only: no folder or file is made
    // and every write fails. False with lastError() when there is no store
    // file or it holds no store; the later operations fail the same way.
    bool openReadOnly();

    // True when the last failure came from the file itself (damaged,
    // unreadable, read-only, locked) rather than from a missing key or
    // value or a bad name.
    bool fileFailed() const { return fileFailed_; }

    bool isRoot(std::uint32_t root) const override;
    bool keyExists(std::uint32_t root, const Path& path) override;
    bool createKey(std::uint32_t root, const Path& path) override;
    std::optional<std::string> readValue(std::uint32_t root, const Path& path,
                                         const std::string& name) override;
    bool writeValue(std::uint32_t root, const Path& path, const std::string& name,
                    const std::string& text) override;
    std::optional<TypedValue> readTypedValue(std::uint32_t root, const Path& path,
                                             const std::string& name) override;
    bool writeTypedValue(std::uint32_t root, const Path& path, const std::string& name,
                         const TypedValue& value) override;
    std::optional<std::string> subKeyAt(std::uint32_t root, const Path& path,
                                        std::int64_t index) override;
    bool deleteKey(std::uint32_t root, const Path& path) override;
    bool deleteValue(std::uint32_t root, const Path& path, const std::string& name) override;

    std::string lastError() const override { return lastError_; }

    void beginBatch() override;
    void endBatch() override;

    // The folded form names are compared by.
    static std::string foldName(const std::string& name);

  private:
    class Txn;
    class Query;

    bool ensureOpen();
    bool openFile();
    // The file as an unchanging one, read only; false with the earlier
    // failure kept.
    bool openUnchanging();
    bool connect(const std::string& name, int flags);
    bool prepareSchema(bool readOnly);
    // Brings an older store's layout up to date; refuses a newer one.
    bool upgradeLayout(bool readOnly);
    bool setWalJournal();
    bool makeFolders(const std::filesystem::path& dir);
    // False (and the reason) for a database of another program.
    bool acceptsFile();
    void restrictFileMode();
    // True when the key is its own ancestor (reported as damage) or the
    // file failed.
    bool keyBelowItself(std::int64_t id);
    void close();
    sqlite3_stmt* statement(const char* sql);
    bool exec(const char* sql);

    // Key id of the path below root, nullopt when a key is missing (reported
    // as such) or the file failed.
    std::optional<std::int64_t> findKey(std::uint32_t root, const Path& path);
    bool checkPath(std::uint32_t root, const Path& path);
    // The names of the key's subkeys in order, read once and kept until the
    // store changes: a walk by rising index reads the key once. Null when the
    // key is missing or the file failed.
    const std::vector<std::string>* subKeyNames(std::uint32_t root, const Path& path);

    void succeed();
    void failFile(int rc);
    void failFile(const std::string& what);
    void failLookup(const std::string& what);
    std::string describe(std::uint32_t root, const Path& path) const;

    std::string path_;
    int busyTimeoutMs_;
    sqlite3* db_ = nullptr;
    std::map<const char*, sqlite3_stmt*> statements_;
    bool readOnly_ = false;
    bool olderLayout_ = false;  // the file's store needs an upgrade
    int batchDepth_ = 0;
    bool batchOpen_ = false;
    std::string lastError_;
    bool fileFailed_ = false;
    int lastCode_ = 0;  // SQLite's code of the last failure of the file
    struct SubKeyList {
        bool valid = false;
        std::uint32_t root = 0;
        Path path;
        std::int64_t version = 0;  // PRAGMA data_version when read
        std::vector<std::string> names;
    };
    SubKeyList subKeys_;
};

}  // namespace norvik::platform
