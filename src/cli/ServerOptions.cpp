#include "cli/ServerOptions.h"

#include <charconv>

namespace norvik::cli {

Taken takeServerOption(const Args& args, std::size_t& i, const char* hostFlag,
                       ServerOptions& options) {
    if (i + 1 >= args.size()) return Taken::No;
    if (args[i] == hostFlag) {
        options.host = args[++i];
        return Taken::Yes;
    }
    if (args[i] != "-p") return Taken::No;
    const std::string& text = args[++i];
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535)
        return Taken::BadPort;
    options.port = static_cast<std::uint16_t>(value);
    return Taken::Yes;
}

std::unique_ptr<QCoreApplication> commandLineApp() {
    static int argc = 1;
    static char arg0[] = "norvik-cli";
    static char* argv[] = {arg0, nullptr};
    if (QCoreApplication::instance() != nullptr) return nullptr;
    return std::make_unique<QCoreApplication>(argc, argv);
}

}  // namespace norvik::cli
