#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/KeyStore.h"
#include "store/Registry.h"

namespace norvik::test {

// The stored whois directory read straight from the store: per country key
// its "Total" text as stored, then the values "1", "2", ... that exist.
using Directory = std::map<std::string, std::vector<std::string>>;

inline platform::KeyStore::Path serversPath(const std::string& country = std::string()) {
    platform::KeyStore::Path p{"Software", "Tarnwell", "Norvik", "Servers"};
    if (!country.empty()) p.push_back(country);
    return p;
}

inline Directory readDirectory(platform::KeyStore& store) {
    Directory out;
    for (std::int64_t i = 0;; ++i) {
        const auto name = store.subKeyAt(store::HKEY_LOCAL_MACHINE, serversPath(), i);
        if (!name) return out;
        std::vector<std::string>& values = (*out.try_emplace(*name).first).second;
        const auto path = serversPath(*name);
        values.push_back(store.readValue(store::HKEY_LOCAL_MACHINE, path, "Total").value_or("-"));
        for (int n = 1;; ++n) {
            const auto v = store.readValue(store::HKEY_LOCAL_MACHINE, path, std::to_string(n));
            if (!v) break;
            values.push_back(*v);
        }
    }
}

inline bool directoryExists(platform::KeyStore& store) {
    return store.keyExists(store::HKEY_LOCAL_MACHINE, serversPath());
}

}  // namespace norvik::test
