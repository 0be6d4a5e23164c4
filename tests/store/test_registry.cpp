// The registry access layer on a real store file.
#include <gtest/gtest.h>

#include <fstream>

#include "../support/ScriptedMessageBox.h"
#include "../support/TempStore.h"
#include "store/Registry.h"

namespace {

using namespace norvik;
using namespace std::string_literals;
using store::HKEY_LOCAL_MACHINE;
using store::Registry;
using Names = std::vector<std::string>;

const std::string kIPs = "HKEY_LOCAL_MACHINE\\Software\\Tarnwell\\Norvik\\IPs";
const std::string kSoftware = "HKEY_LOCAL_MACHINE\\Software";

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(tmp.valid()); }

    Names subKeys(const std::string& subPath, std::uint32_t root = HKEY_LOCAL_MACHINE) {
        Names names;
        for (std::int32_t i = 0;; ++i) {
            std::string name = reg.SubKeyNameAt(root, subPath, i);
            if (name == store::kNotFound) return names;
            names.push_back(name);
        }
    }

    void put(const std::string& fullPath, const std::string& name, const std::string& text) {
        reg.CreateKeyPath(fullPath);
        reg.WriteKeyValue(fullPath, name, text);
    }

    test::TempStore tmp;
    std::unique_ptr<platform::SqliteKeyStore> keys = tmp.open();
    test::ScriptedMessageBox boxes;
    Registry reg{*keys, boxes};
};

TEST_F(RegistryTest, RootNamesAreExactAndCaseSensitive) {
    const char* names[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",     "HKEY_LOCAL_MACHINE",
                           "HKEY_USERS",        "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG",
                           "HKEY_DYN_DATA"};
    for (std::uint32_t i = 0; i < 7; ++i)
        EXPECT_EQ(Registry::RootKeyFromName(names[i]), 0x80000000u + i);
    for (const char* other : {"hkey_local_machine", "HKEY_LOCAL_MACHINE ", "HKLM", ""})
        EXPECT_EQ(Registry::RootKeyFromName(other), 0u) << other;
}

