#include "platform/KeyStoreLayout.h"

#include <iterator>
#include <optional>
#include <string>

#include "platform/KeyStoreSession.h"

namespace norvik::platform::keystore_layout {

namespace {

using Query = KeyStoreSession::Query;
using Txn = KeyStoreSession::Txn;

// Marks a file as ours ("NORV") and says which layout it has.
constexpr std::int64_t kApplicationId = 0x4E4F5256;
constexpr std::int64_t kLayoutVersion = 2;

// Keys form a tree through parent; the roots have none. Names keep the
// spelling they were created with; lookups and the order of subkeys go by
// the folded form. Everything is a BLOB so that any bytes, NUL included,
// come back as they went in. The references carry no cascade: a subtree is
// deleted in one statement, values first.
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

// Root names are ASCII, which SQLite's lower() folds as the tree does.
constexpr const char* kInsertRoot =
    "INSERT INTO keys (id, parent, name, folded) VALUES (?1, NULL, ?2, CAST(lower(?2) AS BLOB))";

// What brings a store of layout n up to layout n + 1 (index n - 1). Layout
// 1 knew only text values: they all become REG_SZ (1).
constexpr const char* kLayoutUpgrades[] = {
    "ALTER TABLE vals ADD COLUMN type INTEGER NOT NULL DEFAULT 1",
};
static_assert(std::size(kLayoutUpgrades) == kLayoutVersion - 1);

// The stamp and whether anything has been made in the file, in one read.
constexpr const char* kReadStamp =
    "SELECT application_id, user_version, (SELECT count(*) FROM sqlite_schema) "
    "FROM pragma_application_id, pragma_user_version";

struct Stamp {
    std::int64_t applicationId = 0;
    std::int64_t layout = 0;
    std::int64_t objects = 0;
};

std::optional<Stamp> readStamp(KeyStoreSession& session) {
    Query q(session, kReadStamp);
    if (q.step() != Query::Step::Row) return std::nullopt;
    return Stamp{q.integer(0), q.integer(1), q.integer(2)};
}

bool writeStamp(KeyStoreSession& session) {
    return session.exec("PRAGMA application_id = " + std::to_string(kApplicationId) +
                        "; PRAGMA user_version = " + std::to_string(kLayoutVersion));
}

void refuseVersion(KeyStoreSession& session, std::int64_t layout) {
    session.failFile(session.path() + " holds a store of another version of Norvik (layout " +
                     std::to_string(layout) + ")");
}

// What the stamp says; the reason is reported when the file is refused.
Found judge(KeyStoreSession& session, const std::optional<Stamp>& stamp) {
    if (!stamp) return Found::Refused;
    if (stamp->applicationId != kApplicationId) {
        if (stamp->applicationId == 0 && stamp->objects == 0) return Found::NoStore;
        session.failFile(session.path() + " is a database of another program, not a Norvik store");
        return Found::Refused;
    }
    if (stamp->layout == kLayoutVersion) return Found::Store;
    if (stamp->layout > kLayoutVersion) {
        session.failFile(session.path() + " was made by a newer version of Norvik (store layout " +
                         std::to_string(stamp->layout) + "; this version knows layouts up to " +
                         std::to_string(kLayoutVersion) +
                         "). It is left as it is: use the newer Norvik, or move the file away.");
        return Found::Refused;
    }
    if (stamp->layout >= 1) return Found::OlderStore;
    refuseVersion(session, stamp->layout);
    return Found::Refused;
}

// All steps in one transaction: an interrupted upgrade leaves the file as
// it was. Another copy of the program may have done it meanwhile.
bool upgrade(KeyStoreSession& session) {
    Txn txn(session, true);
    if (!txn.ok()) return false;
    const auto stamp = readStamp(session);
    const Found found = judge(session, stamp);
    if (found == Found::Store) return txn.commit();
    if (found != Found::OlderStore) {
        session.failFile(session.path() +
                         " was changed by another program while it was being brought up to date");
        return false;
    }
    for (auto layout = stamp->layout; layout < kLayoutVersion; ++layout) {
        if (!session.exec(kLayoutUpgrades[layout - 1])) return false;
    }
    return writeStamp(session) && txn.commit();
}

}  // namespace

Found inspect(KeyStoreSession& session, bool upgradeOlder) {
    const auto stamp = readStamp(session);
    const Found found = judge(session, stamp);
    if (found != Found::OlderStore) return found;
    if (upgradeOlder) return upgrade(session) ? Found::Store : Found::Refused;
    session.failFile(session.path() + " holds a store of an older layout (" +
                     std::to_string(stamp->layout) +
                     ") that has to be brought up to date, and it is read-only");
    return Found::OlderStore;
}

bool create(KeyStoreSession& session) {
    Txn txn(session, true);
    if (!txn.ok()) return false;
    const auto stamp = readStamp(session);
    switch (judge(session, stamp)) {
        case Found::Store:
            return txn.commit();
        case Found::NoStore:
            break;
        case Found::OlderStore:
            refuseVersion(session, stamp->layout);
            return false;
        case Found::Refused:
            return false;
    }
    if (!session.exec(kCreateLayout)) return false;
    for (std::size_t i = 0; i < kRootNames.size(); ++i) {
        Query q(session, kInsertRoot);
        q.bind(1, static_cast<std::int64_t>(kFirstRoot + i)).bind(2, kRootNames[i]);
        if (q.step() != Query::Step::Done) return false;
    }
    return writeStamp(session) && txn.commit();
}

}  // namespace norvik::platform::keystore_layout
