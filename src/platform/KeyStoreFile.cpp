#include "platform/KeyStoreFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/KeyStoreLayout.h"
#include "platform/KeyStoreSession.h"

namespace norvik::platform::keystore_file {

namespace {

namespace fs = std::filesystem;
using keystore_layout::Found;

std::string systemError(int err) { return std::generic_category().message(err); }

// Made one by one from the top, each for its owner only whatever the umask;
// the mode is set on the folder just made, not on a path.
bool makeFolders(KeyStoreSession& session, const fs::path& dir) {
    fs::path made;
    for (const auto& part : dir) {
        made /= part;
        if (::mkdir(made.c_str(), 0700) != 0) {
            struct stat st {};
            if (const int err = errno;
                err != EEXIST && !(::stat(made.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
                session.failFile("cannot make the folder " + made.string() +
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

// The file is made here rather than by SQLite so that only its owner can
// read it; SQLite gives its journal files the same mode.
bool makeFile(KeyStoreSession& session) {
    const int fd = ::open(session.path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::fchmod(fd, 0600);
        ::close(fd);
    } else if (const int err = errno; err != EEXIST) {
        session.failFile("cannot create the store file " + session.path() + ": " +
                         systemError(err));
        return false;
    }
    return true;
}

// The file is about to get its first store, whoever made it (an empty file,
// or one behind a symbolic link): only its owner may read it. The mode is
// set on the file opened, after checking what it is, never on a path that
// may lead elsewhere by then. The descriptor is an O_PATH one: closing any
// other descriptor of the file would drop the locks that SQLite holds on it
// in this process. A file system without modes keeps the store all the same.
void restrictFileMode(const std::string& path) {
    const int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 07777) != 0600)
        ::chmod(("/proc/self/fd/" + std::to_string(fd)).c_str(), 0600);
    ::close(fd);
}

// A store ready for writing: brought up to date, or laid out when new. The
// journal mode is kept in the file; switching a new file's journal needs it
// to itself, and SQLite answers "busy" at once while another copy of the
// program does the same.
bool prepareForWriting(KeyStoreSession& session) {
    const Found found = keystore_layout::inspect(session, true);
    if (found != Found::Store && found != Found::NoStore) return false;
    // Before the journal is switched: its files take the store's mode.
    if (found == Found::NoStore) restrictFileMode(session.path());
    return session.execWhenFree("PRAGMA journal_mode = WAL") &&
           session.exec("PRAGMA synchronous = NORMAL") &&
           (found == Found::Store || keystore_layout::create(session));
}

Found prepareForReading(KeyStoreSession& session) {
    const Found found = keystore_layout::inspect(session, false);
    if (found == Found::NoStore) session.failFile(session.path() + " holds no store");
    return found;
}

// A store that this user may read but not write, in a folder where the
// journal's shared-memory file cannot be made either, opens only as an
// unchanging file. That is safe while no journal with unsaved changes lies
// beside it. On failure the earlier reason stands.
bool openUnchanging(KeyStoreSession& session) {
    std::error_code walError;
    const auto walSize = fs::file_size(session.path() + "-wal", walError);
    if (!walError && walSize > 0) return false;
    const std::string error = session.lastError();
    const QByteArray uri = QByteArray::fromStdString(session.path()).toPercentEncoding("/");
    if (session.connect("file:" + uri.toStdString() + "?immutable=1",
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_URI) &&
        prepareForReading(session) == Found::Store)
        return true;
    session.close();
    session.failFile(error);
    return false;
}

}  // namespace

std::string defaultPath() {
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

bool open(KeyStoreSession& session, bool& readOnly) {
    const std::string& path = session.path();
    session.clearCode();
    if (path.empty()) {
        session.failFile("no store file was named");
        return false;
    }
    if (readOnly) {
        std::error_code missing;
        if (!fs::exists(path, missing)) {
            session.failFile("there is no store at " + path);
            return false;
        }
        // Opened for writing where the file allows it, but kept from every
        // change: then the journal files go away again when it closes.
        Found found = Found::Refused;
        if (session.connect(path, SQLITE_OPEN_READWRITE) && session.exec("PRAGMA query_only = ON"))
            found = prepareForReading(session);
        if (found == Found::Store) return true;
        session.close();
        if (found != Found::OlderStore) return openUnchanging(session);
        readOnly = false;
    }
    if (!makeFolders(session, fs::path(path).parent_path()) || !makeFile(session)) return false;
    if (session.connect(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) &&
        prepareForWriting(session))
        return true;
    session.close();
    return (session.lastCode() & 0xff) == SQLITE_READONLY && openUnchanging(session);
}

}  // namespace norvik::platform::keystore_file
