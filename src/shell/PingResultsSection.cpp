#include "shell/PingResultsSection.h"

#include <QLabel>
#include <utility>

#include "shell/PingPanels.h"
#include "shell/SettingsPage.h"

namespace norvik::shell {

void PingResultsSection::showProgressHeading() {
    heading_->setText(QStringLiteral("Progress"));
    results_->showFields(false);
    results_->fit(!page_.isHidden());
}

void PingResultsSection::showProgressCounters() {
    results_->showCounters(true);
    intro_->setVisible(false);
    results_->fit(!page_.isHidden());
}

void PingResultsSection::showReturnedData() {
    intro_->setVisible(false);
    heading_->setText(QStringLiteral("Returned Data"));
    results_->showFields(true);
    applyDisplayChoices();
    results_->showCounters(false);
    results_->fit(!page_.isHidden());
}

void PingResultsSection::startRun(bool live) {
    results_->setProgress(0);
    results_->startLive(live);
}

void PingResultsSection::applyDisplayChoices() {
    using Choice = SettingsChoices::Choice;
    choices_.readDisplay();
    for (const auto& [choice, field] : {std::pair{Choice::DisplayAddress, 1},
                                        {Choice::DisplayPacketSize, 3},
                                        {Choice::DisplayDataPointer, 5}})
        if (!choices_.chosen(choice)) results_->showField(field, false);
}

}  // namespace norvik::shell
