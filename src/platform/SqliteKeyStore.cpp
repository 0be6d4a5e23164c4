#include "platform/SqliteKeyStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <thread>
#include <utility>

namespace norvik::platform {

namespace {

constexpr std::uint32_t kFirstRoot = 0x80000000u;
constexpr std::array<const char*, 7> kRootNames = {
    "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};

// Marks a file as ours ("NORV") and says which layout it has.
constexpr int kApplicationId = 0x4E4F5256;
constexpr int kLayoutVersion = 2;

// Keys form a tree through parent; the roots have none and their ids are
// their handles. Names keep the spelling they were created with; lookups and
// the order of subkeys go by the folded form. Everything is a BLOB so that
// any bytes, NUL included, come back as they went in. The references carry
// no cascade: a subtree is deleted in one statement, values first.
constexpr const char* kCreateLayout = R"sql(
CREATE TABLE keys (
    id INTEGER PRIMARY KEY,
    parent INTEGER REFERENCES keys(id),
    name BLOB NOT NULL,
    folded BLOB NOT NULL,
    UNIQUE (parent, folded)
);
CREATE TABLE vals (
    key INTEGER NOT NULL REFERENCES keys(id),
    name BLOB NOT NULL,
    folded BLOB NOT NULL,
    data BLOB NOT NULL,
    type INTEGER NOT NULL DEFAULT 1,
    PRIMARY KEY (key, folded)
) WITHOUT ROWID;
)sql";

constexpr const char* kInsertRoot =
    "INSERT INTO keys (id, parent, name, folded) VALUES (?, NULL, ?, ?)";
constexpr const char* kFindChild = "SELECT id FROM keys WHERE parent = ? AND folded = ?";
constexpr const char* kInsertChild = "INSERT INTO keys (parent, name, folded) VALUES (?, ?, ?)";
constexpr const char* kChildren = "SELECT name FROM keys WHERE parent = ? ORDER BY folded";
constexpr const char* kDataVersion = "PRAGMA data_version";
constexpr const char* kReadValue = "SELECT data, type FROM vals WHERE key = ? AND folded = ?";
constexpr const char* kWriteValue =
    "INSERT INTO vals (key, name, folded, data, type) VALUES (?, ?, ?, ?, ?) "
    "ON CONFLICT (key, folded) DO UPDATE SET data = excluded.data, type = excluded.type";
constexpr const char* kDeleteValue = "DELETE FROM vals WHERE key = ? AND folded = ?";
constexpr const char* kDeleteSubtreeValues =
    "WITH RECURSIVE sub(id) AS (SELECT ? UNION "
    "SELECT keys.id FROM keys JOIN sub ON keys.parent = sub.id) "
    "DELETE FROM vals WHERE key IN sub";
constexpr const char* kDeleteSubtreeKeys =
    "WITH RECURSIVE sub(id) AS (SELECT ? UNION "
    "SELECT keys.id FROM keys JOIN sub ON keys.parent = sub.id) "
    "DELETE FROM keys WHERE id IN sub";
// Whether a key lies below itself: only an edited file has such a cycle.
// UNION ends the walk on any file.
constexpr const char* kKeyBelowItself =
    "WITH RECURSIVE sub(id) AS (SELECT id FROM keys WHERE parent = ?1 UNION "
    "SELECT keys.id FROM keys JOIN sub ON keys.parent = sub.id) "
    "SELECT EXISTS (SELECT 1 FROM sub WHERE id = ?1)";

// What brings a store of layout n up to layout n + 1 (index n - 1). Layout
// 1 knew only text values: they all become REG_SZ (1).
constexpr const char* kLayoutUpgrades[] = {
    "ALTER TABLE vals ADD COLUMN type INTEGER NOT NULL DEFAULT 1",
};
static_assert(std::size(kLayoutUpgrades) == kLayoutVersion - 1);

std::string asciiLower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

std::string systemError(int err) { return err ? std::strerror(err) : "unknown cause"; }

// A file name as the path of a file: URI.
std::string uriEscape(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
            c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

// Runs a function of the public interface so that nothing is thrown out of
// it: an exception (only an allocation can throw here) becomes a failure.
template <class R, class F>
R guarded(std::string& error, bool& fileFailed, R onFailure, F&& body) {
    try {
        return body();
    } catch (const std::exception& e) {
        error = std::string("the store failed: ") + e.what();
        fileFailed = true;
    } catch (...) {
        error = "the store failed";
        fileFailed = true;
    }
    return onFailure;
}

}  // namespace

// One prepared statement in use; resets it when the scope ends.
class SqliteKeyStore::Query {
  public:
    Query(SqliteKeyStore& store, const char* sql) : store_(store), st_(store.statement(sql)) {}
    ~Query() {
        if (st_) {
            sqlite3_reset(st_);
            sqlite3_clear_bindings(st_);
        }
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    explicit operator bool() const { return st_ != nullptr; }

    Query& bind(int i, std::int64_t v) {
        if (st_) sqlite3_bind_int64(st_, i, v);
        return *this;
    }
    Query& bind(int i, const std::string& bytes) {
        // data() is never null, so an empty text binds as an empty BLOB.
        if (st_)
            sqlite3_bind_blob(st_, i, bytes.data(), static_cast<int>(bytes.size()),
                              SQLITE_TRANSIENT);
        return *this;
    }

    // SQLITE_ROW or SQLITE_DONE; anything else is a failure of the file,
    // already reported.
    int step() {
        if (!st_) return SQLITE_ERROR;
        int rc = sqlite3_step(st_);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) store_.failFile(rc);
        return rc;
    }

