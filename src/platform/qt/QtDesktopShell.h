#pragma once

#include "platform/DesktopShell.h"

namespace norvik::platform {

// The desktop through Qt: QDesktopServices, QStandardPaths and QProcess.
class QtDesktopShell : public DesktopShell {
  public:
    bool openUrl(const std::string& url) override;
    std::string findProgram(const std::string& name) override;
    bool startDetached(const std::string& program,
                       const std::vector<std::string>& arguments) override;
    std::string programFolder() override;
};

}  // namespace norvik::platform
