#include "platform/KeyStoreSession.h"

#include <sqlite3.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

namespace norvik::platform {

namespace {
std::string systemError(int err) { return err ? std::strerror(err) : "unknown cause"; }
}  // namespace

KeyStoreSession::KeyStoreSession(std::string path, int busyTimeoutMs)
    : path_(std::move(path)), busyTimeoutMs_(busyTimeoutMs) {}

KeyStoreSession::~KeyStoreSession() {
    if (db_ && batchOpen_ && !sqlite3_get_autocommit(db_))
        sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    close();
}

bool KeyStoreSession::connect(const std::string& name, int flags) {
    sqlite3* db = nullptr;
    // A file name that begins with "file:" is still a file name, whether or
    // not this SQLite takes such names as URIs.
    const std::string plain =
        !(flags & SQLITE_OPEN_URI) && name.rfind("file:", 0) == 0 ? "./" + name : name;
    const int rc = sqlite3_open_v2(plain.c_str(), &db, flags, nullptr);
    db_ = db;
    if (rc != SQLITE_OK) {
        failFile(rc);
        return false;
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, busyTimeoutMs_);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_FKEY, 1, nullptr);
    return true;
}

void KeyStoreSession::close() {
    for (auto& [sql, st] : statements_) sqlite3_finalize(st);
    statements_.clear();
    if (db_) sqlite3_close(db_);
    db_ = nullptr;
    batchOpen_ = false;
}

sqlite3_stmt* KeyStoreSession::statement(const char* sql) {
    if (auto it = statements_.find(sql); it != statements_.end()) return it->second;
    sqlite3_stmt* st = nullptr;
    const int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
    if (rc != SQLITE_OK) {
        failFile(rc);
        sqlite3_finalize(st);
        return nullptr;
    }
    statements_.emplace(sql, st);
    return st;
}

bool KeyStoreSession::exec(const char* sql) {
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) failFile(rc);
    return rc == SQLITE_OK;
}

bool KeyStoreSession::execWhenFree(const char* sql) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(busyTimeoutMs_);
    for (;;) {
        const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) return true;
        if ((rc & 0xff) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline) {
            failFile(rc);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::int64_t KeyStoreSession::lastInsertId() const { return sqlite3_last_insert_rowid(db_); }
std::int64_t KeyStoreSession::changes() const { return sqlite3_changes64(db_); }
std::int64_t KeyStoreSession::totalChanges() const { return sqlite3_total_changes64(db_); }

void KeyStoreSession::beginBatch() {
    if (batchDepth_++ > 0) return;
    if (db_) batchOpen_ = exec("BEGIN IMMEDIATE");
}

void KeyStoreSession::endBatch() {
    if (batchDepth_ == 0 || --batchDepth_ > 0 || !batchOpen_) return;
    batchOpen_ = false;
    if (sqlite3_get_autocommit(db_)) return;
    if (!exec("COMMIT")) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void KeyStoreSession::succeed() {
    lastError_.clear();
    fileFailed_ = false;
}

void KeyStoreSession::failLookup(const std::string& what) {
    lastError_ = what;
    fileFailed_ = false;
}

void KeyStoreSession::failFile(const std::string& what) {
    lastError_ = what;
    fileFailed_ = true;
}

void KeyStoreSession::failFile(int rc) {
    lastCode_ = rc;
    const std::string detail = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    const int err = db_ ? sqlite3_system_errno(db_) : 0;
    switch (rc & 0xff) {
        case SQLITE_NOTADB:
            return failFile(path_ +
                            " is not a Norvik store: the file is not a database or is damaged");
        case SQLITE_CORRUPT:
            return failFile(path_ + " is damaged (" + detail + ")");
        case SQLITE_READONLY:
            return failFile(path_ + " is read-only: nothing can be written to it (" + detail + ")");
        case SQLITE_CANTOPEN:
            return failFile("cannot open the store file " + path_ + ": " + systemError(err));
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return failFile("no permission to use the store file " + path_);
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return failFile(path_ + " is kept busy by another program (gave up after " +
                            std::to_string(busyTimeoutMs_) + " ms)");
        case SQLITE_FULL:
            return failFile("the disk holding " + path_ + " is full");
        case SQLITE_IOERR:
            return failFile("cannot read or write " + path_ + ": " + systemError(err));
        case SQLITE_NOMEM:
            return failFile("out of memory while using " + path_);
        default:
            return failFile(path_ + ": " + detail);
    }
}

KeyStoreSession::Query::Query(KeyStoreSession& session, const char* sql)
    : session_(session), st_(session.statement(sql)) {}

KeyStoreSession::Query::~Query() {
    if (st_) {
        sqlite3_reset(st_);
        sqlite3_clear_bindings(st_);
    }
}

KeyStoreSession::Query& KeyStoreSession::Query::bind(int i, std::int64_t v) {
    if (st_) sqlite3_bind_int64(st_, i, v);
    return *this;
}

KeyStoreSession::Query& KeyStoreSession::Query::bind(int i, const std::string& bytes) {
    // data() is never null, so an empty text binds as an empty BLOB.
    if (st_) sqlite3_bind_blob64(st_, i, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
    return *this;
}

KeyStoreSession::Query::Step KeyStoreSession::Query::step() {
    if (!st_) return Step::Failed;
    const int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW) return Step::Row;
    if (rc == SQLITE_DONE) return Step::Done;
    session_.failFile(rc);
    return Step::Failed;
}

std::int64_t KeyStoreSession::Query::integer(int col) const {
    return sqlite3_column_int64(st_, col);
}

std::string KeyStoreSession::Query::bytes(int col) const {
    const void* p = sqlite3_column_blob(st_, col);
    const int n = sqlite3_column_bytes(st_, col);
    return p ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(n))
             : std::string();
}

KeyStoreSession::Txn::Txn(KeyStoreSession& session, bool write) : session_(session), write_(write) {
    // A failed statement may have ended the batch's transaction.
    if (session_.batchOpen_ && sqlite3_get_autocommit(session_.db_)) session_.batchOpen_ = false;
    nested_ = session_.batchOpen_;
    if (nested_)
        ok_ = !write_ || session_.exec("SAVEPOINT op");
    else
        ok_ = session_.exec(write_ ? "BEGIN IMMEDIATE" : "BEGIN");
}

KeyStoreSession::Txn::~Txn() {
    if (!ok_ || done_) return;
    if (!nested_)
        sqlite3_exec(session_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
    else if (write_)
        sqlite3_exec(session_.db_, "ROLLBACK TO op; RELEASE op", nullptr, nullptr, nullptr);
}

bool KeyStoreSession::Txn::commit() {
    if (!ok_) return false;
    done_ = nested_ ? !write_ || session_.exec("RELEASE op") : session_.exec("COMMIT");
    return done_;
}

}  // namespace norvik::platform
