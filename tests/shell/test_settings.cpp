// The Settings page: check boxes written when clicked, Remove Selected and
// Remove All.

#include "ShellFixture.h"

namespace norvik::test {
namespace {

using platform::Answer;

class SettingsPage : public ShellTest {
  protected:
    // Answers the question of a remove button No, which keeps the `kept`
    // session slots, then Yes.
    void noThenYes(const char* button, const std::string& question, std::size_t kept) {
        answerAndClick(Answer::No, button);
        ASSERT_EQ(boxes.shown.size(), 1u);
        expectBox(0, question, "Norvik", platform::Buttons::YesNo, platform::Icon::None);
        EXPECT_EQ(storedSlots("SessionIPs").size(), kept);
        answerAndClick(Answer::Yes, button);
    }
    static std::string removeSelectedText(const std::string& address) {
        return "This will clear the following addresses in the 'Address to ping' "
               "dropdown:\n\r\n\r" +
               address + "\n\r\n\rAre you sure you wish to do this?";
    }
};

TEST_F(SettingsPage, CheckBoxesAreWrittenTheMomentTheyAreClicked) {
    start();
    click(w("Image7"));
    for (const auto& [name, value] : Texts{{"settingscheck1", "Display Address Returned"},
                                           {"settingscheck2", "Display Packet Size Returned"},
                                           {"settingscheck3", "Display Data Pointer"},
                                           {"settingsremember", "Remember Settings on exit"},
                                           {"settingsipv6", "Prefer IPv6"}}) {
        auto* box = w<QCheckBox>(name);
        const bool was = box->isChecked();
        click(box);
        EXPECT_EQ(box->isChecked(), !was) << name;
        EXPECT_EQ(setting(value), was ? "0" : "1") << name;
        click(box);
        EXPECT_EQ(setting(value), was ? "1" : "0") << name;
    }
    expectTexts({{"settingscheck1", "Display Address (as decimal)"},
                 {"settingsremember", "remember settings on exit"},
                 {"settingsminititle", "Optional Returned Data to Display"},
                 {"settingsrem", "Remove Stored IPs"}});
    // A setting stays as clicked when the Ping page is shown again.
    click(w("settingscheck1"));
    click(w("pingicon"));
    EXPECT_EQ(displayChecks(), "110");
    // A greyed box counts as unchecked and is cleared.
    auto* box = w<QCheckBox>("settingscheck2");
    box->setTristate(true);
    box->setCheckState(Qt::PartiallyChecked);
    EXPECT_EQ(box->checkState(), Qt::Unchecked);
    EXPECT_EQ(setting("Display Packet Size Returned"), "0");
}

// "Prefer IPv6" as stored, then as clicked, decides which address of a name
// the window takes.
TEST_F(SettingsPage, PreferIpv6PutsANamesIpv6AddressFirst) {
    resolver.names = {{"a.test", {192, 0, 2, 10}}, {"both.test", {192, 0, 2, 20}}};
    resolver.names6 = {{"aaaa.test", "2001:db8::10"}, {"both.test", "2001:db8::20"}};
    const auto translated = [this] {
        click(w("iptranswords"));
        QString out;
        for (const char* name : {"a.test", "aaaa.test", "both.test"}) {
            w<QLineEdit>("domainname")->setText(name);
            click(w("domtoip"));
            out += text("ipad") + '|';
        }
        return out;
    };
    put("", "Prefer IPv6", "1");
    start();
    EXPECT_TRUE(w<QCheckBox>("settingsipv6", settingsPage())->isChecked());
    EXPECT_EQ(translated(), "192.0.2.10|2001:db8::10|2001:db8::20|");
    click(w("Image7"));
    click(w("settingsipv6"));
    EXPECT_EQ(translated(), "192.0.2.10|2001:db8::10|192.0.2.20|");
    click(w("pingicon"));
    EXPECT_FALSE(w<QCheckBox>("settingsipv6", settingsPage())->isChecked());
}

TEST_F(SettingsPage, RemoveSelectedDeletesEverySlotWithThatAddress) {
    putAll("IPs", {{"1", "alpha.test"}, {"2", "twice.test"}, {"3", ""}, {"4", "twice.test"}});
    start();
    click(w("Image7"));
    auto* list = w<QListWidget>("List1");
    EXPECT_EQ(items("List1"), (QStringList{"alpha.test", "twice.test", "", "twice.test"}));
    EXPECT_TRUE(list->selectedItems().isEmpty());

    list->item(3)->setSelected(true);
    noThenYes("settingsdelsel", removeSelectedText("twice.test"), 4);
    EXPECT_EQ(storedSlots("SessionIPs"), (Slots{{"1", "alpha.test"}, {"3", ""}}));
    EXPECT_EQ(items("List1"), (QStringList{"alpha.test", ""}));

    // With nothing selected it asks about an empty address, and only the
    // slot holding the empty text goes.
    boxes.shown.clear();
    list->clearSelection();
    noThenYes("settingsdelsel", removeSelectedText(""), 2);
    EXPECT_EQ(storedSlots("SessionIPs"), (Slots{{"1", "alpha.test"}}));
    EXPECT_EQ(items("List1"), (QStringList{"alpha.test"}));
}

TEST_F(SettingsPage, RemoveAllAsksAndEmptiesOnlyTheSessionList) {
    put("IPs", "1", "kept.test");
    start();
    put("SessionIPs", "2", "beta.test");
    click(w("Image7"));
    ASSERT_EQ(items("List1"), (QStringList{"kept.test", "beta.test"}));
    noThenYes("settingsdelall",
              "This will clear all IP's in the 'Address to ping' dropdown.\n\rAre you sure you "
              "wish to do this?",
              2);
    EXPECT_TRUE(storedSlots("SessionIPs").empty());
    EXPECT_TRUE(keyStore->keyExists(store::HKEY_LOCAL_MACHINE, norvikPath("SessionIPs")));
    EXPECT_TRUE(items("List1").isEmpty());
    EXPECT_EQ(storedSlots("IPs"), (Slots{{"1", "kept.test"}}));
    // The Ping page's list follows when the page is next shown.
    EXPECT_EQ(items("Combo1").size(), 1);
    click(w("pingicon"));
    EXPECT_TRUE(items("Combo1").isEmpty());
}

}  // namespace
}  // namespace norvik::test
