#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "export/Export.h"
#include "platform/Resolver.h"

class QCoreApplication;

namespace norvik::cli {

// The one parser of the commands' words: flags, options with a value after
// them, and at most one word of the command's own (an address, a domain...).
// Anything else is a usage error: exit code 2 with the usage text on
// stderr, after the reason when there is one. A later option overrides an
// earlier one.
class ArgParser {
  public:
    // What an option makes of its value (nullptr when the option is the
    // last word): nullopt takes it; a text refuses it, that text being the
    // reason (none when empty).
    using Verdict = std::optional<std::string>;
    using Take = std::function<Verdict(const std::string* value)>;

    explicit ArgParser(const char* usage) : usage_(usage) {}

    ArgParser& flag(const char* name, bool& on);
    // A flag that does something when given.
    ArgParser& flag(const char* name, std::function<void()> on);
    // -4 and -6: the name's IPv4 or IPv6 address only. Without them the
    // window's rule applies: IPv4 first, or IPv6 first while "Prefer IPv6"
    // is stored as on.
    ArgParser& family(platform::FamilyRule& rule);
    ArgParser& option(const char* name, Take take);
    // Any value, kept as it is.
    ArgParser& option(const char* name, std::optional<std::string>& into);
    // The command's own word, required; `fits` says which words can be it
    // (by default those that do not look like an option).
    ArgParser& word(std::optional<std::string>& into,
                    std::function<bool(const std::string&)> fits = NotAnOption);

    // 0 when every word is taken, else 2 after writing why.
    int parse(const Args& args, std::ostream& err) const;

    static bool NotAnOption(const std::string& w) { return w.empty() || w[0] != '-'; }

  private:
    struct Option {
        std::string name;
        bool* flag;
        Take take;
        std::function<void()> on;
    };
    const char* usage_;
    std::vector<Option> options_;
    std::optional<std::string>* word_ = nullptr;
    std::function<void()> finish_;  // after a parse that took every word
    std::function<bool(const std::string&)> fits_;
};

// "--format text|csv|json" into `into`; another name is refused.
ArgParser::Take FormatOption(exports::Format& into);
// A port number from 1 to 65535 into `into`, else refused with `refusal`,
// its "%" standing for the value.
ArgParser::Take PortOption(std::uint16_t& into, const char* refusal);

// The window's family rule, as the store holds it: IPv6 first when
// "Prefer IPv6" is on, else IPv4 first (also without a store, which is not
// made).
platform::FamilyRule StoredFamilyRule();

// The application object the Qt engines need, unless one exists already.
std::unique_ptr<QCoreApplication> commandLineApp();

}  // namespace norvik::cli
