#include "platform/SqliteKeyStore.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <cstdio>
#include <utility>

#include "platform/KeyStoreFile.h"
#include "platform/KeyStoreLayout.h"

namespace norvik::platform {

namespace {

using Query = KeyStoreSession::Query;
using Step = Query::Step;
using Txn = KeyStoreSession::Txn;
using keystore_layout::kFirstRoot;
using keystore_layout::kRootNames;

constexpr const char* kFindChild = "SELECT id FROM keys WHERE parent = ? AND folded = ?";
constexpr const char* kInsertChild = "INSERT INTO keys (parent, name, folded) VALUES (?, ?, ?)";
constexpr const char* kChildren = "SELECT name FROM keys WHERE parent = ? ORDER BY folded";
constexpr const char* kDataVersion = "PRAGMA data_version";
constexpr const char* kReadValue = "SELECT data, type FROM vals WHERE key = ? AND folded = ?";
constexpr const char* kWriteValue =
    "INSERT INTO vals (key, name, folded, data, type) VALUES (?, ?, ?, ?, ?) "
    "ON CONFLICT (key, folded) DO UPDATE SET data = excluded.data, type = excluded.type";
constexpr const char* kDeleteValue = "DELETE FROM vals WHERE key = ? AND folded = ?";
// A recursive walk rather than a cascade, which SQLite nests only so deep.
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

}  // namespace

SqliteKeyStore::SqliteKeyStore(std::string path, int busyTimeoutMs)
    : session_(std::move(path), busyTimeoutMs) {}

SqliteKeyStore::~SqliteKeyStore() = default;

std::string SqliteKeyStore::defaultPath() { return keystore_file::defaultPath(); }

std::unique_ptr<SqliteKeyStore> SqliteKeyStore::openDefault() {
    return std::make_unique<SqliteKeyStore>(defaultPath());
}

std::string SqliteKeyStore::foldName(const std::string& name) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    const QByteArrayView bytes(name.data(), static_cast<qsizetype>(name.size()));
    const QString text = decoder.decode(bytes);
    // Bytes that are not UTF-8 fold as ASCII. Such a form is never valid
    // UTF-8, so it cannot meet the form of a valid name.
    const QByteArray folded =
        decoder.hasError() ? bytes.toByteArray().toLower() : text.toCaseFolded().toUtf8();
    return std::string(folded.constData(), static_cast<std::size_t>(folded.size()));
}

bool SqliteKeyStore::open() {
    return session_.guarded(false, [&] {
        if (!ensureOpen()) return false;
        session_.succeed();
        return true;
    });
}

bool SqliteKeyStore::openReadOnly() {
    if (!session_.isOpen()) readOnly_ = true;
    return open();
}

bool SqliteKeyStore::ensureOpen() {
    if (session_.isOpen()) return true;
    subKeys_.valid = false;
    return keystore_file::open(session_, readOnly_);
}

template <class F>
bool SqliteKeyStore::run(std::uint32_t root, const Path& path, bool write,
                         const std::string& refusal, F&& body) {
    return session_.guarded(false, [&] {
        if (!checkPath(root, path)) return false;
        if (!refusal.empty()) {
            session_.failLookup(refusal);
            return false;
        }
        if (!ensureOpen()) return false;
        Txn txn(session_, write);
        if (!txn.ok() || !body() || !txn.commit()) return false;
        session_.succeed();
        return true;
    });
}

bool SqliteKeyStore::isRoot(std::uint32_t root) {
    return root >= kFirstRoot && root < kFirstRoot + kRootNames.size();
}

bool SqliteKeyStore::checkPath(std::uint32_t root, const Path& path) {
    if (!isRoot(root)) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", root);
        session_.failLookup(std::string("there is no root with handle ") + hex);
        return false;
    }
    for (const auto& name : path) {
        if (name.empty() || name.find('\\') != std::string::npos) {
            session_.failLookup("a key name may not be empty nor hold a backslash: " +
                                describe(root, path));
            return false;
        }
    }
    return true;
}

std::optional<std::int64_t> SqliteKeyStore::findKey(std::uint32_t root, const Path& path) {
    std::int64_t id = root;
    for (std::size_t i = 0; i < path.size(); ++i) {
        Query q(session_, kFindChild);
        q.bind(1, id).bind(2, foldName(path[i]));
        const Step step = q.step();
        if (step == Step::Done)
            session_.failLookup("there is no key " +
                                describe(root, Path(path.begin(), path.begin() + i + 1)));
        if (step != Step::Row) return std::nullopt;
        id = q.integer(0);
    }
    return id;
}

bool SqliteKeyStore::keyBelowItself(std::int64_t id) {
    Query q(session_, kKeyBelowItself);
    q.bind(1, id);
    if (q.step() != Step::Row) return true;
    if (q.integer(0) == 0) return false;
    session_.failFile(session_.path() + " is damaged (a key lies below itself)");
    return true;
}

bool SqliteKeyStore::keyExists(std::uint32_t root, const Path& path) {
    return run(root, path, false, {}, [&] { return findKey(root, path).has_value(); });
}

bool SqliteKeyStore::createKey(std::uint32_t root, const Path& path) {
    return run(root, path, true, {}, [&] {
        std::int64_t id = root;
        for (const auto& name : path) {
            const std::string folded = foldName(name);
            Query find(session_, kFindChild);
            find.bind(1, id).bind(2, folded);
            const Step step = find.step();
            if (step == Step::Row) {
                id = find.integer(0);
                continue;
            }
            if (step == Step::Failed) return false;
            Query insert(session_, kInsertChild);
            insert.bind(1, id).bind(2, name).bind(3, folded);
            if (insert.step() != Step::Done) return false;
            id = session_.lastInsertId();
        }
        return true;
    });
}

