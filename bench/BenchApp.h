#pragma once

#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <string>

namespace norvik::bench {

// The application object a benchmark's widgets need, made once; offscreen
// unless QT_QPA_PLATFORM chooses otherwise.
inline QApplication& app() {
    static int argc = 1;
    static char arg0[] = "norvik-bench";
    static char* argv[] = {arg0, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* a = new QApplication(argc, argv);
    return *a;
}

// norvik-cli: $NORVIK_CLI, else the one built beside this benchmark.
inline std::string cliPath() {
    if (const char* env = std::getenv("NORVIK_CLI")) return env;
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, n > 0 ? static_cast<std::size_t>(n) : 0);
    return path.substr(0, path.rfind('/')) + "/../src/norvik-cli";
}

}  // namespace norvik::bench
