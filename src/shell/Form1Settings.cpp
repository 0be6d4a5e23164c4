// The Settings page's check boxes and address removal.

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

#include "shell/Form1.h"
#include "store/Settings.h"

namespace norvik::shell {

using platform::Answer;
using platform::Buttons;
using platform::Icon;

// A box that is not plainly checked (the greyed state included) is cleared
// and stored as "0". Changes made by the program count as clicks too.
void Form1::checkClicked(QCheckBox* box, const char* valueName) {
    if (box->checkState() != Qt::Checked) {
        if (box->checkState() != Qt::Unchecked) {
            const QSignalBlocker quiet(box);
            box->setCheckState(Qt::Unchecked);
        }
        store::WriteCheckSetting(reg_, valueName, false);
    } else {
        store::WriteCheckSetting(reg_, valueName, true);
    }
}

void Form1::settingscheck1_Click() { checkClicked(settingscheck1_, store::kDisplayAddress); }
void Form1::settingscheck2_Click() { checkClicked(settingscheck2_, store::kDisplayPacketSize); }
void Form1::settingscheck3_Click() { checkClicked(settingscheck3_, store::kDisplayDataPointer); }
void Form1::settingsremember_Click() { checkClicked(settingsremember_, store::kRememberOnExit); }

void Form1::settingsdelall_Click() {
    if (ended_) return;
    const Answer a = boxes_.show(
        "This will clear all IP's in the 'Address to ping' dropdown.\n\r"
        "Are you sure you wish to do this?",
        platform::kAppTitle, Buttons::YesNo, Icon::None);
    if (a != Answer::Yes) return;
    store::RemoveAllSession(reg_);
    FillFromSession(List1_);
}

void Form1::settingsdelsel_Click() {
    if (ended_) return;
    const QList<QListWidgetItem*> selected = List1_->selectedItems();
    const std::string chosen =
        selected.isEmpty() ? std::string() : selected.first()->text().toStdString();
    const Answer a = boxes_.show(
        "This will clear the following addresses in the 'Address to ping' dropdown:\n\r\n\r" +
            chosen + "\n\r\n\rAre you sure you wish to do this?",
        platform::kAppTitle, Buttons::YesNo, Icon::None);
    if (a != Answer::Yes) return;
    store::RemoveFromSession(reg_, chosen);
    FillFromSession(List1_);
}

}  // namespace norvik::shell
