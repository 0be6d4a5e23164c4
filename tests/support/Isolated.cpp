#include "Isolated.h"

#include <sched.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "Netns.h"

namespace norvik::test {

std::optional<std::string> runWithoutNetwork(const std::function<std::string()>& fn,
                                             std::string& whyNot) {
    NetnsChild child("", [&fn] {
        if (::unshare(CLONE_NEWNET) != 0)
            throw std::runtime_error(std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno));
        return fn();
    });
    auto text = child.result(60000);
    if (!text) whyNot = child.why();
    return text;
}

}  // namespace norvik::test
