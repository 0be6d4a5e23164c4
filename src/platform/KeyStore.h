#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace norvik::platform {

// A hierarchical store of keys and named text values under a fixed set of
// roots (the registry, as far as this program needs it). Key and value names
// are compared ignoring letter case, for all of Unicode. A path is the list
// of key names below a root; the empty list is the root itself.
//
// Every operation commits before it returns. Failures never throw: they come
// back as false / nullopt and the caller decides what that means.
class KeyStore {
public:
    using Path = std::vector<std::string>;

    // A value's type as the registry numbers it. Text is REG_SZ; REG_DWORD
    // holds a 32-bit number as four bytes, least significant first.
    static constexpr std::uint32_t REG_SZ = 1;
    static constexpr std::uint32_t REG_DWORD = 4;
    struct TypedValue {
        std::uint32_t type = REG_SZ;
        std::string data;
    };
    // A REG_DWORD's data for a number, and the number of such data (nullopt
    // unless it is four bytes).
    static std::string dwordData(std::uint32_t n) {
        std::string data(4, '\0');
        for (std::size_t i = 0; i < 4; ++i) data[i] = static_cast<char>((n >> (8 * i)) & 0xFF);
        return data;
    }
    static std::optional<std::uint32_t> dwordNumber(const std::string& data) {
        if (data.size() != 4) return std::nullopt;
        std::uint32_t n = 0;
        for (std::size_t i = 4; i-- > 0;) n = (n << 8) | static_cast<unsigned char>(data[i]);
        return n;
    }

    virtual ~KeyStore() = default;

    virtual bool keyExists(std::uint32_t root, const Path& path) = 0;
    // Creates the key and every missing key above it; an existing key is
    // left as it is. False when the store could not do it.
    virtual bool createKey(std::uint32_t root, const Path& path) = 0;
    // The value's text; nullopt when the key or value is missing, the value
    // is not text (REG_SZ), or the store failed.
    virtual std::optional<std::string> readValue(std::uint32_t root, const Path& path,
                                                 const std::string& name) = 0;
    // Sets the value in an existing key, as text. A missing key gets nothing
    // written.
    virtual bool writeValue(std::uint32_t root, const Path& path, const std::string& name,
                            const std::string& text) = 0;
    // The same for a value of any type, with its data as stored.
    virtual std::optional<TypedValue> readTypedValue(std::uint32_t root, const Path& path,
                                                     const std::string& name) = 0;
    virtual bool writeTypedValue(std::uint32_t root, const Path& path, const std::string& name,
                                 const TypedValue& value) = 0;
    // Name of the subkey at index (0 first), in the store's order.
    virtual std::optional<std::string> subKeyAt(std::uint32_t root, const Path& path,
                                                std::int64_t index) = 0;
    // Removes the key with its values and everything below it. A root
    // itself cannot be deleted.
    virtual bool deleteKey(std::uint32_t root, const Path& path) = 0;
    virtual bool deleteValue(std::uint32_t root, const Path& path, const std::string& name) = 0;

    // What went wrong with the last failed operation, for a person to read
    // ("the file is not a database", ...). Empty after a success.
    virtual std::string lastError() const = 0;

    // A batch: operations between begin and end share one commit. Nested
    // batches join the outer one.
    virtual void beginBatch() = 0;
    virtual void endBatch() = 0;
};

// Holds a batch open for the lifetime of the scope.
class BatchScope {
public:
    explicit BatchScope(KeyStore& store) : store_(store) { store_.beginBatch(); }
    ~BatchScope() { store_.endBatch(); }
    BatchScope(const BatchScope&) = delete;
    BatchScope& operator=(const BatchScope&) = delete;

private:
    KeyStore& store_;
};

}  // namespace norvik::platform
