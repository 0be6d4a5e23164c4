#pragma once

#include <QCoreApplication>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cli/Commands.h"

namespace norvik::cli {

// The server a network command asks: a host after the command's own flag
// ("-h" for whois, "--host" for servers) and a port after "-p".
struct ServerOptions {
    std::optional<std::string> host;
    std::uint16_t port;
};

enum class Taken { No, Yes, BadPort };

// Takes args[i], and the value after it, when it is one of the server
// options, moving i onto the value. No: args[i] is none of them (or lacks
// its value); BadPort: the port is not a number from 1 to 65535.
Taken takeServerOption(const Args& args, std::size_t& i, const char* hostFlag,
                       ServerOptions& options);

// The application object the Qt engines need, unless one exists already.
std::unique_ptr<QCoreApplication> commandLineApp();

}  // namespace norvik::cli