    std::int64_t integer(int col) const { return sqlite3_column_int64(st_, col); }
    std::string bytes(int col) const {
        const void* p = sqlite3_column_blob(st_, col);
        int n = sqlite3_column_bytes(st_, col);
        return p ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(n))
                 : std::string();
    }

  private:
    SqliteKeyStore& store_;
    sqlite3_stmt* st_;
};

// The transaction of one operation: its own BEGIN ... COMMIT, or a savepoint
// inside an open batch. Rolled back unless committed.
class SqliteKeyStore::Txn {
  public:
    Txn(SqliteKeyStore& store, bool write) : store_(store), write_(write) {
        if (write_) store_.subKeys_.valid = false;
        // A failed statement may have ended the batch's transaction.
        if (store_.batchOpen_ && sqlite3_get_autocommit(store_.db_)) store_.batchOpen_ = false;
        nested_ = store_.batchOpen_;
        if (nested_)
            ok_ = !write_ || store_.exec("SAVEPOINT op");
        else
            ok_ = store_.exec(write_ ? "BEGIN IMMEDIATE" : "BEGIN");
    }
    ~Txn() {
        if (!ok_ || done_) return;
        if (!nested_)
            sqlite3_exec(store_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
        else if (write_)
            sqlite3_exec(store_.db_, "ROLLBACK TO op; RELEASE op", nullptr, nullptr, nullptr);
    }
    Txn(const Txn&) = delete;
    Txn& operator=(const Txn&) = delete;

    bool ok() const { return ok_; }

    bool commit() {
        if (!ok_) return false;
        if (nested_) {
            done_ = !write_ || store_.exec("RELEASE op");
            return done_;
        }
        done_ = store_.exec("COMMIT");
        return done_;
    }

  private:
    SqliteKeyStore& store_;
    bool write_;
    bool nested_ = false;
    bool ok_ = false;
    bool done_ = false;
};

SqliteKeyStore::SqliteKeyStore(std::string path, int busyTimeoutMs)
    : path_(std::move(path)), busyTimeoutMs_(busyTimeoutMs) {}

SqliteKeyStore::~SqliteKeyStore() {
    // A batch left open still holds the caller's writes: keep them.
    if (db_ && batchOpen_ && !sqlite3_get_autocommit(db_))
        sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    close();
}

std::string SqliteKeyStore::defaultPath() {
    if (const char* s = std::getenv("NORVIK_STORE"); s && *s) return s;
    std::string base;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x == '/') {
        base = x;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = getpwuid(getuid());
            home = pw ? pw->pw_dir : ".";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/norvik/norvik.sqlite3";
}

std::unique_ptr<SqliteKeyStore> SqliteKeyStore::openDefault() {
    return std::make_unique<SqliteKeyStore>(defaultPath());
}

std::string SqliteKeyStore::foldName(const std::string& name) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(QByteArrayView(name.data(), static_cast<qsizetype>(name.size())));
    // Bytes that are not UTF-8 fold as ASCII. Such a form is never valid
    // UTF-8, so it cannot meet the form of a valid name.
    if (decoder.hasError()) return asciiLower(name);
    QByteArray folded = text.toCaseFolded().toUtf8();
    return std::string(folded.constData(), static_cast<std::size_t>(folded.size()));
}

bool SqliteKeyStore::open() {
    return guarded(lastError_, fileFailed_, false, [&] {
        if (!ensureOpen()) return false;
        succeed();
        return true;
    });
}

bool SqliteKeyStore::openReadOnly() {
    if (db_ == nullptr) readOnly_ = true;
    return open();
}

bool SqliteKeyStore::ensureOpen() { return db_ != nullptr || openFile(); }

bool SqliteKeyStore::openFile() {
    namespace fs = std::filesystem;
    lastCode_ = 0;
    if (path_.empty()) {
        failFile("no store file was named");
        return false;
    }
    if (readOnly_) {
        std::error_code missing;
        if (!fs::exists(path_, missing)) {
            failFile("there is no store at " + path_);
            return false;
        }
        // Opened for writing where the file allows it, but kept from every
        // change: then the journal files go away again when it closes.
        if (connect(path_, SQLITE_OPEN_READWRITE) && exec("PRAGMA query_only = ON") &&
            prepareSchema(true))
            return true;
        close();
        // A store of an older layout is brought up to date first.
        if (!olderLayout_) return openUnchanging();
        readOnly_ = false;
    }
    const fs::path file(path_);
    const fs::path dir = file.parent_path();
    if (!makeFolders(dir)) return false;
    // The file is made here rather than by SQLite so that only its owner
    // can read it; SQLite gives its journal files the same mode.
    int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::fchmod(fd, 0600);
        ::close(fd);
    } else if (const int err = errno; err != EEXIST) {
        failFile("cannot create the store file " + path_ + ": " + systemError(err));
        return false;
    }

