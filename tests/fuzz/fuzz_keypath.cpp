// Key paths as a user or a file could give them, through the registry
// layer's path parsing into a store that checks what arrives: the input is
// a full key path and, after the first NUL, a sub-path for the handle
// family.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "store/Registry.h"

using namespace norvik;
using platform::KeyStore;

namespace {

// Accepts everything; every key path it is given must be a root and names
// without a backslash.
class CheckingStore : public KeyStore {
  public:
    bool isRoot(std::uint32_t root) const {
        return root >= store::HKEY_CLASSES_ROOT && root <= store::HKEY_DYN_DATA;
    }
    bool keyExists(std::uint32_t root, const Path& path) override { return check(root, path); }
    bool createKey(std::uint32_t root, const Path& path) override { return check(root, path); }
    std::optional<std::string> readValue(std::uint32_t root, const Path& path,
                                         const std::string& name) override {
        check(root, path);
        return name;
    }
    bool writeValue(std::uint32_t root, const Path& path, const std::string&,
                    const std::string&) override {
        return check(root, path);
    }
    std::optional<TypedValue> readTypedValue(std::uint32_t root, const Path& path,
                                             const std::string& name) override {
        check(root, path);
        return TypedValue{REG_SZ, name};
    }
    bool writeTypedValue(std::uint32_t root, const Path& path, const std::string&,
                         const TypedValue&) override {
        return check(root, path);
    }
    std::optional<std::string> subKeyAt(std::uint32_t root, const Path& path,
                                        std::int64_t index) override {
        check(root, path);
        FUZZ_CHECK(index >= 0);
        return path.empty() ? std::string("a\0b", 3) : path.back();
    }
    bool deleteKey(std::uint32_t root, const Path& path) override {
        FUZZ_CHECK(!path.empty());
        return check(root, path);
    }
    bool deleteValue(std::uint32_t root, const Path& path, const std::string&) override {
        return check(root, path);
    }
    std::string lastError() const override { return {}; }
    void beginBatch() override {}
    void endBatch() override {}

  private:
    bool check(std::uint32_t root, const Path& path) const {
        FUZZ_CHECK(isRoot(root));
        for (const auto& name : path) FUZZ_CHECK(name.find('\\') == std::string::npos);
        return true;
    }
};

class CountingBoxes : public platform::MessageBox {
  public:
    platform::Answer show(const std::string& text, const std::string& caption, platform::Buttons,
                          platform::Icon) override {
        FUZZ_CHECK(text.rfind("Incorrect Format:\n\n", 0) == 0 && caption == "Norvik");
        ++shown;
        return platform::Answer::Ok;
    }
    int shown = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string full = input.substr(0, nul);
    const std::string sub = nul == std::string::npos ? std::string() : input.substr(nul + 1);

    CheckingStore keys;
    CountingBoxes boxes;
    store::Registry reg(keys, boxes);
    const auto [root, subPath] = reg.SplitKeyPath(full);
    const bool wellFormed = full.rfind("HKEY_", 0) == 0 && full.back() != '\\';
    FUZZ_CHECK(boxes.shown == (wellFormed ? 0 : 1));
    FUZZ_CHECK(root == 0 || keys.isRoot(root));
    if (root != 0)
        FUZZ_CHECK(full.size() >= subPath.size() &&
                   full.compare(full.size() - subPath.size(), subPath.size(), subPath) == 0);

    const std::string read = reg.ReadKeyValue(full, sub);
    FUZZ_CHECK(root != 0 || read.empty());
    reg.CreateKeyPath(full);
    reg.WriteKeyValue(full, sub, sub);
    const std::uint32_t handle = store::Registry::RootKeyFromName(full.substr(0, full.find('\\')));
    FUZZ_CHECK(handle == 0 || keys.isRoot(handle));
    // The handle family is given root 0 or a real one, as callers do.
    const std::uint32_t anyRoot = size && data[0] % 8 ? 0x7FFFFFFFu + data[0] % 8 : 0;
    const std::string name = reg.SubKeyNameAt(anyRoot, sub, static_cast<std::int32_t>(size) - 2);
    FUZZ_CHECK(name.find('\0') == std::string::npos);
    reg.DeleteSubKey(anyRoot, sub);
    reg.DeleteKeyValue(anyRoot, sub, full);
    return 0;
}
