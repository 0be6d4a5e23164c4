#pragma once

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QScopeGuard>
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

// With onTerminal its standard output is a pseudo-terminal (raw: bytes pass
// unchanged) instead of a pipe.
inline CliResult runCli(const std::vector<std::string>& args, const std::string& storePath,
                        int timeoutMs = 30000, bool onTerminal = false) {
    CliResult r;
    int master = -1, slave = -1;
    termios raw{};
    ::cfmakeraw(&raw);
    if (onTerminal && ::openpty(&master, &slave, nullptr, &raw, nullptr) != 0) {
        r.err = "no pseudo-terminal";
        return r;
    }
    const auto closeTerminal = qScopeGuard([&] {
        if (master >= 0) ::close(master);
        if (slave >= 0) ::close(slave);
    });
    // What the terminal has; waits until nothing more comes for 100 ms.
    auto drain = [&](int waitMs) {
        char buf[4096];
        pollfd in{master, POLLIN, 0};
        while (master >= 0 && ::poll(&in, 1, waitMs) > 0) {
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0) break;
            r.out.append(buf, static_cast<std::size_t>(n));
        }
    };
    const char* cli = std::getenv("NORVIK_CLI");
    if (!cli) {
        r.err = "NORVIK_CLI is not set";
        return r;
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("NORVIK_STORE", QString::fromStdString(storePath));
    p.setProcessEnvironment(env);
    if (onTerminal) p.setChildProcessModifier([slave] { ::dup2(slave, STDOUT_FILENO); });
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
                           ? spinUntil(
                                 [&] {
                                     drain(0);
                                     return p.state() == QProcess::NotRunning;
                                 },
                                 timeoutMs)
                           : p.waitForFinished(timeoutMs);
    if (!ended) {
        p.kill();
        p.waitForFinished();
        r.err = "timed out";
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    drain(100);
    r.out += p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

// The text with each round trip written as "N ms": an echo's ("<digits> ms"
// on a line of its own) and a hop's ("<10 ms", "<digits> ms" or "*" between
// tabs). A loaded machine may take 10 ms and more.
inline std::string maskTimes(const std::string& text) {
    static const QRegularExpression echo("(?m)^[0-9]+ ms$"), hop("\t(<10 ms|[0-9]+ ms|\\*)\t");
    return QString::fromStdString(text)
        .replace(echo, "N ms")
        .replace(hop, "\tN ms\t")
        .toStdString();
}

}  // namespace norvik::test
