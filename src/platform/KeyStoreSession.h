#pragma once

#include <cstdint>
#include <exception>
#include <map>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace norvik::platform {

// One SQLite connection to the key store's file: its prepared statements,
// the transaction of each operation, the caller's batches, and what went
// wrong last, in words that name the file.
class KeyStoreSession {
  public:
    KeyStoreSession(std::string path, int busyTimeoutMs);
    // A batch left open still holds the caller's writes: they are kept.
    ~KeyStoreSession();
    KeyStoreSession(const KeyStoreSession&) = delete;
    KeyStoreSession& operator=(const KeyStoreSession&) = delete;

    const std::string& path() const { return path_; }
    int busyTimeoutMs() const { return busyTimeoutMs_; }

    // Opens the connection with SQLite's open flags; a name is a URI only
    // with SQLITE_OPEN_URI among them. False (reported) when it fails.
    bool connect(const std::string& name, int flags);
    void close();
    bool isOpen() const { return db_ != nullptr; }

    bool exec(const char* sql);
    bool exec(const std::string& sql) { return exec(sql.c_str()); }
    // The same where SQLite answers "busy" at once instead of waiting:
    // tried again until the busy time-out has passed.
    bool execWhenFree(const char* sql);
    std::int64_t lastInsertId() const;
    // Rows changed by the last statement, and by this connection so far.
    std::int64_t changes() const;
    std::int64_t totalChanges() const;

    const std::string& lastError() const { return lastError_; }
    // True when the last failure came from the file itself.
    bool fileFailed() const { return fileFailed_; }
    // SQLite's code of the last failure of the file since clearCode().
    int lastCode() const { return lastCode_; }
    void clearCode() { lastCode_ = 0; }
    void succeed();
    void failLookup(const std::string& what);
    void failFile(const std::string& what);
    void failFile(int rc);

    // Runs an operation so that nothing is thrown out of it: an exception
    // (only an allocation can throw here) becomes a failure of the store.
    template <class R, class F>
    R guarded(R onFailure, F&& body) {
        try {
            return body();
        } catch (const std::exception& e) {
            failFile(std::string("the store failed: ") + e.what());
        } catch (...) {
            failFile(std::string("the store failed"));
        }
        return onFailure;
    }

    // Operations between begin and end share one transaction; nested
    // batches join the outer one. A batch that cannot start leaves its
    // operations to commit one by one.
    void beginBatch();
    void endBatch();

    class Query;
    class Txn;

  private:
    sqlite3_stmt* statement(const char* sql);

    std::string path_;
    int busyTimeoutMs_;
    sqlite3* db_ = nullptr;
    std::map<const char*, sqlite3_stmt*> statements_;
    int batchDepth_ = 0;
    bool batchOpen_ = false;
    std::string lastError_;
    bool fileFailed_ = false;
    int lastCode_ = 0;
};

// One prepared statement in use (kept by the session under its text's
// address); reset when the scope ends.
class KeyStoreSession::Query {
  public:
    Query(KeyStoreSession& session, const char* sql);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& bind(int i, std::int64_t v);
    // Bound as a BLOB, so that any bytes come back as they went in.
    Query& bind(int i, const std::string& bytes);

    // Failed is a failure of the file, already reported.
    enum class Step { Row, Done, Failed };
    Step step();

    std::int64_t integer(int col) const;
    std::string bytes(int col) const;

  private:
    KeyStoreSession& session_;
    sqlite3_stmt* st_;
};

// The transaction of one operation: its own BEGIN ... COMMIT, or a savepoint
// inside an open batch. Rolled back unless committed.
class KeyStoreSession::Txn {
  public:
    Txn(KeyStoreSession& session, bool write);
    ~Txn();
    Txn(const Txn&) = delete;
    Txn& operator=(const Txn&) = delete;

    bool ok() const { return ok_; }
    bool commit();

  private:
    KeyStoreSession& session_;
    bool write_;
    bool nested_ = false;
    bool ok_ = false;
    bool done_ = false;
};

}  // namespace norvik::platform