    if (connect(path_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) && prepareSchema(false))
        return true;
    close();
    return (lastCode_ & 0xff) == SQLITE_READONLY && openUnchanging();
}

bool SqliteKeyStore::openUnchanging() {
    // A store that this user may read but not write, in a folder where the
    // journal's shared-memory file cannot be made either, opens only as an
    // unchanging file. That is safe while no journal with unsaved changes
    // lies beside it.
    std::error_code walError;
    const auto walSize = std::filesystem::file_size(path_ + "-wal", walError);
    if (!walError && walSize > 0) return false;
    const std::string error = lastError_;
    if (connect("file:" + uriEscape(path_) + "?immutable=1",
                SQLITE_OPEN_READONLY | SQLITE_OPEN_URI) &&
        prepareSchema(true))
        return true;
    close();
    failFile(error);
    return false;
}

bool SqliteKeyStore::connect(const std::string& name, int flags) {
    sqlite3* db = nullptr;
    // A file name that begins with "file:" is still a file name, whether or
    // not this SQLite takes such names as URIs.
    const std::string plain =
        !(flags & SQLITE_OPEN_URI) && name.rfind("file:", 0) == 0 ? "./" + name : name;
    int rc = sqlite3_open_v2(plain.c_str(), &db, flags, nullptr);
    db_ = db;
    if (rc != SQLITE_OK) {
        failFile(rc);
        return false;
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, busyTimeoutMs_);
    return true;
}

