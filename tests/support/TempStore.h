#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "platform/SqliteKeyStore.h"

namespace norvik::test {

// A fresh temporary folder with the path of a store file in it (not made
// yet); the folder and all in it go away with the object. Never the user's
// store.
class TempStore {
  public:
    TempStore()
        : dir_(QDir::tempPath() + "/norvik-test-XXXXXX"),
          path_(dir_.path().toStdString() + "/norvik.sqlite3") {}

    bool valid() const { return dir_.isValid(); }
    std::string dir() const { return dir_.path().toStdString(); }
    const std::string& path() const { return path_; }

    // A new connection to the store file.
    std::unique_ptr<platform::SqliteKeyStore> open(
        int busyTimeoutMs = platform::SqliteKeyStore::kBusyTimeoutMs) const {
        return std::make_unique<platform::SqliteKeyStore>(path_, busyTimeoutMs);
    }

  private:
    QTemporaryDir dir_;
    std::string path_;
};

}  // namespace norvik::test
