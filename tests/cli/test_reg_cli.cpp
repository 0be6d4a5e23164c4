// norvik-cli reg, run as a program on a store file of the test's own.
#include <gtest/gtest.h>

#include <fstream>

#include "../support/RunCli.h"
#include "../support/TempStore.h"

namespace {

using Words = std::vector<std::string>;
using namespace std::string_literals;
const std::string kNorvik = "HKEY_LOCAL_MACHINE\\Software\\Tarnwell\\Norvik";

class RegCli : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(tmp.valid()); }
    norvik::test::CliResult reg(Words words) {
        words.insert(words.begin(), "reg");
        return norvik::test::runCli(words, tmp.path());
    }
    norvik::test::TempStore tmp;
};

TEST_F(RegCli, PrintsExactlyWhatEachOperationReturns) {
    for (const char* key : {"\\IPs", "\\Servers\\de", "\\SessionIPs"})
        ASSERT_EQ(reg({"create", kNorvik + key}).exitCode, 0);
    auto r = reg({"write", kNorvik + "\\IPs", "1", "  192.0.2.1 "});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    r = reg({"read", kNorvik + "\\ips", "1"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "192.0.2.1 \n");
    // A text the read could not return is not written.
    r = reg({"write", kNorvik + "\\IPs", "1", std::string(255, 'x')});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err,
              "norvik-cli reg: nothing written: a text of more than 254 characters cannot "
              "be read back\n");
    EXPECT_EQ(reg({"read", kNorvik + "\\IPs", "1"}).out, "192.0.2.1 \n");
    r = reg({"read", kNorvik + "\\IPs", "2"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out + r.err,
              "Error\nnorvik-cli reg: there is no value \"2\" in " + kNorvik + "\\IPs\n");
    r = reg({"enum", "HKEY_LOCAL_MACHINE", "Software\\Tarnwell\\Norvik"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "IPs\nServers\nSessionIPs\n");
    EXPECT_EQ(reg({"enum", "HKEY_LOCAL_MACHINE"}).out, "Software\n");
    EXPECT_EQ(reg({"enum", "HKEY_LOCAL_MACHINE", "Software\\Missing"}).out, "");
    EXPECT_EQ(reg({"delete", "HKEY_LOCAL_MACHINE", "Software\\Tarnwell\\Norvik\\Servers"}).exitCode,
              0);
    EXPECT_EQ(reg({"enum", "HKEY_LOCAL_MACHINE", "Software\\Tarnwell\\Norvik"}).out,
              "IPs\nSessionIPs\n");
}

TEST_F(RegCli, RefusedPathsUnknownRootsAndMissingKeysFailOnStandardError) {
    const std::string unknownRoot = "norvik-cli reg: unknown root name 'HKEY_LOCALMACHINE'\n";
    const struct {
        Words words;
        std::string out, err;  // err: how standard error begins
    } cases[] = {
        {{"read", "Software\\Tarnwell\\Norvik", "1"},
         "\n",
         "Norvik: Incorrect Format:\n\nSoftware\\Tarnwell\\Norvik\n"},
        {{"write", kNorvik, "1", "x"},
         "",
         "norvik-cli reg: nothing written: there is no key HKEY_LOCAL_MACHINE\\Software"},
        {{"write", "HKEY_LOCALMACHINE\\Software", "1", "x"}, "", unknownRoot},
        {{"create", "HKEY_LOCALMACHINE\\Software"}, "", unknownRoot},
        {{"delete", "HKEY_LOCALMACHINE", "Software"}, "", unknownRoot},
    };
    for (const auto& c : cases) {
        const auto r = reg(c.words);
        EXPECT_EQ(r.exitCode, 1) << c.words[0];
        EXPECT_EQ(r.out, c.out) << c.words[0];
        EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << c.words[0];
        EXPECT_TRUE(c.err.back() != '\n' || r.err == c.err) << r.err;
    }
    EXPECT_EQ(reg({"enum", "HKEY_LOCAL_MACHINE"}).out, "");
}

TEST_F(RegCli, ABrokenOrMissingStoreIsNamedAndFails) {
    std::ofstream(tmp.path(), std::ios::binary) << std::string(4096, '#');
    const std::string missing = tmp.dir() + "/no/x.sqlite3";
    for (const auto& [store, why] : {std::pair{tmp.path(), tmp.path() + " is not a Norvik store"},
                                     std::pair{missing, "there is no store at " + missing}}) {
        for (const Words& words :
             {Words{"reg", "read", kNorvik, "1"}, Words{"reg", "enum", "HKEY_USERS"}}) {
            const auto r = norvik::test::runCli(words, store);
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_EQ(r.out, "");
            EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
        }
    }
    // Reads make no store.
    EXPECT_FALSE(std::ifstream(tmp.dir() + "/no").good());
}

TEST_F(RegCli, NumbersAreWrittenWithDwordAndReadInDecimal) {
    ASSERT_EQ(reg({"create", kNorvik}).exitCode, 0);
    for (const char* n : {"16", "0", "4294967295"}) {
        const auto r = reg({"write", "--dword", kNorvik, "n", n});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(reg({"read", kNorvik, "N"}).out, n + "\n"s);
    }
    for (const char* bad : {"-1", "4294967296", "0x10", " 16", "16 ", "", "x"}) {
        const auto r = reg({"write", "--dword", kNorvik, "n", bad});
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_NE(r.err.find("is not a number from 0 to 4294967295"), std::string::npos) << r.err;
    }
    EXPECT_EQ(reg({"read", kNorvik, "n"}).out, "4294967295\n");
    auto r = reg({"write", "--dword", kNorvik + "\\Missing", "n", "1"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("nothing written: there is no key"), std::string::npos) << r.err;

    // A value of a type it cannot show reads as Error and says why.
    ASSERT_TRUE(tmp.open()->writeTypedValue(0x80000002u, {"Software", "Tarnwell", "Norvik"}, "b",
                                            {3, "\x01"}));
    r = reg({"read", kNorvik, "b"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Error\n");
    EXPECT_NE(r.err.find("is not text (type 3)"), std::string::npos) << r.err;
}

}  // namespace
