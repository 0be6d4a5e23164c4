#include "cli/ArgParser.h"

#include <QCoreApplication>
#include <charconv>
#include <cstdint>
#include <memory>
#include <sstream>
#include <utility>

#include "platform/SqliteKeyStore.h"
#include "platform/StderrMessageBox.h"
#include "store/Registry.h"
#include "store/Settings.h"

namespace norvik::cli {

ArgParser& ArgParser::flag(const char* name, bool& on) {
    options_.push_back({name, &on, nullptr, nullptr});
    return *this;
}

ArgParser& ArgParser::flag(const char* name, std::function<void()> on) {
    options_.push_back({name, nullptr, nullptr, std::move(on)});
    return *this;
}

ArgParser& ArgParser::family(platform::FamilyRule& rule) {
    // The store is read only when no flag decides.
    auto forced = std::make_shared<bool>(false);
    finish_ = [&rule, forced] {
        if (!*forced) rule = StoredFamilyRule();
    };
    const auto force = [&rule, forced](platform::FamilyRule to) {
        return [&rule, forced, to] {
            rule = to;
            *forced = true;
        };
    };
    return flag("-4", force(platform::FamilyRule::Ipv4Only))
        .flag("-6", force(platform::FamilyRule::Ipv6Only));
}

ArgParser& ArgParser::option(const char* name, Take take) {
    options_.push_back({name, nullptr, std::move(take), nullptr});
    return *this;
}

ArgParser& ArgParser::option(const char* name, std::optional<std::string>& into) {
    return option(name, [&into](const std::string* value) -> Verdict {
        if (value == nullptr) return std::string();
        into = *value;
        return std::nullopt;
    });
}

ArgParser& ArgParser::word(std::optional<std::string>& into,
                           std::function<bool(const std::string&)> fits) {
    word_ = &into;
    fits_ = std::move(fits);
    return *this;
}

int ArgParser::parse(const Args& args, std::ostream& err) const {
    const auto refuse = [&](const std::string& reason) {
        if (!reason.empty()) err << reason << '\n';
        err << usage_;
        return 2;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool taken = false;
        for (const Option& o : options_) {
            if (a != o.name) continue;
            if (o.flag != nullptr) {
                *o.flag = true;
            } else if (o.on) {
                o.on();
            } else {
                const std::string* value = i + 1 < args.size() ? &args[i + 1] : nullptr;
                if (const Verdict no = o.take(value)) return refuse(*no);
                ++i;
            }
            taken = true;
            break;
        }
        if (taken) continue;
        if (word_ == nullptr || *word_ || !fits_(a)) return refuse(std::string());
        *word_ = a;
    }
    if (word_ != nullptr && !*word_) return refuse(std::string());
    if (finish_) finish_();
    return 0;
}

ArgParser::Take FormatOption(exports::Format& into) {
    return [&into](const std::string* name) -> ArgParser::Verdict {
        const auto format = name != nullptr ? exports::ParseFormat(*name) : std::nullopt;
        if (!format) return std::string();
        into = *format;
        return std::nullopt;
    };
}

ArgParser::Take PortOption(std::uint16_t& into, const char* refusal) {
    return [&into, refusal](const std::string* text) -> ArgParser::Verdict {
        if (text == nullptr) return std::string();
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
        if (ec != std::errc() || end != text->data() + text->size() || value == 0 ||
            value > 65535) {
            std::string reason = refusal;
            return reason.replace(reason.find('%'), 1, *text);
        }
        into = static_cast<std::uint16_t>(value);
        return std::nullopt;
    };
}

platform::FamilyRule StoredFamilyRule() {
    const auto keys = platform::SqliteKeyStore::openDefault();
    if (!keys->openReadOnly()) return platform::FamilyRule::Ipv4First;
    std::ostringstream quiet;
    platform::StderrMessageBox boxes(quiet);
    store::Registry reg(*keys, boxes);
    return store::PreferIpv6On(reg.ReadKeyValue(store::kNorvikKey, store::kPreferIpv6))
               ? platform::FamilyRule::Ipv6First
               : platform::FamilyRule::Ipv4First;
}

std::unique_ptr<QCoreApplication> commandLineApp() {
    static int argc = 1;
    static char arg0[] = "norvik-cli";
    static char* argv[] = {arg0, nullptr};
    if (QCoreApplication::instance() != nullptr) return nullptr;
    return std::make_unique<QCoreApplication>(argc, argv);
}

}  // namespace norvik::cli
