#pragma once

#include <array>
#include <cstdint>

namespace norvik::platform {

class KeyStoreSession;

// What a key store file holds: a table of keys forming a tree under the
// seven roots, a table of values, and the stamp (SQLite's application id and
// user version) that marks the file as a Norvik store of one layout.
namespace keystore_layout {

// The roots' ids are their handles, from kFirstRoot on in this order.
inline constexpr std::uint32_t kFirstRoot = 0x80000000u;
inline constexpr std::array<const char*, 7> kRootNames = {
    "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};

enum class Found {
    Store,       // a store of this layout
    NoStore,     // an empty database, to be laid out
    OlderStore,  // a store of an older layout, not brought up to date
    Refused,     // the reason is reported
};

// Reads the stamp before anything is written: a file that is refused keeps
// every byte, its journal mode too. With upgrade, a store of an older layout
// is brought up to date in one transaction.
Found inspect(KeyStoreSession& session, bool upgrade);

// Lays out a file that inspect found empty, unless another copy of the
// program has done it meanwhile.
bool create(KeyStoreSession& session);

}  // namespace keystore_layout
}  // namespace norvik::platform
