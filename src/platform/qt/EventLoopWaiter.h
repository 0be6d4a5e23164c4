#pragma once

namespace norvik::platform {

// Waits for a socket inside a local event loop that lets everything through
// except user input: the window keeps painting and answering the window
// manager, while clicks and keys wait until the socket is readable or the
// time is up. Matches platform::Waiter.
bool eventLoopWaiter(int fd, int timeoutMs);

}  // namespace norvik::platform