TEST_F(RegistryTest, SplitKeyPathSeparatesRootAndSubPathSilently) {
    EXPECT_EQ(reg.SplitKeyPath(kIPs),
              std::make_pair(HKEY_LOCAL_MACHINE, "Software\\Tarnwell\\Norvik\\IPs"s));
    EXPECT_EQ(reg.SplitKeyPath("HKEY_LOCAL_MACHINE"), std::make_pair(HKEY_LOCAL_MACHINE, ""s));
    EXPECT_EQ(reg.SplitKeyPath("HKEY_NOWHERE\\Software"), std::make_pair(0u, "Software"s));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(RegistryTest, AMalformedPathShowsIncorrectFormatAndChangesNothing) {
    for (const std::string& bad : {"HKEY_LOCAL_MACHINE\\"s, "Software\\Tarnwell\\Norvik"s,
                                   "hkey_local_machine\\x"s, ""s, "HKEY_LOCAL_MACHINE\\\\\\"s}) {
        boxes.shown.clear();
        EXPECT_EQ(reg.ReadKeyValue(bad, "1"), "") << bad;
        ASSERT_EQ(boxes.shown.size(), 1u) << bad;
        EXPECT_EQ(boxes.shown[0].text, "Incorrect Format:\n\n" + bad);
        EXPECT_EQ(boxes.shown[0].caption, "Norvik");
        EXPECT_EQ(boxes.shown[0].buttons, platform::Buttons::Ok);
        EXPECT_EQ(boxes.shown[0].icon, platform::Icon::None);
    }
    put(kSoftware, "keep", "me");
    reg.CreateKeyPath("Software\\New");
    reg.WriteKeyValue(kSoftware + "\\", "keep", "changed");
    EXPECT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(subKeys(""), Names{"Software"});
    EXPECT_EQ(reg.ReadKeyValue(kSoftware, "keep"), "me");
}

TEST_F(RegistryTest, AnUnknownRootIsSilentReadsEmptyAndChangesNothing) {
    EXPECT_EQ(reg.ReadKeyValue("HKEY_NOWHERE\\Software", "1"), "");
    reg.CreateKeyPath("HKEY_NOWHERE\\Made");
    EXPECT_EQ(reg.SubKeyNameAt(0, "", 0), store::kNotFound);
    EXPECT_TRUE(boxes.shown.empty());
    for (std::uint32_t root = 0x80000000u; root <= 0x80000006u; ++root)
        EXPECT_EQ(subKeys("", root), Names{});
}

// Stored text as read: without leading blanks, and "Error" past 254
// characters (counted before the blanks go).
TEST_F(RegistryTest, ReadGivesTheStoredTextWithoutLeadingBlanksOrError) {
    std::string umlauts;  // 200 characters of two bytes each
    for (int i = 0; i < 200; ++i) umlauts += "\xc3\xa4";
    std::string euros;  // 254 characters of three bytes each
    for (int i = 0; i < 254; ++i) euros += "\xe2\x82\xac";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"192.0.2.7", "192.0.2.7"},
        {"   lead", "lead"},
        {"  both  ", "both  "},
        {"", ""},
        {"     ", ""},
        {"\tTab", "\tTab"},
        {"x\0  "s, "x\0  "s},
        {"Error", "Error"},
        {std::string(254, 'a'), std::string(254, 'a')},
        {std::string(255, 'a'), "Error"},
        {umlauts, umlauts},
        {euros, euros},
        {euros + "a", "Error"},
        {"  " + std::string(253, 'a'), "Error"},
        {" " + std::string(253, 'a'), std::string(253, 'a')},
        {std::string(65536, 'x'), "Error"}};
    for (std::size_t i = 0; i < cases.size(); ++i) put(kIPs, std::to_string(i), cases[i].first);
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(reg.ReadKeyValue(kIPs, std::to_string(i)), cases[i].second) << i;
    // Names as the store compares them; missing names and keys read "Error".
    EXPECT_EQ(reg.ReadKeyValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\tarnwell\\NORVIK\\ips", "0"),
              "192.0.2.7");
    EXPECT_EQ(reg.ReadKeyValue(kIPs, "missing"), "Error");
    EXPECT_EQ(reg.ReadKeyValue(kIPs + "\\Missing", "0"), "Error");
    EXPECT_EQ(reg.ReadKeyValue("HKEY_USERS\\Software\\Tarnwell\\Norvik\\IPs", "0"), "Error");
}

TEST_F(RegistryTest, WritesNeedTheKeyThatCreateKeyPathMakesAndKeepsWhenItExists) {
    const std::string session = "HKEY_LOCAL_MACHINE\\Software\\Tarnwell\\Norvik\\SessionIPs";
    reg.WriteKeyValue(session, "1", "a");
    EXPECT_EQ(subKeys(""), Names{});
    reg.CreateKeyPath(session);
    EXPECT_EQ(subKeys(""), Names{"Software"});
    EXPECT_EQ(subKeys("Software\\Tarnwell\\Norvik"), Names{"SessionIPs"});
    reg.WriteKeyValue(session, "1", "a");
    reg.WriteKeyValue(session, "2", "b");
    reg.WriteKeyValue(session, "2", "c");
    reg.CreateKeyPath("HKEY_LOCAL_MACHINE\\SOFTWARE\\TARNWELL\\NORVIK\\SESSIONIPS");
    EXPECT_EQ(reg.ReadKeyValue(session, "1"), "a");
    EXPECT_EQ(reg.ReadKeyValue(session, "2"), "c");
    EXPECT_EQ(subKeys("Software\\Tarnwell\\Norvik"), Names{"SessionIPs"});
    // The root key itself holds values too.
    reg.WriteKeyValue("HKEY_LOCAL_MACHINE", "atRoot", "yes");
    EXPECT_EQ(reg.ReadKeyValue("HKEY_LOCAL_MACHINE", "atRoot"), "yes");
}

