#include "platform/OwnFile.h"

#include <unistd.h>

#include <QFileInfo>

namespace norvik::platform {

bool IsOwnPlainFile(const QString& path) {
    const QFileInfo info(path);
    return !info.isSymLink() && info.isFile() && info.ownerId() == ::geteuid();
}

}  // namespace norvik::platform
