#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/DesktopShell.h"
#include "platform/EchoService.h"
#include "platform/KeyStore.h"
#include "platform/MessageBox.h"
#include "platform/Resolver.h"
#include "platform/TcpClient.h"
#include "platform/Timer.h"

namespace norvik::shell {

// What the main window works with. Tests pass doubles; main() the real
// services.
struct Services {
    platform::KeyStore& store;
    platform::MessageBox& boxes;
    platform::Resolver& resolver;
    platform::EchoService& echo;
    // How an echo waits; the window's own event loop keeps serving
    // meanwhile when this is eventLoopWaiter.
    platform::Waiter waiter;
    // Ends the program. Empty: leave the application's event loop.
    std::function<void()> endProgram;
    // Make the TCP clients and timers of the windows. Empty: the Qt ones.
    std::function<std::unique_ptr<platform::TcpClient>()> makeTcpClient = nullptr;
    std::function<std::unique_ptr<platform::Timer>()> makeTimer = nullptr;
    // The port of whois servers and of the list host.
    std::uint16_t whoisPort = 43;
    // Opens links and the help, starts other programs. Null: the desktop's.
    platform::DesktopShell* shell = nullptr;
};

}  // namespace norvik::shell
