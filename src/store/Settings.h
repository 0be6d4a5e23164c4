#pragma once

#include <functional>
#include <string>
#include <vector>

#include "store/Registry.h"

namespace norvik::store {

inline constexpr const char* kIPsKey = "HKEY_LOCAL_MACHINE\\Software\\Tarnwell\\Norvik\\IPs";
inline constexpr const char* kSessionIPsKey =
    "HKEY_LOCAL_MACHINE\\Software\\Tarnwell\\Norvik\\SessionIPs";
inline constexpr const char* kIPsSubPath = "Software\\Tarnwell\\Norvik\\IPs";
inline constexpr const char* kSessionIPsSubPath = "Software\\Tarnwell\\Norvik\\SessionIPs";

inline constexpr const char* kDisplayAddress = "Display Address Returned";
inline constexpr const char* kDisplayPacketSize = "Display Packet Size Returned";
inline constexpr const char* kDisplayDataPointer = "Display Data Pointer";
inline constexpr const char* kRememberOnExit = "Remember Settings on exit";
inline constexpr const char* kPreferIpv6 = "Prefer IPv6";
inline constexpr const char* kNoPings = "nopings";

// Readers look at slots "1" to "10" only.
inline constexpr int kSlotsRead = 10;

// The texts of slots "1" to "10" of an address list key, in slot order,
// skipping every slot that reads "Error".
std::vector<std::string> ReadAddressSlots(Registry& reg, const std::string& keyPath);
inline std::vector<std::string> ReadSessionList(Registry& reg) {
    return ReadAddressSlots(reg, kSessionIPsKey);
}

// Writes the list as slots "1".."n" of the session list (every item, however
// many). Slots above n up to "10" that readers could still see are deleted,
// so a shortened list never shows an old address again.
void WriteSessionList(Registry& reg, const std::vector<std::string>& items);

// How each on/off setting reads: by its first character only.
bool DisplayAddressOn(const std::string& stored);      // on when it begins with "1"
bool DisplayPacketSizeOn(const std::string& stored);   // off only when it begins with "0"
bool DisplayDataPointerOn(const std::string& stored);  // on when it begins with "1"
bool RememberOn(const std::string& stored);            // off only when it begins with "0"
bool PreferIpv6On(const std::string& stored);          // on when it begins with "1"

// A Settings check box was clicked (or changed by a load): "1" when it is
// checked, else "0".
void WriteCheckSetting(Registry& reg, const std::string& valueName, bool checked);

// Start-up: the session list of the last run is discarded and the
// remembered addresses are copied into it under the same slot names. Each
// store step (the deletion, the creation, each slot) runs through `step`,
// which returns false to end the reset there; false then. There is no
// batch: each step commits on its own, so the store is not held while a
// step's failure waits for the user. A session list that already holds
// just that is left as it is, with no step run.
using StoreStep = std::function<bool(const std::function<void()>&)>;
bool ResetSessionFromRemembered(Registry& reg, const StoreStep& step);

// Quit with the remember box ticked: the remembered list becomes these
// items, renumbered from "1".
void SaveRemembered(Registry& reg, const std::vector<std::string>& items);

// Remove All: the session list is emptied.
void RemoveAllSession(Registry& reg);
// Remove Selected: every slot "1".."10" whose text equals the address is
// deleted; the others keep their numbers.
void RemoveFromSession(Registry& reg, const std::string& address);

}  // namespace norvik::store
