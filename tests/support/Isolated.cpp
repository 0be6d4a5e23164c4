#include "Isolated.h"

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace norvik::test {

std::optional<std::string> runWithoutNetwork(const std::function<std::string()>& fn,
                                             std::string& whyNot) {
    int fds[2];
    if (::pipe(fds) != 0) {
        whyNot = std::string("pipe: ") + std::strerror(errno);
        return std::nullopt;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        whyNot = std::string("fork: ") + std::strerror(errno);
        ::close(fds[0]);
        ::close(fds[1]);
        return std::nullopt;
    }
    if (pid == 0) {
        ::close(fds[0]);
        if (::unshare(CLONE_NEWNET) != 0) {
            const std::string msg = std::string("!unshare(CLONE_NEWNET): ") + std::strerror(errno);
            (void)!::write(fds[1], msg.data(), msg.size());
            ::_exit(3);
        }
        const std::string out = "=" + fn();
        (void)!::write(fds[1], out.data(), out.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string got;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (got.empty() || got[0] != '=') {
        whyNot = got.empty() ? "child gave no answer" : got.substr(1);
        return std::nullopt;
    }
    return got.substr(1);
}

}  // namespace norvik::test
