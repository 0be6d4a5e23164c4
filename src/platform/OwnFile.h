#pragma once

#include <QString>

namespace norvik::platform {

// True when the path names a plain file (not a symbolic link) that belongs
// to the user the program runs as.
bool IsOwnPlainFile(const QString& path);

}  // namespace norvik::platform
