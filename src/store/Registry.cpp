#include "store/Registry.h"

#include <array>
#include <cstddef>

namespace norvik::store {

namespace {

struct RootName {
    const char* name;
    std::uint32_t handle;
};

constexpr std::array<RootName, 7> kRoots = {{
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", HKEY_USERS},
    {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    {"HKEY_DYN_DATA", HKEY_DYN_DATA},
}};

// The read buffer holds 255 characters, and string data is followed by its
// terminating NUL: longer text does not fit. Characters are what the user
// typed, so a two-byte letter of UTF-8 counts once.
constexpr std::size_t kMaxReadChars = 254;

std::size_t characterCount(const std::string& utf8) {
    std::size_t n = 0;
    for (const char c : utf8) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return n;
}

// A sub-path's key names; the empty sub-path is the root itself. Empty names
// (doubled, leading or trailing backslashes) are kept, and the store refuses
// them.
platform::KeyStore::Path splitSubPath(const std::string& subPath) {
    platform::KeyStore::Path path;
    if (subPath.empty()) return path;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = subPath.find('\\', start);
        if (end == std::string::npos) {
            path.push_back(subPath.substr(start));
            return path;
        }
        path.push_back(subPath.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace

Registry::Registry(platform::KeyStore& store, platform::MessageBox& boxes)
    : store_(store), boxes_(boxes) {}

platform::KeyStore::Path Registry::SubPathKeys(const std::string& subPath) {
    return splitSubPath(subPath);
}

std::uint32_t Registry::RootKeyFromName(const std::string& name) {
    for (const auto& root : kRoots) {
        if (name == root.name) return root.handle;
    }
    return 0;
}

std::pair<std::uint32_t, std::string> Registry::SplitKeyPath(const std::string& fullPath) {
    if (fullPath.size() < 5 || fullPath.compare(0, 5, "HKEY_") != 0 || fullPath.back() == '\\') {
        boxes_.show("Incorrect Format:\n\n" + fullPath, platform::kAppTitle, platform::Buttons::Ok,
                    platform::Icon::None);
        return {0, std::string()};
    }
    const std::size_t slash = fullPath.find('\\');
    if (slash == std::string::npos) return {RootKeyFromName(fullPath), std::string()};
    return {RootKeyFromName(fullPath.substr(0, slash)), fullPath.substr(slash + 1)};
}

std::string Registry::ReadKeyValue(const std::string& fullPath, const std::string& valueName) {
    const auto [root, subPath] = SplitKeyPath(fullPath);
    if (root == 0) return std::string();
    const auto data = store_.readValue(root, splitSubPath(subPath), valueName);
    if (!data || !FitsRead(*data)) return kError;
    // Leading blanks are lost; trailing ones stay, as they come before the
    // terminating NUL.
    const std::size_t first = data->find_first_not_of(' ');
    return first == std::string::npos ? std::string() : data->substr(first);
}

bool Registry::FitsRead(const std::string& text) {
    return text.size() <= 4 * kMaxReadChars && characterCount(text) <= kMaxReadChars;
}

void Registry::CreateKeyPath(const std::string& fullPath) {
    const auto [root, subPath] = SplitKeyPath(fullPath);
    if (root == 0) return;
    store_.createKey(root, splitSubPath(subPath));
}

void Registry::WriteKeyValue(const std::string& fullPath, const std::string& valueName,
                             const std::string& text) {
    const auto [root, subPath] = SplitKeyPath(fullPath);
    if (root == 0) return;
    store_.writeValue(root, splitSubPath(subPath), valueName, text);
}

std::string Registry::SubKeyNameAt(std::uint32_t root, const std::string& subPath,
                                   std::int32_t index) {
    if (root == 0 || index < 0) return kNotFound;
    const auto name = store_.subKeyAt(root, splitSubPath(subPath), index);
    if (!name) return kNotFound;
    return name->substr(0, name->find('\0'));
}

void Registry::DeleteSubKey(std::uint32_t root, const std::string& subPath) {
    // The root itself is never deleted.
    if (root == 0 || subPath.empty()) return;
    store_.deleteKey(root, splitSubPath(subPath));
}

void Registry::DeleteKeyValue(std::uint32_t root, const std::string& subPath,
                              const std::string& valueName) {
    if (root == 0) return;
    store_.deleteValue(root, splitSubPath(subPath), valueName);
}

}  // namespace norvik::store
