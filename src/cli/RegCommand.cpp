// norvik-cli reg: the registry access layer on the default store, one
// operation per run. Standard output carries exactly what the operation
// returns; the "Incorrect Format:" box and store failures go to standard
// error.
#include <cstdint>
#include <limits>
#include <ostream>

#include "cli/Commands.h"
#include "platform/SqliteKeyStore.h"
#include "platform/StderrMessageBox.h"
#include "store/Registry.h"

namespace norvik::cli {

namespace {

const char kRegUsage[] =
    "usage: norvik-cli reg read KEYPATH NAME | write KEYPATH NAME TEXT | create KEYPATH |"
    " delete ROOTNAME SUBPATH | enum ROOTNAME [SUBPATH]\n";

int usage(std::ostream& err) {
    err << kRegUsage;
    return 2;
}

bool countFits(const std::string& verb, std::size_t words) {
    if (verb == "read") return words == 3;
    if (verb == "write") return words == 4;
    if (verb == "create") return words == 2;
    if (verb == "delete") return words == 3;
    if (verb == "enum") return words == 2 || words == 3;
    return false;
}

// The layer silently does nothing with a well-formed path under a root it
// does not know; a script asking for a change must learn that it was lost.
// A malformed path is shown (and refused) by the layer itself.
bool unknownRoot(store::Registry& registry, const std::string& fullPath, std::ostream& err) {
    const auto [root, subPath] = registry.SplitKeyPath(fullPath);
    if (root != 0) return false;
    const std::string name = fullPath.substr(0, fullPath.find('\\'));
    if (name.rfind("HKEY_", 0) == 0 && fullPath.back() != '\\')
        err << "norvik-cli reg: unknown root name '" << name << "'\n";
    return true;
}

}  // namespace

int runReg(const Args& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || !countFits(args[0], args.size())) return usage(err);
    const std::string& verb = args[0];

    std::uint32_t root = 0;
    if (verb == "delete" || verb == "enum") {
        root = store::Registry::RootKeyFromName(args[1]);
        if (root == 0) {
            err << "norvik-cli reg: unknown root name '" << args[1] << "'\n";
            // A change that cannot be made has failed; a listing is misused.
            return verb == "delete" ? 1 : usage(err);
        }
    }

    auto keyStore = platform::SqliteKeyStore::openDefault();
    if (!keyStore->open()) {
        err << "norvik-cli reg: " << keyStore->lastError() << '\n';
        return 1;
    }
    platform::StderrMessageBox boxes(err);
    store::Registry registry(*keyStore, boxes);
    if ((verb == "write" || verb == "create") && unknownRoot(registry, args[1], err)) return 1;

    bool nothingWritten = false;
    if (verb == "read") {
        out << registry.ReadKeyValue(args[1], args[2]) << '\n';
    } else if (verb == "write") {
        registry.WriteKeyValue(args[1], args[2], args[3]);
        nothingWritten = !keyStore->lastError().empty();
    } else if (verb == "create") {
        registry.CreateKeyPath(args[1]);
    } else if (verb == "delete") {
        registry.DeleteSubKey(root, args[2]);
    } else {
        const std::string subPath = args.size() > 2 ? args[2] : std::string();
        for (std::int32_t i = 0; i < std::numeric_limits<std::int32_t>::max(); ++i) {
            const std::string name = registry.SubKeyNameAt(root, subPath, i);
            if (name == store::kNotFound) break;
            out << name << '\n';
        }
    }
    out.flush();

    if (keyStore->fileFailed()) {
        err << "norvik-cli reg: " << keyStore->lastError() << '\n';
        return 1;
    }
    // A malformed path was refused (the box above says so).
    if (boxes.shownCount() > 0) return 1;
    // A write into a missing key does nothing; the person asked for a change.
    if (nothingWritten) {
        err << "norvik-cli reg: nothing written: " << keyStore->lastError() << '\n';
        return 1;
    }
    return 0;
}

}  // namespace norvik::cli