std::optional<std::string> SqliteKeyStore::readValue(std::uint32_t root, const Path& path,
                                                     const std::string& name) {
    auto value = SqliteKeyStore::readTypedValue(root, path, name);
    if (!value) return std::nullopt;
    if (value->type != REG_SZ) {
        session_.failLookup("the value \"" + name + "\" in " + describe(root, path) +
                            " is not text (type " + std::to_string(value->type) + ")");
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
    std::optional<TypedValue> value;
    const bool read = run(root, path, false, {}, [&] {
        const auto key = findKey(root, path);
        if (!key) return false;
        Query q(session_, kReadValue);
        q.bind(1, *key).bind(2, foldName(name));
        const Step step = q.step();
        if (step == Step::Done)
            session_.failLookup("there is no value \"" + name + "\" in " + describe(root, path));
        if (step != Step::Row) return false;
        value = TypedValue{static_cast<std::uint32_t>(q.integer(1)), q.bytes(0)};
        return true;
    });
    return read ? value : std::nullopt;
}

bool SqliteKeyStore::writeTypedValue(std::uint32_t root, const Path& path, const std::string& name,
                                     const TypedValue& value) {
    const bool badNumber = value.type == REG_DWORD && value.data.size() != 4;
    return run(root, path, true, badNumber ? "a REG_DWORD value holds exactly four bytes" : "",
               [&] {
                   const auto key = findKey(root, path);
                   if (!key) return false;
                   Query q(session_, kWriteValue);
                   q.bind(1, *key).bind(2, name).bind(3, foldName(name)).bind(4, value.data);
                   q.bind(5, static_cast<std::int64_t>(value.type));
                   return q.step() == Step::Done;
               });
}

std::optional<std::string> SqliteKeyStore::subKeyAt(std::uint32_t root, const Path& path,
                                                    std::int64_t index) {
    using Result = std::optional<std::string>;
    return session_.guarded(Result(), [&]() -> Result {
        if (!checkPath(root, path)) return std::nullopt;
        if (index < 0) {
            session_.failLookup("a subkey index may not be negative");
            return std::nullopt;
        }
        if (!ensureOpen()) return std::nullopt;
        const auto* names = subKeyNames(root, path);
        if (!names) return std::nullopt;
        if (index >= static_cast<std::int64_t>(names->size())) {
            session_.failLookup(describe(root, path) + " has no subkey at index " +
                                std::to_string(index));
            return std::nullopt;
        }
        session_.succeed();
        return Result((*names)[static_cast<std::size_t>(index)]);
    });
}

const std::vector<std::string>* SqliteKeyStore::subKeyNames(std::uint32_t root, const Path& path) {
    std::int64_t version = 0;
    {
        Query q(session_, kDataVersion);
        if (q.step() != Step::Row) return nullptr;
        version = q.integer(0);
    }
    const std::int64_t changes = session_.totalChanges();
    if (subKeys_.valid && subKeys_.root == root && subKeys_.version == version &&
        subKeys_.changes == changes && subKeys_.path == path)
        return &subKeys_.names;
    subKeys_.valid = false;
    Txn txn(session_, false);
    if (!txn.ok()) return nullptr;
    auto key = findKey(root, path);
    if (!key) return nullptr;
    std::vector<std::string> names;
    {
        Query q(session_, kChildren);
        q.bind(1, *key);
        Step step = Step::Row;
        while ((step = q.step()) == Step::Row) names.push_back(q.bytes(0));
        if (step != Step::Done) return nullptr;
    }
    if (!txn.commit()) return nullptr;
    subKeys_ = {true, root, path, version, changes, std::move(names)};
    return &subKeys_.names;
}

bool SqliteKeyStore::deleteKey(std::uint32_t root, const Path& path) {
    return run(root, path, true, path.empty() ? "a root key cannot be deleted" : "", [&] {
        const auto key = findKey(root, path);
        if (!key || keyBelowItself(*key)) return false;
        for (const char* sql : {kDeleteSubtreeValues, kDeleteSubtreeKeys}) {
            Query q(session_, sql);
            q.bind(1, *key);
            if (q.step() != Step::Done) return false;
        }
        return true;
    });
}

bool SqliteKeyStore::deleteValue(std::uint32_t root, const Path& path, const std::string& name) {
    return run(root, path, true, {}, [&] {
        const auto key = findKey(root, path);
        if (!key) return false;
        Query q(session_, kDeleteValue);
        q.bind(1, *key).bind(2, foldName(name));
        if (q.step() != Step::Done) return false;
        if (session_.changes() > 0) return true;
        session_.failLookup("there is no value \"" + name + "\" in " + describe(root, path));
        return false;
    });
}

void SqliteKeyStore::beginBatch() {
    session_.guarded(0, [&] {
        // When the batch cannot start, its operations commit one by one.
        ensureOpen();
        session_.beginBatch();
        return 0;
    });
}

void SqliteKeyStore::endBatch() {
    session_.guarded(0, [&] {
        session_.endBatch();
        return 0;
    });
}

std::string SqliteKeyStore::describe(std::uint32_t root, const Path& path) const {
    std::string text = isRoot(root) ? kRootNames[root - kFirstRoot] : "?";
    for (const auto& name : path) text += "\\" + name;
    return text;
}

}  // namespace norvik::platform
