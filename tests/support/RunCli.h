#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <cstdlib>
#include <string>
#include <vector>

#include "SpinUntil.h"

namespace norvik::test {

// Runs the built norvik-cli (path in $NORVIK_CLI) with a store file of the
// test's own and the test's environment, and gathers what it printed.
struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline CliResult runCli(const std::vector<std::string>& args, const std::string& storePath,
                        int timeoutMs = 30000) {
    CliResult r;
    const char* cli = std::getenv("NORVIK_CLI");
    if (!cli) {
        r.err = "NORVIK_CLI is not set";
        return r;
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("NORVIK_STORE", QString::fromStdString(storePath));
    p.setProcessEnvironment(env);
    QStringList qargs;
    for (const auto& a : args) qargs << QString::fromStdString(a);
    p.start(QString::fromUtf8(cli), qargs);
    p.closeWriteChannel();
    if (!p.waitForStarted(timeoutMs)) {
        r.err = "cannot start " + std::string(cli);
        return r;
    }
    // With an application, its event loop runs meanwhile: servers of the test's own answer.
    const bool ended = QCoreApplication::instance()
                           ? spinUntil([&] { return p.state() == QProcess::NotRunning; }, timeoutMs)
                           : p.waitForFinished(timeoutMs);
    if (!ended) {
        p.kill();
        p.waitForFinished();
        r.err = "timed out";
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

}  // namespace norvik::test