bool SqliteKeyStore::prepareSchema(bool readOnly) {
    if (!upgradeLayout(readOnly)) return false;
    // The journal mode is kept in the file; the others are the connection's.
    if (!exec("PRAGMA foreign_keys = ON")) return false;
    if (!readOnly && !acceptsFile()) return false;
    if (!readOnly && (!setWalJournal() || !exec("PRAGMA synchronous = NORMAL"))) return false;

    enum class Kind { Ours, Empty, Failed };
    auto inspect = [&]() -> Kind {
        std::int64_t appId = 0, version = 0, objects = 0;
        {
            Query q(*this, "PRAGMA application_id");
            if (q.step() != SQLITE_ROW) return Kind::Failed;
            appId = q.integer(0);
        }
        {
            Query q(*this, "PRAGMA user_version");
            if (q.step() != SQLITE_ROW) return Kind::Failed;
            version = q.integer(0);
        }
        {
            Query q(*this, "SELECT count(*) FROM sqlite_schema");
            if (q.step() != SQLITE_ROW) return Kind::Failed;
            objects = q.integer(0);
        }
        if (appId == kApplicationId) {
            if (version == kLayoutVersion) return Kind::Ours;
            failFile(path_ + " holds a store of another version of Norvik (layout " +
                     std::to_string(version) + ")");
            return Kind::Failed;
        }
        if (objects == 0 && appId == 0) return Kind::Empty;
        failFile(path_ + " is a database of another program, not a Norvik store");
        return Kind::Failed;
    };

    // One snapshot: another copy of the program may be laying out the file
    // right now.
    Kind kind = Kind::Failed;
    {
        Txn snapshot(*this, false);
        if (!snapshot.ok()) return false;
        kind = inspect();
        if (!snapshot.commit()) return false;
    }
    if (kind != Kind::Empty) return kind == Kind::Ours;
    if (readOnly) {
        failFile(path_ + (readOnly_ ? " holds no store" : " is read-only and holds no store yet"));
        return false;
    }

    // A new file: lay it out, unless another copy of the program got there
    // first while this one waited for the lock.
    Txn txn(*this, true);
    if (!txn.ok()) return false;
    kind = inspect();
    if (kind != Kind::Empty) return kind == Kind::Ours;
    if (!exec(kCreateLayout)) return false;
    for (std::size_t i = 0; i < kRootNames.size(); ++i) {
        Query q(*this, kInsertRoot);
        q.bind(1, static_cast<std::int64_t>(kFirstRoot + i))
            .bind(2, kRootNames[i])
            .bind(3, foldName(kRootNames[i]));
        if (q.step() != SQLITE_DONE) return false;
    }
    const std::string stamp = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                              "; PRAGMA user_version = " + std::to_string(kLayoutVersion);
    return exec(stamp.c_str()) && txn.commit();
}

bool SqliteKeyStore::upgradeLayout(bool readOnly) {
    // The layout of a Norvik store, 0 for any other file.
    auto layout = [&]() -> std::optional<std::int64_t> {
        std::int64_t appId = 0;
        {
            Query q(*this, "PRAGMA application_id");
            if (q.step() != SQLITE_ROW) return std::nullopt;
            appId = q.integer(0);
        }
        Query q(*this, "PRAGMA user_version");
        if (q.step() != SQLITE_ROW) return std::nullopt;
        return appId == kApplicationId ? q.integer(0) : 0;
    };
    auto version = layout();
    if (!version) return false;
    if (*version > kLayoutVersion) {
        // Nothing is written to it, not even the journal mode.
        failFile(path_ + " was made by a newer version of Norvik (store layout " +
                 std::to_string(*version) + "; this version knows layouts up to " +
                 std::to_string(kLayoutVersion) +
                 "). It is left as it is: use the newer Norvik, or move the file away.");
        return false;
    }
    if (*version == 0 || *version == kLayoutVersion) return true;
    if (readOnly) {
        olderLayout_ = true;
        failFile(path_ + " holds a store of an older layout (" + std::to_string(*version) +
                 ") that has to be brought up to date, and it is read-only");
        return false;
    }
    // All steps in one transaction: an interrupted upgrade leaves the file
    // as it was. Another copy of the program may have done it meanwhile.
    Txn txn(*this, true);
    if (!txn.ok() || !(version = layout())) return false;
    if (*version == kLayoutVersion) return txn.commit();
    if (*version < 1 || *version > kLayoutVersion) {
        failFile(path_ + " was changed by another program while it was being brought up to date");
        return false;
    }
    for (; *version < kLayoutVersion; ++*version) {
        if (!exec(kLayoutUpgrades[*version - 1])) return false;
    }
    const std::string stamp = "PRAGMA user_version = " + std::to_string(kLayoutVersion);
    return exec(stamp.c_str()) && txn.commit();
}

