#pragma once

#include <QApplication>

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

}  // namespace norvik::bench
