#pragma once

#include <string>

namespace norvik::platform {

class KeyStoreSession;

// The key store's file: where it lies, its folders and modes, and how it is
// opened for writing or for reading only.
namespace keystore_file {

// $NORVIK_STORE when set, else norvik/norvik.sqlite3 in $XDG_CONFIG_HOME
// or ~/.config.
std::string defaultPath();

// Connects the session to its file, ready for the key tree. For writing,
// missing folders and the file are made, for their owner only, and a new
// file is laid out; a store this user may only read opens unchanging.
// readOnly: nothing is made and nothing can be written; a store of an older
// layout is brought up to date first and then stays writable (readOnly
// becomes false). False with the reason reported when the file cannot serve.
bool open(KeyStoreSession& session, bool& readOnly);

}  // namespace keystore_file
}  // namespace norvik::platform