bool SqliteKeyStore::makeFolders(const std::filesystem::path& dir) {
    // Made one by one from the top, each for its owner only whatever the
    // umask; the mode is set on the folder just made, not on a path.
    std::filesystem::path made;
    for (const auto& part : dir) {
        made /= part;
        if (::mkdir(made.c_str(), 0700) != 0) {
            struct stat st {};
            if (const int err = errno;
                err != EEXIST && !(::stat(made.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
                failFile("cannot make the folder " + made.string() +
                         " for the store: " + systemError(err));
                return false;
            }
            continue;
        }
        const int fd = ::open(made.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            ::fchmod(fd, 0700);
            ::close(fd);
        }
    }
    return true;
}

bool SqliteKeyStore::acceptsFile() {
    // Looked at before anything is written: a file that is refused keeps
    // every byte, its journal mode too.
    std::int64_t appId = 0, objects = 0;
    {
        Txn snapshot(*this, false);
        if (!snapshot.ok()) return false;
        {
            Query q(*this, "PRAGMA application_id");
            if (q.step() != SQLITE_ROW) return false;
            appId = q.integer(0);
        }
        {
            Query q(*this, "SELECT count(*) FROM sqlite_schema");
            if (q.step() != SQLITE_ROW) return false;
            objects = q.integer(0);
        }
        if (!snapshot.commit()) return false;
    }
    if (appId == kApplicationId) return true;
    if (appId == 0 && objects == 0) {
        // Before the journal is switched: its files take the store's mode.
        restrictFileMode();
        return true;
    }
    failFile(path_ + " is a database of another program, not a Norvik store");
    return false;
}

void SqliteKeyStore::restrictFileMode() {
    // The file is about to get its first store, whoever made it (an empty
    // file, or one behind a symbolic link): only its owner may read it. The
    // mode is set on the file opened, after checking what it is, never on a
    // path that may lead elsewhere by then. The descriptor is an O_PATH one:
    // closing any other descriptor of the file would drop the locks that
    // SQLite holds on it in this process. A file system without modes keeps
    // the store all the same.
    const int fd = ::open(path_.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 07777) != 0600)
        ::chmod(("/proc/self/fd/" + std::to_string(fd)).c_str(), 0600);
    ::close(fd);
}

bool SqliteKeyStore::keyBelowItself(std::int64_t id) {
    Query q(*this, kKeyBelowItself);
    q.bind(1, id);
    if (q.step() != SQLITE_ROW) return true;
    if (q.integer(0) == 0) return false;
    failFile(path_ + " is damaged (a key lies below itself)");
    return true;
}

bool SqliteKeyStore::setWalJournal() {
    // Switching a new file's journal needs it to itself, and SQLite answers
    // "busy" at once instead of waiting when another copy of the program is
    // doing the same: wait here.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(busyTimeoutMs_);
    for (;;) {
        const int rc = sqlite3_exec(db_, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) return true;
        if ((rc & 0xff) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline) {
            failFile(rc);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void SqliteKeyStore::close() {
    for (auto& [sql, st] : statements_) sqlite3_finalize(st);
    statements_.clear();
    subKeys_.valid = false;
    if (db_) sqlite3_close(db_);
    db_ = nullptr;
    batchOpen_ = false;
}

sqlite3_stmt* SqliteKeyStore::statement(const char* sql) {
    if (auto it = statements_.find(sql); it != statements_.end()) return it->second;
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
    if (rc != SQLITE_OK) {
        failFile(rc);
        sqlite3_finalize(st);
        return nullptr;
    }
    statements_.emplace(sql, st);
    return st;
}

bool SqliteKeyStore::exec(const char* sql) {
    int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) failFile(rc);
    return rc == SQLITE_OK;
}

bool SqliteKeyStore::isRoot(std::uint32_t root) const {
    return root >= kFirstRoot && root < kFirstRoot + kRootNames.size();
}

bool SqliteKeyStore::checkPath(std::uint32_t root, const Path& path) {
    if (!isRoot(root)) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", root);
        failLookup(std::string("there is no root with handle ") + hex);
        return false;
    }
    for (const auto& name : path) {
        if (name.empty() || name.find('\\') != std::string::npos) {
            failLookup("a key name may not be empty nor hold a backslash: " + describe(root, path));
            return false;
        }
    }
    return true;
}

std::optional<std::int64_t> SqliteKeyStore::findKey(std::uint32_t root, const Path& path) {
    std::int64_t id = root;
    for (std::size_t i = 0; i < path.size(); ++i) {
        Query q(*this, kFindChild);
        q.bind(1, id).bind(2, foldName(path[i]));
        int rc = q.step();
        if (rc == SQLITE_DONE) {
            failLookup("there is no key " +
                       describe(root, Path(path.begin(), path.begin() + i + 1)));
            return std::nullopt;
        }
        if (rc != SQLITE_ROW) return std::nullopt;
        id = q.integer(0);
    }
    return id;
}

bool SqliteKeyStore::keyExists(std::uint32_t root, const Path& path) {
    return guarded(lastError_, fileFailed_, false, [&] {
        if (!checkPath(root, path) || !ensureOpen()) return false;
        Txn txn(*this, false);
        if (!txn.ok() || !findKey(root, path) || !txn.commit()) return false;
        succeed();
        return true;
    });
}

bool SqliteKeyStore::createKey(std::uint32_t root, const Path& path) {
    return guarded(lastError_, fileFailed_, false, [&] {
        if (!checkPath(root, path) || !ensureOpen()) return false;
        Txn txn(*this, true);
        if (!txn.ok()) return false;
        std::int64_t id = root;
        for (const auto& name : path) {
            const std::string folded = foldName(name);
            Query find(*this, kFindChild);
            find.bind(1, id).bind(2, folded);
            int rc = find.step();
            if (rc == SQLITE_ROW) {
                id = find.integer(0);
                continue;
            }
            if (rc != SQLITE_DONE) return false;
            Query insert(*this, kInsertChild);
            insert.bind(1, id).bind(2, name).bind(3, folded);
            if (insert.step() != SQLITE_DONE) return false;
            id = sqlite3_last_insert_rowid(db_);
        }
        if (!txn.commit()) return false;
        succeed();
        return true;
    });
}

std::optional<std::string> SqliteKeyStore::readValue(std::uint32_t root, const Path& path,
                                                     const std::string& name) {
    auto value = SqliteKeyStore::readTypedValue(root, path, name);
    if (!value) return std::nullopt;
    if (value->type != REG_SZ) {
        failLookup("the value \"" + name + "\" in " + describe(root, path) + " is not text (type " +
                   std::to_string(value->type) + ")");
        return std::nullopt;
    }
    return std::move(value->data);
}

bool SqliteKeyStore::writeValue(std::uint32_t root, const Path& path, const std::string& name,
                                const std::string& text) {
    return SqliteKeyStore::writeTypedValue(root, path, name, {REG_SZ, text});
}

std::optional<KeyStore::TypedValue> SqliteKeyStore::readTypedValue(std::uint32_t root,
                                                                   const Path& path,
                                                                   const std::string& name) {
    using Result = std::optional<TypedValue>;
    return guarded(lastError_, fileFailed_, Result(), [&]() -> Result {
        if (!checkPath(root, path) || !ensureOpen()) return std::nullopt;
        Txn txn(*this, false);
        if (!txn.ok()) return std::nullopt;
        auto key = findKey(root, path);
        if (!key) return std::nullopt;
        Result value;
        {
            Query q(*this, kReadValue);
            q.bind(1, *key).bind(2, foldName(name));
            int rc = q.step();
            if (rc == SQLITE_DONE)
                failLookup("there is no value \"" + name + "\" in " + describe(root, path));
            if (rc != SQLITE_ROW) return std::nullopt;
            value = TypedValue{static_cast<std::uint32_t>(q.integer(1)), q.bytes(0)};
        }
        if (!txn.commit()) return std::nullopt;
        succeed();
        return value;
    });
}

bool SqliteKeyStore::writeTypedValue(std::uint32_t root, const Path& path, const std::string& name,
                                     const TypedValue& value) {
    return guarded(lastError_, fileFailed_, false, [&] {
        if (!checkPath(root, path)) return false;
        if (value.type == REG_DWORD && value.data.size() != 4) {
            failLookup("a REG_DWORD value holds exactly four bytes");
            return false;
        }
        if (!ensureOpen()) return false;
        Txn txn(*this, true);
        if (!txn.ok()) return false;
        auto key = findKey(root, path);
        if (!key) return false;
        {
            Query q(*this, kWriteValue);
            q.bind(1, *key).bind(2, name).bind(3, foldName(name)).bind(4, value.data);
            q.bind(5, static_cast<std::int64_t>(value.type));
            if (q.step() != SQLITE_DONE) return false;
        }
        if (!txn.commit()) return false;
        succeed();
        return true;
    });
}

std::optional<std::string> SqliteKeyStore::subKeyAt(std::uint32_t root, const Path& path,
                                                    std::int64_t index) {
    using Result = std::optional<std::string>;
    return guarded(lastError_, fileFailed_, Result(), [&]() -> Result {
        if (!checkPath(root, path)) return std::nullopt;
        if (index < 0) {
            failLookup("a subkey index may not be negative");
            return std::nullopt;
        }
        if (!ensureOpen()) return std::nullopt;
        const auto* names = subKeyNames(root, path);
        if (!names) return std::nullopt;
        if (index >= static_cast<std::int64_t>(names->size())) {
            failLookup(describe(root, path) + " has no subkey at index " + std::to_string(index));
            return std::nullopt;
        }
        succeed();
        return Result((*names)[static_cast<std::size_t>(index)]);
    });
}

const std::vector<std::string>* SqliteKeyStore::subKeyNames(std::uint32_t root, const Path& path) {
    // Another connection's commit changes the data version; this one's
    // writes drop the list when they start.
    std::int64_t version = 0;
    {
        Query q(*this, kDataVersion);
        if (q.step() != SQLITE_ROW) return nullptr;
        version = q.integer(0);
    }
    if (subKeys_.valid && subKeys_.root == root && subKeys_.version == version &&
        subKeys_.path == path)
        return &subKeys_.names;
    subKeys_.valid = false;
    Txn txn(*this, false);
    if (!txn.ok()) return nullptr;
    auto key = findKey(root, path);
    if (!key) return nullptr;
    std::vector<std::string> names;
    {
        Query q(*this, kChildren);
        q.bind(1, *key);
        int rc = SQLITE_ROW;
        while ((rc = q.step()) == SQLITE_ROW) names.push_back(q.bytes(0));
        if (rc != SQLITE_DONE) return nullptr;
    }
    if (!txn.commit()) return nullptr;
    subKeys_ = {true, root, path, version, std::move(names)};
    return &subKeys_.names;
}

bool SqliteKeyStore::deleteKey(std::uint32_t root, const Path& path) {
    return guarded(lastError_, fileFailed_, false, [&] {
        if (!checkPath(root, path)) return false;
        if (path.empty()) {
            failLookup("a root key cannot be deleted");
            return false;
        }
        if (!ensureOpen()) return false;
        Txn txn(*this, true);
        if (!txn.ok()) return false;
        auto key = findKey(root, path);
        if (!key || keyBelowItself(*key)) return false;
        for (const char* sql : {kDeleteSubtreeValues, kDeleteSubtreeKeys}) {
            Query q(*this, sql);
            q.bind(1, *key);
            if (q.step() != SQLITE_DONE) return false;
        }
        if (!txn.commit()) return false;
        succeed();
        return true;
    });
}

bool SqliteKeyStore::deleteValue(std::uint32_t root, const Path& path, const std::string& name) {
    return guarded(lastError_, fileFailed_, false, [&] {
        if (!checkPath(root, path) || !ensureOpen()) return false;
        Txn txn(*this, true);
        if (!txn.ok()) return false;
        auto key = findKey(root, path);
        if (!key) return false;
        {
            Query q(*this, kDeleteValue);
            q.bind(1, *key).bind(2, foldName(name));
            if (q.step() != SQLITE_DONE) return false;
        }
        if (sqlite3_changes(db_) == 0) {
            failLookup("there is no value \"" + name + "\" in " + describe(root, path));
            return false;
        }
        if (!txn.commit()) return false;
        succeed();
        return true;
    });
}

void SqliteKeyStore::beginBatch() {
    guarded(lastError_, fileFailed_, 0, [&] {
        if (batchDepth_++ > 0) return 0;
        // When the batch cannot start, its operations commit one by one.
        if (ensureOpen()) batchOpen_ = exec("BEGIN IMMEDIATE");
        return 0;
    });
}

void SqliteKeyStore::endBatch() {
    guarded(lastError_, fileFailed_, 0, [&] {
        if (batchDepth_ == 0 || --batchDepth_ > 0) return 0;
        if (!batchOpen_) return 0;
        batchOpen_ = false;
        if (sqlite3_get_autocommit(db_)) return 0;
        if (!exec("COMMIT")) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return 0;
    });
}

void SqliteKeyStore::succeed() {
    lastError_.clear();
    fileFailed_ = false;
}

void SqliteKeyStore::failLookup(const std::string& what) {
    lastError_ = what;
    fileFailed_ = false;
}

void SqliteKeyStore::failFile(const std::string& what) {
    lastError_ = what;
    fileFailed_ = true;
}

void SqliteKeyStore::failFile(int rc) {
    lastCode_ = rc;
    const std::string detail = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    const int err = db_ ? sqlite3_system_errno(db_) : 0;
    switch (rc & 0xff) {
        case SQLITE_NOTADB:
            failFile(path_ + " is not a Norvik store: the file is not a database or is damaged");
            break;
        case SQLITE_CORRUPT:
            failFile(path_ + " is damaged (" + detail + ")");
            break;
        case SQLITE_READONLY:
            failFile(path_ + " is read-only: nothing can be written to it (" + detail + ")");
            break;
        case SQLITE_CANTOPEN:
            failFile("cannot open the store file " + path_ + ": " + systemError(err));
            break;
        case SQLITE_PERM:
        case SQLITE_AUTH:
            failFile("no permission to use the store file " + path_);
            break;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            failFile(path_ + " is kept busy by another program (gave up after " +
                     std::to_string(busyTimeoutMs_) + " ms)");
            break;
        case SQLITE_FULL:
            failFile("the disk holding " + path_ + " is full");
            break;
        case SQLITE_IOERR:
            failFile("cannot read or write " + path_ + ": " + systemError(err));
            break;
        case SQLITE_NOMEM:
            failFile("out of memory while using " + path_);
            break;
        default:
            failFile(path_ + ": " + detail);
            break;
    }
}

std::string SqliteKeyStore::describe(std::uint32_t root, const Path& path) const {
    std::string text = isRoot(root) ? kRootNames[root - kFirstRoot] : "?";
    for (const auto& name : path) text += "\\" + name;
    return text;
}

}  // namespace norvik::platform
