#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/KeyStore.h"
#include "platform/KeyStoreSession.h"

namespace norvik::platform {

// The key store kept in one SQLite file: the operations on the key tree,
// over the file (KeyStoreFile), its layout (KeyStoreLayout) and the
// connection (KeyStoreSession). The seven roots (handles 0x80000000 to
// 0x80000006) always exist. Names are compared by their Unicode case-folded
// form; subkeys enumerate in the order of that form. A key name may not be
// empty nor hold a backslash.
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

    const std::string& path() const { return session_.path(); }

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
    bool fileFailed() const { return session_.fileFailed(); }

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

    std::string lastError() const override { return session_.lastError(); }

    void beginBatch() override;
    void endBatch() override;

    // The folded form names are compared by.
    static std::string foldName(const std::string& name);

  private:
    // True when the root handle names one of the store's roots.
    static bool isRoot(std::uint32_t root);
    bool ensureOpen();
    // One operation: the path checked, a refusal (when not empty) reported,
    // the file opened, body run in the operation's transaction and the
    // outcome reported. body returns false on a failure it has reported.
    template <class F>
    bool run(std::uint32_t root, const Path& path, bool write, const std::string& refusal,
             F&& body);
    bool checkPath(std::uint32_t root, const Path& path);
    // Key id of the path below root, nullopt when a key is missing (reported
    // as such) or the file failed.
    std::optional<std::int64_t> findKey(std::uint32_t root, const Path& path);
    // True when the key is its own ancestor (reported as damage) or the
    // file failed.
    bool keyBelowItself(std::int64_t id);
    // The names of the key's subkeys in order, read once and kept until the
    // store changes: a walk by rising index reads the key once. Null when the
    // key is missing or the file failed.
    const std::vector<std::string>* subKeyNames(std::uint32_t root, const Path& path);
    std::string describe(std::uint32_t root, const Path& path) const;

    KeyStoreSession session_;
    bool readOnly_ = false;
    struct SubKeyList {
        bool valid = false;
        std::uint32_t root = 0;
        Path path;
        // Another connection's commits change the data version, this one's
        // writes the count of changes.
        std::int64_t version = 0;
        std::int64_t changes = 0;
        std::vector<std::string> names;
    };
    SubKeyList subKeys_;
};

}  // namespace norvik::platform
