#include "store/Settings.h"

namespace norvik::store {

std::vector<std::string> ReadAddressSlots(Registry& reg, const std::string& keyPath) {
    std::vector<std::string> out;
    for (int n = 1; n <= kSlotsRead; ++n) {
        std::string text = reg.ReadKeyValue(keyPath, std::to_string(n));
        if (text != kError) out.push_back(std::move(text));
    }
    return out;
}

void WriteSessionList(Registry& reg, const std::vector<std::string>& items) {
    platform::BatchScope batch(reg.keyStore());
    for (std::size_t j = 0; j < items.size(); ++j) {
        reg.WriteKeyValue(kSessionIPsKey, std::to_string(j + 1), items[j]);
    }
    for (std::size_t n = items.size() + 1; n <= static_cast<std::size_t>(kSlotsRead); ++n) {
        reg.DeleteKeyValue(HKEY_LOCAL_MACHINE, kSessionIPsSubPath, std::to_string(n));
    }
}

namespace {
bool beginsWith(const std::string& s, char c) { return !s.empty() && s[0] == c; }
}  // namespace

bool DisplayAddressOn(const std::string& stored) { return beginsWith(stored, '1'); }
bool DisplayPacketSizeOn(const std::string& stored) { return !beginsWith(stored, '0'); }
bool DisplayDataPointerOn(const std::string& stored) { return beginsWith(stored, '1'); }
bool RememberOn(const std::string& stored) { return !beginsWith(stored, '0'); }
bool PreferIpv6On(const std::string& stored) { return beginsWith(stored, '1'); }

void WriteCheckSetting(Registry& reg, const std::string& valueName, bool checked) {
    reg.WriteKeyValue(kNorvikKey, valueName, checked ? "1" : "0");
}

namespace {

// Whether the session list already holds just what the reset would leave:
// slot for slot the remembered texts as they read, no subkey, and no slot
// past the readers' (a longer list always has the next one). A throwing
// store says no; the reset then meets the fault itself.
bool SessionHoldsRemembered(Registry& reg) {
    platform::KeyStore& store = reg.keyStore();
    const auto session = Registry::SubPathKeys(kSessionIPsSubPath);
    try {
        if (!store.keyExists(HKEY_LOCAL_MACHINE, session) ||
            store.subKeyAt(HKEY_LOCAL_MACHINE, session, 0))
            return false;
        for (int n = 1; n <= kSlotsRead + 1; ++n) {
            const std::string name = std::to_string(n);
            const std::string wanted = n <= kSlotsRead ? reg.ReadKeyValue(kIPsKey, name) : kError;
            const auto held = store.readTypedValue(HKEY_LOCAL_MACHINE, session, name);
            const bool same = wanted == kError ? !held
                                               : held && held->type == platform::KeyStore::REG_SZ &&
                                                     held->data == wanted;
            if (!same) return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

bool ResetSessionFromRemembered(Registry& reg, const StoreStep& step) {
    // Rewriting an unchanged list would only cost a journal and its syncs.
    if (SessionHoldsRemembered(reg)) return true;
    if (!step([&reg] { reg.DeleteSubKey(HKEY_LOCAL_MACHINE, kSessionIPsSubPath); })) return false;
    if (!step([&reg] { reg.CreateKeyPath(kSessionIPsKey); })) return false;
    for (int n = 1; n <= kSlotsRead; ++n) {
        const bool goOn = step([&reg, n] {
            const std::string name = std::to_string(n);
            const std::string text = reg.ReadKeyValue(kIPsKey, name);
            if (text != kError) reg.WriteKeyValue(kSessionIPsKey, name, text);
        });
        if (!goOn) return false;
    }
    return true;
}

void SaveRemembered(Registry& reg, const std::vector<std::string>& items) {
    platform::BatchScope batch(reg.keyStore());
    reg.DeleteSubKey(HKEY_LOCAL_MACHINE, kIPsSubPath);
    reg.CreateKeyPath(kIPsKey);
    for (std::size_t n = 0; n < items.size(); ++n) {
        reg.WriteKeyValue(kIPsKey, std::to_string(n + 1), items[n]);
    }
}

void RemoveAllSession(Registry& reg) {
    platform::BatchScope batch(reg.keyStore());
    reg.DeleteSubKey(HKEY_LOCAL_MACHINE, kSessionIPsSubPath);
    reg.CreateKeyPath(kSessionIPsKey);
}

void RemoveFromSession(Registry& reg, const std::string& address) {
    platform::BatchScope batch(reg.keyStore());
    for (int n = 1; n <= kSlotsRead; ++n) {
        const std::string name = std::to_string(n);
        // Compared as read, so a missing slot ("Error") only goes when the
        // address itself is "Error", and then there is nothing to delete.
        if (reg.ReadKeyValue(kSessionIPsKey, name) == address) {
            reg.DeleteKeyValue(HKEY_LOCAL_MACHINE, kSessionIPsSubPath, name);
        }
    }
}

}  // namespace norvik::store
