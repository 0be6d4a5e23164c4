#pragma once

#include <string>
#include <vector>

namespace norvik::platform {

// What the program asks of the desktop around it: open an address (web
// page, mail, local file) with the user's handler, find and start another
// program without tracking it, and name the folder the program runs from.
class DesktopShell {
  public:
    virtual ~DesktopShell() = default;

    // Hands the address to the desktop's handler; false when no handler
    // took it.
    virtual bool openUrl(const std::string& url) = 0;
    // The full path of an executable file of that name in a folder on PATH,
    // or empty.
    virtual std::string findProgram(const std::string& name) = 0;
    // Starts the program with its arguments and does not wait for it; false
    // when it could not be started.
    virtual bool startDetached(const std::string& program,
                               const std::vector<std::string>& arguments) = 0;
    // The folder that holds the running program's executable.
    virtual std::string programFolder() = 0;
};

}  // namespace norvik::platform
