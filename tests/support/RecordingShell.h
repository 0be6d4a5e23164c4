#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/qt/QtDesktopShell.h"

namespace norvik::test {

// The desktop for tests: open requests are recorded and answered with
// `openAnswer`, never handed on; the program folder is the test's choice.
// Programs are found and started for real, so a test puts fake ones on PATH.
class RecordingShell : public platform::QtDesktopShell {
  public:
    using Started = std::pair<std::string, std::vector<std::string>>;

    bool openUrl(const std::string& url) override {
        opened.push_back(url);
        return openAnswer;
    }
    bool startDetached(const std::string& program,
                       const std::vector<std::string>& arguments) override {
        started.emplace_back(program, arguments);
        return QtDesktopShell::startDetached(program, arguments);
    }
    std::string programFolder() override { return folder; }

    std::vector<std::string> opened;
    bool openAnswer = true;
    std::vector<Started> started;
    std::string folder = "/nonexistent";
};

}  // namespace norvik::test
