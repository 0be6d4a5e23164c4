#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/KeyStore.h"
#include "platform/MessageBox.h"

namespace norvik::store {

inline constexpr std::uint32_t HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr std::uint32_t HKEY_CURRENT_USER = 0x80000001u;
inline constexpr std::uint32_t HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr std::uint32_t HKEY_USERS = 0x80000003u;
inline constexpr std::uint32_t HKEY_PERFORMANCE_DATA = 0x80000004u;
inline constexpr std::uint32_t HKEY_CURRENT_CONFIG = 0x80000005u;
inline constexpr std::uint32_t HKEY_DYN_DATA = 0x80000006u;

// The sentinels callers test for.
inline constexpr const char* kError = "Error";
inline constexpr const char* kNotFound = "Not Found";

// Where everything of Norvik lives.
inline constexpr const char* kNorvikKey = "HKEY_LOCAL_MACHINE\\Software\\Tarnwell\\Norvik";
inline constexpr const char* kNorvikSubPath = "Software\\Tarnwell\\Norvik";

// The registry access layer: a path family that takes a full key path
// ("HKEY_LOCAL_MACHINE\Software\...") and a handle family that takes a root
// handle and a sub-path. Store failures come back as the sentinels; the one
// message it shows is "Incorrect Format:" for a malformed full path.
class Registry {
  public:
    Registry(platform::KeyStore& store, platform::MessageBox& boxes);

    static std::uint32_t RootKeyFromName(const std::string& name);
    // The key names of a sub-path (Software\Tarnwell); none for the root.
    static platform::KeyStore::Path SubPathKeys(const std::string& subPath);
    // Root 0 (and the message box) when the path is malformed.
    std::pair<std::uint32_t, std::string> SplitKeyPath(const std::string& fullPath);

    std::string ReadKeyValue(const std::string& fullPath, const std::string& valueName);
    // Whether ReadKeyValue can return the stored text: it fits its buffer.
    static bool FitsRead(const std::string& text);
    void CreateKeyPath(const std::string& fullPath);
    void WriteKeyValue(const std::string& fullPath, const std::string& valueName,
                       const std::string& text);

    std::string SubKeyNameAt(std::uint32_t root, const std::string& subPath, std::int32_t index);
    void DeleteSubKey(std::uint32_t root, const std::string& subPath);
    void DeleteKeyValue(std::uint32_t root, const std::string& subPath,
                        const std::string& valueName);

    platform::KeyStore& keyStore() { return store_; }

  private:
    platform::KeyStore& store_;
    platform::MessageBox& boxes_;
};

}  // namespace norvik::store
