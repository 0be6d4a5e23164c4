// The Settings page: check boxes written when clicked, Remove Selected and
// Remove All.

#include "ShellFixture.h"

namespace norvik::test {
namespace {

using platform::Answer;
using platform::Buttons;
using platform::Icon;
using SettingsPage = ShellTest;

const char kRemoveAllText[] =
    "This will clear all IP's in the 'Address to ping' dropdown.\n\rAre you sure you wish to do "
    "this?";

std::string removeSelectedText(const std::string& address) {
    return "This will clear the following addresses in the 'Address to ping' dropdown:\n\r\n\r" +
           address + "\n\r\n\rAre you sure you wish to do this?";
}

TEST_F(SettingsPage, CheckBoxesAreWrittenTheMomentTheyAreClicked) {
    start();
    click(w("Image7"));
    const std::pair<const char*, const char*> boxesAndValues[] = {
        {"settingscheck1", "Display Address Returned"},
        {"settingscheck2", "Display Packet Size Returned"},
        {"settingscheck3", "Display Data Pointer"},
        {"settingsremember", "Remember Settings on exit"}};
    for (const auto& [name, value] : boxesAndValues) {
        auto* box = w<QCheckBox>(name);
        const bool was = box->isChecked();
        click(box);
        EXPECT_EQ(box->isChecked(), !was) << name;
        EXPECT_EQ(setting(value), was ? "0" : "1") << name;
        click(box);
        EXPECT_EQ(setting(value), was ? "1" : "0") << name;
    }
    EXPECT_EQ(w<QCheckBox>("settingscheck1")->text(), "Display Address (as decimal)");
    EXPECT_EQ(w<QCheckBox>("settingsremember")->text(), "remember settings on exit");
    EXPECT_EQ(text("settingsminititle"), "Optional Returned Data to Display");
    EXPECT_EQ(text("settingsrem"), "Remove Stored IPs");
}

TEST_F(SettingsPage, GreyedBoxCountsAsUncheckedAndIsCleared) {
    start();
    auto* box = w<QCheckBox>("settingscheck2");
    box->setTristate(true);
    box->setCheckState(Qt::PartiallyChecked);
    EXPECT_EQ(box->checkState(), Qt::Unchecked);
    EXPECT_EQ(setting("Display Packet Size Returned"), "0");
}

TEST_F(SettingsPage, ADisplaySettingTakesEffectWhenThePingPageIsShownAgain) {
    start();
    click(w("Label4"));
    click(w("settingscheck1"));
    EXPECT_EQ(setting("Display Address Returned"), "1");
    click(w("pingicon"));
    EXPECT_TRUE(w<QCheckBox>("settingscheck1")->isChecked());
    click(w("Label4"));
    click(w("settingscheck1"));
    click(w("pingicon"));
    EXPECT_FALSE(shown("Text4_1"));
}

TEST_F(SettingsPage, RemoveSelectedDeletesEverySlotWithThatAddress) {
    put("IPs", "1", "alpha.test");
    put("IPs", "2", "twice.test");
    put("IPs", "3", "gamma.test");
    put("IPs", "4", "twice.test");
    start();
    click(w("Image7"));
    auto* list = w<QListWidget>("List1");
    EXPECT_EQ(items("List1"),
              (QStringList{"alpha.test", "twice.test", "gamma.test", "twice.test"}));
    EXPECT_TRUE(list->selectedItems().isEmpty());

    list->item(3)->setSelected(true);
    boxes.answers = {Answer::No};
    click(w("settingsdelsel"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, removeSelectedText("twice.test"));
    EXPECT_EQ(boxes.shown[0].caption, "Norvik");
    EXPECT_EQ(boxes.shown[0].buttons, Buttons::YesNo);
    EXPECT_EQ(boxes.shown[0].icon, Icon::None);
    EXPECT_EQ(storedSlots("SessionIPs").size(), 4u);

    boxes.answers = {Answer::Yes};
    click(w("settingsdelsel"));
    EXPECT_EQ(storedSlots("SessionIPs"),
              (std::map<std::string, std::string>{{"1", "alpha.test"}, {"3", "gamma.test"}}));
    EXPECT_EQ(items("List1"), (QStringList{"alpha.test", "gamma.test"}));
    // The trace page's hidden destination is not touched.
    EXPECT_EQ(text("traceText1"), "");
}

TEST_F(SettingsPage, RemoveSelectedWithNothingSelectedAsksAboutAnEmptyAddress) {
    put("IPs", "1", "alpha.test");
    put("IPs", "2", "");
    start();
    click(w("Image7"));
    boxes.answers = {Answer::Yes};
    click(w("settingsdelsel"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, removeSelectedText(""));
    // Only the slot holding the empty text goes.
    EXPECT_EQ(storedSlots("SessionIPs"), (std::map<std::string, std::string>{{"1", "alpha.test"}}));
    EXPECT_EQ(items("List1"), (QStringList{"alpha.test"}));
}

TEST_F(SettingsPage, RemoveAllAsksAndEmptiesOnlyTheSessionList) {
    put("IPs", "1", "kept.test");
    start();
    put("SessionIPs", "2", "beta.test");
    click(w("Image7"));
    ASSERT_EQ(items("List1"), (QStringList{"kept.test", "beta.test"}));

    boxes.answers = {Answer::No};
    click(w("settingsdelall"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kRemoveAllText);
    EXPECT_EQ(boxes.shown[0].caption, "Norvik");
    EXPECT_EQ(boxes.shown[0].buttons, Buttons::YesNo);
    EXPECT_EQ(boxes.shown[0].icon, Icon::None);
    EXPECT_EQ(storedSlots("SessionIPs").size(), 2u);

    boxes.answers = {Answer::Yes};
    click(w("settingsdelall"));
    EXPECT_TRUE(storedSlots("SessionIPs").empty());
    EXPECT_TRUE(keyStore->keyExists(store::HKEY_LOCAL_MACHINE, norvikPath("SessionIPs")));
    EXPECT_TRUE(items("List1").isEmpty());
    EXPECT_EQ(storedSlots("IPs"), (std::map<std::string, std::string>{{"1", "kept.test"}}));
    // The Ping page's list follows when the page is next shown.
    EXPECT_EQ(items("Combo1").size(), 1);
    click(w("pingicon"));
    EXPECT_TRUE(items("Combo1").isEmpty());
}

}  // namespace
}  // namespace norvik::test