TEST_F(RegistryTest, EmptyKeyNamesInAPathCreateNothingAndLoseNothing) {
    put(kSoftware, "keep", "me");
    reg.CreateKeyPath(kSoftware + "\\\\Twice");
    reg.CreateKeyPath("HKEY_LOCAL_MACHINE\\\\Software");
    reg.DeleteSubKey(HKEY_LOCAL_MACHINE, "\\\\\\");
    reg.DeleteSubKey(HKEY_LOCAL_MACHINE, "Software\\");
    reg.DeleteKeyValue(HKEY_LOCAL_MACHINE, "Software\\", "keep");
    EXPECT_EQ(reg.SubKeyNameAt(HKEY_LOCAL_MACHINE, "\\", 0), store::kNotFound);
    EXPECT_EQ(subKeys(""), Names{"Software"});
    EXPECT_EQ(subKeys("Software"), Names{});
    EXPECT_EQ(reg.ReadKeyValue(kSoftware, "keep"), "me");
}

TEST_F(RegistryTest, SubKeyNameAtEnumeratesUntilNotFoundAndStopsNamesAtNul) {
    for (const char* name : {"Servers", "IPs", "SessionIPs"})
        reg.CreateKeyPath(std::string(store::kNorvikKey) + "\\" + name);
    EXPECT_EQ(subKeys(store::kNorvikSubPath), (Names{"IPs", "Servers", "SessionIPs"}));
    EXPECT_EQ(reg.SubKeyNameAt(HKEY_LOCAL_MACHINE, store::kNorvikSubPath, -1), store::kNotFound);
    EXPECT_EQ(reg.SubKeyNameAt(HKEY_LOCAL_MACHINE, "Software\\Missing", 0), store::kNotFound);
    ASSERT_TRUE(keys->createKey(HKEY_LOCAL_MACHINE, {"Software", "ab\0cd"s}));
    EXPECT_EQ(subKeys("Software"), (Names{"ab", "Tarnwell"}));
}

TEST_F(RegistryTest, DeletingAKeyTakesItsSubtreeAndDeletingAValueOneValue) {
    put(kIPs, "1", "a");
    put(kIPs, "2", "b");
    put("HKEY_LOCAL_MACHINE\\Software\\Tarnwell", "kept", "yes");
    reg.DeleteKeyValue(HKEY_LOCAL_MACHINE, "Software\\Tarnwell\\Norvik\\IPs", "1");
    reg.DeleteKeyValue(HKEY_LOCAL_MACHINE, "Software\\Missing", "2");
    EXPECT_EQ(reg.ReadKeyValue(kIPs, "1"), "Error");
    EXPECT_EQ(reg.ReadKeyValue(kIPs, "2"), "b");

    reg.DeleteSubKey(HKEY_LOCAL_MACHINE, "Software\\Tarnwell\\Norvik");
    reg.DeleteSubKey(HKEY_LOCAL_MACHINE, "Software\\Missing");
    reg.DeleteSubKey(HKEY_LOCAL_MACHINE, "");
    EXPECT_EQ(subKeys("Software"), Names{"Tarnwell"});
    EXPECT_EQ(subKeys("Software\\Tarnwell"), Names{});
    EXPECT_EQ(reg.ReadKeyValue("HKEY_LOCAL_MACHINE\\Software\\Tarnwell", "kept"), "yes");
}

TEST_F(RegistryTest, ABrokenStoreGivesTheSentinelsAndShowsNoMessage) {
    std::ofstream(tmp.path(), std::ios::binary) << std::string(8192, 'Z');
    EXPECT_EQ(reg.ReadKeyValue(kIPs, "1"), "Error");
    EXPECT_EQ(reg.SubKeyNameAt(HKEY_LOCAL_MACHINE, "", 0), store::kNotFound);
    reg.CreateKeyPath(kIPs);
    reg.WriteKeyValue(kIPs, "1", "x");
    reg.DeleteSubKey(HKEY_LOCAL_MACHINE, "Software");
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(keys->fileFailed());
}

}  // namespace
