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

void WriteCheckSetting(Registry& reg, const std::string& valueName, bool checked) {
    reg.WriteKeyValue(kNorvikKey, valueName, checked ? "1" : "0");
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
