// norvik-cli reg: the registry access layer on the default store, one
// operation per run. Standard output carries exactly what the operation
// returns; the "Incorrect Format:" box and store failures go to standard
// error.
#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>

#include "cli/Commands.h"
#include "cli/TerminalText.h"
#include "platform/SqliteKeyStore.h"
#include "platform/StderrMessageBox.h"
#include "store/Registry.h"

namespace norvik::cli {

namespace {

const char kRegUsage[] =
    "usage: norvik-cli reg read KEYPATH NAME | write KEYPATH NAME TEXT |"
    " write --dword KEYPATH NAME NUMBER | create KEYPATH | delete ROOTNAME SUBPATH |"
    " enum ROOTNAME [SUBPATH]\n";

int usage(std::ostream& err) {
    err << kRegUsage;
    return 2;
}

// A REG_DWORD's number: decimal, 0 to 4294967295.
std::optional<std::uint32_t> parseNumber(const std::string& text) {
    std::uint32_t n = 0;
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, n);
    if (text.empty() || ec != std::errc() || p != end) return std::nullopt;
    return n;
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
// does not know; a script must learn that its change was lost or that its
// read looked nowhere.
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

int runReg(const Args& argsIn, std::ostream& out, std::ostream& err) {
    // write --dword KEYPATH NAME NUMBER writes a number instead of a text.
    Args args = argsIn;
    const bool dword = args.size() > 1 && args[0] == "write" && args[1] == "--dword";
    if (dword) args.erase(args.begin() + 1);
    if (args.empty() || !countFits(args[0], args.size())) return usage(err);
    const std::string& verb = args[0];
    std::optional<std::uint32_t> number;
    if (dword && !(number = parseNumber(args[3]))) {
        err << "norvik-cli reg: '" << args[3] << "' is not a number from 0 to 4294967295\n";
        return usage(err);
    }

    // The program reads no text longer than 254 characters: a write of one
    // would be acknowledged and then never read back.
    if (verb == "write" && !dword && !store::Registry::FitsRead(args[3])) {
        err << "norvik-cli reg: nothing written: a text of more than 254 characters cannot be "
               "read back\n";
        return 1;
    }

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
    platform::StderrMessageBox boxes(err);
    store::Registry registry(*keyStore, boxes);
    // A malformed path or unknown root to read from gives the empty result
    // and says why, whether or not there is a store.
    if (verb == "read" && unknownRoot(registry, args[1], err)) {
        out << '\n';
        return 1;
    }
    // A command that only reads makes no store where there is none.
    const bool onlyReads = verb == "read" || verb == "enum";
    if (!(onlyReads ? keyStore->openReadOnly() : keyStore->open())) {
        err << "norvik-cli reg: " << keyStore->lastError() << '\n';
        return 1;
    }
    if ((verb == "write" || verb == "create") && unknownRoot(registry, args[1], err)) return 1;

    bool nothingWritten = false;
    std::string readFailure;  // why a read gave "Error" or "Not Found"
    if (verb == "read") {
        // A number prints in decimal; text as the registry layer reads it.
        const auto [keyRoot, keyPath] = registry.SplitKeyPath(args[1]);
        const auto typed =
            keyStore->readTypedValue(keyRoot, store::Registry::SubPathKeys(keyPath), args[2]);
        std::string value;
        if (typed && typed->type == platform::KeyStore::REG_DWORD) {
            const auto n = platform::KeyStore::dwordNumber(typed->data);
            value = n ? std::to_string(*n) : std::string(store::kError);
        } else {
            value = registry.ReadKeyValue(args[1], args[2]);
        }
        out << Printable(value) << '\n';
        if (value == store::kError || value == store::kNotFound) {
            readFailure = keyStore->lastError();
            if (readFailure.empty() && typed && typed->type == platform::KeyStore::REG_DWORD)
                readFailure = "the number value is damaged";
            if (readFailure.empty() && typed && !store::Registry::FitsRead(typed->data))
                readFailure = "the value is longer than 254 characters";
            if (readFailure.empty()) readFailure = "the value holds the text \"" + value + "\"";
        }
    } else if (verb == "write" && dword) {
        const auto [keyRoot, keyPath] = registry.SplitKeyPath(args[1]);
        if (keyRoot != 0) {
            keyStore->writeTypedValue(
                keyRoot, store::Registry::SubPathKeys(keyPath), args[2],
                {platform::KeyStore::REG_DWORD, platform::KeyStore::dwordData(*number)});
            nothingWritten = !keyStore->lastError().empty();
        }
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
            out << Printable(name) << '\n';
        }
    }
    out.flush();

    if (keyStore->fileFailed()) {
        err << "norvik-cli reg: " << keyStore->lastError() << '\n';
        return 1;
    }
    // A malformed path was refused (the box above says so).
    if (boxes.shownCount() > 0) return 1;
    // A read that gave a sentinel: missing, too long, of a type this
    // program does not show, or a stored sentinel text.
    if (!readFailure.empty()) {
        err << "norvik-cli reg: " << readFailure << '\n';
        return 1;
    }
    // A write into a missing key does nothing; the person asked for a change.
    if (nothingWritten) {
        err << "norvik-cli reg: nothing written: " << keyStore->lastError() << '\n';
        return 1;
    }
    return 0;
}

}  // namespace norvik::cli
